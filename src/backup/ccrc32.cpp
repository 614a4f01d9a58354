// SPDX-License-Identifier: GPL-3.0-or-later
#include "backup/ccrc32.h"

namespace {

constexpr uint32_t polynomial = 0x04C11DB7u;

uint32_t reflect(uint32_t value, int bits)
{
    uint32_t result = 0;
    for (int bit = 0; bit < bits; ++bit) {
        result = (result << 1) | (value & 1u);
        value >>= 1;
    }
    return result;
}

} // namespace

CCRC32::CCRC32()
{
    BuildTable();
}

// The table is computed in the unreflected domain and mirrored afterwards, which gives the
// usual reflected table (entry 1 is 0x77073096, entry 128 is 0xEDB88320).
void CCRC32::BuildTable()
{
    for (uint32_t index = 0; index < table.size(); ++index) {
        uint32_t value = reflect(index, 8) << 24;
        for (int step = 0; step < 8; ++step)
            value = (value << 1) ^ ((value & 0x80000000u) ? polynomial : 0u);
        table[index] = reflect(value, 32);
    }
}

uint32_t CCRC32::Checksum(const unsigned char* data, uint32_t length) const
{
    if (length == 0)
        return 0;
    uint32_t value = 0xFFFFFFFFu;
    for (uint32_t i = 0; i < length; ++i)
        value = (value >> 8) ^ table[(value & 0xFFu) ^ data[i]];
    return value ^ 0xFFFFFFFFu;
}
