// SPDX-License-Identifier: GPL-3.0-or-later
#include "syncrecord.h"

#include <charconv>

std::optional<Stamp> parseStamp(std::string_view text)
{
    Stamp stamp;
    if (!parseStampInto(text, stamp))
        return std::nullopt;
    return stamp;
}

bool parseStampInto(std::string_view text, Stamp& stamp)
{
    const auto at = text.find('@');
    if (at == std::string_view::npos || at == 0)
        return false;
    long long clock = 0;
    const char* end = text.data() + at;
    const auto [last, error] = std::from_chars(text.data(), end, clock);
    if (error != std::errc() || last != end || clock < 0)
        return false;
    stamp.clock = clock;
    stamp.device.assign(text.substr(at + 1));
    return true;
}
