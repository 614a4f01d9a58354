// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

// GUIDs asked about for every record of a merge, by open addressing over a keyed hash of each. A slot
// holds part of the hash and where the GUID's text lies, so a GUID that is not there costs one probe
// of a table small enough to stay in the cache, and one that is there one more read, of its text. A
// merge asks two hundred thousand of these while its state fills the cache. The hash's key is this
// run's own, so no place can choose GUIDs that pile up in one stretch of the table.
class GuidSet {
public:
    GuidSet();
    void insert(std::string_view guid);
    bool contains(std::string_view guid) const;

private:
    struct Slot {
        // Never 0 for a slot in use.
        std::uint32_t tag = 0;
        std::uint32_t text = 0;
    };
    unsigned long long hash(std::string_view guid) const;
    // The slot holding the GUID, or the empty one where it would go.
    std::size_t find(std::string_view guid, unsigned long long hash) const;
    std::string_view textAt(std::uint32_t at) const;
    void grow();

    std::vector<Slot> table;
    std::size_t used = 0;
    int shift = 64;
    // Each GUID's length (four bytes) and its text, one after the other.
    std::string texts;
    unsigned char key[16];
};
