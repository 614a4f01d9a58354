// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <array>
#include <cstdint>

// The CRC-32 of zlib and PKZIP (reflected polynomial 0xEDB88320, initial and final XOR 0xFFFFFFFF).
class CCRC32 {
public:
    CCRC32();

    uint32_t Checksum(const unsigned char* data, uint32_t length) const;

private:
    void BuildTable();

    // Slice-by-8: table[k] advances a byte that is followed by k more bytes.
    std::array<std::array<uint32_t, 256>, 8> table{};
};
