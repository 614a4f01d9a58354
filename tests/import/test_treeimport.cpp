// SPDX-License-Identifier: GPL-3.0-or-later
#include "import/bookmarkfilereader.h"
#include "import/bookmarkfilewriter.h"
#include "import/catalogueexport.h"
#include "import/treeimport.h"

#include "importtestutil.h"

#include <algorithm>
#include <functional>
#include <string>
#include <vector>

namespace {

class TreeImportTest : public ::testing::Test {
protected:
    void SetUp() override { open(); }

    void open()
    {
        db.Close();
        ASSERT_TRUE(db.Open(temp.path("FavoritesDB.db")));
        db.EnsureDefaultCategories();
        db.LoadCategories();
    }

    CCategory& top(int index) { return *db.GetRootCategory().GetChild(index); }

    bool store(const ImportFolder& tree, const CCategory& target, Progress& progress = Progress::none())
    {
        WriteBatch batch(db, progress, importRowCount(tree));
        const bool finished = storeImportTree(tree, target, db, batch);
        batch.finish();
        return finished;
    }

    // Every category below and every item, depth first, as "indent name|target|comment|type".
    std::vector<std::string> outline(CCategory& category, const std::string& indent = "")
    {
        std::vector<std::string> lines;
        for (const CLinkItem& item : db.ReadItems(category))
            lines.push_back(indent + "- " + item.GetName() + "|" + item.GetTarget() + "|" + item.GetComment() + "|"
                            + std::to_string(item.GetType()));
        for (int i = 0; i < category.GetChildCount(); ++i) {
            CCategory& child = *category.GetChild(i);
            lines.push_back(indent + child.GetName() + " (level " + std::to_string(child.GetLevel()) + ")");
            for (const std::string& line : outline(child, indent + "  "))
                lines.push_back(line);
        }
        return lines;
    }

    TempFolder temp;
    CDBManager db;
};

ImportFolder sample()
{
    ImportFolder root;
    ImportFolder news{"News", {}, {{"Daily", "https://daily.example/", "morning", 1}}};
    news.folders.push_back({"Local", {}, {{"Town", "https://town.example/?a=1&b=2", "", 1}}});
    root.folders.push_back(std::move(news));
    root.folders.push_back({"Papers", {}, {{"Thesis", "/home/ann/Thesis final.pdf", "v3", 0}}});
    root.entries.push_back({"Top", "https://top.example/", "Bob's", 1});
    return root;
}

}  // namespace

TEST_F(TreeImportTest, FoldersBecomeCategoriesBelowTheTargetAndEntriesItemsInOrder)
{
    ASSERT_TRUE(store(sample(), top(3)));
    open();
    EXPECT_EQ(outline(top(3)), (std::vector<std::string>{
                                   "- Top|https://top.example/|Bob's|1",
                                   "News (level 1)",
                                   "  - Daily|https://daily.example/|morning|1",
                                   "  Local (level 2)",
                                   "    - Town|https://town.example/?a=1&b=2||1",
                                   "Papers (level 1)",
                                   "  - Thesis|/home/ann/Thesis final.pdf|v3|0",
                               }));
}

TEST_F(TreeImportTest, AStopKeepsWhatWasStoredAndStoresNothingAfterIt)
{
    struct StopAfter : Progress {
        bool advance(std::size_t done, std::size_t) override { return done < 2; }
    } stopAfterTwo;
    EXPECT_FALSE(store(sample(), top(3), stopAfterTwo));
    open();
    // Each folder's subfolders are stored before its entries.
    EXPECT_EQ(outline(top(3)), (std::vector<std::string>{"News (level 1)", "  Local (level 2)"}));
}

// What the window and varnelo-cli say was added counts exactly what stayed stored, also after a stop.
TEST_F(TreeImportTest, StoringATreeCountsWhatStayedStored)
{
    struct StopAt : Progress {
        std::size_t rows = 0;
        bool advance(std::size_t done, std::size_t) override { return done < rows; }
    } progress;
    ImportTree tree;
    tree.root = sample();
    for (const std::size_t stopAt : {3, 100}) {
        const int categoriesBefore = db.ExecuteScalar("select count(*) from category_table;");
        const int itemsBefore = db.ExecuteScalar("select count(*) from link_table;");
        progress.rows = stopAt;
        const StoredImport stored = storeImportedTree(tree, top(3), db, progress);
        EXPECT_EQ(stored.categories,
                  std::size_t(db.ExecuteScalar("select count(*) from category_table;") - categoriesBefore));
        EXPECT_EQ(stored.itemTypes.size(),
                  std::size_t(db.ExecuteScalar("select count(*) from link_table;") - itemsBefore));
        EXPECT_EQ(stored.categories + stored.itemTypes.size(), std::min<std::size_t>(stopAt, 7)) << stopAt;
    }
}

TEST_F(TreeImportTest, ABranchExportedAndImportedElsewhereComesBackTheSame)
{
    store(sample(), top(3));
    db.ExecuteStatement("update link_table set comment='semi;colon <b> & \"quoted\"' where name='Daily';");
    open();
    const std::vector<std::string> before = outline(top(3));

    writeBookmarkFile(temp.path("branch.html"), catalogueBranch(db, top(3), Progress::none()));
    const ImportTree read = readBookmarkFile(temp.path("branch.html"));
    EXPECT_EQ(read.skipped, 0);
    store(read.root, top(0));
    open();
    ASSERT_EQ(top(0).GetChildCount(), 1);
    EXPECT_EQ(top(0).GetChild(0)->GetName(), "Favorite websites");
    std::vector<std::string> after = outline(*top(0).GetChild(0));
    // One level deeper now, below "General files".
    for (std::string& line : after)
        for (std::size_t at = line.find("(level "); at != std::string::npos; at = line.find("(level ", at + 1))
            line[at + 7] = static_cast<char>(line[at + 7] - 1);
    EXPECT_EQ(after, before);
}

TEST_F(TreeImportTest, TheWholeCatalogueExportsItsTopLevelCategoriesAsTopFolders)
{
    store(sample(), top(3));
    open();
    const ImportFolder whole = catalogueBranch(db, db.GetRootCategory(), Progress::none());
    ASSERT_EQ(whole.folders.size(), 4u);
    EXPECT_EQ(whole.folders[1].name, "Office documents");
    EXPECT_EQ(whole.folders[1].folders.size(), 2u);
    EXPECT_EQ(countEntries(whole), 4);
    EXPECT_EQ(countFolders(whole), 6 + 3);
}
