// SPDX-License-Identifier: GPL-3.0-or-later
#include "iconlistblob.h"

#include <png.h>

#include <array>
#include <cstdint>
#include <cstring>

namespace {

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

}  // namespace

std::vector<unsigned char> joinIconList(const std::vector<std::string>& pngs)
{
    std::vector<unsigned char> out(Magic.begin(), Magic.end());
    putU16(out, FormatVersion);
    putU16(out, iconListImageSize);
    putU16(out, iconListImageSize);
    putU32(out, static_cast<uint32_t>(pngs.size()));
    for (const std::string& png : pngs) {
        putU32(out, static_cast<uint32_t>(png.size()));
        out.insert(out.end(), png.begin(), png.end());
    }
    return out;
}

std::optional<std::vector<std::string>> splitIconList(const std::vector<unsigned char>& blob)
{
    Reader reader(blob);
    const unsigned char* magic = nullptr;
    uint16_t version = 0, width = 0, height = 0;
    uint32_t imageCount = 0;
    if (!reader.bytes(Magic.size(), magic) || std::memcmp(magic, Magic.data(), Magic.size()) != 0)
        return std::nullopt;
    if (!reader.u16(version) || !reader.u16(width) || !reader.u16(height) || !reader.u32(imageCount))
        return std::nullopt;
    if (version != FormatVersion || width != iconListImageSize || height != iconListImageSize || imageCount > MaxCount
        || reader.left() / (4 + MinPngSize) < imageCount)
        return std::nullopt;
    std::vector<std::string> pngs;
    pngs.reserve(imageCount);
    for (uint32_t i = 0; i < imageCount; ++i) {
        uint32_t length = 0;
        const unsigned char* png = nullptr;
        if (!reader.u32(length) || length == 0 || length > INT32_MAX || !reader.bytes(length, png))
            return std::nullopt;
        pngs.emplace_back(reinterpret_cast<const char*>(png), length);
    }
    if (reader.left() != 0)
        return std::nullopt;
    return pngs;
}

bool isIconPicture(const std::string& png)
{
    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    if (!png_image_begin_read_from_memory(&image, png.data(), png.size()))
        return false;
    if (image.width != iconListImageSize || image.height != iconListImageSize) {
        png_image_free(&image);
        return false;
    }
    // Decoding every row checks the compressed data and its checksums, not just the header.
    image.format = PNG_FORMAT_RGBA;
    std::vector<unsigned char> pixels(PNG_IMAGE_SIZE(image));
    const bool decoded = png_image_finish_read(&image, nullptr, pixels.data(), 0, nullptr) != 0;
    png_image_free(&image);
    return decoded && !PNG_IMAGE_FAILED(image);
}
