// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstddef>
#include <vector>

// A number for each key, by open addressing over keys that are hashes already (an object's key in
// the bookkeeping): most are found at the first slot tried. A multiplier of this run's own spreads
// them, so records from a place cannot be made to pile up in one stretch of the table.
class KeyIndex {
public:
    KeyIndex();
    void reserve(std::size_t count);
    // The number kept for the key; 0 when the key is not there.
    std::size_t find(long long key) const;
    // The same, to be set: a key new to the index finds 0 there.
    std::size_t& at(long long key);
    // Fetches the key's first slot into the cache ahead of a find or an at.
    void prefetch(long long key) const;
    void clear();

private:
    struct Slot {
        long long key = 0;
        std::size_t number = 0;
    };
    std::size_t home(long long key) const;
    void grow(std::size_t size);

    std::vector<Slot> table;
    std::size_t used = 0;
    unsigned long long multiplier;
    int shift = 0;
};
