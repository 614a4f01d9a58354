// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "import/importtree.h"
#include "model/progress.h"

#include <string>

// Reads the bookmarks of a Firefox profile's places.sqlite. The browser keeps the file open and
// locked, so it and its write-ahead log are copied into a private folder of ours (below the user's
// cache folder) first and the copy is read (what the browser has committed); the copy is removed
// afterwards and the browser's files are never changed. Only a database laid out as Firefox lays
// it out is read (plain tables with the columns read, no views), a copy over 1 GB is refused, and
// a read that runs too long ends with a message; progress, asked now and then, may end it with
// ReadStopped. The roots become "Bookmarks Menu", "Bookmarks Toolbar", "Other
// Bookmarks" and "Mobile Bookmarks", in that order; a root holding nothing is left out, and the
// tags are not bookmarks. Throws std::runtime_error with a sentence naming the file when it cannot
// be read or copied, or is no Firefox bookmark database (corrupt, truncated, unknown schema).
ImportTree readFirefoxPlaces(const std::string& placesPath, Progress& progress = Progress::none());

// Removes the copies that reads of processes no longer running left behind (after a kill).
void removeLeftoverProfileCopies();
