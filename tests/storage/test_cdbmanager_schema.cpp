// SPDX-License-Identifier: GPL-3.0-or-later
#include "tempdatabase.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

std::string tableSql(CppSQLite3DB& db, const char* table)
{
    CppSQLite3Buffer sql;
    sql.Format("select sql from sqlite_master where type='table' and name='%q'", table);
    CppSQLite3Query query = db.ExecuteQuery(sql);
    return query.Eof() ? "" : query.fieldText("sql");
}

std::vector<std::string> categoryRows(CppSQLite3DB& db)
{
    std::vector<std::string> rows;
    CppSQLite3Query query = db.ExecuteQuery("select * from category_table order by itemorder");
    while (!query.Eof()) {
        // appended piece by piece: GCC 12 reports a false -Wrestrict on "literal + std::string" here
        std::string row;
        for (int i = 0; i < query.FieldCount(); ++i) {
            if (i)
                row += '|';
            const char* value = query.FieldValue(i);
            row += value ? value : "NULL";
        }
        rows.push_back(row);
        query.NextRow();
    }
    return rows;
}

}  // namespace

using CDBManagerOpening = CatalogueTest;

TEST_F(CDBManagerOpening, NewFileGetsTheThreeTablesExactlyAsWritten)
{
    EXPECT_EQ(db.GetPath(), dbPath);
    // SQLite keeps the statement as given, only the leading keywords in capitals.
    EXPECT_EQ(tableSql(db, "category_table"),
              "CREATE TABLE category_table (guid text,name text,level int,parent_guid text,system int,"
              "iconIndex int,itemorder integer primary key AUTOINCREMENT)");
    EXPECT_EQ(tableSql(db, "link_table"),
              "CREATE TABLE link_table (guid text,name text,target text,category text,star int,comment text,"
              "type int,itemorder integer primary key AUTOINCREMENT)");
    EXPECT_EQ(tableSql(db, "imagelist_table"), "CREATE TABLE imagelist_table (id int primary key,data blob)");
    EXPECT_EQ(count("select count(*) from link_table"), 0);
    EXPECT_EQ(count("select count(*) from imagelist_table"), 0);
}

TEST_F(CDBManagerOpening, NewFileGetsTheSixBuiltInCategoriesInOrder)
{
    const std::vector<std::string> expected = {
        "5EE0962C-217D-411a-BB72-6261B1B4F5BF|General files|0||1|0|1",
        "A7337D16-451D-485a-AA22-CD0B5EC0BC9D|Office documents|0||1|0|2",
        "099C65A7-7E41-4d97-8294-6762A3E291F4|Media files|0||1|0|3",
        "9EED3209-19C9-4a89-B8B3-5FA0F96697F4|Favorite websites|0||1|0|4",
        "6C6FCDD3-6C95-49d9-AC6A-CC0913ABE5C1|Word documents|1|A7337D16-451D-485a-AA22-CD0B5EC0BC9D|1|0|5",
        "9CE59CC3-E4E9-4ce6-B8D7-7BB72BF00113|Excel documents|1|A7337D16-451D-485a-AA22-CD0B5EC0BC9D|1|0|6",
    };
    EXPECT_EQ(categoryRows(db), expected);

    CCategory& root = db.GetRootCategory();
    ASSERT_EQ(root.GetChildCount(), 4);
    const char* names[] = {"General files", "Office documents", "Media files", "Favorite websites"};
    for (int i = 0; i < 4; ++i) {
        EXPECT_EQ(root.GetChild(i)->GetName(), names[i]);
        EXPECT_TRUE(root.GetChild(i)->IsSystem());
        EXPECT_EQ(root.GetChild(i)->GetParentGuid(), "");
    }
    CCategory* office = root.GetChild(1);
    ASSERT_EQ(office->GetChildCount(), 2);
    EXPECT_EQ(office->GetChild(0)->GetName(), "Word documents");
    EXPECT_EQ(office->GetChild(1)->GetName(), "Excel documents");
    EXPECT_EQ(office->GetChild(1)->GetLevel(), 1);
    EXPECT_EQ(office->GetChild(1)->GetParentGuid(), "A7337D16-451D-485a-AA22-CD0B5EC0BC9D");
}

TEST_F(CDBManagerOpening, ReopeningNeverSeedsAgainAndDeletedBuiltInsStayDeleted)
{
    db.ExecuteStatement("delete from category_table where name='Media files';");
    openCatalogue();
    EXPECT_EQ(count("select count(*) from category_table"), 5);
    EXPECT_EQ(db.GetRootCategory().GetChildCount(), 3);

    db.ExecuteStatement("delete from category_table;");
    openCatalogue();
    EXPECT_EQ(count("select count(*) from category_table"), 0);
    EXPECT_EQ(db.GetRootCategory().GetChildCount(), 0);
}

TEST_F(CDBManagerOpening, LookupIndexesAreAddedToExistingCatalogues)
{
    db.Close();
    std::filesystem::remove(dbPath);
    {
        CppSQLite3DB plain;
        plain.Open(dbPath.c_str());
        plain.ExecuteStatement("CREATE TABLE category_table (guid text,name text,level int,parent_guid text,"
                               "system int,iconIndex int,itemorder integer primary key AUTOINCREMENT);");
        plain.ExecuteStatement("CREATE TABLE link_table (guid text,name text,target text,category text,star int,"
                               "comment text,type int,itemorder integer primary key AUTOINCREMENT);");
    }
    openCatalogue();
    EXPECT_EQ(count("select count(*) from sqlite_master where type='index' and tbl_name='link_table' "
                    "and (sql like '%(guid)%' or sql like '%(category)%')"),
              2);
    EXPECT_EQ(count("select count(*) from sqlite_master where type='index' and tbl_name='category_table' "
                    "and (sql like '%(guid)%' or sql like '%(parent_guid)%')"),
              2);
    EXPECT_EQ(count("select count(*) from category_table"), 0);
}

TEST_F(CDBManagerOpening, MissingLinkTableIsNotCreatedAndItsFirstUseFails)
{
    db.ExecuteStatement("drop table link_table;");
    openCatalogue();
    EXPECT_FALSE(db.TableExists(link_table));
    CCategory* general = topLevel("General files");
    ASSERT_NE(general, nullptr);
    try {
        db.LoadItems(*general);
        FAIL() << "loading items from a missing table succeeded";
    } catch (const CppSQLite3Exception& e) {
        EXPECT_EQ(e.ErrorCode(), 1);
        EXPECT_STREQ(e.ErrorMessage(), "SQLITE_ERROR[1]: no such table: link_table");
    }
}

TEST_F(CDBManagerOpening, CloseReleasesTheTreeAndIsHarmlessTwice)
{
    db.Close();
    db.Close();
    EXPECT_FALSE(db.IsOpen());
    EXPECT_EQ(db.GetRootCategory().GetChildCount(), 0);
}

TEST(CDBManagerWithoutConnection, EmptyPathIsRefusedAndOperationsSayDatabaseNotOpen)
{
    CDBManager db;
    EXPECT_FALSE(db.Open(""));
    EXPECT_EQ(db.GetPath(), "");
    EXPECT_FALSE(db.LoadCategories());
    CCategory category;
    EXPECT_FALSE(db.LoadChildCategories(category));
    CLinkItem item;
    for (auto operation : std::vector<std::function<void()>>{
             [&] { db.LoadItems(category); }, [&] { db.SaveCategory(category, true); }, [&] { db.SaveItem(item); },
             [&] { db.EnsureDefaultCategories(); }, [&] { db.DeleteCategory(category); }}) {
        try {
            operation();
            ADD_FAILURE() << "an operation ran without a connection";
        } catch (const CppSQLite3Exception& e) {
            EXPECT_STREQ(e.ErrorMessage(), "CPPSQLITE_ERROR[1000]: Database not open");
        }
    }
    EXPECT_FALSE(db.DeleteItem(item));
    EXPECT_TRUE(db.SearchItems(true, true, true, "x").empty());
    EXPECT_TRUE(db.LoadIconList().empty());
    // Errors of the icon list's store are not the caller's to handle.
    EXPECT_NO_THROW(db.SaveIconList({1, 2, 3}));
    EXPECT_TRUE(db.LoadIconList().empty());
}

TEST(CDBManagerPaths, NonAsciiPathReachesSQLiteAsUtf8)
{
    TempFolder folder;
    std::string path = folder.path("Kataloge \xC3\xA4\xC3\xB6\xC3\xBC \xE6\x96\x87.db");
    {
        CDBManager db;
        ASSERT_TRUE(db.Open(path));
        db.EnsureDefaultCategories();
        EXPECT_EQ(db.ExecuteScalar("select count(*) from category_table"), 6);
    }
    EXPECT_TRUE(std::filesystem::exists(std::filesystem::u8path(path)));
}

TEST(CDBManagerPaths, MissingFolderGivesTheLayersError)
{
    TempFolder folder;
    CDBManager db;
    try {
        db.Open(folder.path("absent/FavoritesDB.db"));
        FAIL() << "opened a file in a missing folder";
    } catch (const CppSQLite3Exception& e) {
        EXPECT_STREQ(e.ErrorMessage(), "SQLITE_CANTOPEN[14]: unable to open database file");
    }
    EXPECT_EQ(db.GetRootCategory().GetChildCount(), 0);
}
