// SPDX-License-Identifier: GPL-3.0-or-later
// The backup header and the restore's checks: restoreBackup on the fuzzed bytes as the backup file,
// over a real catalogue. A refused backup leaves the catalogue byte for byte as it was and calls
// neither callback; an accepted one calls each once and leaves exactly the backup's content.

#include "fuzzsupport.h"

#include "backup/backupfile.h"
#include "backup/ccrc32.h"
#include "storage/cdbmanager.h"

#include <cstring>
#include <string>

namespace {

constexpr size_t headerSize = 30;
constexpr uint32_t crcLimit = 0xA00000;
constexpr char magic[] = "VaRnElOcAtAlOgUe";

struct Ground {
    FuzzFolder folder;
    std::string catalogue = folder.path("FavoritesDB.db");
    std::string backup = folder.path("input.mbk");
    std::string original;

    Ground()
    {
        CDBManager db;
        db.Open(catalogue);
        db.EnsureDefaultCategories();
        db.Close();
        original = readFile(catalogue);
        FUZZ_CHECK(!original.empty());
    }
};

void putLittleEndian(uint8_t* out, uint32_t value, int width)
{
    for (int i = 0; i < width; ++i)
        out[i] = static_cast<uint8_t>(value >> (8 * i));
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    ground<Ground>();
    return 0;
}

// Random bytes almost never carry the CRC of what follows them, so most mutants get a header
// that matches their content and reach the catalogue checks behind it; the rest keep whatever
// header the mutation left, for the header checks themselves.
extern "C" size_t LLVMFuzzerMutate(uint8_t* data, size_t size, size_t maxSize);
extern "C" size_t LLVMFuzzerCustomMutator(uint8_t* data, size_t size, size_t maxSize, unsigned int seed)
{
    size = LLVMFuzzerMutate(data, size, maxSize);
    if (seed % 4 == 0 || size <= headerSize)
        return size;
    const size_t content = size - headerSize;
    const uint32_t crcLength = content > crcLimit ? crcLimit : static_cast<uint32_t>(content);
    std::memcpy(data, magic, 16);
    putLittleEndian(data + 16, 1, 2);
    putLittleEndian(data + 18, static_cast<uint32_t>(content), 4);
    putLittleEndian(data + 22, crcLength, 4);
    putLittleEndian(data + 26, CCRC32().Checksum(data + headerSize, crcLength), 4);
    return size;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    Ground& g = ground<Ground>();
    writeInput(g.backup, data, size);
    int closes = 0;
    int reloads = 0;
    const BackupOutcome outcome = restoreBackup(
        g.backup, g.catalogue, [&closes] { ++closes; }, [&reloads] { ++reloads; });
    const std::string now = readFile(g.catalogue);
    if (outcome.succeeded) {
        FUZZ_CHECK(outcome.message == restoreSuccessText);
        FUZZ_CHECK(closes == 1 && reloads == 1);
        FUZZ_CHECK(size > headerSize
                   && now == std::string(reinterpret_cast<const char*>(data) + headerSize, size - headerSize));
        writeInput(g.catalogue, reinterpret_cast<const uint8_t*>(g.original.data()), g.original.size());
        return 0;
    }
    FUZZ_CHECK(outcome.message == restoreInvalidText);
    FUZZ_CHECK(closes == 0 && reloads == 0);
    FUZZ_CHECK(now == g.original);
    FUZZ_CHECK(readFile(stagingPath(g.catalogue)).empty());
    return 0;
}
