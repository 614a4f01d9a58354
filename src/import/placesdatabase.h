// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "model/progress.h"

#include <string>
#include <unordered_map>
#include <unordered_set>
#include <vector>

// The rows of a Firefox places.sqlite that hold bookmarks, and the one connection that reads them.

// One row of moz_bookmarks with the address of its place.
struct PlacesRow {
    long long id;
    int type;
    std::string title;
    std::string url;
};

struct PlacesRows {
    std::unordered_map<long long, std::vector<PlacesRow>> children;  // by parent, in position order
    std::unordered_map<std::string, long long> ids;                  // by guid
    std::unordered_set<long long> all;
};

// The bookmark rows of the database at copyPath, a private copy of placesPath, read on one read-only
// connection bounded in time and in the size of any value, that trusts nothing in the file's schema:
// only a database laid out as Firefox lays it out is read (plain tables with the columns read, no
// views). Throws std::runtime_error with a sentence naming placesPath when it is no Firefox bookmark
// database or takes too long to read, and ReadStopped when progress says stop.
PlacesRows readPlacesRows(const std::string& copyPath, const std::string& placesPath, Progress& progress);
