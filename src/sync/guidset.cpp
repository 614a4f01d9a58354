// SPDX-License-Identifier: GPL-3.0-or-later
#include "guidset.h"

#include <random>
#include <sodium.h>

GuidSet::GuidSet()
{
    static_assert(sizeof key == crypto_shorthash_KEYBYTES);
    std::random_device device;
    for (unsigned char& byte : key)
        byte = static_cast<unsigned char>(device());
}

long long GuidSet::number(std::string_view guid) const
{
    unsigned long long out = 0;
    crypto_shorthash(reinterpret_cast<unsigned char*>(&out), reinterpret_cast<const unsigned char*>(guid.data()),
                     guid.size(), key);
    return static_cast<long long>(out);
}

void GuidSet::insert(std::string_view guid)
{
    std::size_t& at = index.at(number(guid));
    if (at == 0) {
        guids.emplace_back(guid);
        at = guids.size();
    } else if (guids[at - 1] != guid) {
        shared.emplace(guid);
    }
}

bool GuidSet::contains(std::string_view guid) const
{
    const std::size_t at = index.find(number(guid));
    if (at == 0)
        return false;
    return guids[at - 1] == guid || (!shared.empty() && shared.count(std::string(guid)));
}
