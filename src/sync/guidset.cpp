// SPDX-License-Identifier: GPL-3.0-or-later
#include "guidset.h"

#include <bit>
#include <cstring>
#include <random>
#include <sodium.h>
#include <stdexcept>

namespace {

std::uint32_t tagOf(unsigned long long hash)
{
    return static_cast<std::uint32_t>(hash) | 1;
}

}  // namespace

GuidSet::GuidSet()
{
    static_assert(sizeof key == crypto_shorthash_KEYBYTES);
    std::random_device device;
    for (unsigned char& byte : key)
        byte = static_cast<unsigned char>(device());
}

unsigned long long GuidSet::hash(std::string_view guid) const
{
    unsigned long long out = 0;
    crypto_shorthash(reinterpret_cast<unsigned char*>(&out), reinterpret_cast<const unsigned char*>(guid.data()),
                     guid.size(), key);
    return out;
}

std::string_view GuidSet::textAt(std::uint32_t at) const
{
    std::uint32_t size = 0;
    std::memcpy(&size, texts.data() + at, sizeof size);
    return {texts.data() + at + sizeof size, size};
}

std::size_t GuidSet::find(std::string_view guid, unsigned long long hash) const
{
    const std::uint32_t tag = tagOf(hash);
    for (std::size_t at = static_cast<std::size_t>(hash >> shift);; at = (at + 1) & (table.size() - 1)) {
        const Slot& slot = table[at];
        if (slot.tag == 0 || (slot.tag == tag && textAt(slot.text) == guid))
            return at;
    }
}

void GuidSet::grow()
{
    std::vector<Slot> old = std::move(table);
    table.assign(std::max<std::size_t>(64, old.size() * 2), Slot());
    shift = 64 - std::countr_zero(table.size());
    for (const Slot& slot : old)
        if (slot.tag != 0)
            table[find(textAt(slot.text), hash(textAt(slot.text)))] = slot;
}

void GuidSet::insert(std::string_view guid)
{
    // At most half full, so that a search ends soon.
    if ((used + 1) * 2 > table.size())
        grow();
    const unsigned long long number = hash(guid);
    Slot& slot = table[find(guid, number)];
    if (slot.tag != 0)
        return;
    const std::uint32_t size = static_cast<std::uint32_t>(guid.size());
    if (guid.size() > UINT32_MAX - sizeof size || texts.size() > UINT32_MAX - sizeof size - guid.size())
        throw std::length_error("Too many GUIDs for one merge.");
    slot = {tagOf(number), static_cast<std::uint32_t>(texts.size())};
    texts.append(reinterpret_cast<const char*>(&size), sizeof size);
    texts.append(guid);
    ++used;
}

bool GuidSet::contains(std::string_view guid) const
{
    return !table.empty() && table[find(guid, hash(guid))].tag != 0;
}
