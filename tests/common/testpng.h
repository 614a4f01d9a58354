// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <png.h>

#include <cstdint>
#include <string>
#include <vector>

// A real PNG of a square of one colour, written by libpng: what a picture of the icon list is.
inline std::string squarePng(unsigned side, std::uint32_t rgba)
{
    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    image.width = side;
    image.height = side;
    image.format = PNG_FORMAT_RGBA;
    std::vector<unsigned char> pixels(std::size_t(side) * side * 4);
    for (std::size_t i = 0; i < pixels.size(); ++i)
        pixels[i] = static_cast<unsigned char>(rgba >> (24 - 8 * (i % 4)));
    png_alloc_size_t size = 0;
    png_image_write_to_memory(&image, nullptr, &size, 0, pixels.data(), 0, nullptr);
    std::string png(size, '\0');
    png_image_write_to_memory(&image, png.data(), &size, 0, pixels.data(), 0, nullptr);
    png.resize(size);
    return png;
}
