// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "keyindex.h"

#include <string>
#include <string_view>
#include <unordered_set>
#include <vector>

// GUIDs asked about for every record of a merge: one probe of a flat table by a hash of the GUID,
// and the text compared only when the hash is there. A node-based set costs three or four cache
// misses a question, and a merge asks two hundred thousand of them while its state fills the cache.
// The hash's key is this run's own, so no place can choose GUIDs that share a number.
class GuidSet {
public:
    GuidSet();
    void insert(std::string_view guid);
    bool contains(std::string_view guid) const;

private:
    long long number(std::string_view guid) const;

    KeyIndex index;
    std::vector<std::string> guids;
    // GUIDs whose hash another one took first: never met but by chance.
    std::unordered_set<std::string> shared;
    unsigned char key[16];
};
