// SPDX-License-Identifier: GPL-3.0-or-later
// The shared category icon list: the built-in set, appending, and its stored form.
#include "session/iconlist.h"

#include <QPainter>
#include <QtTest>

#include <cstring>

namespace {

bool samePixels(const QImage& a, const QImage& b)
{
    if (a.size() != b.size())
        return false;
    const QImage left = a.convertToFormat(QImage::Format_ARGB32);
    const QImage right = b.convertToFormat(QImage::Format_ARGB32);
    for (int y = 0; y < left.height(); ++y) {
        if (std::memcmp(left.constScanLine(y), right.constScanLine(y), static_cast<size_t>(left.width()) * 4) != 0)
            return false;
    }
    return true;
}

int visiblePixels(const QImage& image)
{
    int count = 0;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            count += qAlpha(image.pixel(x, y)) > 0 ? 1 : 0;
    return count;
}

QImage picture(QSize size, QColor colour)
{
    QImage image(size, QImage::Format_ARGB32);
    image.fill(colour);
    return image;
}

void putU32(std::vector<unsigned char>& blob, size_t at, uint32_t value)
{
    for (int i = 0; i < 4; ++i)
        blob[at + static_cast<size_t>(i)] = static_cast<unsigned char>(value >> (8 * i));
}

// Offsets in the stored form: magic 4, version 2, width 2, height 2, count 4, then length + PNG.
constexpr size_t VersionAt = 4, WidthAt = 6, HeightAt = 8, CountAt = 10, FirstLengthAt = 14, FirstPngAt = 18;

}  // namespace

class TestIconList : public QObject {
    Q_OBJECT
private slots:
    void builtInHoldsTwentyThreeDistinctDrawnIcons()
    {
        const IconList list = IconList::builtIn();
        QCOMPARE(list.count(), 23);
        for (int i = 0; i < list.count(); ++i) {
            const QImage image = list.image(i);
            QCOMPARE(image.size(), QSize(32, 32));
            // A picture, not an empty square: a good part of the cell is drawn.
            QVERIFY2(visiblePixels(image) > 200, qPrintable(QString::number(i)));
            for (int j = 0; j < i; ++j)
                QVERIFY2(!samePixels(image, list.image(j)), qPrintable(QStringLiteral("%1 = %2").arg(i).arg(j)));
        }
    }

    void outOfRangeIndicesGiveNullPictures()
    {
        const IconList list = IconList::builtIn();
        QVERIFY(list.icon(-1).isNull());
        QVERIFY(list.icon(23).isNull());
        QVERIFY(list.pixmap(23).isNull());
        QVERIFY(list.image(-5).isNull());
        QVERIFY(!list.icon(0).isNull());
        QCOMPARE(list.pixmap(22).size(), QSize(32, 32));
    }

    void appendScalesIntoThirtyTwoSquareKeepingProportions()
    {
        IconList list = IconList::builtIn();
        QVERIFY(list.append(picture(QSize(64, 48), Qt::red)));
        QCOMPARE(list.count(), 24);
        const QImage added = list.image(23);
        QCOMPARE(added.size(), QSize(32, 32));
        // 64x48 becomes 32x24, centred: four clear rows above and below.
        QCOMPARE(qAlpha(added.pixel(16, 1)), 0);
        QCOMPARE(qAlpha(added.pixel(16, 30)), 0);
        QCOMPARE(added.pixel(16, 16), QColor(Qt::red).rgba());
        QVERIFY(list.append(picture(QSize(16, 16), Qt::blue)));
        QCOMPARE(list.image(24).pixel(0, 0), QColor(Qt::blue).rgba());
        QCOMPARE(list.image(24).pixel(31, 31), QColor(Qt::blue).rgba());
    }

    void nullPictureIsNotAppended()
    {
        IconList list = IconList::builtIn();
        QVERIFY(!list.append(QImage()));
        QCOMPARE(list.count(), 23);
    }

    void builtInListReadsBackPixelForPixel()
    {
        const IconList list = IconList::builtIn();
        const std::optional<IconList> back = IconList::deserialize(list.serialize());
        QVERIFY(back.has_value());
        QCOMPARE(back->count(), 23);
        for (int i = 0; i < 23; ++i)
            QVERIFY2(samePixels(back->image(i), list.image(i)), qPrintable(QString::number(i)));
    }

    void appendedIconsReadBackInOrder()
    {
        IconList list = IconList::builtIn();
        QImage halfClear = picture(QSize(32, 32), QColor(10, 200, 30, 128));
        {
            QPainter painter(&halfClear);
            painter.fillRect(0, 0, 8, 8, Qt::transparent);
        }
        list.append(halfClear);
        list.append(picture(QSize(40, 40), Qt::yellow));
        const std::optional<IconList> back = IconList::deserialize(list.serialize());
        QVERIFY(back.has_value());
        QCOMPARE(back->count(), 25);
        QVERIFY(samePixels(back->image(23), list.image(23)));
        QVERIFY(samePixels(back->image(24), list.image(24)));
        QCOMPARE(qAlpha(back->image(23).pixel(20, 20)), 128);
        QCOMPARE(back->image(24).pixel(5, 5), QColor(Qt::yellow).rgba());
    }

    void foreignBytesReadAsNoList()
    {
        QVERIFY(!IconList::deserialize({}).has_value());
        // What a Windows image list stream begins with.
        QVERIFY(!IconList::deserialize({'I', 'L', 0x01, 0x01, 0x17, 0x00, 0x17, 0x00}).has_value());
        std::vector<unsigned char> text(300, 'x');
        QVERIFY(!IconList::deserialize(text).has_value());
    }

    void truncatedListReadsAsNoList()
    {
        IconList list;
        list.append(picture(QSize(32, 32), Qt::green));
        list.append(picture(QSize(32, 32), Qt::magenta));
        const std::vector<unsigned char> whole = list.serialize();
        QVERIFY(IconList::deserialize(whole).has_value());
        for (size_t length = 0; length < whole.size(); ++length) {
            const std::vector<unsigned char> cut(whole.begin(), whole.begin() + static_cast<long>(length));
            QVERIFY2(!IconList::deserialize(cut).has_value(), qPrintable(QString::number(length)));
        }
    }

    void trailingBytesReadAsNoList()
    {
        std::vector<unsigned char> blob = IconList::builtIn().serialize();
        blob.push_back(0);
        QVERIFY(!IconList::deserialize(blob).has_value());
    }

    void damagedHeaderReadsAsNoList()
    {
        const std::vector<unsigned char> good = IconList::builtIn().serialize();
        auto damaged = [&](size_t at, unsigned char value) {
            std::vector<unsigned char> blob = good;
            blob[at] = value;
            return IconList::deserialize(blob);
        };
        QVERIFY(!damaged(0, 'W').has_value());
        QVERIFY(!damaged(VersionAt, 2).has_value());
        QVERIFY(!damaged(WidthAt, 16).has_value());
        QVERIFY(!damaged(HeightAt, 48).has_value());
        QVERIFY(!damaged(CountAt, 22).has_value());
        QVERIFY(!damaged(CountAt, 24).has_value());
    }

    void absurdCountsAndLengthsReadAsNoList()
    {
        const std::vector<unsigned char> good = IconList::builtIn().serialize();
        std::vector<unsigned char> blob = good;
        putU32(blob, CountAt, 0xFFFFFFFFu);
        QVERIFY(!IconList::deserialize(blob).has_value());
        blob = good;
        putU32(blob, FirstLengthAt, 0xFFFFFFF0u);
        QVERIFY(!IconList::deserialize(blob).has_value());
        blob = good;
        putU32(blob, FirstLengthAt, 0);
        QVERIFY(!IconList::deserialize(blob).has_value());
    }

    void damagedPictureReadsAsNoList()
    {
        std::vector<unsigned char> blob = IconList::builtIn().serialize();
        blob[FirstPngAt + 1] = 'X';  // the PNG signature
        QVERIFY(!IconList::deserialize(blob).has_value());
    }

    void pictureOfAnotherSizeReadsAsNoList()
    {
        auto listHolding = [](const QImage& image) {
            QByteArray png;
            QBuffer buffer(&png);
            buffer.open(QIODevice::WriteOnly);
            image.save(&buffer, "PNG");
            std::vector<unsigned char> blob = IconList().serialize();
            putU32(blob, CountAt, 1);
            blob.resize(FirstPngAt);
            putU32(blob, FirstLengthAt, static_cast<uint32_t>(png.size()));
            blob.insert(blob.end(), png.begin(), png.end());
            return IconList::deserialize(blob);
        };
        QVERIFY(listHolding(picture(QSize(32, 32), Qt::cyan)).has_value());
        QVERIFY(!listHolding(picture(QSize(16, 16), Qt::cyan)).has_value());
        QVERIFY(!listHolding(picture(QSize(32, 33), Qt::cyan)).has_value());
    }

    void emptyListReadsBackEmpty()
    {
        const std::optional<IconList> back = IconList::deserialize(IconList().serialize());
        QVERIFY(back.has_value());
        QCOMPARE(back->count(), 0);
    }
};

QTEST_MAIN(TestIconList)
#include "tst_iconlist.moc"
