// SPDX-License-Identifier: GPL-3.0-or-later
#include "base/text.h"

#include <algorithm>

namespace {

constexpr std::string_view replacementCharacter = "\xEF\xBF\xBD";

bool isControlOrBlank(char c)
{
    return static_cast<unsigned char>(c) <= 32;
}

bool isContinuationByte(char c)
{
    return (static_cast<unsigned char>(c) & 0xC0) == 0x80;
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
        if (!isContinuationByte(text[at + k]))
            return 0;
    const unsigned char second = length > 1 ? byte(at + 1) : 0;
    if ((lead == 0xE0 && second < 0xA0) || (lead == 0xED && second > 0x9F) || (lead == 0xF0 && second < 0x90)
        || (lead == 0xF4 && second > 0x8F))
        return 0;
    return length;
}

bool isUtf8(std::string_view text)
{
    for (std::size_t at = 0; at < text.size();) {
        const std::size_t length = utf8SequenceLength(text, at);
        if (length == 0)
            return false;
        at += length;
    }
    return true;
}

std::string repairedUtf8(std::string_view text)
{
    std::string valid;
    valid.reserve(text.size());
    for (std::size_t at = 0; at < text.size();) {
        const std::size_t length = utf8SequenceLength(text, at);
        if (length == 0) {
            valid += replacementCharacter;
            ++at;
            continue;
        }
        valid.append(text, at, length);
        at += length;
    }
    return valid;
}

std::string_view utf8Prefix(std::string_view text, std::size_t maxBytes)
{
    if (text.size() <= maxBytes)
        return text;
    std::size_t cut = maxBytes;
    while (cut > 0 && isContinuationByte(text[cut]))
        --cut;
    return text.substr(0, cut);
}

char lowerAscii(char c)
{
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

std::string lowerAscii(std::string_view text)
{
    std::string lowered(text);
    std::transform(lowered.begin(), lowered.end(), lowered.begin(), [](char c) { return lowerAscii(c); });
    return lowered;
}

bool equalsIgnoringCase(std::string_view a, std::string_view b)
{
    return a.size() == b.size() && startsWithIgnoringCase(a, b);
}

bool startsWithIgnoringCase(std::string_view text, std::string_view prefix)
{
    return text.size() >= prefix.size() && std::equal(prefix.begin(), prefix.end(), text.begin(), [](char x, char y) {
               return lowerAscii(x) == lowerAscii(y);
           });
}
