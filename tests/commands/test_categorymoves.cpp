// SPDX-License-Identifier: GPL-3.0-or-later
#include "commands/cataloguecommands.h"

#include "tempfolder.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

class StopAt : public Progress {
public:
    explicit StopAt(std::size_t step) : stop(step) {}
    bool advance(std::size_t done, std::size_t) override { return done < stop; }

private:
    std::size_t stop;
};

// Built-in categories, then "A" > "A1" > "A2" holding items, then "B" and "C" at the top.
class CategoryMovesTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(db.Open(folder.path("FavoritesDB.db")));
        db.EnsureDefaultCategories();
        db.LoadCategories();
        CCategory& root = db.GetRootCategory();
        a = &commands.addCategory(root, "A", 1);
        a1 = &commands.addCategory(*a, "A1", 2);
        a2 = &commands.addCategory(*a1, "A2", 3);
        b = &commands.addCategory(root, "B", 0);
        c = &commands.addCategory(root, "C", 0);
        commands.appendItems(*a1, {{"one", "/1", "", 0}, {"two", "/2", "", 0}}, Progress::none(),
                             [](const CLinkItems&) {});
        commands.appendItems(*a2, {{"three", "/3", "", 0}}, Progress::none(), [](const CLinkItems&) {});
    }

    // name:level:parent name, in row order, as stored.
    std::string stored()
    {
        std::string out;
        const char* sql = "select c.name||':'||c.level||':'||coalesce(p.name,'-') as r from category_table c "
                          "left join category_table p on p.guid=c.parent_guid order by c.itemorder";
        for (CppSQLite3Query row = db.ExecuteQuery(sql); !row.Eof(); row.NextRow())
            out += row.fieldText("r") + " ";
        return out;
    }

    static std::string children(const CCategory& category)
    {
        std::string out;
        for (const CCategory* child : category.GetChildren())
            out += child->GetName() + ":" + std::to_string(child->GetLevel()) + " ";
        return out;
    }

    TempFolder folder;
    CDBManager db;
    CatalogueCommands commands{db};
    CCategory* a = nullptr;
    CCategory* a1 = nullptr;
    CCategory* a2 = nullptr;
    CCategory* b = nullptr;
    CCategory* c = nullptr;
};

}  // namespace

// A moved branch's levels follow its new parent, stored in the rows as in memory, and among its new
// siblings it takes the place its row gives it, whatever the order of the moves.
TEST_F(CategoryMovesTest, AMovedBranchTakesItsLevelsFromItsNewParentAndItsPlaceFromStoredOrder)
{
    CCategory& root = db.GetRootCategory();
    CCategory& word = *root.GetChild(1)->GetChild(0);
    EXPECT_TRUE(commands.moveCategory(*c, *a));
    EXPECT_TRUE(commands.moveCategory(*b, *a));
    EXPECT_EQ(children(*a), "A1:1 B:1 C:1 ");
    EXPECT_TRUE(commands.moveCategory(*a, word));
    EXPECT_EQ(stored().substr(stored().find("A:")), "A:2:Word documents A1:3:A A2:4:A1 B:3:A C:3:A ");
    EXPECT_EQ(a2->GetLevel(), 4);
    EXPECT_TRUE(commands.moveCategory(*a1, root));
    EXPECT_EQ(children(root), "General files:0 Office documents:0 Media files:0 Favorite websites:0 A1:0 ");
    EXPECT_EQ(a2->GetLevel(), 1);
    EXPECT_FALSE(commands.moveCategory(*a1, root));

    db.Close();
    ASSERT_TRUE(db.Open(folder.path("FavoritesDB.db")));
    db.LoadCategories();
    EXPECT_EQ(children(*db.GetRootCategory().GetChild(4)), "A2:1 ");
}

// A copy is the branch with its items under fresh GUIDs; stopped at any step, nothing of it stays.
TEST_F(CategoryMovesTest, ACopyHasFreshGuidsAndAStoppedCopyLeavesNothing)
{
    const std::string before = stored();
    const int items = db.ExecuteScalar("select count(*) from link_table");
    for (std::size_t step : {1u, 3u, 6u}) {
        StopAt stop(step);
        EXPECT_EQ(commands.copyCategory(*a, *b, stop), nullptr);
        EXPECT_EQ(stored(), before);
        EXPECT_EQ(db.ExecuteScalar("select count(*) from link_table"), items);
    }
    CCategory* copy = commands.copyCategory(*a, *b, Progress::none());
    ASSERT_NE(copy, nullptr);
    EXPECT_EQ(children(*b), "A:1 ");
    EXPECT_EQ(stored(), before + "A:1:B A1:2:A A2:3:A1 ");
    EXPECT_EQ(db.ExecuteScalar("select count(distinct guid) from link_table"), 2 * items);
    EXPECT_EQ(db.ExecuteScalar("select count(distinct guid) from category_table"), 6 + 5 + 3);
    const std::string copiedA1 = copy->GetChild(0)->GetGuid();
    EXPECT_EQ(db.ExecuteScalar(("select count(*) from link_table where category='" + copiedA1 + "'").c_str()), 2);
}
