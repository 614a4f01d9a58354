// SPDX-License-Identifier: GPL-3.0-or-later
#include "keyindex.h"

#include <algorithm>
#include <bit>
#include <random>

KeyIndex::KeyIndex()
{
    std::random_device device;
    multiplier = (static_cast<unsigned long long>(device()) << 32 | device()) | 1;
}

std::size_t KeyIndex::home(long long key) const
{
    return static_cast<std::size_t>((static_cast<unsigned long long>(key) * multiplier) >> shift);
}

void KeyIndex::reserve(std::size_t count)
{
    if (count * 2 > table.size())
        grow(std::bit_ceil(count * 2));
}

void KeyIndex::grow(std::size_t size)
{
    std::vector<Slot> old = std::move(table);
    table.assign(size, Slot());
    shift = 64 - std::countr_zero(size);
    used = 0;
    for (const Slot& slot : old)
        if (slot.number != 0)
            at(slot.key) = slot.number;
}

std::size_t KeyIndex::find(long long key) const
{
    if (table.empty())
        return 0;
    for (std::size_t slot = home(key);; slot = (slot + 1) & (table.size() - 1)) {
        if (table[slot].number == 0 || table[slot].key == key)
            return table[slot].number;
    }
}

void KeyIndex::prefetch(long long key) const
{
    if (!table.empty())
        __builtin_prefetch(&table[home(key)]);
}

std::size_t& KeyIndex::at(long long key)
{
    // At most half full, so that a search ends soon.
    if ((used + 1) * 2 > table.size())
        grow(std::max<std::size_t>(64, table.size() * 2));
    for (std::size_t at = home(key);; at = (at + 1) & (table.size() - 1)) {
        Slot& slot = table[at];
        if (slot.number == 0) {
            slot.key = key;
            ++used;
            return slot.number;
        }
        if (slot.key == key)
            return slot.number;
    }
}

void KeyIndex::clear()
{
    table = {};
    used = 0;
}
