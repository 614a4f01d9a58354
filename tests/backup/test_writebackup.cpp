// SPDX-License-Identifier: GPL-3.0-or-later
#include "backup/backupfile.h"

#include "backuptestutil.h"

#include <sys/stat.h>

#include <zlib.h>

#include <atomic>
#include <cstring>
#include <thread>

#include <unistd.h>

namespace {

constexpr std::size_t MiB = 1024 * 1024;

// An independent reader of the backup header: 16 magic bytes, then little-endian fields.
struct ParsedBackup {
    std::string magic;
    uint32_t version = 0, size = 0, crcLength = 0, crc = 0;
    Bytes payload;
};

uint32_t littleEndian(const Bytes& data, std::size_t offset, int width)
{
    uint32_t value = 0;
    for (int i = 0; i < width; ++i)
        value |= static_cast<uint32_t>(data.at(offset + i)) << (8 * i);
    return value;
}

ParsedBackup parseBackup(const Bytes& file)
{
    ParsedBackup parsed;
    parsed.magic.assign(file.begin(), file.begin() + 16);
    parsed.version = littleEndian(file, 16, 2);
    parsed.size = littleEndian(file, 18, 4);
    parsed.crcLength = littleEndian(file, 22, 4);
    parsed.crc = littleEndian(file, 26, 4);
    parsed.payload.assign(file.begin() + 30, file.end());
    return parsed;
}

uint32_t zlibCrc(const Bytes& data, std::size_t length)
{
    return static_cast<uint32_t>(crc32(0L, data.data(), static_cast<uInt>(length)));
}

void expectBackupOf(const Bytes& database, const std::string& backupPath)
{
    const ParsedBackup parsed = parseBackup(readBytes(backupPath));
    const std::size_t covered = std::min<std::size_t>(database.size(), 10485760);
    EXPECT_EQ(parsed.magic, "VaRnElOcAtAlOgUe");
    EXPECT_EQ(parsed.version, 1u);
    EXPECT_EQ(parsed.size, database.size());
    EXPECT_EQ(parsed.crcLength, covered);
    EXPECT_EQ(parsed.crc, zlibCrc(database, covered));
    EXPECT_TRUE(parsed.payload == database) << "payload differs from the database bytes";
}

}  // namespace

TEST(WriteBackup, SmallDatabaseGetsHeaderAndWholePayload)
{
    TempFolder folder;
    const Bytes database = randomBytes(12345, 3);
    writeBytes(folder.path("FavoritesDB.db"), database);

    const BackupOutcome outcome = writeBackup(folder.path("FavoritesDB.db"), folder.path("a.mbk"));

    EXPECT_TRUE(outcome.succeeded);
    EXPECT_EQ(outcome.message, "Successfully finish backup!");
    expectBackupOf(database, folder.path("a.mbk"));
}

TEST(WriteBackup, SizesAroundTheCopyChunkAreCopiedWhole)
{
    TempFolder folder;
    const std::size_t sizes[] = {MiB - 1, MiB, MiB + 1, 5 * MiB / 2, 3 * MiB};
    unsigned seed = 10;
    for (std::size_t size : sizes) {
        const Bytes database = randomBytes(size, seed++);
        writeBytes(folder.path("db"), database);
        ASSERT_TRUE(writeBackup(folder.path("db"), folder.path("b.mbk")).succeeded) << size;
        expectBackupOf(database, folder.path("b.mbk"));
    }
}

TEST(WriteBackup, CrcCoversOnlyFirstTenMebibytesOfLargeDatabase)
{
    TempFolder folder;
    const Bytes database = randomBytes(12 * MiB, 77);
    writeBytes(folder.path("db"), database);

    ASSERT_TRUE(writeBackup(folder.path("db"), folder.path("big.mbk")).succeeded);

    const ParsedBackup parsed = parseBackup(readBytes(folder.path("big.mbk")));
    EXPECT_EQ(parsed.crcLength, 10485760u);
    EXPECT_EQ(parsed.crc, zlibCrc(database, 10485760));
    EXPECT_EQ(parsed.size, 12 * MiB);
    EXPECT_TRUE(parsed.payload == database);
}

TEST(WriteBackup, EmptyDatabaseLeavesEmptyBackupFileAndSaysNoData)
{
    TempFolder folder;
    writeBytes(folder.path("db"), {});
    writeBytes(folder.path("old.mbk"), randomBytes(500, 1));

    const BackupOutcome outcome = writeBackup(folder.path("db"), folder.path("old.mbk"));

    EXPECT_FALSE(outcome.succeeded);
    EXPECT_EQ(outcome.message, "No data to backup");
    ASSERT_TRUE(std::filesystem::exists(folder.path("old.mbk")));
    EXPECT_EQ(std::filesystem::file_size(folder.path("old.mbk")), 0u);
}

TEST(WriteBackup, ExistingBackupFileIsReplacedWithoutLeftovers)
{
    TempFolder folder;
    const Bytes database = randomBytes(1000, 5);
    writeBytes(folder.path("db"), database);
    writeBytes(folder.path("x.mbk"), randomBytes(50000, 6));

    ASSERT_TRUE(writeBackup(folder.path("db"), folder.path("x.mbk")).succeeded);

    EXPECT_EQ(std::filesystem::file_size(folder.path("x.mbk")), 1030u);
    expectBackupOf(database, folder.path("x.mbk"));
}

TEST(WriteBackup, MissingDatabaseReportsOpenFailureAndWritesNothing)
{
    TempFolder folder;
    const std::string missing = folder.path("nothing.db");

    const BackupOutcome outcome = writeBackup(missing, folder.path("c.mbk"));

    EXPECT_FALSE(outcome.succeeded);
    EXPECT_EQ(outcome.message, "Cannot open file \"" + missing + "\". No such file or directory");
    EXPECT_FALSE(std::filesystem::exists(folder.path("c.mbk")));
}

TEST(WriteBackup, EmptyDatabasePathReportsOpenFailure)
{
    TempFolder folder;
    const BackupOutcome outcome = writeBackup("", folder.path("c.mbk"));
    EXPECT_FALSE(outcome.succeeded);
    EXPECT_EQ(outcome.message, "Cannot open file \"\". No such file or directory");
}

TEST(WriteBackup, UncreatableBackupFileThrowsCreateFailure)
{
    TempFolder folder;
    writeBytes(folder.path("db"), randomBytes(100, 2));
    const std::string target = folder.path("no/such/folder/d.mbk");
    try {
        writeBackup(folder.path("db"), target);
        FAIL() << "no error raised";
    } catch (const std::runtime_error& error) {
        EXPECT_STREQ(error.what(), ("Cannot create file \"" + target + "\". No such file or directory").c_str());
    }
}

TEST(WriteBackup, AFifoAsEitherFileIsRefusedAtOnce)
{
    TempFolder folder;
    writeBytes(folder.path("db"), randomBytes(100, 2));
    const std::string fifo = folder.path("pipe");
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    try {
        writeBackup(folder.path("db"), fifo);
        FAIL() << "no error raised";
    } catch (const std::runtime_error& error) {
        EXPECT_STREQ(error.what(), ("Cannot create file \"" + fifo + "\". No such device or address").c_str());
    }
    const BackupOutcome fromFifo = writeBackup(fifo, folder.path("d.mbk"));
    EXPECT_EQ(fromFifo.message, "Cannot open file \"" + fifo + "\". It is not a regular file.");
}

TEST(WriteBackup, BackupOntoTheDatabaseItselfIsRefusedAndLosesNothing)
{
    TempFolder folder;
    const Bytes database = randomBytes(4000, 8);
    writeBytes(folder.path("FavoritesDB.db"), database);
    std::filesystem::create_symlink(folder.path("FavoritesDB.db"), folder.path("alias.mbk"));

    EXPECT_THROW(writeBackup(folder.path("FavoritesDB.db"), folder.path("FavoritesDB.db")), std::runtime_error);
    EXPECT_THROW(writeBackup(folder.path("FavoritesDB.db"), folder.path("alias.mbk")), std::runtime_error);
    EXPECT_TRUE(readBytes(folder.path("FavoritesDB.db")) == database);
}

TEST(WriteBackup, FullDiskRemovesPartialBackupAndReportsFailure)
{
    TempFolder folder;
    writeBytes(folder.path("db"), randomBytes(3 * MiB, 12));
    BackupOutcome outcome{};
    {
        FileSizeLimit limit(MiB + MiB / 2);
        outcome = writeBackup(folder.path("db"), folder.path("full.mbk"));
    }
    EXPECT_FALSE(outcome.succeeded);
    EXPECT_EQ(outcome.message, "Failed to write the backup file.");
    EXPECT_FALSE(std::filesystem::exists(folder.path("full.mbk")));
}

// Another program shortening the catalogue or a backup while it is summed or compared: a mapping
// of either would end the program with SIGBUS; a read says "changed" or fails the backup instead.
TEST(WriteBackup, AFileShortenedWhileReadIsAChangeNotACrash)
{
    TempFolder folder;
    const std::string db = folder.path("FavoritesDB.db");
    const Bytes database = randomBytes(16 * MiB, 5);
    writeBytes(db, database);
    ASSERT_TRUE(writeBackup(db, folder.path("kept.mbk")).succeeded);
    const auto shorten = [&] {
        for (const std::string& path : {db, folder.path("kept.mbk")}) {
            ::truncate(path.c_str(), 4096);
            ::truncate(path.c_str(), static_cast<off_t>(16 * MiB));
        }
    };
    shorten();
    std::atomic<bool> stop{false};
    std::thread shortener([&] {
        while (!stop)
            shorten();
    });
    int unchanged = 0;
    for (int round = 0; round < 40; ++round) {
        unchanged += backupHoldsDatabase(folder.path("kept.mbk"), db) ? 1 : 0;
        writeBackupUnderLock(db, folder.path("new.mbk"), [] { return std::string(); });
    }
    stop = true;
    shortener.join();
    EXPECT_EQ(unchanged, 0);
    writeBytes(db, database);
    ASSERT_TRUE(writeBackup(db, folder.path("kept.mbk")).succeeded);
    EXPECT_TRUE(backupHoldsDatabase(folder.path("kept.mbk"), db));
}
