// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "import/importtree.h"

#include <string>

// Reads a Netscape bookmark file, the HTML every browser exports: <H3> headings become folders,
// <A HREF> links entries (a <DD> after a link its comment), <HR> separators are skipped.
// A file: link becomes a file entry with its local path. Throws std::runtime_error with a sentence
// naming the file when it cannot be read, is larger than 256 MB or is no bookmark file.
ImportTree readBookmarkFile(const std::string& path);
