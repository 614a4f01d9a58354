// SPDX-License-Identifier: GPL-3.0-or-later
#include "numbered.h"
#include "tempdatabase.h"

#include "storage/transaction.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

// A save that writes only what changed must leave the tables exactly as the plain save that looks up
// and writes every item would: same rows, same values, same itemorder.
namespace {

using Save = std::function<void(CDBManager&, CCategory&, bool)>;

// The plain save: the category's row when asked, then a lookup and a write for every item, one
// refused item not keeping the others out.
void rewriteEverything(CDBManager& db, CCategory& category, bool writeRow)
{
    Transaction transaction(db);
    if (writeRow) {
        CCategory alone;
        alone.SetGuid(category.GetGuid());
        alone.SetName(category.GetName());
        alone.SetLevel(category.GetLevel());
        alone.SetParentGuid(category.GetParentGuid());
        alone.SetIconIndex(category.GetIconIndex());
        alone.SetSystem(category.IsSystem());
        db.SaveCategory(alone, true);
    }
    for (int i = 0; i < category.GetItemCount(); ++i)
        db.SaveItem(*category.GetItem(i));
    transaction.Commit();
}

void programSave(CDBManager& db, CCategory& category, bool writeRow)
{
    db.SaveCategory(category, writeRow);
}

std::unique_ptr<CLinkItem> item(const std::string& guid, const CCategory& owner, int n)
{
    auto made = std::make_unique<CLinkItem>();
    made->SetGuid(guid);
    made->SetName("file " + std::to_string(n) + (n % 7 == 0 ? " Bob's" : ""));
    made->SetTarget("/home/user/documents/file-" + std::to_string(n) + ".txt");
    made->SetComment(n % 3 == 0 ? "" : "about " + std::to_string(n));
    made->SetType(n % 5 == 0 ? 1 : 0);
    made->SetStar(n % 4);
    made->SetParentGuid(owner.GetGuid());
    return made;
}

CLinkItem* findItem(CCategory& category, const std::string& guid)
{
    for (int i = 0; i < category.GetItemCount(); ++i)
        if (category.GetItem(i)->GetGuid() == guid)
            return category.GetItem(i);
    return nullptr;
}

// Adding, editing, renaming, moving, copying and deleting in a category of a few hundred items, with
// the cases where memory and the table disagree.
void runCommands(CDBManager& db, const Save& save)
{
    CCategory& root = db.GetRootCategory();
    CCategory& files = *root.GetChild(0);
    CCategory& other = *root.GetChild(2);

    for (int n = 0; n < 300; ++n) {
        files.AddItem(item(numbered("g", n), files, n));
        if (n % 100 == 99)
            save(db, files, false);
    }
    db.LoadItems(files);

    // Edits: one through its own save, one only in memory until the next save of the category.
    CLinkItem* edited = findItem(files, "g10");
    edited->SetName("edited");
    edited->SetTarget("https://example.org/x'y");
    db.SaveItem(*edited);
    findItem(files, "g20")->SetComment("changed in memory");
    findItem(files, "g30")->SetName("");
    db.SaveItem(*findItem(files, "g30"));
    save(db, files, false);

    // Move ten, copy ten.
    for (int n = 40; n < 50; ++n) {
        CLinkItem* moved = findItem(files, numbered("g", n));
        moved->SetParentGuid(other.GetGuid());
        db.SaveItem(*moved);
        files.RemoveItem(moved);
    }
    save(db, files, false);
    for (int n = 50; n < 60; ++n) {
        auto copy = CLinkItem::Copy(*findItem(files, numbered("g", n)));
        copy->SetGuid(numbered("copy", n));
        copy->SetParentGuid(other.GetGuid());
        db.SaveItem(*copy);
    }

    // Deleted items never come back with a later save.
    for (int n = 60; n < 70; ++n) {
        CLinkItem* gone = findItem(files, numbered("g", n));
        db.DeleteItem(*gone);
        files.RemoveItem(gone);
    }
    files.AddItem(item("late", files, 1000));
    save(db, files, false);

    // Behind the catalogue: a row deleted, a row changed, a value stored with another type.
    db.ExecuteStatement("delete from link_table where guid='g70';");
    db.ExecuteStatement("update link_table set name='changed behind' where guid='g71';");
    db.ExecuteStatement("update link_table set star='abc', type=1.5 where guid='g72';");
    db.ExecuteStatement("insert into link_table (guid,name,target,category,star,comment,type) "
                        "select guid,'twin',target,category,star,comment,type from link_table where guid='g73';");
    db.ExecuteStatement(("insert into link_table (guid,name,target,category,star,comment,type) "
                         "select guid,name,target,'"
                         + other.GetGuid() + "',star,comment,type from link_table where guid='g74';")
                            .c_str());
    save(db, files, false);

    // An item refused once is written by the next save that gets through.
    db.ExecuteStatement("create temp trigger refuse before insert on link_table when new.name='refused' "
                        "begin select raise(abort,'refused'); end;");
    files.AddItem(item("r1", files, 2000));
    findItem(files, "r1")->SetName("refused");
    files.AddItem(item("after", files, 2001));
    save(db, files, false);
    db.ExecuteStatement("drop trigger refuse;");
    save(db, files, false);

    // Two objects with one GUID: the later one's values win, as when each is written in turn.
    files.AddItem(item("g80", files, 3000));
    save(db, files, false);

    // The category's own row with its items.
    files.SetName("Renamed files");
    save(db, files, true);
    save(db, other, false);
}

std::vector<std::string> dump(CDBManager& db, const char* sql)
{
    std::vector<std::string> rows;
    for (CppSQLite3Query query = db.ExecuteQuery(sql); !query.Eof(); query.NextRow()) {
        std::string row;
        for (int i = 0; i < query.FieldCount(); ++i)
            row += std::string(query.FieldValue(i) ? query.FieldValue(i) : "<null>") + "|";
        rows.push_back(row);
    }
    return rows;
}

struct Tables {
    std::vector<std::string> links, categories, sequence;
};

Tables runOn(const std::string& path, const Save& save)
{
    CDBManager db;
    EXPECT_TRUE(db.Open(path));
    db.EnsureDefaultCategories();
    db.LoadCategories();
    runCommands(db, save);
    return {dump(db, "select quote(guid),quote(name),quote(target),quote(category),quote(star),quote(comment),"
                     "quote(type),itemorder from link_table order by itemorder"),
            dump(db, "select quote(guid),quote(name),quote(level),quote(parent_guid),quote(system),quote(iconIndex),"
                     "itemorder from category_table order by itemorder"),
            dump(db, "select name, seq from sqlite_sequence order by name")};
}

}  // namespace

TEST(SaveCategoryIdentity, TablesEqualThoseOfTheSaveThatRewritesEveryItem)
{
    TempFolder folder;
    const Tables program = runOn(folder.path("program.db"), programSave);
    const Tables plain = runOn(folder.path("plain.db"), rewriteEverything);
    ASSERT_GT(plain.links.size(), 300u);
    EXPECT_EQ(program.links, plain.links);
    EXPECT_EQ(program.categories, plain.categories);
    EXPECT_EQ(program.sequence, plain.sequence);
}
