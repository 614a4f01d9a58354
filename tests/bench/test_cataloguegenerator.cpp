// SPDX-License-Identifier: GPL-3.0-or-later
#include "cataloguegenerator.h"

#include "storage/cdbmanager.h"

#include "tempfolder.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

namespace {

// Small enough for a unit test, the same shape as the benchmarks' catalogue.
constexpr CatalogueSize smallSize{400, 3000, 500, 50, 10};

std::vector<std::string> column(CppSQLite3DB& db, const std::string& sql)
{
    std::vector<std::string> values;
    CppSQLite3Query query = db.ExecuteQuery(sql.c_str());
    while (!query.Eof()) {
        values.push_back(query.FieldValue(0) ? query.FieldValue(0) : "NULL");
        query.NextRow();
    }
    return values;
}

int count(CppSQLite3DB& db, const std::string& sql)
{
    return db.ExecuteScalar(sql.c_str());
}

int subtreeSize(const CCategory& category)
{
    int size = 1;
    for (int i = 0; i < category.GetChildCount(); ++i)
        size += subtreeSize(*category.GetChild(i));
    return size;
}

const CCategory* findByName(const CCategory& parent, const std::string& name)
{
    for (int i = 0; i < parent.GetChildCount(); ++i) {
        const CCategory* child = parent.GetChild(i);
        if (child->GetName() == name)
            return child;
        if (const CCategory* below = findByName(*child, name))
            return below;
    }
    return nullptr;
}

class CatalogueGenerator : public ::testing::Test {
protected:
    void SetUp() override
    {
        made = generateCatalogue(folder.path("FavoritesDB.db"), smallSize);
        db.Open(folder.path("FavoritesDB.db"));
    }

    TempFolder folder;
    GeneratedCatalogue made;
    CDBManager db;
};

}  // namespace

TEST_F(CatalogueGenerator, WritesTheSchemaAndIndexesTheProgramMakesItself)
{
    CDBManager fresh;
    fresh.Open(folder.path("new.db"));
    fresh.EnsureDefaultCategories();
    fresh.LoadCategories();
    fresh.CreateIndexes();
    // Everything but the rows: tables and indexes the program creates on a new catalogue, where
    // a missing index would be built inside the first benchmark that opens the file.
    const std::string schema =
        "select type||' '||name||': '||sql from sqlite_master where sql is not null order by name";
    EXPECT_EQ(column(db, schema), column(fresh, schema));
}

TEST_F(CatalogueGenerator, BuiltInCategoriesComeFirstAsANewCatalogueHasThem)
{
    CDBManager fresh;
    fresh.Open(folder.path("new.db"));
    fresh.EnsureDefaultCategories();
    const std::string builtIns =
        "select itemorder||'|'||guid||'|'||name||'|'||level||'|'||parent_guid||'|'||system||'|'||iconIndex"
        " from category_table where itemorder <= 6 order by itemorder";
    EXPECT_EQ(column(db, builtIns), column(fresh, builtIns));
    EXPECT_EQ(count(db, "select count(*) from category_table where system=1"), 6);
}

TEST_F(CatalogueGenerator, HasTheAskedCountsAndTheTwoNamedCategories)
{
    EXPECT_EQ(count(db, "select count(*) from category_table"), smallSize.categories);
    EXPECT_EQ(count(db, "select count(*) from link_table"), smallSize.items);
    EXPECT_EQ(count(db, "select count(*) from category_table where level=0"), smallSize.topLevelCategories);
    EXPECT_EQ(count(db, "select max(level) from category_table"), 4);
    EXPECT_EQ(column(db, std::string("select guid from category_table where name='") + largeCategoryName + "'"),
              std::vector<std::string>{made.largeCategoryGuid});
    EXPECT_EQ(column(db, std::string("select guid from category_table where name='") + deleteSubtreeName + "'"),
              std::vector<std::string>{made.deleteSubtreeGuid});
    EXPECT_EQ(count(db, "select count(*) from link_table where category='" + made.largeCategoryGuid + "'"),
              smallSize.largeCategoryItems);
}

TEST_F(CatalogueGenerator, TheProgramLoadsEveryCategoryIntoOneTree)
{
    db.LoadCategories();
    CCategory& root = db.GetRootCategory();
    EXPECT_EQ(subtreeSize(root) - 1, smallSize.categories);
    const CCategory* subtree = findByName(root, deleteSubtreeName);
    ASSERT_NE(subtree, nullptr);
    EXPECT_EQ(subtree->GetLevel(), 0);
    EXPECT_EQ(subtreeSize(*subtree), smallSize.deleteSubtreeCategories);
    // Every item belongs to a category of the tree.
    EXPECT_EQ(count(db, "select count(*) from link_table where category not in (select guid from category_table)"), 0);
}

TEST_F(CatalogueGenerator, TargetsAreRealisticPathsAndAddresses)
{
    EXPECT_EQ(count(db, "select count(*) from link_table where length(target) < 60 or length(target) > 120"), 0);
    EXPECT_EQ(count(db, "select count(*) from link_table where type=0 and target not like '/home/%'"), 0);
    EXPECT_EQ(count(db, "select count(*) from link_table where type=1 and target not like 'https://%'"), 0);
    EXPECT_GT(count(db, "select count(*) from link_table where type=1"), smallSize.items / 10);
    EXPECT_EQ(count(db, "select count(*) from link_table where length(guid) <> 36"), 0);
    EXPECT_EQ(count(db, "select count(distinct guid) from link_table"), smallSize.items);
}

TEST_F(CatalogueGenerator, TheSameCatalogueComesOutOfEveryRun)
{
    generateCatalogue(folder.path("again.db"), smallSize);
    CDBManager again;
    again.Open(folder.path("again.db"));
    const std::string items = "select guid||name||target||category||comment||type from link_table order by itemorder";
    const std::string categories = "select guid||name||level||parent_guid from category_table order by itemorder";
    EXPECT_EQ(column(again, items), column(db, items));
    EXPECT_EQ(column(again, categories), column(db, categories));
}
