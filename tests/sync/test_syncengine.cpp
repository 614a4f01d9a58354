// SPDX-License-Identifier: GPL-3.0-or-later
// Devices with catalogues of their own syncing through a real folder.
#include <gtest/gtest.h>

#include "syncdevice.h"
#include "tempfolder.h"
#include "testpng.h"

#include "sync/foldertransport.h"
#include "sync/hybridclock.h"
#include "sync/syncfiles.h"
#include "sync/syncstore.h"

#include "syncfilebytes.h"

#include "storage/iconlistblob.h"

#include <filesystem>
#include <fstream>
#include <unordered_map>

namespace {

constexpr const char* General = "5EE0962C-217D-411a-BB72-6261B1B4F5BF";
constexpr const char* Media = "099C65A7-7E41-4d97-8294-6762A3E291F4";
constexpr const char* Favorites = "9EED3209-19C9-4a89-B8B3-5FA0F96697F4";

class SyncThroughFolder : public ::testing::Test {
protected:
    TempFolder dir;
    std::string place = dir.path("place");
    SyncDevice a{dir.path("a.db"), "desktop"};
    SyncDevice b{dir.path("b.db"), "laptop"};

    void SetUp() override { std::filesystem::create_directory(place); }
    SyncReport sync(SyncDevice& device)
    {
        FolderTransport transport(place);
        return device.sync(transport);
    }
};

}  // namespace

TEST_F(SyncThroughFolder, ChangesOnEachSideReachTheOtherAndConcurrentEditsBothApply)
{
    a.addItem("i1", "one", General);
    a.addItem("i2", "two", General);
    sync(a);
    sync(b);
    EXPECT_EQ(b.items(), (std::vector<std::string>{std::string("one@") + General, std::string("two@") + General}));

    // A renames, B moves the same item; B deletes the other; both add one.
    a.execute("update link_table set name='uno' where guid='i1';");
    b.execute(std::string("update link_table set category='") + Media + "' where guid='i1';");
    b.execute("delete from link_table where guid='i2';");
    a.addItem("a3", "from a", General);
    b.addItem("b3", "from b", General);
    sync(a);
    sync(b);
    sync(a);
    // Items new from the other device are appended after one's own, oldest first.
    EXPECT_EQ(a.items(), (std::vector<std::string>{std::string("uno@") + Media, std::string("from a@") + General,
                                                   std::string("from b@") + General}));
    EXPECT_EQ(b.items(), (std::vector<std::string>{std::string("uno@") + Media, std::string("from b@") + General,
                                                   std::string("from a@") + General}));
    EXPECT_EQ(a.column("select guid from link_table order by itemorder;"),
              (std::vector<std::string>{"i1", "a3", "b3"}));
}

TEST_F(SyncThroughFolder, SyncWithoutChangesMovesNoBytesAndOneChangeSendsLittle)
{
    a.addItems(2000, General);
    sync(a);
    sync(b);
    FolderTransport quiet(place);
    const SyncReport nothing = b.sync(quiet);
    EXPECT_EQ(nothing.bytesSent + nothing.bytesReceived, 0);
    EXPECT_FALSE(nothing.catalogueChanged);

    b.execute("update link_table set name='renamed' where guid='g7';");
    FolderTransport one(place);
    const SyncReport sent = b.sync(one);
    EXPECT_GT(sent.bytesSent, 0);
    EXPECT_LE(sent.bytesSent, 64 * 1024);
    sync(a);
    EXPECT_EQ(a.column("select name from link_table where guid='g7';"), std::vector<std::string>{"renamed"});
}

TEST_F(SyncThroughFolder, MergeDeletingMoreThanAQuarterAndMoreThanTwentyStopsAndNamesTheDevice)
{
    struct Case {
        int items, deleted;
        bool stops;
    };
    for (const Case c : {Case{40, 20, false}, Case{100, 21, false}, Case{80, 21, true}}) {
        TempFolder room;
        SyncDevice here(room.path("here.db"), "here"), there(room.path("there.db"), "there");
        FolderTransport transport(room.path());
        here.addItems(c.items, General);
        here.sync(transport);
        there.sync(transport);
        here.execute("delete from link_table where rowid <= " + std::to_string(c.deleted) + ";");
        here.sync(transport);
        const SyncReport report = there.sync(transport);
        EXPECT_EQ(report.needsConfirmation, c.stops) << c.items << " " << c.deleted;
        EXPECT_EQ(there.items().size(), static_cast<std::size_t>(c.stops ? c.items : c.items - c.deleted));
        if (!c.stops)
            continue;
        EXPECT_EQ(report.error, "The changes from \"here\" would delete 21 of the 80 items here; nothing was changed.");
        there.options.allowMassDelete = true;
        EXPECT_TRUE(there.sync(transport).ok);
        EXPECT_EQ(there.items().size(), 59u);
    }
}

TEST_F(SyncThroughFolder, DamagedOrVanishedRemoteFilesNeverReadAsDeletions)
{
    a.addItem("i1", "one", General);
    sync(a);
    sync(b);
    a.execute("delete from link_table;");
    sync(a);
    // The change file with the deletion is cut short, as a half-synced file would be: the sync fails
    // with the reason, and nothing of it is merged.
    const std::string changes = place + "/Varnelo/" + a.column("select value from sync_meta where key='device';")[0]
                                + "/changes-00000002.vsync";
    std::filesystem::resize_file(changes, std::filesystem::file_size(changes) - 3);
    FolderTransport transport(place);
    const SyncReport report = synchronize(b.path, transport, b.options);
    EXPECT_FALSE(report.ok);
    EXPECT_NE(report.error.find("changes-00000002.vsync\" of \"desktop\" is cut short"), std::string::npos)
        << report.error;
    EXPECT_EQ(b.items().size(), 1u);

    // A's whole folder gone: B still deletes nothing, and A writes its folder again.
    std::filesystem::remove_all(place + "/Varnelo");
    EXPECT_TRUE(sync(b).ok);
    EXPECT_EQ(b.items().size(), 1u);
    const SyncReport again = sync(a);
    EXPECT_EQ(again.warnings,
              std::vector<std::string>{"This device's folder on the sync place was gone: it is written again."});
}

TEST_F(SyncThroughFolder, CopyGoesOnAsANewDeviceAndARestoredFileAsTheSameOne)
{
    a.addItem("i1", "one", General);
    sync(a);
    const auto idOf = [](SyncDevice& d) { return d.column("select value from sync_meta where key='device';").at(0); };
    const std::string first = idOf(a);

    // A copy at another path is another device at once.
    std::filesystem::copy_file(a.path, dir.path("copy.db"));
    SyncDevice copy(dir.path("copy.db"), "copy");
    sync(copy);
    EXPECT_NE(idOf(copy), first);

    // A backup put back over the same file by hand: the record beside the catalogue knows the device.
    std::filesystem::copy_file(a.path, dir.path("backup.db"));
    a.addItem("i2", "two", General);
    sync(a);
    const auto folders = [&] { return std::distance(std::filesystem::directory_iterator(place + "/Varnelo"), {}); };
    const auto before = folders();
    std::filesystem::copy_file(dir.path("backup.db"), a.path, std::filesystem::copy_options::overwrite_existing);
    const SyncReport restored = sync(a);
    EXPECT_EQ(idOf(a), first);
    EXPECT_TRUE(restored.warnings.empty()) << restored.warnings.at(0);
    EXPECT_EQ(a.items().size(), 2u) << "the item made after the backup stays";
    EXPECT_EQ(folders(), before) << "no device folder is left behind";
}

TEST_F(SyncThroughFolder, StampFarAheadCountsAsNowAndCannotWinForever)
{
    a.addItem("i1", "one", General);
    sync(a);
    sync(b);
    // A device whose clock runs a year ahead renamed the item.
    SyncRecord ahead = *recordFromText(
        "{\"k\":\"i\",\"g\":\"i1\",\"f\":{\"name\":\"from the future\",\"target\":\"https://example.org\","
        "\"star\":\"0\",\"comment\":\"\",\"type\":\"1\"},\"p\":\""
        + std::string(General) + "\",\"fs\":\"1@x\",\"ps\":\"1@x\",\"c\":\"1@x\"}");
    ahead.fieldsStamp = {HybridClock::wallClockNow() + 366LL * 86400 * 1000000, "future"};
    std::filesystem::create_directories(place + "/Varnelo/future");
    const SyncFileHeader header{"future", "wrong clock", 1, false, 0, {}, {}};
    std::ofstream(place + "/Varnelo/future/changes-00000001.vsync", std::ios::binary)
        << syncFileBytes(header, {ahead}).toStdString();
    const SyncReport report = sync(b);
    EXPECT_TRUE(report.warnings.empty()) << "a receiver never blames another device's clock: " << report.warnings.at(0);
    EXPECT_EQ(b.items().at(0), std::string("from the future@") + General);

    b.execute("update link_table set name='fixed';");
    sync(b);
    sync(a);
    EXPECT_EQ(a.items().at(0), std::string("fixed@") + General);
}

TEST_F(SyncThroughFolder, BackupOnlyBeforeAMergeThatChangesTheCatalogue)
{
    int backups = 0;
    b.options.backup = [&](const std::string& path) {
        ++backups;
        EXPECT_EQ(b.items().size(), path == b.path ? 0u : 99u) << "the backup sees the catalogue before the merge";
        return std::string("copy");
    };
    sync(b);
    EXPECT_EQ(backups, 0);
    a.addItem("i1", "one", General);
    sync(a);
    EXPECT_EQ(sync(b).backupPath, "copy");
    EXPECT_EQ(backups, 1);
    EXPECT_EQ(b.items().size(), 1u);

    a.addItem("i2", "two", General);
    sync(a);
    b.options.backup = [](const std::string&) -> std::string { throw std::runtime_error("disk full"); };
    const SyncReport refused = synchronize(b.path, *std::make_unique<FolderTransport>(place), b.options);
    EXPECT_FALSE(refused.ok);
    EXPECT_EQ(refused.error, "disk full");
    EXPECT_EQ(b.items().size(), 1u);
}

// A first sync whose merge mends the catalogue is worked out again after the backup, snapshot and all.
TEST_F(SyncThroughFolder, FirstSyncWorkedOutAgainAfterItsBackupSendsEverythingOnce)
{
    a.addItemsAndALostCategory(3000, General);
    EXPECT_EQ(sync(a).changesSent, 3000 + 7);
    EXPECT_EQ(a.backups, 1) << "the merge gave the category without a parent a place";
    sync(b);
    EXPECT_EQ(b.items().size(), 3000u);
    EXPECT_EQ(b.column("select parent_guid from category_table where guid='lost';"), std::vector<std::string>{""});
}

TEST_F(SyncThroughFolder, CustomIconAddedOnBothMachinesIsOneIcon)
{
    // Lists of 23 built-in pictures plus custom ones, each a picture of its own colour.
    std::vector<std::string> builtIns;
    for (std::uint32_t i = 0; i < 23; ++i)
        builtIns.push_back(squarePng(iconListImageSize, 0x10203000u + i * 0x100u + 0xff));
    const std::string star = squarePng(iconListImageSize, 0xffd700ff), moon = squarePng(iconListImageSize, 0xc0c0c0ff);
    auto store = [&](SyncDevice& d, std::vector<std::string> extra) {
        CDBManager db;
        db.Open(d.path);
        std::vector<std::string> list = builtIns;
        list.insert(list.end(), extra.begin(), extra.end());
        db.SaveIconList(joinIconList(list));
    };
    store(a, {star});
    store(b, {moon, star});
    a.addCategory("ca", "starred");
    a.execute("update category_table set iconIndex=23 where guid='ca';");
    b.addCategory("cb", "mooned");
    b.execute("update category_table set iconIndex=23 where guid='cb';");
    b.addCategory("cs", "starred too");
    b.execute("update category_table set iconIndex=24 where guid='cs';");
    sync(a);
    sync(b);
    sync(a);

    auto listOf = [](SyncDevice& d) {
        CDBManager db;
        db.Open(d.path);
        return *splitIconList(db.LoadIconList());
    };
    const auto listA = listOf(a);
    ASSERT_EQ(listA.size(), 25u);
    EXPECT_EQ(listA[23], star);
    EXPECT_EQ(listA[24], moon);
    EXPECT_EQ(listOf(b).size(), 25u);
    for (SyncDevice* d : {&a, &b}) {
        const auto list = listOf(*d);
        for (const auto& [guid, picture] : {std::pair{"ca", star}, {"cb", moon}, {"cs", star}}) {
            const auto index =
                d->column(std::string("select iconIndex from category_table where guid='") + guid + "';");
            ASSERT_EQ(index.size(), 1u) << guid;
            EXPECT_EQ(list.at(std::stoul(index[0])), picture) << d->options.machineName << " " << guid;
        }
    }
}

TEST_F(SyncThroughFolder, DeviceAwayLongerThanDeletionsAreKeptStartsAfreshAndDeletesNothing)
{
    a.addItem("i1", "kept", General);
    a.addItem("i2", "deleted elsewhere", General);
    sync(a);
    sync(b);
    a.execute("delete from link_table where guid='i2';");
    sync(a);
    b.execute("update sync_meta set value='1000000' where key='last-sync';");
    const SyncReport report = sync(b);
    EXPECT_EQ(report.warnings.at(0).substr(0, 52), "This catalogue has not synced for more than a year, ");
    EXPECT_EQ(b.items().size(), 2u);
    sync(a);
    EXPECT_EQ(a.items().size(), 2u) << "its catalogue is merged as new";
}

TEST_F(SyncThroughFolder, ItemMovedIntoACategoryDeletedElsewhereBringsItBackOnBothSides)
{
    a.addCategory("X", "Projects");
    a.addItem("i1", "one", General);
    a.addItem("i2", "two", General);
    sync(a);
    sync(b);
    sync(a);

    // B deletes the category while A moves an item into it; B then receives only that item's move.
    b.execute("delete from category_table where guid='X';");
    sync(b);
    a.execute("update link_table set category='X' where guid='i1';");
    b.execute("update link_table set name='deux' where guid='i2';");
    sync(a);
    const SyncReport atB = sync(b);
    for (SyncDevice* device : {&a, &b}) {
        EXPECT_EQ(device->column("select name from category_table where guid='X';"),
                  std::vector<std::string>{"Projects"});
        EXPECT_EQ(device->column("select category from link_table where guid='i1';"), std::vector<std::string>{"X"});
    }
    EXPECT_EQ(b.column("select name from link_table where guid='i2';"), std::vector<std::string>{"deux"});
    EXPECT_EQ(atB.changesReceived, 1);
    EXPECT_TRUE(atB.catalogueChanged);
}

TEST_F(SyncThroughFolder, TheLaterChangeWinsWhicheverDeviceSyncsFirst)
{
    struct Case {
        const char* what;
        std::string earlier, later;
        std::vector<std::string> expected;
    };
    const std::vector<Case> cases = {
        {"a delete, then an edit elsewhere",
         "delete from link_table where guid='x';",
         "update link_table set name='Edited later on B' where guid='x';",
         {std::string("Edited later on B@") + General}},
        {"two renames",
         "update link_table set name='early' where guid='x';",
         "update link_table set name='late' where guid='x';",
         {std::string("late@") + General}},
        {"two moves",
         std::string("update link_table set category='") + Media + "' where guid='x';",
         "update link_table set category='" + std::string(Favorites) + "' where guid='x';",
         {std::string("one@") + Favorites}},
        {"an edit, then a delete elsewhere",
         "update link_table set name='early' where guid='x';",
         "delete from link_table where guid='x';",
         {}},
    };
    for (const Case& c : cases)
        for (const bool laterSyncsFirst : {false, true}) {
            TempFolder room;
            FolderTransport transport(room.path());
            SyncDevice first(room.path("a.db"), "a"), second(room.path("b.db"), "b");
            first.addItem("x", "one", General);
            first.sync(transport);
            second.sync(transport);
            first.execute(c.earlier);
            second.later(60'000'000);
            second.execute(c.later);
            for (SyncDevice* device :
                 laterSyncsFirst ? std::vector{&second, &first, &second} : std::vector{&first, &second, &first})
                device->sync(transport);
            EXPECT_EQ(first.items(), c.expected) << c.what << (laterSyncsFirst ? ", later first" : ", earlier first");
            EXPECT_EQ(second.items(), c.expected) << c.what << (laterSyncsFirst ? ", later first" : ", earlier first");
        }
}

namespace {

// The process dies once its file reached the place, before the catalogue records it.
class DiesAfterUpload : public FolderTransport {
public:
    using FolderTransport::FolderTransport;
    using FolderTransport::put;
    void put(const std::string& path, QIODevice& from) override
    {
        FolderTransport::put(path, from);
        throw SyncError("killed");
    }
};

}  // namespace

TEST_F(SyncThroughFolder, UploadThatLandedBeforeItWasRecordedIsThisDevicesOwn)
{
    a.addItem("i1", "one", General);
    sync(a);
    sync(b);
    const std::string id = a.device();
    a.addItem("i2", "two", General);
    DiesAfterUpload dying(place);
    EXPECT_EQ(synchronize(a.path, dying, a.options).error, "killed");

    const SyncReport next = sync(a);
    EXPECT_TRUE(next.warnings.empty()) << next.warnings.at(0);
    EXPECT_EQ(next.changesSent, 0) << "the change went with the upload that landed";
    EXPECT_EQ(a.device(), id);
    sync(b);
    EXPECT_EQ(b.items().size(), 2u);
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(place + "/Varnelo"), {}), 1);
}

namespace {

// The connection is cut before the file reaches the place.
class CutBeforeUpload : public FolderTransport {
public:
    using FolderTransport::FolderTransport;
    using FolderTransport::put;
    void put(const std::string&, QIODevice&) override { throw SyncError("cut"); }
};

}  // namespace

// A first upload that never landed is sent again even when another device's snapshot came meanwhile.
TEST_F(SyncThroughFolder, FirstUploadThatNeverLandedIsSentAgainAfterAnotherDeviceJoined)
{
    a.addItem("i1", "one", General);
    CutBeforeUpload cut(place);
    EXPECT_EQ(synchronize(a.path, cut, a.options).error, "cut");
    b.addItem("i2", "two", General);
    sync(b);
    sync(a);
    sync(b);
    EXPECT_EQ(b.items().size(), 2u);
    EXPECT_EQ(a.items().size(), 2u);
}

// Rows that share a GUID are one item, the first of them, whether the catalogue is the first on the
// place or joins it.
TEST_F(SyncThroughFolder, RowsSharingAGuidTravelAsTheFirstOfThem)
{
    for (SyncDevice* device : {&a, &b}) {
        device->addItem("dup", "first", General);
        device->addItem("x", "x", General);
        device->addItem("dup", "second", General);
    }
    sync(a);
    sync(b);
    SyncDevice c{dir.path("c.db"), "third"};
    c.sync(*std::make_unique<FolderTransport>(place));
    for (SyncDevice* device : {&a, &b})
        sync(*device);
    EXPECT_EQ(c.items(), (std::vector<std::string>{std::string("first@") + General, std::string("x@") + General}));
    EXPECT_EQ(b.column("select name from link_table where guid='dup' order by itemorder;"),
              (std::vector<std::string>{"first", "second"}))
        << "the rows of the catalogue stay as they are";
}

// A joining catalogue that meets a GUID of two rows in two files takes the first row both times, not
// the second row the first record left its walk at.
TEST_F(SyncThroughFolder, RowsSharingAGuidMetTwiceByAJoinAreTheFirstBothTimes)
{
    a.addItem("dup", "first", General);
    // Enough besides that a change is sent as a change, after the snapshot.
    a.addItems(200, General);
    sync(a);
    a.addCategory("other", "Other");
    a.execute("update link_table set category='other' where guid='dup';");
    sync(a);
    b.addItem("dup", "first", General);
    b.addItem("dup", "second", General);
    sync(b);
    EXPECT_EQ(b.column("select name || '@' || category from link_table where guid='dup' order by itemorder;"),
              (std::vector<std::string>{"first@other", "first@other"}));
}

// An item without a category that a joining catalogue holds as the place has it lands in the catalogue's
// own category, first among the records or not.
TEST_F(SyncThroughFolder, JoiningItemWithoutACategoryLandsInTheFallback)
{
    for (SyncDevice* device : {&a, &b}) {
        device->addItem("i", "nowhere", General);
        device->execute("update link_table set category='';");
    }
    sync(a);
    sync(b);
    EXPECT_EQ(b.items(), std::vector<std::string>{std::string("nowhere@") + General});
}

namespace {

// Two categories whose share of an item's hash (its place) is the same number.
std::pair<std::string, std::string> categoriesAlikeInTheHash()
{
    std::unordered_map<long long, std::string> seen;
    for (int i = 0;; ++i) {
        SyncRecord record;
        record.kind = SyncRecord::Item;
        record.parent = "category-" + std::to_string(i);
        const auto [at, fresh] = seen.emplace(objectHash(record) & ((1LL << 23) - 1), record.parent);
        if (!fresh)
            return {at->second, record.parent};
    }
}

}  // namespace

// A joining catalogue that holds an item in another category than the place ends where every device
// ends, even when the hash cannot tell the two categories apart.
TEST_F(SyncThroughFolder, JoiningCatalogueHoldingAnItemElsewhereAgreesWithThePlace)
{
    const auto [here, there] = categoriesAlikeInTheHash();
    for (SyncDevice* device : {&a, &b}) {
        device->addCategory(here, "Here");
        device->addCategory(there, "There");
    }
    a.addItem("i1", "one", here);
    b.addItem("i1", "one", there);
    sync(a);
    sync(b);
    sync(a);
    const std::string where = "select category from link_table where guid='i1';";
    EXPECT_EQ(a.column(where), b.column(where));
}

TEST_F(SyncThroughFolder, WhatAnotherDeviceSendsCannotChangeWhatOnlyThisProgramMayChange)
{
    a.addCategory("cat", "Projects");
    sync(a);
    const auto record = [](const std::string& text) { return *recordFromText(text); };
    const std::string stamp = "\"" + std::to_string(HybridClock::wallClockNow()) + "@evil\"";
    const std::vector<SyncRecord> sent = {
        // a built-in category stripped of its flag and moved
        record("{\"k\":\"c\",\"g\":\"" + std::string(General)
               + "\",\"f\":{\"name\":\"Mine\",\"system\":\"0\","
                 "\"icon\":\"#0\"},\"p\":\"cat\",\"fs\":"
               + stamp + ",\"ps\":" + stamp + ",\"c\":" + stamp + "}"),
        // an item that takes a category's GUID
        record("{\"k\":\"i\",\"g\":\"cat\",\"f\":{\"name\":\"impostor\",\"type\":\"1\"},\"p\":\"" + std::string(General)
               + "\",\"fs\":" + stamp + ",\"ps\":" + stamp + ",\"c\":" + stamp + "}"),
        // a category that takes an item's GUID
        record("{\"k\":\"c\",\"g\":\"kept\",\"f\":{\"name\":\"impostor\"},\"p\":\"\",\"fs\":" + stamp
               + ",\"ps\":" + stamp + ",\"c\":" + stamp + "}"),
    };
    std::filesystem::create_directories(place + "/Varnelo/evil");
    const SyncFileHeader header{"evil", "evil box", 1, false, 0, {}, {}};
    std::ofstream(place + "/Varnelo/evil/changes-00000001.vsync", std::ios::binary)
        << syncFileBytes(header, sent).toStdString();
    b.addItem("kept", "an item", General);
    const SyncReport report = sync(b);
    ASSERT_TRUE(report.ok);
    EXPECT_EQ(b.column("select count(*) from category_table where guid='kept';"), std::vector<std::string>{"0"});
    EXPECT_EQ(b.column("select name || '|' || system || '|' || parent_guid from category_table where guid='"
                       + std::string(General) + "';"),
              std::vector<std::string>{"Mine|1|"});
    EXPECT_EQ(b.column("select count(*) from link_table where guid='cat';"), std::vector<std::string>{"0"});
    EXPECT_EQ(report.warnings,
              (std::vector<std::string>{
                  "A record from the device \"evil box\" was refused: an item cannot take the GUID of a category.",
                  "A record from the device \"evil box\" was refused: a category cannot take the GUID of an item."}));

    // A line longer than any record, and more device folders than any place of ours holds.
    const SyncFileHeader second{"evil", "evil box", 2, false, 0, {}, {}};
    SyncRecord huge = sent[1];
    huge.guid = "huge";
    huge.fields["comment"] = std::string(5 << 20, 'x');
    std::ofstream(place + "/Varnelo/evil/changes-00000002.vsync", std::ios::binary)
        << syncFileBytes(second, {huge}).toStdString();
    FolderTransport transport(place);
    const SyncReport tooLong = synchronize(b.path, transport, b.options);
    EXPECT_EQ(tooLong.error,
              "The sync file \"Varnelo/evil/changes-00000002.vsync\" of \"evil box\" holds a line longer "
              "than 4 MiB; nothing was merged.");
    std::filesystem::remove(place + "/Varnelo/evil/changes-00000002.vsync");
    for (int i = 0; i < 1001; ++i)
        std::filesystem::create_directory(place + "/Varnelo/d" + std::to_string(i));
    const SyncReport crowded = synchronize(b.path, transport, b.options);
    EXPECT_EQ(crowded.error, "The place holds more than 1000 device folders in \"Varnelo\": that is no place Varnelo "
                             "made; nothing was read.");
}

TEST_F(SyncThroughFolder, FolderOfADeviceNobodyWritesAnyMoreIsCompactedOnceEveryDeviceHasReadIt)
{
    SyncDevice retired(dir.path("old.db"), "old laptop");
    retired.addItem("r1", "from the old laptop", General);
    sync(retired);
    sync(a);
    sync(b);
    const std::string folder = place + "/Varnelo/" + retired.device();
    // A month and more without a word from it.
    for (const auto& entry : std::filesystem::directory_iterator(folder))
        std::filesystem::last_write_time(entry.path(),
                                         std::filesystem::file_time_type::clock::now() - std::chrono::hours(24 * 40));
    a.addItem("a1", "from a", General);
    b.addItem("b1", "from b", General);
    for (int round = 0; round < 3; ++round) {
        sync(a);
        sync(b);
    }
    EXPECT_FALSE(std::filesystem::exists(folder));
    SyncDevice joining(dir.path("new.db"), "new desktop");
    sync(joining);
    EXPECT_EQ(joining.items().size(), 3u) << "what the retired device wrote lives on in the snapshots";
}

// A catalogue and a place as the first format left them: the whole records in the catalogue, bare
// JSON lines on the place. One sync reads them and leaves the present format in both.
TEST_F(SyncThroughFolder, FirstFormatIsReadOnceAndUpgraded)
{
    a.addItem("i1", "from the first format", General);
    const std::string record = "{\"k\":\"i\",\"g\":\"i1\",\"f\":{\"name\":\"from the first format\",\"target\":"
                               "\"https://example.org\",\"star\":\"0\",\"comment\":\"\",\"type\":\"1\"},\"p\":\""
                               + std::string(General) + "\",\"fs\":\"5@old\",\"ps\":\"5@old\",\"c\":\"5@old\"}";
    a.execute("create table sync_meta (key text primary key, value text);"
              "create table sync_object (kind text, guid text, record text, row text, pending int, primary key (kind, "
              "guid));"
              "create table sync_peer (device text primary key, upto int, name text);"
              "create table sync_dirty (kind text, guid text, primary key (kind, guid)) without rowid;");
    CppSQLite3Buffer sql;
    sql.Format("insert into sync_meta values ('device', 'old'), ('machine', %Q), ('path', %Q), ('sequence', '1'), "
               "('joined', '1');"
               "insert into sync_object values ('i', 'i1', %Q, 'row', 0);",
               machineIdentity().c_str(), std::filesystem::weakly_canonical(a.path).string().c_str(), record.c_str());
    a.execute(static_cast<const char*>(sql));
    std::filesystem::create_directories(place + "/Varnelo/old");
    std::ofstream(place + "/Varnelo/old/snapshot-00000001.jsonl")
        << "{\"varnelo-sync\":1,\"device\":\"old\",\"name\":\"desktop\",\"sequence\":\"1\",\"snapshot\":true,"
           "\"records\":1}\n"
        << record << "\n";

    sync(b);
    EXPECT_EQ(b.items(), std::vector<std::string>{std::string("from the first format@") + General});
    sync(a);
    EXPECT_EQ(a.device(), "old");
    EXPECT_TRUE(a.column("select name from sqlite_master where name = 'sync_object';").empty());
    for (const auto& entry : std::filesystem::directory_iterator(place + "/Varnelo/old"))
        EXPECT_TRUE(entry.path().filename().string().ends_with("-00000002.vsync")) << entry.path();
    EXPECT_TRUE(std::filesystem::exists(place + "/Varnelo/old/snapshot-00000002.vsync"));
    a.execute("update link_table set name = 'renamed after the upgrade';");
    sync(a);
    sync(b);
    EXPECT_EQ(b.items(), std::vector<std::string>{std::string("renamed after the upgrade@") + General});
}
