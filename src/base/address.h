// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <string>
#include <string_view>

// The one rule for telling an address's scheme, used by opening, the link check, the readers and the
// export alike.

// An address as a browser reads it: without leading and trailing blanks and C0 controls, and
// without any ASCII tab, CR or LF inside (browsers drop them, so "java\tscript:" runs as script).
std::string browserAddress(std::string_view address);

// The scheme of such an address in lower case ("https", "file"), or "" when it has none: RFC 3986's
// letter, then letters, digits, "+", "-" or ".", up to the first ":", exactly as a browser handed
// the address would take it.
std::string addressScheme(std::string_view address);

// Whether a browser would run the address as script or show it as inline data: javascript:,
// vbscript: and data: addresses, judged as browsers read them. Such addresses are never stored,
// written or opened.
bool isScriptAddress(std::string_view address);

// The scheme an item's target names, in lower case, or "" when it names none. As addressScheme,
// except for two things people type where a scheme would stand: a single letter is a drive
// ("C:\notes.txt"), and a name followed by a port of digits up to the end, "/", "?" or "#" is a host
// ("localhost:3000?q=1", "example.com:8080/x").
std::string targetScheme(std::string_view target);

// Where a web-address item (type 1) leads: its target without leading and trailing blanks and
// controls, taken as http:// when it names no scheme. Other items' targets come back trimmed alone.
// Empty for an empty target.
std::string webAddressOf(std::string_view target, int type);
