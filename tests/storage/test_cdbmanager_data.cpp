// SPDX-License-Identifier: GPL-3.0-or-later
#include "tempdatabase.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

std::unique_ptr<CLinkItem> makeItem(const CCategory& owner, const std::string& name, int type = 0)
{
    auto item = std::make_unique<CLinkItem>();
    item->SetGuid(NewGuid());
    item->SetName(name);
    item->SetTarget("/home/user/" + name);
    item->SetParentGuid(owner.GetGuid());
    item->SetType(type);
    return item;
}

CLinkItem* addItem(CCategory& owner, const std::string& name, int type = 0)
{
    owner.AddItem(makeItem(owner, name, type));
    return owner.GetItem(owner.GetItemCount() - 1);
}

std::vector<std::string> itemNames(const CCategory& category)
{
    std::vector<std::string> names;
    for (int i = 0; i < category.GetItemCount(); ++i)
        names.push_back(category.GetItem(i)->GetName());
    return names;
}

std::vector<std::string> childNames(const CCategory& category)
{
    std::vector<std::string> names;
    for (int i = 0; i < category.GetChildCount(); ++i)
        names.push_back(category.GetChild(i)->GetName());
    return names;
}

// Texts that break naive SQL building or truncate at the first odd byte.
const std::vector<std::string>& awkwardTexts()
{
    static const std::vector<std::string> texts = {
        "Bob's notes.txt",
        "a';DROP TABLE link_table;--",
        "x'); delete from category_table; select ('",
        "100% sure_of it %d %s %q",
        "Gr\xC3\xBC\xC3\x9F"
        "e \xE2\x82\xAC \xF0\x9F\x93\x81",
        "raw \xFF\xFE bytes",
        "''''",
        std::string(10000, 'w') + "'" + std::string(10000, 'q'),
    };
    return texts;
}

}  // namespace

using CDBManagerData = CatalogueTest;

TEST_F(CDBManagerData, NewCategoryComesBackLastAmongItsSiblingsWithAllFields)
{
    CCategory* office = topLevel("Office documents");
    auto fresh = std::make_unique<CCategory>();
    fresh->SetGuid(NewGuid());
    fresh->SetName("Joe's \"PDF\" files");
    fresh->SetLevel(1);
    fresh->SetIconIndex(17);
    CCategory* raw = fresh.get();
    office->AddChild(std::move(fresh));
    db.SaveCategory(*raw, true);
    std::string guid = raw->GetGuid();

    openCatalogue();
    office = topLevel("Office documents");
    ASSERT_EQ(office->GetChildCount(), 3);
    CCategory* back = office->GetChild(2);
    EXPECT_EQ(back->GetGuid(), guid);
    EXPECT_EQ(back->GetName(), "Joe's \"PDF\" files");
    EXPECT_EQ(back->GetLevel(), 1);
    EXPECT_EQ(back->GetParentGuid(), office->GetGuid());
    EXPECT_FALSE(back->IsSystem());
    EXPECT_EQ(back->GetIconIndex(), 17);
}

TEST_F(CDBManagerData, AwkwardTextsAreStoredAndReadBackByteForByte)
{
    CCategory* general = topLevel("General files");
    for (const std::string& text : awkwardTexts()) {
        CLinkItem* item = addItem(*general, text, 1);
        item->SetTarget(text);
        item->SetComment(text + "\n" + text);
        item->SetStar(-5);
    }
    db.SaveCategory(*general, false);
    ASSERT_TRUE(db.TableExists(link_table));
    ASSERT_TRUE(db.TableExists(category_table));

    openCatalogue();
    general = topLevel("General files");
    db.LoadItems(*general);
    ASSERT_EQ(general->GetItemCount(), static_cast<int>(awkwardTexts().size()));
    for (int i = 0; i < general->GetItemCount(); ++i) {
        const std::string& text = awkwardTexts()[static_cast<std::size_t>(i)];
        const CLinkItem& item = *general->GetItem(i);
        EXPECT_EQ(item.GetName(), text);
        EXPECT_EQ(item.GetTarget(), text);
        EXPECT_EQ(item.GetComment(), text + "\n" + text);
        EXPECT_EQ(item.GetStar(), -5);
        EXPECT_EQ(item.GetType(), 1);
        EXPECT_EQ(item.GetParentGuid(), general->GetGuid());
    }
}

TEST_F(CDBManagerData, RenameKeepsThePlaceAndAMovedOldItemPrecedesNewerOnes)
{
    CCategory* general = topLevel("General files");
    CCategory* media = topLevel("Media files");
    addItem(*general, "old one");
    addItem(*general, "second");
    db.SaveCategory(*general, false);
    addItem(*media, "newer in media");
    db.SaveCategory(*media, false);

    CLinkItem* first = general->GetItem(0);
    first->SetName("renamed");
    ASSERT_TRUE(db.SaveItem(*first));
    db.LoadItems(*general);
    EXPECT_EQ(itemNames(*general), (std::vector<std::string>{"renamed", "second"}));

    CLinkItem* moved = general->GetItem(0);
    moved->SetParentGuid(media->GetGuid());
    ASSERT_TRUE(db.SaveItem(*moved));
    auto copy = CLinkItem::Copy(*general->GetItem(0));
    copy->SetParentGuid(media->GetGuid());
    ASSERT_TRUE(db.SaveItem(*copy));

    db.LoadItems(*general);
    db.LoadItems(*media);
    EXPECT_EQ(itemNames(*general), (std::vector<std::string>{"second"}));
    EXPECT_EQ(itemNames(*media), (std::vector<std::string>{"renamed", "newer in media", "renamed"}));
    EXPECT_NE(media->GetItem(0)->GetGuid(), media->GetItem(2)->GetGuid());
}

TEST_F(CDBManagerData, SaveCategoryReinsertsAnItemWhoseRowWasDeleted)
{
    CCategory* general = topLevel("General files");
    CLinkItem* item = addItem(*general, "survivor");
    db.SaveCategory(*general, false);
    EXPECT_EQ(count("select count(*) from link_table"), 1);
    ASSERT_TRUE(db.DeleteItem(*item));
    EXPECT_EQ(count("select count(*) from link_table"), 0);
    EXPECT_EQ(item->GetName(), "survivor");

    db.SaveCategory(*general, false);
    EXPECT_EQ(count("select count(*) from link_table"), 1);
    db.SaveCategory(*general, false);
    EXPECT_EQ(count("select count(*) from link_table"), 1);
}

TEST_F(CDBManagerData, LoadItemsReplacesTheItemsAndAnEmptyCategoryHasNone)
{
    CCategory* general = topLevel("General files");
    addItem(*general, "a");
    addItem(*general, "b");
    db.SaveCategory(*general, false);
    addItem(*general, "never saved");
    db.LoadItems(*general);
    EXPECT_EQ(itemNames(*general), (std::vector<std::string>{"a", "b"}));
    db.LoadItems(*general);
    EXPECT_EQ(itemNames(*general), (std::vector<std::string>{"a", "b"}));

    CCategory* media = topLevel("Media files");
    db.LoadItems(*media);
    EXPECT_EQ(media->GetItemCount(), 0);
}

TEST_F(CDBManagerData, DeletingOfficeDocumentsRemovesItsSubtreeAndTheirItems)
{
    CCategory* office = topLevel("Office documents");
    CCategory* word = office->GetChild(0);
    addItem(*office, "budget.xls");
    addItem(*word, "letter.doc");
    addItem(*office->GetChild(1), "sheet.xls");
    CCategory* general = topLevel("General files");
    addItem(*general, "kept.txt");
    for (CCategory* c : {office, word, office->GetChild(1), general})
        db.SaveCategory(*c, false);
    EXPECT_EQ(count("select count(*) from link_table"), 4);

    db.DeleteCategory(*office);
    EXPECT_EQ(office->GetChildCount(), 0);
    EXPECT_EQ(count("select count(*) from category_table where name in "
                    "('Office documents','Word documents','Excel documents')"),
              0);
    EXPECT_EQ(count("select count(*) from category_table"), 3);
    EXPECT_EQ(count("select count(*) from link_table"), 1);
    db.GetRootCategory().RemoveChild(office);

    openCatalogue();
    EXPECT_EQ(childNames(db.GetRootCategory()),
              (std::vector<std::string>{"General files", "Media files", "Favorite websites"}));
}

TEST_F(CDBManagerData, ARefusedDeleteLeavesTheWholeSubtreeInTheTableAndInMemory)
{
    CCategory* office = topLevel("Office documents");
    addItem(*office->GetChild(0), "letter.doc");
    db.SaveCategory(*office->GetChild(0), false);
    EXPECT_EQ(count("select count(*) from link_table"), 1);
    // Word documents goes first, then Excel documents is refused.
    db.ExecuteStatement("create trigger keep before delete on category_table when old.name='Excel documents' "
                        "begin select raise(abort,'kept'); end;");
    try {
        db.DeleteCategory(*office);
        FAIL() << "the refused delete went through";
    } catch (const CppSQLite3Exception& e) {
        EXPECT_STREQ(e.ErrorMessage(), "SQLITE_CONSTRAINT[19]: kept");
    }
    EXPECT_EQ(count("select count(*) from category_table"), 6);
    EXPECT_EQ(count("select count(*) from link_table"), 1);
    EXPECT_EQ(childNames(*office), (std::vector<std::string>{"Word documents", "Excel documents"}));
    EXPECT_FALSE(db.InTransaction());

    db.ExecuteStatement("drop trigger keep;");
    db.DeleteCategory(*office);
    EXPECT_EQ(count("select count(*) from category_table"), 3);
    EXPECT_EQ(count("select count(*) from link_table"), 0);
}

TEST_F(CDBManagerData, LoadChildCategoriesAddsOnlyNewChildrenWithTheirItems)
{
    CCategory* favorites = topLevel("Favorite websites");
    auto shown = std::make_unique<CCategory>();
    shown->SetGuid(NewGuid());
    shown->SetName("Shown before");
    shown->SetLevel(1);
    CCategory* shownRaw = shown.get();
    favorites->AddChild(std::move(shown));
    db.SaveCategory(*shownRaw, true);

    // Written the way an import writes: objects that never join the tree.
    CCategory imported;
    imported.SetGuid(NewGuid());
    imported.SetName("Imported");
    imported.SetLevel(1);
    imported.SetParentGuid(favorites->GetGuid());
    imported.AddItem(makeItem(imported, "http://example.org/", 1));
    db.SaveCategory(imported, true);

    db.LoadChildCategories(*favorites);
    EXPECT_EQ(childNames(*favorites), (std::vector<std::string>{"Shown before", "Imported"}));
    EXPECT_EQ(favorites->GetChild(0), shownRaw);
    ASSERT_EQ(favorites->GetChild(1)->GetItemCount(), 1);
    EXPECT_EQ(favorites->GetChild(1)->GetItem(0)->GetType(), 1);

    db.LoadChildCategories(*favorites);
    EXPECT_EQ(favorites->GetChildCount(), 2);
}

TEST_F(CDBManagerData, FailedItemDoesNotStopTheOthersOrTheCommit)
{
    db.ExecuteStatement("create trigger refuse before insert on link_table when new.name='refused' "
                        "begin select raise(abort,'refused item'); end;");
    CCategory* general = topLevel("General files");
    addItem(*general, "first");
    addItem(*general, "refused");
    addItem(*general, "third");
    std::vector<RefusedItem> refused;
    db.SaveCategory(*general, false, &refused);
    ASSERT_EQ(refused.size(), 1u);
    EXPECT_EQ(refused[0].item, general->GetItem(1));
    EXPECT_STREQ(refused[0].error.ErrorMessage(), "SQLITE_CONSTRAINT[19]: refused item");
    EXPECT_FALSE(db.InTransaction());
    EXPECT_EQ(count("select count(*) from link_table"), 2);
    EXPECT_FALSE(db.SaveItem(*general->GetItem(1)));
    EXPECT_TRUE(db.SaveItem(*general->GetItem(2)));
}

TEST_F(CDBManagerData, FailureInsideSaveCategoryRollsBackAndLeavesNoTransactionOpen)
{
    auto fresh = std::make_unique<CCategory>();
    fresh->SetGuid(NewGuid());
    fresh->SetName("Half written");
    fresh->AddItem(makeItem(*fresh, "item"));
    CCategory* raw = fresh.get();
    db.GetRootCategory().AddChild(std::move(fresh));

    // The category row is written, then looking up the item fails.
    db.ExecuteStatement("alter table link_table rename to link_table_away;");
    EXPECT_THROW(db.SaveCategory(*raw, true), CppSQLite3Exception);
    EXPECT_EQ(count("select count(*) from category_table where name='Half written'"), 0);

    db.ExecuteStatement("alter table link_table_away rename to link_table;");
    db.SaveCategory(*raw, true);
    EXPECT_EQ(count("select count(*) from category_table where name='Half written'"), 1);
    EXPECT_EQ(count("select count(*) from link_table"), 1);
}

TEST_F(CDBManagerData, FailedSeedingRollsBackEveryBuiltInCategory)
{
    db.Close();
    std::filesystem::remove(dbPath);
    ASSERT_TRUE(db.Open(dbPath));
    db.CreateTables();
    db.ExecuteStatement("create trigger refuse before insert on category_table when new.level=1 "
                        "begin select raise(abort,'no subcategories'); end;");

    CCategory top, sub;
    top.SetGuid("top");
    sub.SetGuid("sub");
    sub.SetLevel(1);
    CCategoryManager manager;
    manager.Add(&sub);
    manager.Add(&top);
    try {
        db.SaveCategoryIndex(manager);
        FAIL() << "seeding went through a refusing trigger";
    } catch (const CppSQLite3Exception& e) {
        EXPECT_STREQ(e.ErrorMessage(), "SQLITE_CONSTRAINT[19]: no subcategories");
    }
    EXPECT_EQ(count("select count(*) from category_table"), 0);
    db.ExecuteStatement("drop trigger refuse;");
    db.SaveCategoryIndex(manager);
    EXPECT_EQ(count("select count(*) from category_table where guid='top' and itemorder < "
                    "(select itemorder from category_table where guid='sub')"),
              1);
}
