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
// address as a web entry. place: and javascript: addresses and empty ones are counted in
// `skipped` instead. The new entry, or nullptr when it was skipped.
ImportEntry* appendBookmark(ImportFolder& folder, int& skipped, std::string name, std::string_view url);
