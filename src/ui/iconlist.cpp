// SPDX-License-Identifier: GPL-3.0-or-later
#include "iconlist.h"

#include <QBuffer>
#include <QPainter>
#include <QString>
#include <QSvgRenderer>

#include <array>
#include <cstdint>
#include <cstring>

// Q_INIT_RESOURCE declares a global function, so it must be used outside any namespace.
static void initVarneloResources()
{
    Q_INIT_RESOURCE(varnelo);
}

void ensureResources()
{
    static const bool done = (initVarneloResources(), true);
    (void)done;
}

namespace {

// "VRIL", version, width, height, count; then per image its PNG length and bytes. Little-endian.
constexpr std::array<unsigned char, 4> Magic{'V', 'R', 'I', 'L'};
constexpr uint16_t FormatVersion = 1;
// Far more than anyone picks by hand; a larger count is damage, not a list.
constexpr uint32_t MaxCount = 100000;
// The smallest PNG is well over this; it lets an absurd count be refused before any allocation.
constexpr size_t MinPngSize = 40;

void putU16(std::vector<unsigned char>& out, uint16_t value)
{
    out.push_back(static_cast<unsigned char>(value & 0xFF));
    out.push_back(static_cast<unsigned char>(value >> 8));
}

void putU32(std::vector<unsigned char>& out, uint32_t value)
{
    for (int shift = 0; shift < 32; shift += 8)
        out.push_back(static_cast<unsigned char>((value >> shift) & 0xFF));
}

// Reads forward through a blob; every read checks the bytes left, so a short blob cannot overrun.
class Reader {
public:
    explicit Reader(const std::vector<unsigned char>& blob) : data(blob) {}

    bool u16(uint16_t& value)
    {
        if (left() < 2)
            return false;
        value = static_cast<uint16_t>(data[pos] | (data[pos + 1] << 8));
        pos += 2;
        return true;
    }

    bool u32(uint32_t& value)
    {
        if (left() < 4)
            return false;
        value = 0;
        for (int i = 3; i >= 0; --i)
            value = (value << 8) | data[pos + static_cast<size_t>(i)];
        pos += 4;
        return true;
    }

    bool bytes(size_t length, const unsigned char*& start)
    {
        if (left() < length)
            return false;
        start = data.data() + pos;
        pos += length;
        return true;
    }

    size_t left() const { return data.size() - pos; }

private:
    const std::vector<unsigned char>& data;
    size_t pos = 0;
};

QImage blankImage()
{
    QImage image(IconList::ImageSize, IconList::ImageSize, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    return image;
}

// Held unpremultiplied, as PNG stores it, so a serialised list reads back pixel for pixel.
QImage stored(const QImage& image)
{
    return image.convertToFormat(QImage::Format_ARGB32);
}

QImage fitted(const QImage& picture)
{
    const QImage source = picture.convertToFormat(QImage::Format_ARGB32_Premultiplied);
    if (source.width() == IconList::ImageSize && source.height() == IconList::ImageSize)
        return stored(source);
    const QImage scaled = source.scaled(IconList::ImageSize, IconList::ImageSize, Qt::KeepAspectRatio,
                                        Qt::SmoothTransformation);
    QImage image = blankImage();
    QPainter painter(&image);
    painter.drawImage((IconList::ImageSize - scaled.width()) / 2, (IconList::ImageSize - scaled.height()) / 2,
                      scaled);
    painter.end();
    return stored(image);
}

QImage renderSvg(const QString& path)
{
    QImage image = blankImage();
    QSvgRenderer renderer(path);
    QPainter painter(&image);
    renderer.render(&painter);
    painter.end();
    return stored(image);
}

const std::vector<QImage>& builtInImages()
{
    static const std::vector<QImage> images = [] {
        ensureResources();
        std::vector<QImage> rendered;
        for (int i = 0; i < IconList::BuiltInCount; ++i)
            rendered.push_back(renderSvg(QStringLiteral(":/icons/category/%1.svg").arg(i, 2, 10, QChar('0'))));
        return rendered;
    }();
    return images;
}

QByteArray pngBytes(const QImage& image)
{
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "PNG");
    return bytes;
}

}  // namespace

IconList IconList::builtIn()
{
    IconList list;
    for (const QImage& image : builtInImages())
        list.push(image);
    return list;
}

void IconList::push(QImage image)
{
    icons.emplace_back(QPixmap::fromImage(image));
    images.push_back(std::move(image));
}

int IconList::count() const
{
    return static_cast<int>(images.size());
}

QImage IconList::image(int index) const
{
    if (index < 0 || index >= count())
        return {};
    return images[static_cast<size_t>(index)];
}

QIcon IconList::icon(int index) const
{
    if (index < 0 || index >= count())
        return {};
    return icons[static_cast<size_t>(index)];
}

QPixmap IconList::pixmap(int index) const
{
    const QImage picture = image(index);
    return picture.isNull() ? QPixmap() : QPixmap::fromImage(picture);
}

bool IconList::append(const QImage& picture)
{
    if (picture.isNull())
        return false;
    push(fitted(picture));
    return true;
}

std::vector<unsigned char> IconList::serialize() const
{
    std::vector<unsigned char> out(Magic.begin(), Magic.end());
    putU16(out, FormatVersion);
    putU16(out, ImageSize);
    putU16(out, ImageSize);
    putU32(out, static_cast<uint32_t>(images.size()));
    for (const QImage& image : images) {
        const QByteArray png = pngBytes(image);
        putU32(out, static_cast<uint32_t>(png.size()));
        out.insert(out.end(), png.begin(), png.end());
    }
    return out;
}

std::optional<IconList> IconList::deserialize(const std::vector<unsigned char>& blob)
{
    Reader reader(blob);
    const unsigned char* magic = nullptr;
    uint16_t version = 0, width = 0, height = 0;
    uint32_t imageCount = 0;
    if (!reader.bytes(Magic.size(), magic) || std::memcmp(magic, Magic.data(), Magic.size()) != 0)
        return std::nullopt;
    if (!reader.u16(version) || !reader.u16(width) || !reader.u16(height) || !reader.u32(imageCount))
        return std::nullopt;
    if (version != FormatVersion || width != ImageSize || height != ImageSize || imageCount > MaxCount
        || reader.left() / (4 + MinPngSize) < imageCount)
        return std::nullopt;

    IconList list;
    list.images.reserve(imageCount);
    list.icons.reserve(imageCount);
    for (uint32_t i = 0; i < imageCount; ++i) {
        uint32_t length = 0;
        const unsigned char* png = nullptr;
        if (!reader.u32(length) || length == 0 || length > INT32_MAX || !reader.bytes(length, png))
            return std::nullopt;
        const QImage image = QImage::fromData(png, static_cast<int>(length), "PNG");
        if (image.isNull() || image.width() != ImageSize || image.height() != ImageSize)
            return std::nullopt;
        list.push(stored(image));
    }
    if (reader.left() != 0)
        return std::nullopt;
    return list;
}
