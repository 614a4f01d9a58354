// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "import/importtree.h"

#include <optional>
#include <string>
#include <string_view>

// The local path of a file: URL as exact bytes, percent-decoded; nothing when the address is no
// plain local file (another host, a query or fragment, an empty path, a NUL byte).
std::optional<std::string> pathFromFileUrl(std::string_view url);

// A file: URL whose path reads back as exactly these bytes: "file://" before an absolute path,
// "file:" before any other, every byte but letters, digits, "-._~" and "/" percent-encoded.
std::string fileUrlFromPath(std::string_view path);

// Appends a bookmark a browser holds to `folder`: a local file: address as a file entry, any other
// address as a web entry, the address read as a browser reads it. place:, script and data
// addresses, empty ones and those over maxAddressBytes are counted in `skipped` instead. The title
// is made one line of at most maxTitleCharacters (importedTitle); an untitled bookmark is named
// after its address, as browsers show it. The new entry, or nullptr when it was skipped.
ImportEntry* appendBookmark(ImportFolder& folder, int& skipped, std::string_view name, std::string_view url);

// A title or folder name as a browser shows it: valid UTF-8 (a bad byte becomes U+FFFD), every
// control character (line breaks and tabs included) a blank, blanks around it kept, cut after
// maxTitleCharacters characters.
std::string importedTitle(std::string_view name);

// A description: valid UTF-8 with its line breaks, cut after maxDescriptionBytes bytes (at a
// character's start).
std::string importedDescription(std::string_view text);
