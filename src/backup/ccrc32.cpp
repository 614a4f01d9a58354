// SPDX-License-Identifier: GPL-3.0-or-later
#include "backup/ccrc32.h"

#include <cstddef>

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

}  // namespace

CCRC32::CCRC32()
{
    BuildTable();
}

// The table is computed in the unreflected domain and mirrored afterwards, which gives the
// usual reflected table (entry 1 is 0x77073096, entry 128 is 0xEDB88320). The further tables let
// the checksum take eight bytes a step: a catalogue's first 10 MiB are checked on every backup.
void CCRC32::BuildTable()
{
    for (uint32_t index = 0; index < 256; ++index) {
        uint32_t value = reflect(index, 8) << 24;
        for (int step = 0; step < 8; ++step)
            value = (value << 1) ^ ((value & 0x80000000u) ? polynomial : 0u);
        table[0][index] = reflect(value, 32);
    }
    for (std::size_t slice = 1; slice < table.size(); ++slice)
        for (uint32_t index = 0; index < 256; ++index) {
            const uint32_t previous = table[slice - 1][index];
            table[slice][index] = (previous >> 8) ^ table[0][previous & 0xFFu];
        }
}

uint32_t CCRC32::Checksum(const unsigned char* data, uint32_t length) const
{
    if (length == 0)
        return 0;
    uint32_t value = 0xFFFFFFFFu;
    for (; length >= 8; data += 8, length -= 8) {
        const uint32_t low =
            value ^ (uint32_t(data[0]) | uint32_t(data[1]) << 8 | uint32_t(data[2]) << 16 | uint32_t(data[3]) << 24);
        value = table[7][low & 0xFFu] ^ table[6][(low >> 8) & 0xFFu] ^ table[5][(low >> 16) & 0xFFu]
                ^ table[4][low >> 24] ^ table[3][data[4]] ^ table[2][data[5]] ^ table[1][data[6]] ^ table[0][data[7]];
    }
    for (uint32_t i = 0; i < length; ++i)
        value = (value >> 8) ^ table[0][(value & 0xFFu) ^ data[i]];
    return value ^ 0xFFFFFFFFu;
}
