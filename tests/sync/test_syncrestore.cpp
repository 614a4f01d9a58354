// SPDX-License-Identifier: GPL-3.0-or-later
// A backup restored on one of three devices: what it brings back, what it leaves, and what every
// device ends with.
#include <gtest/gtest.h>

#include "syncdevice.h"
#include "tempfolder.h"

#include "backup/backupfile.h"
#include "sync/foldertransport.h"
#include "sync/syncrestore.h"

#include <filesystem>

namespace {

constexpr const char* General = "5EE0962C-217D-411a-BB72-6261B1B4F5BF";

// Three devices syncing through a folder; A holds items i1 to i4 to begin with.
struct ThreeDevices {
    TempFolder dir;
    std::string place = dir.path("place");
    SyncDevice a{dir.path("a.db"), "a"}, b{dir.path("b.db"), "b"}, c{dir.path("c.db"), "c"};

    ThreeDevices()
    {
        std::filesystem::create_directory(place);
        saveSyncSettings(a.path, {place, "", "a", {}});
        for (int i = 1; i <= 4; ++i)
            a.addItem("i" + std::to_string(i), "item " + std::to_string(i), General);
    }
    void round()
    {
        for (SyncDevice* device : {&a, &b, &c}) {
            FolderTransport transport(place);
            device->sync(transport);
        }
    }
    // Deleted since the backup: i1 on B, i2 on A itself; changed since: i3 on C, i4 on A; added: i5 on B.
    void changeSinceTheBackup()
    {
        b.execute("delete from link_table where guid='i1';");
        a.execute("delete from link_table where guid='i2';");
        c.execute("update link_table set name='item 3, edited on c' where guid='i3';");
        a.execute("update link_table set name='item 4, edited on a' where guid='i4';");
        b.addItem("i5", "item 5", General);
        round();
        round();
    }
    RestorePreview restore(const std::string& backup, RestoreChoice choice)
    {
        const RestorePreview preview = previewRestore(a.path, backup);
        EXPECT_TRUE(restoreBackup(
                        backup, a.path, [] {}, [] {})
                        .succeeded);
        noteRestore(a.path, choice);
        return preview;
    }
    std::size_t deviceFolders() const
    {
        return static_cast<std::size_t>(std::distance(std::filesystem::directory_iterator(place + "/Varnelo"), {}));
    }
};

std::vector<std::string> names(SyncDevice& device)
{
    return device.column("select guid || ' ' || name from link_table order by guid;");
}

}  // namespace

TEST(RestoreOnASyncingCatalogue, BringsBackWhatWasDeletedAndKeepsEveryLaterChangeOnEveryDevice)
{
    for (const bool backupBeforeFirstSync : {true, false}) {
        SCOPED_TRACE(backupBeforeFirstSync ? "backup made before the first sync" : "backup made after it");
        ThreeDevices world;
        const std::string backup = world.dir.path("backup.mbk");
        if (backupBeforeFirstSync) {
            ASSERT_TRUE(writeBackup(world.a.path, backup).succeeded);
        }
        world.round();
        if (!backupBeforeFirstSync) {
            ASSERT_TRUE(writeBackup(world.a.path, backup).succeeded);
        }
        world.changeSinceTheBackup();
        const std::string device = world.a.device();
        const std::size_t folders = world.deviceFolders();

        const RestorePreview preview = world.restore(backup, RestoreChoice::BringBack);
        EXPECT_EQ(preview.message(RestoreChoice::BringBack),
                  "At the next sync, on every device: 2 items deleted since this backup come back; 2 items changed "
                  "since keep their later version; 1 item added since stay.");
        EXPECT_EQ(loadSyncSettings(world.a.path).place, world.place) << "the settings outlive the restore";
        world.round();
        world.round();
        const std::vector<std::string> expected = {"i1 item 1", "i2 item 2", "i3 item 3, edited on c",
                                                   "i4 item 4, edited on a", "i5 item 5"};
        for (SyncDevice* each : {&world.a, &world.b, &world.c})
            EXPECT_EQ(names(*each), expected) << each->options.machineName;
        EXPECT_EQ(world.a.device(), device) << "the restored file goes on as the same device";
        EXPECT_EQ(world.deviceFolders(), folders) << "and leaves no device folder behind";
    }
}

TEST(RestoreOnASyncingCatalogue, ExactChoiceMakesEveryDeviceExactlyTheBackup)
{
    ThreeDevices world;
    world.round();
    const std::string backup = world.dir.path("exact.mbk");
    ASSERT_TRUE(writeBackup(world.a.path, backup).succeeded);
    world.changeSinceTheBackup();

    const RestorePreview preview = world.restore(backup, RestoreChoice::ExactlyThisBackup);
    EXPECT_EQ(preview.message(RestoreChoice::ExactlyThisBackup),
              "At the next sync every device becomes exactly this backup: 1 item added since are deleted; 2 items "
              "changed since go back to the backup's version; 2 items deleted since come back.");
    world.round();
    world.round();
    const std::vector<std::string> expected = {"i1 item 1", "i2 item 2", "i3 item 3", "i4 item 4"};
    for (SyncDevice* each : {&world.a, &world.b, &world.c})
        EXPECT_EQ(names(*each), expected) << each->options.machineName;
}
