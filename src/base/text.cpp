// SPDX-License-Identifier: GPL-3.0-or-later
#include "base/text.h"

namespace {

bool isControlOrBlank(char c)
{
    return static_cast<unsigned char>(c) <= 32;
}

} // namespace

std::string_view trimControl(std::string_view text)
{
    while (!text.empty() && isControlOrBlank(text.front()))
        text.remove_prefix(1);
    while (!text.empty() && isControlOrBlank(text.back()))
        text.remove_suffix(1);
    return text;
}
