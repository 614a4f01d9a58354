// SPDX-License-Identifier: GPL-3.0-or-later
#include "commands/cataloguecommands.h"
#include "commands/writebatch.h"

#include "model/newguid.h"
#include "tempfolder.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

namespace {

// Answers every advance with the given rule and remembers what it was told.
class ScriptedProgress : public Progress {
public:
    explicit ScriptedProgress(std::function<bool(std::size_t)> rule = {}) : goOn(std::move(rule)) {}
    bool advance(std::size_t done, std::size_t total) override
    {
        steps.push_back(done);
        lastTotal = total;
        return !goOn || goOn(done);
    }
    std::vector<std::size_t> steps;
    std::size_t lastTotal = 0;

private:
    std::function<bool(std::size_t)> goOn;
};

std::vector<ItemFields> files(int count, const std::string& prefix = "file")
{
    std::vector<ItemFields> items;
    for (int i = 0; i < count; ++i)
        items.push_back({prefix + std::to_string(i), "/data/" + prefix + std::to_string(i) + ".txt", "note", 0});
    return items;
}

class CommandsTest : public ::testing::Test {
protected:
    void SetUp() override { open(); }

    void open()
    {
        db.Close();
        ASSERT_TRUE(db.Open(folder.path("FavoritesDB.db")));
        db.EnsureDefaultCategories();
        db.LoadCategories();
        general = db.GetRootCategory().GetChild(0);
        media = db.GetRootCategory().GetChild(2);
    }

    int count(const std::string& sql) { return db.ExecuteScalar(sql.c_str()); }
    std::string text(const std::string& sql) { return db.ExecuteQuery(sql.c_str()).fieldText("t"); }

    std::vector<std::string> storedNames(const CCategory& category)
    {
        std::vector<std::string> names;
        CppSQLite3Buffer sql;
        sql.Format("select name from link_table where category='%q' order by itemorder", category.GetGuid().c_str());
        for (CppSQLite3Query row = db.ExecuteQuery(sql); !row.Eof(); row.NextRow())
            names.push_back(row.fieldText("name"));
        return names;
    }

    static std::vector<std::string> names(const CLinkItems& items)
    {
        std::vector<std::string> out;
        for (const CLinkItem* item : items)
            out.push_back(item->GetName());
        return out;
    }

    static std::vector<std::string> memoryNames(const CCategory& category) { return names(category.GetItems()); }

    // Every write from here on is refused with SQLITE_READONLY, as on a write-protected catalogue.
    void refuseWrites() { db.ExecuteStatement("pragma query_only=1;"); }

    TempFolder folder;
    CDBManager db;
    CatalogueCommands commands{db};
    CCategory* general = nullptr;
    CCategory* media = nullptr;
};

}  // namespace

TEST_F(CommandsTest, AppendItemsStoresBatchByBatchAndReportsEachStoredBatchInOrder)
{
    std::vector<std::vector<std::string>> reported;
    ScriptedProgress progress;
    commands.appendItems(*general, files(450), progress,
                         [&](const CLinkItems& batch) { reported.push_back(names(batch)); });

    ASSERT_EQ(reported.size(), 3u);
    EXPECT_EQ(reported[0].size(), 200u);
    EXPECT_EQ(reported[2].back(), "file449");
    EXPECT_EQ(progress.steps, (std::vector<std::size_t>{200, 400, 450}));
    EXPECT_EQ(storedNames(*general), memoryNames(*general));
    EXPECT_EQ(count("select count(*) from link_table where type=0 and comment='note'"), 450);
}

TEST_F(CommandsTest, AppendItemsGivesTheRowsOfOneSavePerFile)
{
    commands.appendItems(*general, files(250), Progress::none(), [](const CLinkItems&) {});

    CDBManager other;
    TempFolder otherFolder;
    ASSERT_TRUE(other.Open(otherFolder.path("FavoritesDB.db")));
    other.EnsureDefaultCategories();
    other.LoadCategories();
    other.ExecuteStatement("pragma synchronous=off;");
    CCategory& otherGeneral = *other.GetRootCategory().GetChild(0);
    for (const ItemFields& fields : files(250)) {
        auto item = std::make_unique<CLinkItem>();
        item->SetGuid(NewGuid());
        item->SetName(fields.name);
        item->SetTarget(fields.target);
        item->SetComment(fields.comment);
        item->SetParentGuid(otherGeneral.GetGuid());
        otherGeneral.AddItem(std::move(item));
        other.SaveCategory(otherGeneral, false);
    }
    const char* rows = "select group_concat(name||'|'||target||'|'||category||'|'||star||'|'||comment||'|'||type||'|'||"
                       "itemorder, ';') as t from (select * from link_table order by itemorder)";
    EXPECT_EQ(text(rows), other.ExecuteQuery(rows).fieldText("t"));
}

// Another program changed a row of the shown category; adding a file here must not write the older
// values held in memory back over it.
TEST_F(CommandsTest, AppendItemsWritesTheNewRowsAndLeavesTheCategorysOtherRowsAlone)
{
    commands.appendItems(*general, files(2), Progress::none(), [](const CLinkItems&) {});
    db.ExecuteStatement("update link_table set name='renamed elsewhere' where name='file0';");
    commands.appendItems(*general, files(1, "added"), Progress::none(), [](const CLinkItems&) {});
    EXPECT_EQ(storedNames(*general), (std::vector<std::string>{"renamed elsewhere", "file1", "added0"}));
}

TEST_F(CommandsTest, AppendItemsStopsBetweenBatchesWhenAskedAndNeverAddsTheRest)
{
    ScriptedProgress stopAfterFirst([](std::size_t) { return false; });
    int batches = 0;
    commands.appendItems(*general, files(450), stopAfterFirst, [&](const CLinkItems&) { ++batches; });
    EXPECT_EQ(batches, 1);
    EXPECT_EQ(general->GetItemCount(), 200);
    EXPECT_EQ(count("select count(*) from link_table"), 200);
}

TEST_F(CommandsTest, ARefusedItemIsReportedLeftOutOfMemoryAndNotWrittenByALaterSave)
{
    db.ExecuteStatement("create trigger refuse before insert on link_table when new.name='file1' "
                        "begin select raise(abort,'refused'); end;");
    std::vector<std::string> shown;
    try {
        commands.appendItems(*general, files(3), Progress::none(),
                             [&](const CLinkItems& batch) { shown = names(batch); });
        FAIL() << "the refusal went unreported";
    } catch (const CppSQLite3Exception& error) {
        EXPECT_STREQ(error.ErrorMessage(), "SQLITE_CONSTRAINT[19]: refused");
    }
    EXPECT_EQ(shown, (std::vector<std::string>{"file0", "file2"}));
    EXPECT_EQ(memoryNames(*general), shown);
    db.ExecuteStatement("drop trigger refuse;");
    commands.appendItems(*general, files(1, "later"), Progress::none(), [](const CLinkItems&) {});
    EXPECT_EQ(storedNames(*general), (std::vector<std::string>{"file0", "file2", "later0"}));
}

TEST_F(CommandsTest, OnAReadOnlyCatalogueNothingIsAddedAndSQLiteSaysWhy)
{
    refuseWrites();
    bool anyShown = false;
    try {
        commands.appendItems(*general, files(2), Progress::none(), [&](const CLinkItems&) { anyShown = true; });
        FAIL() << "the refused add went unreported";
    } catch (const CppSQLite3Exception& error) {
        EXPECT_STREQ(error.ErrorMessage(), "SQLITE_READONLY[8]: attempt to write a readonly database");
    }
    EXPECT_FALSE(anyShown);
    EXPECT_EQ(general->GetItemCount(), 0);
}

TEST_F(CommandsTest, AFullDiskIsReportedAsFullAndTheBatchIsTakenBack)
{
    commands.appendItems(*general, files(5, "kept"), Progress::none(), [](const CLinkItems&) {});
    db.ExecuteStatement(("pragma max_page_count=" + std::to_string(count("pragma page_count")) + ";").c_str());
    std::vector<ItemFields> big = files(50, "big");
    for (ItemFields& fields : big)
        fields.comment = std::string(3000, 'c');
    try {
        commands.appendItems(*general, big, Progress::none(), [](const CLinkItems&) { FAIL() << "a row was shown"; });
        FAIL() << "the full disk went unreported";
    } catch (const CppSQLite3Exception& error) {
        EXPECT_EQ(error.ErrorCode(), 13) << error.ErrorMessage();
    }
    EXPECT_FALSE(db.InTransaction());
    EXPECT_EQ(general->GetItemCount(), 5);
    EXPECT_EQ(count("select count(*) from link_table"), 5);
}

TEST_F(CommandsTest, ACategoryJoinsTheTreeOnlyOnceItIsStored)
{
    refuseWrites();
    EXPECT_THROW(commands.addCategory(db.GetRootCategory(), "Phantom", 3), CppSQLite3Exception);
    EXPECT_THROW(commands.addCategory(*general, "Phantom child", 0), CppSQLite3Exception);
    EXPECT_EQ(db.GetRootCategory().GetChildCount(), 4);
    EXPECT_EQ(general->GetChildCount(), 0);

    db.ExecuteStatement("pragma query_only=0;");
    CCategory& sub = commands.addCategory(*general, "Sub", 5);
    CCategory& subsub = commands.addCategory(sub, "Subsub", 0);
    CCategory& top = commands.addCategory(db.GetRootCategory(), "Top", 1);
    EXPECT_EQ(subsub.GetLevel(), 2);
    EXPECT_EQ(subsub.GetParentGuid(), sub.GetGuid());
    EXPECT_EQ(top.GetLevel(), 0);
    EXPECT_EQ(top.GetParentGuid(), "");
    open();
    EXPECT_EQ(db.GetRootCategory().GetChild(4)->GetName(), "Top");
    EXPECT_EQ(general->GetChild(0)->GetChild(0)->GetName(), "Subsub");
}

TEST_F(CommandsTest, RefusedEditsKeepTheOldValuesInMemory)
{
    commands.appendItems(*general, files(1), Progress::none(), [](const CLinkItems&) {});
    CLinkItem& item = *general->GetItem(0);
    refuseWrites();
    EXPECT_THROW(commands.editCategory(*general, "Renamed", 4), CppSQLite3Exception);
    EXPECT_EQ(general->GetName(), "General files");
    EXPECT_EQ(general->GetIconIndex(), 0);
    EXPECT_THROW(commands.renameItem(item, "renamed"), CppSQLite3Exception);
    EXPECT_EQ(item.GetName(), "file0");
    EXPECT_THROW(commands.editItem(item, {"n", "t", "c", 1}), CppSQLite3Exception);
    EXPECT_EQ(item.GetTarget(), "/data/file0.txt");
    EXPECT_EQ(item.GetComment(), "note");

    db.ExecuteStatement("pragma query_only=0;");
    EXPECT_FALSE(commands.editCategory(*general, "General files", 0));
    EXPECT_FALSE(commands.renameItem(item, "file0"));
    commands.editItem(item, {"n", "t", "c", 1});
    EXPECT_EQ(item.GetType(), 0);
    EXPECT_EQ(text("select name||target||comment||type as t from link_table"), "ntc0");
}

TEST_F(CommandsTest, MoveCopyAndDeleteTakeMemoryAndRowsAlongTogether)
{
    commands.appendItems(*general, files(5), Progress::none(), [](const CLinkItems&) {});
    CLinkItems all = general->GetItems();
    std::vector<std::string> left;
    const auto leaving = [&left](const CLinkItem* item) { left.push_back(item->GetName()); };

    commands.copyItems({all[0], all[1]}, *media, Progress::none());
    commands.moveItems(*general, {all[2], all[3]}, *media, Progress::none(), leaving);
    commands.deleteItems(*general, {all[4]}, Progress::none(), leaving);
    EXPECT_EQ(left, (std::vector<std::string>{"file2", "file3", "file4"}));
    EXPECT_EQ(memoryNames(*general), (std::vector<std::string>{"file0", "file1"}));
    EXPECT_EQ(storedNames(*general), memoryNames(*general));
    // Moved rows keep their first place; copies are new rows and come last.
    EXPECT_EQ(storedNames(*media), (std::vector<std::string>{"file2", "file3", "file0", "file1"}));
    EXPECT_EQ(count("select count(distinct guid) from link_table"), 6);
}

TEST_F(CommandsTest, ARefusedMoveOrDeleteLeavesItemsWhereTheyAreStored)
{
    commands.appendItems(*general, files(3), Progress::none(), [](const CLinkItems&) {});
    CLinkItems all = general->GetItems();
    refuseWrites();
    const auto leaving = [](const CLinkItem*) { FAIL() << "an item left memory"; };
    EXPECT_THROW(commands.moveItems(*general, all, *media, Progress::none(), leaving), CppSQLite3Exception);
    EXPECT_THROW(commands.deleteItems(*general, all, Progress::none(), leaving), CppSQLite3Exception);
    EXPECT_THROW(commands.copyItems(all, *media, Progress::none()), CppSQLite3Exception);
    EXPECT_EQ(general->GetItemCount(), 3);
    for (const CLinkItem* item : all)
        EXPECT_EQ(item->GetParentGuid(), general->GetGuid());
}

TEST_F(CommandsTest, ReloadBranchBringsEveryStoredLevelBelowTheCategory)
{
    CCategory detached;
    CCategory* parent = general;
    std::string parentGuid = general->GetGuid();
    for (int level = 1; level <= 4; ++level) {
        CCategory row;
        row.SetGuid("deep" + std::to_string(level));
        row.SetName("Level " + std::to_string(level));
        row.SetLevel(level);
        row.SetParentGuid(parentGuid);
        db.SaveCategory(row, true);
        parentGuid = row.GetGuid();
    }
    CCategoryList added = commands.reloadBranch(*parent);
    ASSERT_EQ(added.size(), 1u);
    const CCategory* at = added[0];
    for (int level = 2; level <= 4; ++level) {
        ASSERT_EQ(at->GetChildCount(), 1) << level;
        at = at->GetChild(0);
    }
    EXPECT_EQ(at->GetName(), "Level 4");
    EXPECT_TRUE(commands.reloadBranch(*parent).empty());
}

TEST_F(CommandsTest, WriteBatchCommitsEveryFewRowsAndKeepsWhatItWroteWhenWorkFails)
{
    CDBManager reader;
    ASSERT_TRUE(reader.Open(folder.path("FavoritesDB.db")));
    reader.SetBusyTimeout(0);
    const auto storedRows = [&reader] { return reader.ExecuteScalar("select count(*) from link_table"); };
    try {
        WriteBatch batch(db, Progress::none(), 10, 3);
        for (int i = 0; i < 7; ++i) {
            CLinkItem item;
            item.SetGuid(NewGuid());
            item.SetName("row" + std::to_string(i));
            db.StoreItem(item);
            batch.wroteItem();
        }
        EXPECT_EQ(storedRows(), 6);
        EXPECT_EQ(batch.storedItems(), 6u);
        throw std::runtime_error("stop");
    } catch (const std::runtime_error&) {
    }
    EXPECT_EQ(storedRows(), 7);
    EXPECT_FALSE(db.InTransaction());
}

TEST_F(CommandsTest, WriteBatchCommitsAndSaysStopWhenTheUserAsks)
{
    ScriptedProgress stopAtTwo([](std::size_t done) { return done < 2; });
    WriteBatch batch(db, stopAtTwo, 5);
    CCategory row;
    row.SetGuid("c1");
    db.SaveCategory(row, true);
    EXPECT_TRUE(batch.wroteCategory());
    row.SetGuid("c2");
    db.SaveCategory(row, true);
    EXPECT_FALSE(batch.wroteCategory());
    EXPECT_FALSE(db.InTransaction());
    EXPECT_EQ(batch.storedCategories(), 2u);
    EXPECT_EQ(stopAtTwo.lastTotal, 5u);
}
