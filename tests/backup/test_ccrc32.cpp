// SPDX-License-Identifier: GPL-3.0-or-later
#include "backup/ccrc32.h"

#include "backuptestutil.h"

#include <zlib.h>

#include <cstring>

namespace {

uint32_t referenceCrc(const Bytes& data, std::size_t length)
{
    return static_cast<uint32_t>(crc32(0L, data.data(), static_cast<uInt>(length)));
}

}  // namespace

TEST(CCRC32, ChecksumOfCheckStringIsStandardValue)
{
    const char* check = "123456789";
    EXPECT_EQ(CCRC32().Checksum(reinterpret_cast<const unsigned char*>(check), 9), 0xCBF43926u);
}

TEST(CCRC32, EmptyInputYieldsZero)
{
    const unsigned char byte = 0xAB;
    EXPECT_EQ(CCRC32().Checksum(&byte, 0), 0u);
}

TEST(CCRC32, SingleBytesMatchZlibForEveryValue)
{
    const CCRC32 crc;
    for (int value = 0; value < 256; ++value) {
        const Bytes one{static_cast<unsigned char>(value)};
        EXPECT_EQ(crc.Checksum(one.data(), 1), referenceCrc(one, 1)) << "byte " << value;
    }
}

TEST(CCRC32, RandomBuffersMatchZlib)
{
    const CCRC32 crc;
    const std::size_t lengths[] = {1, 2, 3, 7, 255, 256, 1000, 4096, 65537, 1048576};
    unsigned seed = 1;
    for (std::size_t length : lengths) {
        const Bytes data = randomBytes(length, seed++);
        EXPECT_EQ(crc.Checksum(data.data(), static_cast<uint32_t>(length)), referenceCrc(data, length))
            << "length " << length;
    }
}

TEST(CCRC32, PrefixOfBufferCoversOnlyThatPrefix)
{
    const Bytes data = randomBytes(5000, 42);
    const CCRC32 crc;
    EXPECT_EQ(crc.Checksum(data.data(), 1234), referenceCrc(data, 1234));
    EXPECT_NE(crc.Checksum(data.data(), 1234), crc.Checksum(data.data(), 5000));
}

TEST(CCRC32, OneObjectGivesTheSameResultOnRepeatedUse)
{
    const Bytes data = randomBytes(777, 9);
    const CCRC32 crc;
    const uint32_t first = crc.Checksum(data.data(), 777);
    EXPECT_EQ(crc.Checksum(data.data(), 777), first);
    EXPECT_EQ(first, referenceCrc(data, 777));
}
