// SPDX-License-Identifier: GPL-3.0-or-later
#include "import/cfavoriteengine.h"
#include "import/importfavorites.h"

#include "importtestutil.h"

#include <set>
#include <vector>

namespace {

constexpr const char* websitesGuid = "9EED3209-19C9-4a89-B8B3-5FA0F96697F4";

struct StoredItem {
    std::string name, target, comment;
    int type;
    bool operator==(const StoredItem&) const = default;
};

class ImportTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        db.Open(temp.path("FavoritesDB.db"));
        db.EnsureDefaultCategories();
    }

    void importTree()
    {
        CFavoriteEngine engine(fav);
        const FavoriteNode* root = engine.ReadFavorites();
        ASSERT_NE(root, nullptr);
        ImportFavoriteLevel(root, 0, websitesGuid, db);
    }

    // Reloads the whole catalogue as the window would at its next start.
    CCategory& reloaded(const std::string& guid)
    {
        db.Close();
        db.Open(temp.path("FavoritesDB.db"));
        db.LoadCategories();
        CCategory* found = find(db.GetRootCategory(), guid);
        if (!found)
            throw std::runtime_error("category missing: " + guid);
        return *found;
    }

    static CCategory* find(CCategory& parent, const std::string& guid)
    {
        if (parent.GetGuid() == guid)
            return &parent;
        for (int i = 0; i < parent.GetChildCount(); ++i)
            if (CCategory* hit = find(*parent.GetChild(i), guid))
                return hit;
        return nullptr;
    }

    std::vector<std::string> childNames(CCategory& category)
    {
        std::vector<std::string> names;
        for (int i = 0; i < category.GetChildCount(); ++i)
            names.push_back(category.GetChild(i)->GetName());
        return names;
    }

    std::vector<StoredItem> items(CCategory& category)
    {
        db.LoadItems(category);
        std::vector<StoredItem> stored;
        for (int i = 0; i < category.GetItemCount(); ++i) {
            const CLinkItem* item = category.GetItem(i);
            EXPECT_EQ(item->GetParentGuid(), category.GetGuid());
            stored.push_back({item->GetName(), item->GetTarget(), item->GetComment(), item->GetType()});
        }
        return stored;
    }

    static StoredItem web(const std::string& name, const std::string& url)
    {
        return {name, url, "Export from IE Favorite", 1};
    }

    TempFolder temp;
    const std::string fav = temp.path("Favorites");
    CDBManager db;
};

}  // namespace

TEST_F(ImportTest, NewsWithLocalAndTopLinkLandInTheChosenCategory)
{
    writeText(fav + "/News/Daily.url", shortcut("https://daily.example/"));
    writeText(fav + "/News/Agency.url", shortcut("https://agency.example/"));
    writeText(fav + "/News/Local/Town.url", shortcut("https://town.example/"));
    writeText(fav + "/Search.url", shortcut("https://search.example/"));
    importTree();

    CCategory& websites = reloaded(websitesGuid);
    ASSERT_EQ(childNames(websites), std::vector<std::string>{"News"});
    CCategory& news = *websites.GetChild(0);
    EXPECT_EQ(news.GetLevel(), 1);
    EXPECT_EQ(news.GetParentGuid(), websitesGuid);
    EXPECT_FALSE(news.IsSystem());
    EXPECT_EQ(news.GetIconIndex(), 0);
    EXPECT_EQ(news.GetGuid().size(), 36u);
    ASSERT_EQ(childNames(news), std::vector<std::string>{"Local"});
    EXPECT_EQ(news.GetChild(0)->GetLevel(), 2);

    EXPECT_EQ(items(news), (std::vector<StoredItem>{web("Agency", "https://agency.example/"),
                                                    web("Daily", "https://daily.example/")}));
    EXPECT_EQ(items(*news.GetChild(0)), (std::vector<StoredItem>{web("Town", "https://town.example/")}));
    EXPECT_EQ(items(websites), (std::vector<StoredItem>{web("Search", "https://search.example/")}));
}

TEST_F(ImportTest, SiblingFoldersKeepTheirOrderAndTheirOwnContents)
{
    writeText(fav + "/First/Inner/deep.url", shortcut("https://deep.example/"));
    writeText(fav + "/First/one.url", shortcut("https://one.example/"));
    writeText(fav + "/Second/two.url", shortcut("https://two.example/"));
    writeText(fav + "/nothing.url", "[InternetShortcut]\nIconFile=x.ico\n");
    writeText(fav + "/readme.txt", "not a link");
    importTree();

    CCategory& websites = reloaded(websitesGuid);
    ASSERT_EQ(childNames(websites), (std::vector<std::string>{"First", "Second"}));
    CCategory& first = *websites.GetChild(0);
    CCategory& second = *websites.GetChild(1);
    EXPECT_EQ(childNames(first), std::vector<std::string>{"Inner"});
    EXPECT_TRUE(childNames(second).empty());
    EXPECT_EQ(items(first), (std::vector<StoredItem>{web("one", "https://one.example/")}));
    EXPECT_EQ(items(*first.GetChild(0)), (std::vector<StoredItem>{web("deep", "https://deep.example/")}));
    EXPECT_EQ(items(second), (std::vector<StoredItem>{web("two", "https://two.example/")}));
    EXPECT_TRUE(items(websites).empty()) << "a shortcut without URL or a plain file created an item";
}

TEST_F(ImportTest, EmptyFavoritesLeaveTheCategoryUnchanged)
{
    std::filesystem::create_directories(fav);
    importTree();
    CCategory& websites = reloaded(websitesGuid);
    EXPECT_TRUE(childNames(websites).empty());
    EXPECT_TRUE(items(websites).empty());
}

TEST_F(ImportTest, ImportingTwiceMakesSecondSetWithFreshGuids)
{
    writeText(fav + "/News/Daily.url", shortcut("https://daily.example/"));
    importTree();
    importTree();

    CCategory& websites = reloaded(websitesGuid);
    ASSERT_EQ(childNames(websites), (std::vector<std::string>{"News", "News"}));
    EXPECT_NE(websites.GetChild(0)->GetGuid(), websites.GetChild(1)->GetGuid());
    db.LoadItems(*websites.GetChild(0));
    db.LoadItems(*websites.GetChild(1));
    ASSERT_EQ(websites.GetChild(0)->GetItemCount(), 1);
    ASSERT_EQ(websites.GetChild(1)->GetItemCount(), 1);
    EXPECT_NE(websites.GetChild(0)->GetItem(0)->GetGuid(), websites.GetChild(1)->GetItem(0)->GetGuid());
}

TEST_F(ImportTest, HandMadeTreeImportsBelowNestedCategoryLevel)
{
    FavoriteNode head;
    head.nextFolder = std::make_unique<FavoriteNode>(FavoriteNode::kindFolder, "Bob's \"folder\"");
    head.nextFolder->child = std::make_unique<FavoriteNode>();
    head.nextFolder->child->nextLink = std::make_unique<FavoriteNode>(
        FavoriteNode::kindLink, "it's; drop table link_table;", "https://q.example/?a='1'");
    const std::string wordGuid = "6C6FCDD3-6C95-49d9-AC6A-CC0913ABE5C1";
    ImportFavoriteLevel(&head, 1, wordGuid, db);

    CCategory& word = reloaded(wordGuid);
    ASSERT_EQ(childNames(word), std::vector<std::string>{"Bob's \"folder\""});
    EXPECT_EQ(word.GetChild(0)->GetLevel(), 2);
    EXPECT_EQ(items(*word.GetChild(0)),
              (std::vector<StoredItem>{web("it's; drop table link_table;", "https://q.example/?a='1'")}));
}

TEST_F(ImportTest, NullTreeImportsNothing)
{
    ImportFavoriteLevel(nullptr, 0, websitesGuid, db);
    EXPECT_TRUE(childNames(reloaded(websitesGuid)).empty());
}

TEST_F(ImportTest, LinkThatCannotBeStoredIsReportedAndEarlierLinksStay)
{
    FavoriteNode head;
    head.nextLink = std::make_unique<FavoriteNode>(FavoriteNode::kindLink, "Kept", "https://kept.example/");
    head.nextLink->nextLink = std::make_unique<FavoriteNode>(FavoriteNode::kindLink, "Lost", "https://lost.example/");
    db.ExecuteStatement("create trigger refuse before insert on link_table when new.name='Lost' "
                        "begin select raise(abort, 'full'); end;");
    try {
        ImportFavoriteLevel(&head, 0, websitesGuid, db);
        FAIL() << "the failed store went unnoticed";
    } catch (const std::runtime_error& error) {
        EXPECT_STREQ(error.what(), "Cannot store the favorite \"Lost\" in the catalogue: SQLITE_CONSTRAINT[19]: full");
    }
    // The connection must be usable again: no transaction left open.
    CCategory later;
    later.SetGuid("later-guid");
    later.SetName("Later");
    EXPECT_FALSE(db.InTransaction());
    EXPECT_NO_THROW(db.SaveCategory(later, true));
    CCategory& websites = reloaded(websitesGuid);
    EXPECT_EQ(items(websites), (std::vector<StoredItem>{web("Kept", "https://kept.example/")}));
    EXPECT_NE(find(db.GetRootCategory(), "later-guid"), nullptr);
}
