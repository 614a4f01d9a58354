// SPDX-License-Identifier: GPL-3.0-or-later
#include "session/iconlist.h"

#include "storage/iconlistblob.h"

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
    const QImage scaled =
        source.scaled(IconList::ImageSize, IconList::ImageSize, Qt::KeepAspectRatio, Qt::SmoothTransformation);
    QImage image = blankImage();
    QPainter painter(&image);
    painter.drawImage((IconList::ImageSize - scaled.width()) / 2, (IconList::ImageSize - scaled.height()) / 2, scaled);
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
    std::vector<std::string> pngs;
    pngs.reserve(images.size());
    for (const QImage& image : images)
        pngs.push_back(pngBytes(image).toStdString());
    return joinIconList(pngs);
}

std::optional<IconList> IconList::deserialize(const std::vector<unsigned char>& blob)
{
    const auto pngs = splitIconList(blob);
    if (!pngs)
        return std::nullopt;
    IconList list;
    list.images.reserve(pngs->size());
    list.icons.reserve(pngs->size());
    for (const std::string& png : *pngs) {
        const QImage image =
            QImage::fromData(reinterpret_cast<const uchar*>(png.data()), static_cast<int>(png.size()), "PNG");
        if (image.isNull() || image.width() != ImageSize || image.height() != ImageSize)
            return std::nullopt;
        list.push(stored(image));
    }
    return list;
}
