// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <string_view>

// The text without its leading and trailing characters of code 32 or below: blanks and the
// control characters, line breaks included.
std::string_view trimControl(std::string_view text);
