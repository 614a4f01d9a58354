// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "import/importtree.h"

#include <string>

// Reads the "Bookmarks" file of a Chromium-family profile (JSON). The roots become the folders
// "Bookmarks bar", "Other bookmarks" and "Mobile bookmarks", in that order; a root holding nothing
// is left out, as the browsers themselves hide it. Throws std::runtime_error with a sentence naming
// the file when it cannot be read, is too large or is no Chromium bookmark file.
ImportTree readChromiumBookmarks(const std::string& path);
