// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstddef>
#include <string_view>

// The text without its leading and trailing characters of code 32 or below: blanks and the
// control characters, line breaks included.
std::string_view trimControl(std::string_view text);

// Length of the well-formed UTF-8 sequence at text[at] (no overlong forms, no surrogates, nothing
// past U+10FFFF), or 0 when the byte starts none.
std::size_t utf8SequenceLength(std::string_view text, std::size_t at);
