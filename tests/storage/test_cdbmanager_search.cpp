// SPDX-License-Identifier: GPL-3.0-or-later
#include "tempdatabase.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

class CDBManagerSearch : public CatalogueTest {
protected:
    // Stores one item per call, in call order, in "General files".
    std::string store(const std::string& name, const std::string& target = "", const std::string& comment = "")
    {
        CCategory* general = topLevel("General files");
        auto item = std::make_unique<CLinkItem>();
        item->SetGuid(NewGuid());
        item->SetName(name);
        item->SetTarget(target);
        item->SetComment(comment);
        item->SetParentGuid(general->GetGuid());
        EXPECT_TRUE(db.SaveItem(*item));
        return item->GetGuid();
    }

    std::vector<std::string> names(bool byName, bool byTarget, bool byComment, const std::string& keyword)
    {
        std::vector<std::string> found;
        for (const CSearchItem& hit : db.SearchItems(byName, byTarget, byComment, keyword))
            found.push_back(hit.name);
        return found;
    }

    using Names = std::vector<std::string>;
};

}  // namespace

TEST_F(CDBManagerSearch, EmptyTableOrNoColumnFindsNothing)
{
    EXPECT_TRUE(db.SearchItems(true, true, true, "a").empty());
    store("abc");
    EXPECT_TRUE(db.SearchItems(false, false, false, "abc").empty());
}

TEST_F(CDBManagerSearch, TitleMatchIgnoresAsciiCaseAndOnlySearchesTheChosenColumns)
{
    store("ABC report");
    store("nothing", "/tmp/abc.txt", "abc in the comment");
    store("xAbCx");
    EXPECT_EQ(names(true, false, false, "abc"), (Names{"ABC report", "xAbCx"}));
    EXPECT_EQ(names(false, true, false, "ABC"), (Names{"nothing"}));
    EXPECT_EQ(names(false, false, true, "Comment"), (Names{"nothing"}));
}

TEST_F(CDBManagerSearch, ResultCarriesTheItemAndCategoryGuids)
{
    std::string guid = store("Report");
    std::vector<CSearchItem> hits = db.SearchItems(true, false, false, "port");
    ASSERT_EQ(hits.size(), 1u);
    EXPECT_EQ(hits[0].guid, guid);
    EXPECT_EQ(hits[0].category, "5EE0962C-217D-411a-BB72-6261B1B4F5BF");
    EXPECT_EQ(hits[0].name, "Report");
}

TEST_F(CDBManagerSearch, UnderscoreAndPercentAreWildcards)
{
    store("abc");
    store("50 cents");
    store("a-c and 5 0");
    EXPECT_EQ(names(true, false, false, "a_c"), (Names{"abc", "a-c and 5 0"}));
    EXPECT_EQ(names(true, false, false, "50%"), (Names{"50 cents"}));
    EXPECT_EQ(names(true, false, false, "a%0"), (Names{"a-c and 5 0"}));
}

TEST_F(CDBManagerSearch, ItemMatchingSeveralColumnsIsFoundOnceInStoredOrder)
{
    store("first by comment", "", "key");
    store("key in both", "", "key");
    store("third by title key");
    EXPECT_EQ(names(true, true, true, "KEY"), (Names{"first by comment", "key in both", "third by title key"}));
}

TEST_F(CDBManagerSearch, LettersBeyondAsciiMatchOnlyInTheSameCase)
{
    store("\xC3\x84pfel und Birnen");
    EXPECT_EQ(names(true, false, false, "\xC3\x84pfel"), (Names{"\xC3\x84pfel und Birnen"}));
    EXPECT_TRUE(names(true, false, false, "\xC3\xA4pfel").empty());
    EXPECT_EQ(names(true, false, false, "BIRNEN"), (Names{"\xC3\x84pfel und Birnen"}));
}

TEST_F(CDBManagerSearch, KeywordsWithApostrophesAndSqlAreJustText)
{
    store("Bob's notes.txt");
    store("plain");
    EXPECT_EQ(names(true, false, false, "Bob's"), (Names{"Bob's notes.txt"}));
    EXPECT_TRUE(names(true, true, true, "x' OR 1=1 OR name LIKE '").empty());
    EXPECT_TRUE(names(true, false, false, "'; drop table link_table; --").empty());
    EXPECT_EQ(count("select count(*) from link_table"), 2);
    EXPECT_EQ(names(true, false, false, " notes"), (Names{"Bob's notes.txt"}));
    EXPECT_TRUE(names(true, false, false, "notes  ").empty());
}

TEST_F(CDBManagerSearch, LongTitlesAndKeywordsAreFound)
{
    std::string title = std::string(5000, 'a') + "needle" + std::string(5000, 'b');
    store(title);
    EXPECT_EQ(names(true, false, false, "needle"), (Names{title}));
    EXPECT_EQ(names(true, false, false, title), (Names{title}));
}

TEST_F(CDBManagerSearch, DatabaseErrorEndsTheSearchQuietly)
{
    store("abc");
    db.ExecuteStatement("drop table link_table;");
    EXPECT_TRUE(db.SearchItems(true, true, true, "abc").empty());
}
