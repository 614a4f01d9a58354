// SPDX-License-Identifier: GPL-3.0-or-later
#include "backup/automaticbackups.h"
#include "backup/backupfile.h"

#include "backuptestutil.h"

#include <algorithm>
#include <filesystem>

#include <sys/wait.h>
#include <unistd.h>

using namespace autobackup;
namespace fs = std::filesystem;

namespace {

constexpr std::int64_t day = secondsPerDay;
// 2026-12-10 06:30:00 UTC, a Thursday.
constexpr std::int64_t now = 1796884200;

std::string daily(std::int64_t time)
{
    return backupFileName({Kind::Daily, time, {}});
}

std::vector<std::string> fileNames(const std::string& folder)
{
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(folder))
        names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

class AutomaticBackups : public ::testing::Test {
protected:
    void SetUp() override
    {
        configure({true, dir.path("backups"), 7});
        makeCatalogue(db, 0, "first");
    }
    void TearDown() override { configure({}); }

    void change(const std::string& marker)
    {
        CDBManager catalogue;
        catalogue.Open(db);
        CppSQLite3Buffer sql;
        catalogue.ExecuteStatement(sql.Format("insert into filler values('%q');", marker.c_str()));
    }

    TempFolder dir;
    std::string db = dir.path("FavoritesDB.db");
};

}  // namespace

TEST(BackupNames, OnlyOurOwnNamesParseAndTheyRoundTrip)
{
    const std::string before = backupFileName({Kind::BeforeCommand, now, "import of my/bookmarks.html"});
    EXPECT_EQ(before, "before-2026-12-10_06-30-00-import_of_my_bookmarks.html.mbk");
    ASSERT_TRUE(parseBackupName(before));
    EXPECT_EQ(describeKind(*parseBackupName(before)), "before import of my bookmarks.html");
    EXPECT_EQ(parseBackupName(daily(now))->time, now);
    const char* foreign[] = {"daily-2026-02-31_06-30-00.mbk",      "daily-2026-12-10_06-30-00.mbk.bak",
                             "daily-2026-12-10_06-30-00-x.mbk",    "before-2026-12-10_06-30-00.mbk",
                             "before-2026-12-10_06-30-00-a b.mbk", "mine.mbk",
                             "daily-2026-12-10_24-00-00.mbk",      ".partial-1-0.mbk",
                             "Daily-2026-12-10_06-30-00.mbk"};
    for (const char* name : foreign)
        EXPECT_FALSE(parseBackupName(name)) << name;
}

TEST(BackupRotation, KeepsSevenDailyFourWeeklyTwelveMonthlyAndTenBefore)
{
    struct Case {
        const char* what;
        std::vector<std::int64_t> dailyAges;  // in days before now
        int beforeCount;
        std::size_t removedDaily;
        std::size_t removedBefore;
    };
    std::vector<std::int64_t> twoYears;
    for (int age = 0; age < 730; ++age)
        twoYears.push_back(age);
    const Case cases[] = {
        {"a week of dailies stays", {0, 1, 2, 3, 4, 5, 6}, 0, 0, 0},
        {"two in one day: the older goes", {0, 0, 1}, 0, 1, 0},
        {"the eighth day goes when its week has one", {0, 1, 2, 3, 4, 5, 6, 7}, 0, 1, 0},
        // 7 days, 4 more weeks, 12 more months (the months before the last weeks') of two years daily.
        {"two years of dailies thin out", twoYears, 0, 730 - 7 - 4 - 12, 0},
        {"eleven before-command ones lose the oldest", {}, 11, 0, 1},
    };
    for (const Case& c : cases) {
        std::vector<std::string> names{"notes.txt", "mine.mbk", "daily-2026-13-01_00-00-00.mbk"};
        for (std::int64_t age : c.dailyAges)
            names.push_back(daily(now - age * day - (names.size() % 2)));
        for (int i = 0; i < c.beforeCount; ++i)
            names.push_back(backupFileName({Kind::BeforeCommand, now - i * 60, "restore"}));
        const std::vector<std::string> removed = rotationRemovals(names, 7);
        const auto count = [&](Kind kind) {
            return static_cast<std::size_t>(std::count_if(removed.begin(), removed.end(), [&](const std::string& n) {
                const auto parsed = parseBackupName(n);
                return parsed && parsed->kind == kind;
            }));
        };
        EXPECT_EQ(count(Kind::Daily), c.removedDaily) << c.what;
        EXPECT_EQ(count(Kind::BeforeCommand), c.removedBefore) << c.what;
        EXPECT_EQ(removed.size(), c.removedDaily + c.removedBefore) << c.what << ": only our own names";
        if (c.beforeCount > 10) {
            EXPECT_EQ(removed.back(), names.back()) << c.what;
        }
        EXPECT_EQ(std::count(removed.begin(), removed.end(), daily(now)), 0) << c.what;
    }
}

// A clock three days ahead named ten backups; set right, it makes two more: the folder's record of
// the order they were made keeps the new ones, whatever their names say.
TEST(BackupRotation, OrderMadeOutranksTheDatesAWrongClockWrote)
{
    std::vector<MadeBackup> backups;
    for (int i = 0; i < 10; ++i)
        backups.push_back({backupFileName({Kind::BeforeCommand, now + 3 * day + i * 60, "sync"}), i + 1});
    for (int i = 0; i < 2; ++i)
        backups.push_back({backupFileName({Kind::BeforeCommand, now + i * 60, "sync"}), 11 + i});
    backups.push_back({daily(now + 3 * day), 13});
    backups.push_back({daily(now + day), 14});
    const std::vector<std::string> removed = rotationRemovals(backups, 7);
    EXPECT_EQ(removed, (std::vector<std::string>{backups[1].fileName, backups[0].fileName}));
}

TEST(BackupSchedule, DueOnlyOnceADay)
{
    struct Case {
        std::optional<std::int64_t> newest, checked;
        bool due;
    } cases[] = {{std::nullopt, std::nullopt, true},
                 {now - day + 1, std::nullopt, false},
                 {now - day, std::nullopt, true},
                 {now - 3 * day, now - 60, false},
                 {now - 3 * day, now - 2 * day, true},
                 // dated ahead of now by a clock set back since: not three days without one
                 {now + 3 * day, std::nullopt, true}};
    for (const Case& c : cases)
        EXPECT_EQ(dailyDue(now, c.newest, c.checked), c.due);
}

TEST_F(AutomaticBackups, BeforeCommandBackupRestoresTheCatalogueAndIsListedWithCounts)
{
    const std::string made = backupBeforeRiskyCommand(db, "import of x.html");
    change("after");
    const std::string restored = dir.path("restored.db");
    ASSERT_TRUE(restoreBackup(
                    made, restored, [] {}, [] {})
                    .succeeded);
    CDBManager catalogue;
    catalogue.Open(restored);
    EXPECT_EQ(catalogue.ExecuteScalar("select count(*) from filler where data='after';"), 0);
    EXPECT_EQ(catalogue.ExecuteScalar("select count(*) from filler where data='first';"), 1);

    const std::vector<BackupInfo> listed = listBackups(db);
    ASSERT_EQ(listed.size(), 1u);
    EXPECT_EQ(describeKind(listed[0].name), "before import of x.html");
    EXPECT_EQ(listed[0].categories, catalogue.ExecuteScalar("select count(*) from category_table;"));
    EXPECT_EQ(listed[0].items, 0);
    EXPECT_EQ(fileNames(dir.path("backups")), (std::vector<std::string>{"backups.index", listed[0].fileName}));
}

// The window and varnelo-cli both back up before a delete for this reason, and only then: the items
// of the whole branch count, and more than a hundred make it risky.
TEST_F(AutomaticBackups, ADeleteTakingMoreThanAHundredItemsOfTheBranchIsRisky)
{
    const std::string general = "5EE0962C-217D-411a-BB72-6261B1B4F5BF";
    {
        CDBManager catalogue;
        catalogue.Open(db);
        catalogue.ExecuteStatement(("insert into category_table (guid,name,level,parent_guid,system,iconIndex) values"
                                    " ('below','Below',1,'"
                                    + general + "',0,0);")
                                       .c_str());
        catalogue.ExecuteStatement("create table numbers (n);"
                                   "with recursive k(n) as (select 1 union all select n + 1 from k where n < 101)"
                                   " insert into numbers select n from k;");
        catalogue.ExecuteStatement(("insert into link_table (guid,name,target,category,star,comment,type)"
                                    " select 'i' || n, 'item', '/f', case when n <= 50 then '"
                                    + general + "' else 'below' end, 0, '', 0 from numbers where n <= 100;")
                                       .c_str());
    }
    EXPECT_EQ(categoryDeleteRisk(db, general, "General files"), std::nullopt);
    {
        CDBManager catalogue;
        catalogue.Open(db);
        catalogue.ExecuteStatement("insert into link_table (guid,name,target,category,star,comment,type)"
                                   " values ('i101','item','/f','below',0,'',0);");
    }
    EXPECT_EQ(categoryDeleteRisk(db, general, "General files"),
              std::optional<std::string>("delete of category General files"));
    EXPECT_EQ(categoryDeleteRisk(db, "below", "Below"), std::nullopt);
}

TEST_F(AutomaticBackups, DailyBackupIsMadeOnlyWhenDueAndChanged)
{
    EXPECT_EQ(makeDailyBackup(db, now).status, DailyResult::Made);
    EXPECT_EQ(makeDailyBackup(db, now + 60).status, DailyResult::NotDue);
    EXPECT_EQ(makeDailyBackup(db, now + day).status, DailyResult::Unchanged);
    EXPECT_EQ(makeDailyBackup(db, now + day + 60).status, DailyResult::NotDue);
    change("second");
    EXPECT_EQ(makeDailyBackup(db, now + 2 * day).status, DailyResult::Made);
    configure({false, dir.path("backups"), 7});
    change("third");
    EXPECT_EQ(makeDailyBackup(db, now + 4 * day).status, DailyResult::Disabled);
    EXPECT_EQ(backupBeforeRiskyCommand(db, "restore"), "");
    EXPECT_EQ(listBackups(db).size(), 2u);
}

TEST_F(AutomaticBackups, FailedBackupLeavesNoFileUnderABackupNameAndTheCatalogueUntouched)
{
    fs::remove(db);
    makeCatalogue(db, 2 << 20, "large");
    const Bytes original = readBytes(db);
    fs::create_directories(dir.path("backups"));
    {
        const FileSizeLimit fullDisk(1 << 20);
        EXPECT_THROW(backupBeforeRiskyCommand(db, "restore"), std::runtime_error);
    }
    // A folder that cannot take files (permissions would not stop root): a file in its place.
    writeBytes(dir.path("taken"), {1});
    configure({true, dir.path("taken"), 7});
    EXPECT_THROW(makeDailyBackup(db, now), std::runtime_error);
    configure({true, dir.path("backups"), 7});
    EXPECT_TRUE(listBackups(db).empty());
    for (const std::string& name : fileNames(dir.path("backups")))
        EXPECT_FALSE(parseBackupName(name)) << name;
    EXPECT_EQ(readBytes(db), original);
}

TEST_F(AutomaticBackups, DamagedCatalogueIsToldAndTheNewestGoodBackupFound)
{
    EXPECT_FALSE(catalogueIsDamaged(db));
    const std::string older = backupBeforeRiskyCommand(db, "restore");
    change("second");
    makeDailyBackup(db, currentTime() + day);
    const std::string newer = listBackups(db).front().path;
    // The newest backup is damaged past its header: the older one must be offered instead.
    Bytes bytes = readBytes(newer);
    bytes[40] ^= 0xFF;
    writeBytes(newer, bytes);
    ASSERT_TRUE(newestGoodBackup(db));
    EXPECT_EQ(newestGoodBackup(db)->path, older);

    Bytes catalogue = readBytes(db);
    std::fill(catalogue.begin(), catalogue.begin() + 100, 0x55);
    writeBytes(db, catalogue);
    EXPECT_TRUE(catalogueIsDamaged(db));
    writeBytes(db + "-journal", {1, 2, 3});
    const std::string aside = setDamagedAside(db, now);
    EXPECT_EQ(aside, db + ".damaged-2026-12-10");
    EXPECT_EQ(readBytes(aside), catalogue);
    EXPECT_FALSE(fs::exists(db + "-journal"));
    EXPECT_TRUE(fs::exists(aside + "-journal"));
}

namespace {

// A writer killed in the middle of a large update: its journal is hot and the file holds half its pages.
void killWriterMidUpdate(const std::string& db)
{
    const pid_t child = ::fork();
    if (child == 0) {
        CDBManager writer;
        writer.Open(db);
        writer.ExecuteStatement("pragma cache_size=4; begin; update filler set data = randomblob(65536);");
        ::kill(::getpid(), SIGKILL);
    }
    int status = 0;
    ::waitpid(child, &status, 0);
}

long long rootPage(const std::string& db, const char* table)
{
    CDBManager catalogue;
    catalogue.OpenReadOnly(db.c_str());
    CppSQLite3Buffer sql;
    return catalogue.ExecuteScalar(sql.Format("select rootpage from sqlite_master where name='%q';", table));
}

}  // namespace

// A hot journal beside damaged pages: the check must see the damage without playing the journal into
// the live file, which must stay byte for byte as the crash left it, journal included.
TEST_F(AutomaticBackups, DamageBesideAHotJournalIsFoundOnACopyAndThePairKept)
{
    for (const bool realJournal : {true, false}) {
        SCOPED_TRACE(realJournal ? "a killed writer's journal" : "a junk journal of 33 bytes");
        fs::remove(db);
        fs::remove(db + "-journal");
        makeCatalogue(db, 1 << 20, "first");
        const long long categories = rootPage(db, "category_table");
        if (realJournal)
            killWriterMidUpdate(db);
        else
            writeBytes(db + "-journal", Bytes(33, 0x5A));
        ASSERT_TRUE(fs::exists(db + "-journal"));
        // The category table, which the update never touched, gets garbage the journal cannot undo.
        Bytes bytes = readBytes(db);
        std::fill_n(bytes.begin() + (categories - 1) * 4096, 4096, 0xA5);
        writeBytes(db, bytes);
        const Bytes journal = readBytes(db + "-journal");

        EXPECT_TRUE(catalogueIsDamaged(db));
        EXPECT_EQ(readBytes(db), bytes);
        EXPECT_EQ(readBytes(db + "-journal"), journal);
        EXPECT_EQ(fileNames(dir.path("")), (std::vector<std::string>{"FavoritesDB.db", "FavoritesDB.db-journal"}));
    }
}
