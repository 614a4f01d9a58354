// SPDX-License-Identifier: GPL-3.0-or-later
// The category dialog and the icon picker on their own, with the built-in icon list.
#include "testseam.h"
#include "testutil.h"

#include "session/iconlist.h"
#include "ui/dialogs/ticondialog.h"
#include "ui/dialogs/tnewcategoryform.h"

#include <QImageWriter>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPainter>
#include <QPushButton>
#include <QTemporaryDir>
#include <QToolButton>
#include <QtTest>

using testutil::child;

namespace {

QImage sample(int side, QColor colour)
{
    QImage image(side, side, QImage::Format_ARGB32);
    image.fill(colour);
    QPainter painter(&image);
    painter.fillRect(0, 0, side / 2, side / 2, Qt::white);
    return image;
}

QString writeIco(const QTemporaryDir& dir, const QString& name, const QImage& image)
{
    const QString path = dir.filePath(name);
    QImageWriter writer(path, "ico");
    if (!writer.write(image))
        qFatal("cannot write test icon: %s", qPrintable(writer.errorString()));
    return path;
}

QString writeBytes(const QTemporaryDir& dir, const QString& name, const QByteArray& bytes)
{
    const QString path = dir.filePath(name);
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size())
        qFatal("cannot write %s", qPrintable(path));
    return path;
}

QImage shown(const QToolButton* button)
{
    return button->icon().pixmap(32, 32).toImage().convertToFormat(QImage::Format_ARGB32);
}

QImage listed(const IconList& list, int index)
{
    return list.pixmap(index).toImage().convertToFormat(QImage::Format_ARGB32);
}

int lastMessageCount()
{
    return int(seam::shownMessages().size());
}

}  // namespace

class TestCategoryDialogs : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { seam::enableTestMode(); }
    void init() { seam::clearTestState(); }
    void cleanup()
    {
        QCOMPARE(seam::unexpectedPromptCount(), 0);
        QCOMPARE(seam::pendingAnswerCount(), 0);
    }

    void newCategoryStartsEmptyDisabledWithIconZero()
    {
        IconList list = IconList::builtIn();
        TNewCategoryForm form(nullptr, 0, list);
        QCOMPARE(form.windowTitle(), QStringLiteral("New Category"));
        QCOMPARE(child<QLabel>(&form, "Label1")->text(), QStringLiteral("Category Name"));
        QCOMPARE(child<QLabel>(&form, "Label2")->text(), QStringLiteral("Category Icon"));
        QCOMPARE(child<QToolButton>(&form, "imageIcon")->toolTip(), QStringLiteral("Choose an icon."));
        QCOMPARE(child<QPushButton>(&form, "Button1")->text(), QStringLiteral("OK"));
        QCOMPARE(child<QPushButton>(&form, "Button2")->text(), QStringLiteral("Cancel"));
        QVERIFY(child<QLineEdit>(&form, "Edit1")->text().isEmpty());
        QVERIFY(!child<QPushButton>(&form, "Button1")->isEnabled());
        QCOMPARE(form.GetIconIndex(), 0);
        QCOMPARE(shown(child<QToolButton>(&form, "imageIcon")), listed(list, 0));
        QVERIFY(shown(child<QToolButton>(&form, "imageIcon")) != listed(list, 1));
    }

    void blanksKeepOkDisabledAndTheNameIsKeptAsTyped()
    {
        IconList list = IconList::builtIn();
        TNewCategoryForm form(nullptr, 0, list);
        child<QLineEdit>(&form, "Edit1")->setText(QStringLiteral("   \t"));
        QVERIFY(!child<QPushButton>(&form, "Button1")->isEnabled());
        // Neither a click nor Return gets past the disabled button.
        child<QPushButton>(&form, "Button1")->click();
        QTest::keyClick(&form, Qt::Key_Return);
        QCOMPARE(form.result(), int(QDialog::Rejected));
        child<QLineEdit>(&form, "Edit1")->setText(QStringLiteral("  a  "));
        QVERIFY(child<QPushButton>(&form, "Button1")->isEnabled());
        child<QPushButton>(&form, "Button1")->click();
        QCOMPARE(form.result(), int(QDialog::Accepted));
        QCOMPARE(child<QLineEdit>(&form, "Edit1")->text(), QStringLiteral("  a  "));
    }

    void propertiesShowTheCategorysIconAndEnableOkAtOnce()
    {
        IconList list = IconList::builtIn();
        TNewCategoryForm form(nullptr, 7, list);
        child<QLineEdit>(&form, "Edit1")->setText(QStringLiteral("Music"));
        QVERIFY(child<QPushButton>(&form, "Button1")->isEnabled());
        QCOMPARE(form.GetIconIndex(), 7);
        QCOMPARE(shown(child<QToolButton>(&form, "imageIcon")), listed(list, 7));
    }

    void pickerOkWithoutSelectionKeepsTheIcon()
    {
        IconList list = IconList::builtIn();
        TNewCategoryForm form(nullptr, 3, list);
        int offered = -1;
        seam::pushDialogHandler([&](QDialog* dialog) {
            auto* picker = qobject_cast<TIconDialog*>(dialog);
            offered = child<QListWidget>(picker, "ListView1")->count();
            return int(QDialog::Accepted);
        });
        child<QToolButton>(&form, "imageIcon")->click();
        QCOMPARE(offered, 23);
        QCOMPARE(form.GetIconIndex(), 3);
        QCOMPARE(shown(child<QToolButton>(&form, "imageIcon")), listed(list, 3));
    }

    void pickerOkWithSelectionChangesTheIconAndCancelDoesNot()
    {
        IconList list = IconList::builtIn();
        TNewCategoryForm form(nullptr, 0, list);
        seam::pushDialogHandler([](QDialog* dialog) {
            auto* picker = qobject_cast<TIconDialog*>(dialog);
            child<QListWidget>(picker, "ListView1")->item(5)->setSelected(true);
            return int(QDialog::Rejected);
        });
        child<QToolButton>(&form, "imageIcon")->click();
        QCOMPARE(form.GetIconIndex(), 0);
        seam::pushDialogHandler([](QDialog* dialog) {
            auto* picker = qobject_cast<TIconDialog*>(dialog);
            child<QListWidget>(picker, "ListView1")->item(5)->setSelected(true);
            child<QPushButton>(picker, "OKBtn")->click();
            return picker->result();
        });
        child<QToolButton>(&form, "imageIcon")->click();
        QCOMPARE(form.GetIconIndex(), 5);
        QCOMPARE(shown(child<QToolButton>(&form, "imageIcon")), listed(list, 5));
    }

    void pickerOpensWithNothingSelected()
    {
        IconList list = IconList::builtIn();
        TIconDialog picker(nullptr);
        picker.SetImageList(list);
        QCOMPARE(picker.windowTitle(), QStringLiteral("Select Icon"));
        QCOMPARE(child<QPushButton>(&picker, "btnAddIcon")->text(), QStringLiteral("Add Icon..."));
        QCOMPARE(child<QListWidget>(&picker, "ListView1")->count(), list.count());
        QCOMPARE(picker.selectedIconIndex(), -1);
        QVERIFY(child<QListWidget>(&picker, "ListView1")->item(0)->text().isEmpty());
    }

    void appendedIconIsStoredAtOnceAndCanBePicked()
    {
        QTemporaryDir dir;
        const QImage picture = sample(48, Qt::darkGreen);
        const QString path = writeIco(dir, QStringLiteral("green.ico"), picture);
        IconList list = IconList::builtIn();
        int stores = 0;
        int storedCount = 0;
        TIconDialog picker(nullptr, [&] {
            ++stores;
            storedCount = list.count();
        });
        picker.SetImageList(list);
        seam::pushFileAnswer({path});
        child<QPushButton>(&picker, "btnAddIcon")->click();
        QCOMPARE(lastMessageCount(), 0);
        QCOMPARE(list.count(), 24);
        QCOMPARE(stores, 1);
        QCOMPARE(storedCount, 24);
        QCOMPARE(child<QListWidget>(&picker, "ListView1")->count(), 24);
        QCOMPARE(picker.selectedIconIndex(), -1);
        const QImage appended = listed(list, 23);
        QCOMPARE(appended.size(), QSize(32, 32));
        QCOMPARE(QColor(appended.pixel(4, 4)), QColor(Qt::white));
        QCOMPARE(QColor(appended.pixel(27, 27)), QColor(Qt::darkGreen));
        QCOMPARE(seam::shownFileDialogs().first().filter, QStringLiteral("Icon File(*.ico)"));
        child<QListWidget>(&picker, "ListView1")->item(23)->setSelected(true);
        QCOMPARE(picker.selectedIconIndex(), 23);
    }

    void addIconRefusesBadFilesWithAClearMessage_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<QString>("message");
        QTest::newRow("16 x 16 icon") << "small"
                                      << "Invalid image size.";
        QTest::newRow("text file") << "text"
                                   << "";
        QTest::newRow("1 MB of junk") << "junk"
                                      << "";
        QTest::newRow("png renamed") << "png"
                                     << "";
        QTest::newRow("truncated icon") << "truncated"
                                        << "";
    }
    void addIconRefusesBadFilesWithAClearMessage()
    {
        QFETCH(QString, kind);
        QFETCH(QString, message);
        QTemporaryDir dir;
        QString path;
        if (kind == QLatin1String("small"))
            path = writeIco(dir, QStringLiteral("small.ico"), sample(16, Qt::blue));
        else if (kind == QLatin1String("text"))
            path = writeBytes(dir, QStringLiteral("text.ico"), "not an icon at all\n");
        else if (kind == QLatin1String("junk"))
            path = writeBytes(dir, QStringLiteral("junk.ico"), QByteArray(1 << 20, '\x5a'));
        else if (kind == QLatin1String("png")) {
            path = dir.filePath(QStringLiteral("picture.ico"));
            QVERIFY(sample(48, Qt::cyan).save(path, "PNG"));
        } else {
            QFile whole(writeIco(dir, QStringLiteral("whole.ico"), sample(48, Qt::gray)));
            QVERIFY(whole.open(QIODevice::ReadOnly));
            path = writeBytes(dir, QStringLiteral("truncated.ico"), whole.read(30));
        }
        IconList list = IconList::builtIn();
        int stores = 0;
        TIconDialog picker(nullptr, [&] { ++stores; });
        picker.SetImageList(list);
        seam::pushFileAnswer({path});
        child<QPushButton>(&picker, "btnAddIcon")->click();
        QCOMPARE(seam::shownMessages().size(), 1);
        const seam::ShownMessage shownBox = seam::shownMessages().first();
        QCOMPARE(shownBox.caption, QStringLiteral("Varnelo"));
        QCOMPARE(shownBox.icon, QMessageBox::Critical);
        if (!message.isEmpty())
            QCOMPARE(shownBox.text, message);
        else
            QVERIFY2(shownBox.text.startsWith(QStringLiteral("Cannot load icon \"") + path), qPrintable(shownBox.text));
        QCOMPARE(list.count(), 23);
        QCOMPARE(child<QListWidget>(&picker, "ListView1")->count(), 23);
        QCOMPARE(stores, 0);
    }

    void largeIconIsScaledDown()
    {
        QTemporaryDir dir;
        const QString path = writeIco(dir, QStringLiteral("big.ico"), sample(256, Qt::magenta));
        const QImage loaded = loadCategoryIcon(path);
        QCOMPARE(loaded.size(), QSize(256, 256));
        IconList list = IconList::builtIn();
        TIconDialog picker(nullptr);
        picker.SetImageList(list);
        seam::pushFileAnswer({path});
        child<QPushButton>(&picker, "btnAddIcon")->click();
        QCOMPARE(lastMessageCount(), 0);
        QCOMPARE(list.count(), 24);
        QCOMPARE(list.pixmap(23).size(), QSize(32, 32));
    }

    void cancelledFileDialogAddsNothing()
    {
        IconList list = IconList::builtIn();
        int stores = 0;
        TIconDialog picker(nullptr, [&] { ++stores; });
        picker.SetImageList(list);
        seam::pushFileAnswer({});
        child<QPushButton>(&picker, "btnAddIcon")->click();
        QCOMPARE(list.count(), 23);
        QCOMPARE(stores, 0);
        QCOMPARE(lastMessageCount(), 0);
    }
};

QTEST_MAIN(TestCategoryDialogs)
#include "tst_tnewcategoryform.moc"
