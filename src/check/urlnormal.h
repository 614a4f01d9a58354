// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <string>
#include <string_view>

namespace check {

// RFC 3986 syntax-based normalisation: scheme and host lower-cased, the scheme's default port and
// an empty port removed, percent-encoding with upper-case digits and unreserved characters decoded,
// dot segments removed, an empty path under an authority made "/". Empty when the text is no URL.
std::string normaliseUrl(std::string_view url);

// A looser key over the normalised address: http and https alike, no "www.", no trailing slash,
// no fragment, no utm_* parameters. Two addresses with the same loose key are possibly the same page.
std::string looseUrlKey(std::string_view url);

}  // namespace check
