// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <string>

// "B7" for ("B", 7). Appending, rather than "B" + std::to_string(n): GCC 12 warns falsely
// (-Wrestrict) about a short literal before a temporary string in Release builds.
inline std::string numbered(const char* prefix, int n)
{
    std::string text = prefix;
    text += std::to_string(n);
    return text;
}
