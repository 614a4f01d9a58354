// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QIcon>
#include <QImage>
#include <QPixmap>

#include <optional>
#include <vector>

// Makes the program's compiled-in artwork (":/icons/...") available. The resources live in a static
// library, so nothing pulls them in unless some code asks; safe to call any number of times.
void ensureResources();

// The category icon list shared by the tree, the category dialog and the icon picker. Icons are only
// ever appended, so an index given to a category keeps naming the same picture.
class IconList {
public:
    static constexpr int ImageSize = 32;

    // The built-in category icons, indices 0 to 22.
    static IconList builtIn();
    static constexpr int BuiltInCount = 23;

    int count() const;
    // Null icon out of range. Every caller shares the list's one icon per index, so ten thousand
    // tree nodes with the same icon hold one picture, not ten thousand copies.
    QIcon icon(int index) const;
    QPixmap pixmap(int index) const;  // null pixmap out of range
    QImage image(int index) const;    // null image out of range; 32x32 ARGB32
    // Scales the picture into 32x32 (keeping its proportions, centred); a null image is not appended.
    bool append(const QImage& picture);

    std::vector<unsigned char> serialize() const;
    // Anything that is not a list written by serialize() gives std::nullopt, never a crash.
    static std::optional<IconList> deserialize(const std::vector<unsigned char>& blob);

private:
    void push(QImage image);

    std::vector<QImage> images;
    std::vector<QIcon> icons;
};
