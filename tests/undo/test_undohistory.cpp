// SPDX-License-Identifier: GPL-3.0-or-later
#include "undo/catalogueundocommands.h"
#include "undo/undohistory.h"

#include "import/treeimport.h"
#include "tempfolder.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <utility>
#include <vector>

namespace {

// A catalogue with a branch "News" > "Local" holding items, and items in "General files".
class UndoTest : public ::testing::Test {
public:
    void SetUp() override
    {
        ASSERT_TRUE(db.Open(folder.path("FavoritesDB.db")));
        db.EnsureDefaultCategories();
        db.LoadCategories();
        CCategory& root = db.GetRootCategory();
        general = root.GetChild(0);
        office = root.GetChild(1);
        news = &commands.addCategory(root, "News", 2);
        local = &commands.addCategory(*news, "Local", 3);
        add(*general, {"Manual", "Guide"});
        add(*news, {"Daily", "Weekly", "Monthly"});
        add(*local, {"Town", "Harbour's"});
    }

    void add(CCategory& category, const std::vector<std::string>& names)
    {
        std::vector<ItemFields> items;
        for (const std::string& name : names)
            items.push_back({name, "https://example.org/" + name, "about " + name, CLinkItem::WebType});
        commands.appendItems(category, items, Progress::none(), [](const CLinkItems&) {});
    }

    // Every stored value of both catalogue tables with its type, row order and itemorder included.
    std::string tables()
    {
        std::string out;
        for (const char* sql :
             {"select quote(guid)||quote(name)||quote(level)||quote(parent_guid)||quote(system)||quote(iconIndex)||"
              "quote(itemorder) as r from category_table order by itemorder",
              "select quote(guid)||quote(name)||quote(target)||quote(category)||quote(star)||quote(comment)||"
              "quote(type)||quote(itemorder) as r from link_table order by itemorder"})
            for (CppSQLite3Query row = db.ExecuteQuery(sql); !row.Eof(); row.NextRow())
                out += row.fieldText("r") + "\n";
        return out;
    }

    void outside(const char* sql)
    {
        CppSQLite3DB other;
        other.Open(folder.path("FavoritesDB.db").c_str());
        other.ExecuteStatement(sql);
    }

    TempFolder folder;
    CDBManager db;
    CatalogueCommands commands{db};
    UndoHistory history;
    std::unique_ptr<CCategory> detached;
    CCategory* general = nullptr;
    CCategory* office = nullptr;
    CCategory* news = nullptr;
    CCategory* local = nullptr;
};

struct Case {
    const char* text;
    std::function<std::unique_ptr<RecordedCommand>(UndoTest&)> command;
};

}  // namespace

// Each command kind taken back and forth: undo leaves the tables as they were to the byte (deleted
// rows return with their GUIDs and itemorder), redo as the command left them.
// Another connection writing at that moment (the search index's, the command line's) is waited for,
// as every command of the window waits for it, instead of failing the undo at once.
TEST_F(UndoTest, UndoWaitsForAnotherConnectionsWriteInsteadOfFailing)
{
    UndoHistory history;
    history.record(std::make_unique<RenameItemCommand>(commands, *general->GetItem(0), "Renamed"));
    CppSQLite3DB other;
    other.Open(folder.path("FavoritesDB.db").c_str());
    other.ExecuteStatement("begin immediate;");
    bool waited = false;
    db.SetBusyWait([&] {
        if (!std::exchange(waited, true))
            other.ExecuteStatement("commit;");
    });
    history.undo();
    EXPECT_TRUE(waited);
    EXPECT_EQ(db.ReadItem(general->GetItem(0)->GetGuid())->GetName(), "Manual");
}

TEST_F(UndoTest, EveryCommandKindUndoesAndRedoesToTheByte)
{
    const auto none = [](const CLinkItem*) {};
    const std::vector<Case> cases = {
        {"Add 2 Items",
         [](UndoTest& t) {
             return std::make_unique<AddItemsCommand>(t.commands, *t.general,
                                                      std::vector<ItemFields>{{"a", "/a", "", 0}, {"b", "/b", "", 0}},
                                                      Progress::none(), [](const CLinkItems&) {});
         }},
        {"Add Category \"Added\"",
         [](UndoTest& t) { return std::make_unique<AddCategoryCommand>(t.commands, *t.news, "Added", 4); }},
        {"Edit Category \"News\"",
         [](UndoTest& t) { return std::make_unique<EditCategoryCommand>(t.commands, *t.news, "Press", 7); }},
        {"Change Icon of \"News\"",
         [](UndoTest& t) { return std::make_unique<EditCategoryCommand>(t.commands, *t.news, "News", 9); }},
        {"Delete Category \"News\"",
         [](UndoTest& t) {
             return std::make_unique<DeleteCategoryCommand>(t.commands, t.db.GetRootCategory(), *t.news,
                                                            Progress::none(), t.detached);
         }},
        {"Rename \"Manual\"",
         [](UndoTest& t) {
             return std::make_unique<RenameItemCommand>(t.commands, *t.general->GetItem(0), "Handbook");
         }},
        {"Edit Item \"Guide\"",
         [](UndoTest& t) {
             return std::make_unique<EditItemCommand>(t.commands, *t.general->GetItem(1),
                                                      ItemFields{"Tour", "/tour", "it's new", 1});
         }},
        {"Copy 3 Items",
         [](UndoTest& t) {
             return std::make_unique<CopyItemsCommand>(t.commands, t.news->GetItems(), *t.local, Progress::none());
         }},
        {"Move Item \"Weekly\"",
         [none](UndoTest& t) {
             return std::make_unique<MoveItemsCommand>(t.commands, *t.news, CLinkItems{t.news->GetItem(1)}, *t.general,
                                                       Progress::none(), none);
         }},
        {"Delete 2 Items",
         [none](UndoTest& t) {
             return std::make_unique<DeleteItemsCommand>(
                 t.commands, *t.news, CLinkItems{t.news->GetItem(0), t.news->GetItem(2)}, Progress::none(), none);
         }},
        {"Move Category \"News\"",
         [](UndoTest& t) { return std::make_unique<MoveCategoryCommand>(t.commands, *t.news, *t.office); }},
        {"Copy Category \"News\"",
         [](UndoTest& t) {
             return std::make_unique<CopyCategoryCommand>(t.commands, *t.news, *t.general, Progress::none());
         }},
        {"Import Bookmarks",
         [](UndoTest& t) {
             return std::make_unique<ImportCommand>(t.db, QStringLiteral("Import Bookmarks"), [&t] {
                 ImportFolder tree{"",
                                   {{"Blogs", {}, {{"One", "https://one.example", "", 1}}}},
                                   {{"Two", "https://two.example", "", 1}}};
                 WriteBatch batch(t.db, Progress::none(), importRowCount(tree));
                 storeImportTree(tree, *t.general, t.db, batch);
                 batch.finish();
             });
         }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        TearDown();
        db.Close();
        std::filesystem::remove(folder.path("FavoritesDB.db"));
        history.clear();
        SetUp();
        const std::string before = tables();
        history.record(c.command(*this));
        const std::string after = tables();
        ASSERT_NE(after, before);
        EXPECT_EQ(history.stack().undoText(), QString::fromUtf8(c.text));
        history.undo();
        EXPECT_EQ(tables(), before);
        history.redo();
        EXPECT_EQ(tables(), after);
        history.undo();
        EXPECT_EQ(tables(), before);
    }
}

// Rows changed by another connection since the command: the undo names the first such row and
// changes nothing, also the rows that could have been put back; the history stays where it was.
TEST_F(UndoTest, AnUndoOverAnOutsideChangeIsRefusedWholeAndNamesWhatChanged)
{
    const struct {
        std::function<std::unique_ptr<RecordedCommand>(UndoTest&)> command;
        const char* outsideChange;
        const char* message;
    } cases[] = {
        {[](UndoTest& t) { return std::make_unique<MoveCategoryCommand>(t.commands, *t.news, *t.office); },
         "update category_table set parent_guid='' , level=0 where name='Local';",
         "Cannot undo Move Category \"News\": the category \"Local\" was changed by another program since. Nothing was "
         "changed"},
        {[](UndoTest& t) {
             return std::make_unique<DeleteItemsCommand>(t.commands, *t.news, t.news->GetItems(), Progress::none(),
                                                         [](const CLinkItem*) {});
         },
         "insert into link_table (guid,name,category) values('x','Intruder','elsewhere');", nullptr},
        {[](UndoTest& t) {
             return std::make_unique<AddItemsCommand>(
                 t.commands, *t.local, std::vector<ItemFields>{{"Fresh", "/f", "", 0}, {"Also", "/b", "", 0}},
                 Progress::none(), [](const CLinkItems&) {});
         },
         "update link_table set comment='edited elsewhere' where name='Also';",
         "Cannot undo Add 2 Items: the item \"Also\" was changed by another program since. Nothing was changed"},
    };
    for (const auto& c : cases) {
        history.record(c.command(*this));
        outside(c.outsideChange);
        const std::string changedOutside = tables();
        const QString text = history.stack().undoText();
        if (!c.message) {
            // A change beside the command's rows leaves its undo free.
            history.undo();
            EXPECT_EQ(db.ExecuteScalar("select count(*) from link_table"), 8);
            continue;
        }
        try {
            history.undo();
            ADD_FAILURE() << "the undo went through over " << c.outsideChange;
        } catch (const std::runtime_error& refusal) {
            EXPECT_STREQ(refusal.what(), c.message);
        }
        EXPECT_EQ(tables(), changedOutside);
        EXPECT_EQ(history.stack().undoText(), text);
        EXPECT_FALSE(history.stack().canRedo());
    }
}

// A new command drops what could be redone; a restore clears the history and says whether it held any.
TEST_F(UndoTest, ANewCommandDropsTheRedoHistory)
{
    history.record(std::make_unique<RenameItemCommand>(commands, *general->GetItem(0), "One"));
    history.undo();
    EXPECT_TRUE(history.stack().canRedo());
    history.record(std::make_unique<RenameItemCommand>(commands, *general->GetItem(1), "Two"));
    EXPECT_FALSE(history.stack().canRedo());
    EXPECT_EQ(history.stack().count(), 1);
    EXPECT_TRUE(history.clear());
    EXPECT_FALSE(history.clear());
}
