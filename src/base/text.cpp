// SPDX-License-Identifier: GPL-3.0-or-later
#include "base/text.h"

namespace {

bool isControlOrBlank(char c)
{
    return static_cast<unsigned char>(c) <= 32;
}

}  // namespace

std::string_view trimControl(std::string_view text)
{
    while (!text.empty() && isControlOrBlank(text.front()))
        text.remove_prefix(1);
    while (!text.empty() && isControlOrBlank(text.back()))
        text.remove_suffix(1);
    return text;
}

std::size_t utf8SequenceLength(std::string_view text, std::size_t at)
{
    const auto byte = [text](std::size_t i) { return static_cast<unsigned char>(text[i]); };
    const unsigned char lead = byte(at);
    const std::size_t length = lead < 0x80                      ? 1
                               : (lead >= 0xC2 && lead <= 0xDF) ? 2
                               : (lead >= 0xE0 && lead <= 0xEF) ? 3
                               : (lead >= 0xF0 && lead <= 0xF4) ? 4
                                                                : 0;
    if (length == 0 || at + length > text.size())
        return 0;
    for (std::size_t k = 1; k < length; ++k)
        if ((byte(at + k) & 0xC0) != 0x80)
            return 0;
    const unsigned char second = length > 1 ? byte(at + 1) : 0;
    if ((lead == 0xE0 && second < 0xA0) || (lead == 0xED && second > 0x9F) || (lead == 0xF0 && second < 0x90)
        || (lead == 0xF4 && second > 0x8F))
        return 0;
    return length;
}
