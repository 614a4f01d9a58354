// SPDX-License-Identifier: GPL-3.0-or-later
// The binary text encoding of stored blobs: any stored text decodes or is refused with the storage
// error, and any bytes come back unchanged through encode and decode.

#include "fuzzsupport.h"

#include "storage/cppsqlite3.h"

#include <cstring>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    // As stored text the bytes end at their first NUL, as SQLite hands a column's text over.
    const std::string text(reinterpret_cast<const char*>(data), size);
    {
        CppSQLite3Binary stored;
        stored.SetEncoded(text.c_str());
        try {
            const unsigned char* bytes = stored.GetBinary();
            const int length = stored.GetBinaryLength();
            // The first character is the offset, and an escape makes one byte of two characters.
            const size_t characters = std::strlen(text.c_str());
            FUZZ_CHECK(length >= 0 && static_cast<size_t>(length) + (characters > 0 ? 1 : 0) <= characters);
            // Copied out, so that a length running past the buffer is an overflow the sanitizer sees.
            const std::vector<unsigned char> decoded(bytes, bytes + length);
        } catch (const CppSQLite3Exception&) {
        }
    }

    CppSQLite3Binary written;
    written.SetBinary(data, static_cast<int>(size));
    const std::string encoded = written.GetEncoded();
    FUZZ_CHECK(encoded.size() == static_cast<size_t>(written.encodedLength()));
    // The text goes into SQL between apostrophes: it holds none, and no NUL cuts it short.
    FUZZ_CHECK(encoded.find('\'') == std::string::npos);
    CppSQLite3Binary read;
    read.SetEncoded(encoded.c_str());
    const unsigned char* back = read.GetBinary();
    FUZZ_CHECK(read.GetBinaryLength() == static_cast<int>(size));
    FUZZ_CHECK(size == 0 || std::memcmp(back, data, size) == 0);
    return 0;
}
