// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

// The text without its leading and trailing characters of code 32 or below: blanks and the
// control characters, line breaks included.
std::string_view trimControl(std::string_view text);

// ---- UTF-8 ---------------------------------------------------------------------------------------

// Length of the well-formed UTF-8 sequence at text[at] (no overlong forms, no surrogates, nothing
// past U+10FFFF), or 0 when the byte starts none.
std::size_t utf8SequenceLength(std::string_view text, std::size_t at);
// Whether the whole text is well-formed UTF-8.
bool isUtf8(std::string_view text);
// The text with every byte that starts no well-formed UTF-8 sequence replaced by U+FFFD.
std::string repairedUtf8(std::string_view text);
// The text cut to at most maxBytes bytes, never inside a UTF-8 sequence: continuation bytes at the
// cut go with the character they belong to.
std::string_view utf8Prefix(std::string_view text, std::size_t maxBytes);

// ---- ASCII case ----------------------------------------------------------------------------------
// Only the 26 ASCII letters have a case here, whatever the locale: names, schemes and keys compare as
// the formats that define them do, and a byte of a UTF-8 sequence is never changed.

char lowerAscii(char c);
std::string lowerAscii(std::string_view text);
bool equalsIgnoringCase(std::string_view a, std::string_view b);
bool startsWithIgnoringCase(std::string_view text, std::string_view prefix);
