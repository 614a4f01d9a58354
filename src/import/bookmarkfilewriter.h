// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "import/importtree.h"

#include <string>

// Writes the tree as a Netscape bookmark file that browsers import, in UTF-8: folders as <H3>
// headings, web entries as links to the address the program opens (http:// before a target that
// names no scheme), file entries as file: URLs of their
// path, comments as <DD>. The file is written beside the target, flushed and renamed into place,
// so a failed export leaves the old file (or none) and no temporary file; a failure throws
// std::runtime_error with a sentence naming the file (a file-size limit too). The root's own name is
// not written. An existing file keeps its mode; a symbolic link keeps pointing at the file it
// names, which gets the new contents. Entries with a script or data address (javascript:,
// vbscript:, data:) are left out; returns how many.
int writeBookmarkFile(const std::string& path, const ImportFolder& tree);
