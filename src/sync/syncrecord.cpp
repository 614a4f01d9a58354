// SPDX-License-Identifier: GPL-3.0-or-later
#include "syncrecord.h"

#include <charconv>

void formatStamp(const Stamp& stamp, std::string& into)
{
    char digits[24];
    const auto [end, error] = std::to_chars(digits, digits + sizeof digits, stamp.clock);
    into.assign(digits, error == std::errc() ? end : digits);
    into += '@';
    into += stamp.device;
}

std::optional<Stamp> parseStamp(std::string_view text)
{
    const auto at = text.find('@');
    if (at == std::string_view::npos || at == 0)
        return std::nullopt;
    Stamp stamp;
    const char* end = text.data() + at;
    const auto [last, error] = std::from_chars(text.data(), end, stamp.clock);
    if (error != std::errc() || last != end || stamp.clock < 0)
        return std::nullopt;
    stamp.device = text.substr(at + 1);
    return stamp;
}
