// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <string>
#include <string_view>

// An address as a browser reads it: without leading and trailing blanks and C0 controls, and
// without any ASCII tab, CR or LF inside (browsers drop them, so "java\tscript:" runs as script).
std::string browserAddress(std::string_view address);

// The scheme of such an address in lower case ("https", "file"), or "" when it has none.
std::string addressScheme(std::string_view address);

// Whether a browser would run the address as script or show it as inline data: javascript:,
// vbscript: and data: addresses, judged as browsers read them. Such addresses are never stored,
// written or opened.
bool isScriptAddress(std::string_view address);
