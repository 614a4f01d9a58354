// SPDX-License-Identifier: GPL-3.0-or-later
#include "syncrecord.h"

#include <charconv>

std::string formatStamp(const Stamp& stamp)
{
    return std::to_string(stamp.clock) + "@" + stamp.device;
}

std::optional<Stamp> parseStamp(const std::string& text)
{
    const auto at = text.find('@');
    if (at == std::string::npos || at == 0)
        return std::nullopt;
    Stamp stamp;
    const char* end = text.data() + at;
    const auto [last, error] = std::from_chars(text.data(), end, stamp.clock);
    if (error != std::errc() || last != end || stamp.clock < 0)
        return std::nullopt;
    stamp.device = text.substr(at + 1);
    return stamp;
}
