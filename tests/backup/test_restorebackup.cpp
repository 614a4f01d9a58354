// SPDX-License-Identifier: GPL-3.0-or-later
#include "backup/backupfile.h"

#include "backuptestutil.h"

#include <sys/stat.h>

#include <zlib.h>

#include <cstring>

namespace {

constexpr std::size_t MiB = 1024 * 1024;
const std::string invalidText = "This is not a valid backup file. \nCan't finish resotre process";

void putLittleEndian(Bytes& out, uint32_t value, int width)
{
    for (int i = 0; i < width; ++i)
        out.push_back(static_cast<unsigned char>(value >> (8 * i)));
}

// Builds a backup by hand, so a fault shared by the writer and the reader cannot hide.
Bytes handMadeBackup(const Bytes& payload, uint32_t crcLength, uint32_t crc, uint16_t version = 1,
                     uint32_t size = 0xFFFFFFFF)
{
    const char* magic = "VaRnElOcAtAlOgUe";
    Bytes file(magic, magic + 16);
    putLittleEndian(file, version, 2);
    putLittleEndian(file, size == 0xFFFFFFFF ? static_cast<uint32_t>(payload.size()) : size, 4);
    putLittleEndian(file, crcLength, 4);
    putLittleEndian(file, crc, 4);
    file.insert(file.end(), payload.begin(), payload.end());
    return file;
}

Bytes handMadeBackup(const Bytes& payload)
{
    const uint32_t covered = static_cast<uint32_t>(std::min<std::size_t>(payload.size(), 10485760));
    return handMadeBackup(payload, covered, static_cast<uint32_t>(crc32(0L, payload.data(), covered)));
}

class RestoreTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        makeCatalogue(database, 0, "current");
        current = readBytes(database);
    }

    BackupOutcome restore(const std::string& backup)
    {
        return restoreBackup(
            backup, database, [this] { events.push_back("close"); },
            [this] {
                events.push_back("reload");
                reloadSaw = readBytes(database);
            });
    }

    void expectRefused(const BackupOutcome& outcome, const std::string& message)
    {
        EXPECT_FALSE(outcome.succeeded);
        EXPECT_EQ(outcome.message, message);
        EXPECT_TRUE(readBytes(database) == current) << "database changed";
        ASSERT_TRUE(std::filesystem::exists(staging));
        EXPECT_EQ(std::filesystem::file_size(staging), 0u) << "staging file not empty";
        EXPECT_TRUE(events.empty()) << "catalogue was closed or reloaded";
    }

    TempFolder folder;
    const std::string database = folder.path("FavoritesDB.db");
    const std::string staging = folder.path("FavoritesDBbak");
    Bytes current;
    std::vector<std::string> events;
    Bytes reloadSaw;
};

}  // namespace

TEST(StagingPath, ReplacesExtensionOfFileNameWithBakWithoutDot)
{
    EXPECT_EQ(stagingPath("/home/u/.local/share/Varnelo/FavoritesDB.db"),
              "/home/u/.local/share/Varnelo/FavoritesDBbak");
    EXPECT_EQ(stagingPath("/data/archive.v2.db"), "/data/archive.v2bak");
    EXPECT_EQ(stagingPath("/dotted.folder/catalogue"), "/dotted.folder/cataloguebak");
    EXPECT_EQ(stagingPath(""), "bak");
}

TEST_F(RestoreTest, RoundTripOfThreeMebibyteCatalogue)
{
    const std::string saved = folder.path("saved.db");
    makeCatalogue(saved, 3 * MiB, "saved");
    const Bytes savedBytes = readBytes(saved);
    ASSERT_GE(savedBytes.size(), 3 * MiB);
    ASSERT_TRUE(writeBackup(saved, folder.path("three.mbk")).succeeded);

    const BackupOutcome outcome = restore(folder.path("three.mbk"));

    EXPECT_TRUE(outcome.succeeded);
    EXPECT_EQ(outcome.message, "Successfully finish restoring!");
    EXPECT_TRUE(readBytes(database) == savedBytes);
    EXPECT_TRUE(readBytes(staging) == savedBytes) << "staging file must keep a copy";
    EXPECT_EQ(events, (std::vector<std::string>{"close", "reload"}));
    EXPECT_TRUE(reloadSaw == savedBytes) << "reload ran before the database was replaced";
    EXPECT_FALSE(std::filesystem::exists(database + ".tmp"));
}

TEST_F(RestoreTest, RoundTripOfTwelveMebibyteCatalogueBeyondTheCrcLimit)
{
    const std::string saved = folder.path("saved.db");
    makeCatalogue(saved, 12 * MiB, "big");
    const Bytes savedBytes = readBytes(saved);
    ASSERT_GT(savedBytes.size(), 10485760u);
    ASSERT_TRUE(writeBackup(saved, folder.path("twelve.mbk")).succeeded);

    const BackupOutcome outcome = restore(folder.path("twelve.mbk"));

    EXPECT_TRUE(outcome.succeeded);
    EXPECT_TRUE(readBytes(database) == savedBytes);
    CDBManager db;
    db.Open(database);
    CppSQLite3Query marker = db.ExecuteQuery("select data from filler where data='big';");
    EXPECT_FALSE(marker.Eof()) << "restored catalogue lacks its own rows";
}

TEST_F(RestoreTest, CloseRunsBeforeTheDatabaseIsReplaced)
{
    const std::string saved = folder.path("saved.db");
    makeCatalogue(saved, 0, "saved");
    ASSERT_TRUE(writeBackup(saved, folder.path("s.mbk")).succeeded);
    Bytes atClose;
    restoreBackup(
        folder.path("s.mbk"), database, [&] { atClose = readBytes(database); }, [] {});
    EXPECT_TRUE(atClose == current);
}

TEST_F(RestoreTest, OddVersionAndWrongSizeFieldStillRestore)
{
    const std::string saved = folder.path("saved.db");
    makeCatalogue(saved, 0, "saved");
    const Bytes payload = readBytes(saved);
    const uint32_t crc = static_cast<uint32_t>(crc32(0L, payload.data(), static_cast<uInt>(payload.size())));
    writeBytes(folder.path("odd.mbk"), handMadeBackup(payload, static_cast<uint32_t>(payload.size()), crc, 7, 12));

    EXPECT_TRUE(restore(folder.path("odd.mbk")).succeeded);
    EXPECT_TRUE(readBytes(database) == payload);
}

TEST_F(RestoreTest, RefusedBackupsLeaveDatabaseAndEmptyStaging)
{
    const std::string saved = folder.path("saved.db");
    makeCatalogue(saved, 0, "saved");
    const Bytes payload = readBytes(saved);
    const Bytes good = handMadeBackup(payload);
    const char* magic = "VaRnElOcAtAlOgUe";

    Bytes wrongCrc = good;
    wrongCrc[26] ^= 0x01;
    Bytes damagedPayload = good;
    damagedPayload[30 + 100] ^= 0x40;
    Bytes cutShort = good;
    cutShort.resize(30 + payload.size() / 2);
    Bytes wrongMagic = good;
    wrongMagic[0] = 'v';

    const std::vector<std::pair<std::string, Bytes>> cases = {
        {"empty file", {}},
        {"shorter than the magic", Bytes(magic, magic + 10)},
        {"only the magic", Bytes(magic, magic + 16)},
        {"magic and half a header", Bytes(good.begin(), good.begin() + 24)},
        {"wrong magic", wrongMagic},
        {"zero CRC length", handMadeBackup(payload, 0, 0)},
        {"wrong CRC", wrongCrc},
        {"damaged payload", damagedPayload},
        {"content cut short", cutShort},
        {"huge CRC length", handMadeBackup(payload, 0xFFFFFFF0u, 0)},
        {"CRC length one past the content", handMadeBackup(payload, static_cast<uint32_t>(payload.size() + 1), 0)},
        {"payload that is no database", handMadeBackup(randomBytes(8192, 4))},
        {"database without category table", Bytes()},
    };
    for (const auto& [name, bytes] : cases) {
        SCOPED_TRACE(name);
        Bytes file = bytes;
        if (name == "database without category table") {
            CppSQLite3DB other;
            other.Open(folder.path("other.db").c_str());
            other.ExecuteStatement("create table notes (text);");
            other.Close();
            file = handMadeBackup(readBytes(folder.path("other.db")));
        }
        writeBytes(folder.path("bad.mbk"), file);
        writeBytes(staging, randomBytes(64, 1));
        expectRefused(restore(folder.path("bad.mbk")), invalidText);
    }
}

TEST_F(RestoreTest, UnopenableBackupReportsItAndLeavesStagingAlone)
{
    const Bytes earlier = randomBytes(100, 21);
    writeBytes(staging, earlier);
    const std::string missing = folder.path("gone.mbk");

    const BackupOutcome outcome = restore(missing);

    EXPECT_FALSE(outcome.succeeded);
    EXPECT_EQ(outcome.message, "Cannot open file \"" + missing + "\". No such file or directory");
    EXPECT_TRUE(readBytes(staging) == earlier);
    EXPECT_TRUE(readBytes(database) == current);
    EXPECT_TRUE(events.empty());
}

TEST_F(RestoreTest, AFifoOrAFolderIsRefusedAtOnceInsteadOfWaitingForAWriter)
{
    const std::string fifo = folder.path("pipe.mbk");
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    std::filesystem::create_directory(folder.path("folder.mbk"));
    for (const std::string& chosen : {fifo, folder.path("folder.mbk")}) {
        const BackupOutcome outcome = restore(chosen);
        EXPECT_FALSE(outcome.succeeded);
        EXPECT_EQ(outcome.message, "Cannot open file \"" + chosen + "\". It is not a regular file.");
    }
    EXPECT_TRUE(readBytes(database) == current);
    EXPECT_TRUE(events.empty());
}

TEST_F(RestoreTest, FailedReplacementIsReportedAndStillReloads)
{
    const std::string saved = folder.path("saved.db");
    makeCatalogue(saved, 0, "saved");
    const Bytes savedBytes = readBytes(saved);
    ASSERT_TRUE(writeBackup(saved, folder.path("r.mbk")).succeeded);
    std::filesystem::create_directory(database + ".tmp");

    const BackupOutcome outcome = restore(folder.path("r.mbk"));

    EXPECT_FALSE(outcome.succeeded);
    EXPECT_EQ(outcome.message, "Failed to replace the database file.");
    EXPECT_TRUE(readBytes(database) == current);
    EXPECT_TRUE(readBytes(staging) == savedBytes) << "staging file must still hold the backup";
    EXPECT_EQ(events, (std::vector<std::string>{"close", "reload"}));
}

TEST_F(RestoreTest, TrailingBytesAfterContentAreRestoredToo)
{
    const std::string saved = folder.path("saved.db");
    makeCatalogue(saved, 0, "saved");
    Bytes payload = readBytes(saved);
    Bytes file = handMadeBackup(payload);
    const Bytes tail = {'t', 'a', 'i', 'l'};
    file.insert(file.end(), tail.begin(), tail.end());
    writeBytes(folder.path("tail.mbk"), file);

    const BackupOutcome outcome = restore(folder.path("tail.mbk"));

    EXPECT_TRUE(outcome.succeeded) << outcome.message;
    payload.insert(payload.end(), tail.begin(), tail.end());
    EXPECT_TRUE(readBytes(database) == payload);
}

TEST_F(RestoreTest, StagingFileChosenAsBackupIsNotTruncated)
{
    const Bytes content = handMadeBackup(current);
    writeBytes(staging, content);
    EXPECT_THROW(restore(staging), std::runtime_error);
    EXPECT_TRUE(readBytes(staging) == content);
    EXPECT_TRUE(events.empty());
}

TEST_F(RestoreTest, UncreatableStagingFileThrowsCreateFailure)
{
    ASSERT_TRUE(writeBackup(database, folder.path("ok.mbk")).succeeded);
    const std::string elsewhere = folder.path("missing/FavoritesDB.db");
    try {
        restoreBackup(
            folder.path("ok.mbk"), elsewhere, [] {}, [] {});
        FAIL() << "no error raised";
    } catch (const std::runtime_error& error) {
        EXPECT_STREQ(error.what(),
                     ("Cannot create file \"" + folder.path("missing/FavoritesDBbak") + "\". No such file or directory")
                         .c_str());
    }
}

TEST_F(RestoreTest, EmptyDatabasePathStopsBeforeTouchingAnything)
{
    ASSERT_TRUE(writeBackup(database, folder.path("ok.mbk")).succeeded);
    const BackupOutcome outcome = restoreBackup(
        folder.path("ok.mbk"), "", [this] { events.push_back("close"); }, [this] { events.push_back("reload"); });
    EXPECT_FALSE(outcome.succeeded);
    EXPECT_EQ(outcome.message, "");
    EXPECT_TRUE(events.empty());
    EXPECT_FALSE(std::filesystem::exists("bak"));
}

TEST_F(RestoreTest, FullDiskWhileStagingRefusesAndEmptiesStaging)
{
    const std::string saved = folder.path("saved.db");
    makeCatalogue(saved, 3 * MiB, "saved");
    ASSERT_TRUE(writeBackup(saved, folder.path("s.mbk")).succeeded);
    BackupOutcome outcome{};
    {
        FileSizeLimit limit(MiB);
        outcome = restore(folder.path("s.mbk"));
    }
    expectRefused(outcome, "Failed to write the restore staging file.");
}

TEST_F(RestoreTest, DatabaseBehindSymbolicLinkIsReplacedWhereItLies)
{
    const std::string real = folder.path("real.db");
    std::filesystem::rename(database, real);
    std::filesystem::create_symlink(real, database);
    const std::string saved = folder.path("saved.db");
    makeCatalogue(saved, 0, "saved");
    ASSERT_TRUE(writeBackup(saved, folder.path("l.mbk")).succeeded);

    EXPECT_TRUE(restore(folder.path("l.mbk")).succeeded);
    EXPECT_TRUE(std::filesystem::is_symlink(database));
    EXPECT_TRUE(readBytes(real) == readBytes(saved));
}

TEST_F(RestoreTest, StaleTemporaryOfAKilledRestoreIsRemovedAtTheNextRestore)
{
    const std::string temporary = database + ".tmp";
    writeBytes(temporary, current);
    writeBytes(folder.path("bad.mbk"), Bytes(100, 'x'));

    expectRefused(restore(folder.path("bad.mbk")), invalidText);
    EXPECT_FALSE(std::filesystem::exists(temporary)) << "a refused restore kept the stale temporary";

    writeBytes(temporary, current);
    ASSERT_TRUE(writeBackup(database, folder.path("ok.mbk")).succeeded);
    EXPECT_TRUE(restore(folder.path("ok.mbk")).succeeded);
    EXPECT_FALSE(std::filesystem::exists(temporary));
}

TEST_F(RestoreTest, SymbolicLinkInPlaceOfTheTemporaryIsNeitherFollowedNorRemoved)
{
    const std::string temporary = database + ".tmp";
    const std::string elsewhere = folder.path("elsewhere.db");
    writeBytes(elsewhere, Bytes{'k', 'e', 'e', 'p'});
    std::filesystem::create_symlink(elsewhere, temporary);
    ASSERT_TRUE(writeBackup(database, folder.path("ok.mbk")).succeeded);

    const BackupOutcome outcome = restore(folder.path("ok.mbk"));

    EXPECT_FALSE(outcome.succeeded);
    EXPECT_EQ(outcome.message, "Failed to replace the database file.");
    EXPECT_TRUE(readBytes(elsewhere) == (Bytes{'k', 'e', 'e', 'p'})) << "the restore wrote through the link";
    EXPECT_TRUE(std::filesystem::is_symlink(temporary));
    EXPECT_TRUE(readBytes(database) == current);
}

TEST(RemoveStaleRestoreTemporary, RemovesOnlyARegularFileOfThatName)
{
    TempFolder folder;
    const std::string database = folder.path("FavoritesDB.db");
    const std::string temporary = database + ".tmp";
    writeBytes(database, Bytes{'d', 'b'});
    writeBytes(temporary, Bytes(4096, 0));
    writeBytes(folder.path("FavoritesDB.tmp"), Bytes{'o'});
    removeStaleRestoreTemporary(database);
    EXPECT_FALSE(std::filesystem::exists(temporary));
    EXPECT_TRUE(std::filesystem::exists(database));
    EXPECT_TRUE(std::filesystem::exists(folder.path("FavoritesDB.tmp")));
    removeStaleRestoreTemporary(database);
    removeStaleRestoreTemporary("");

    const std::string target = folder.path("target.db");
    writeBytes(target, Bytes{'t'});
    std::filesystem::create_symlink(target, temporary);
    removeStaleRestoreTemporary(database);
    EXPECT_TRUE(std::filesystem::is_symlink(temporary));
    EXPECT_TRUE(readBytes(target) == Bytes{'t'});
    std::filesystem::remove(temporary);

    std::filesystem::create_directory(temporary);
    removeStaleRestoreTemporary(database);
    EXPECT_TRUE(std::filesystem::is_directory(temporary));
}

TEST(RemoveStaleRestoreTemporary, FindsTheTemporaryBesideTheFileALinkedDatabaseLeadsTo)
{
    TempFolder folder;
    std::filesystem::create_directory(folder.path("real"));
    const std::string real = folder.path("real/catalogue.db");
    const std::string database = folder.path("FavoritesDB.db");
    writeBytes(real, Bytes{'d', 'b'});
    std::filesystem::create_symlink(real, database);
    writeBytes(real + ".tmp", Bytes(4096, 0));
    removeStaleRestoreTemporary(database);
    EXPECT_FALSE(std::filesystem::exists(real + ".tmp"));
    EXPECT_TRUE(readBytes(real) == (Bytes{'d', 'b'}));
}
