// SPDX-License-Identifier: GPL-3.0-or-later
#include "search/searchindex.h"
#include "storage/cdbmanager.h"
#include "storage/statement.h"
#include "storage/textfolding.h"
#include "tempfolder.h"

#include <gtest/gtest.h>
#include <sqlite3.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <vector>

namespace {

// Pieces texts and keywords are made of: ASCII in both cases, the wildcards, apostrophes, letters
// beyond ASCII (some whose case folds onto ASCII letters), and bytes that are no UTF-8 at all.
const std::vector<std::string> pieces = {"a", "b", "c", "A",      "B",      "C",    "ab", "abc",  "ABC",
                                         " ", "'", "%", "_",      "é",      "É",    "ß",  "日本", "K",
                                         "ſ", "k", "s", "report", "Report", "\xff", "x"};

class Catalogue {
public:
    explicit Catalogue(const std::string& path) : path(path)
    {
        db.Open(path);
        db.EnsureDefaultCategories();
        sqlite3_open(path.c_str(), &raw);
        sqlite3_exec(raw, "pragma synchronous=off;", nullptr, nullptr, nullptr);
    }
    ~Catalogue() { sqlite3_close(raw); }

    void run(const std::string& sql, const std::vector<std::string>& texts)
    {
        sqlite3_stmt* statement = nullptr;
        ASSERT_EQ(sqlite3_prepare_v2(raw, sql.c_str(), -1, &statement, nullptr), SQLITE_OK) << sql;
        for (std::size_t i = 0; i < texts.size(); ++i)
            sqlite3_bind_text(statement, int(i) + 1, texts[i].data(), int(texts[i].size()), SQLITE_TRANSIENT);
        EXPECT_EQ(sqlite3_step(statement), SQLITE_DONE) << sqlite3_errmsg(raw);
        sqlite3_finalize(statement);
    }

    // The catalogue's own search, one column set at a time: guids in stored order.
    std::vector<std::string> likeSearchHits(const std::string& keyword, unsigned columns)
    {
        std::vector<std::string> guids;
        for (const CSearchItem& hit :
             db.SearchItems(columns & search::Title, columns & search::Target, columns & search::Description, keyword))
            guids.push_back(hit.guid);
        return guids;
    }

    std::string path;
    CDBManager db;
    sqlite3* raw = nullptr;
};

std::string randomText(std::mt19937& dice, int most)
{
    std::string text;
    for (int n = int(dice() % unsigned(most)); n > 0; --n)
        text += pieces[dice() % pieces.size()];
    return text;
}

// What the index answers, as guids in order, and its first few when asked for no more.
void expectSameAsLikeSearch(search::SearchIndex& index, Catalogue& catalogue, const std::string& keyword,
                            unsigned columns)
{
    const std::vector<long long> rows = index.find(keyword, columns);
    std::vector<std::string> guids;
    for (const search::ItemText& text : index.texts(rows))
        guids.push_back(text.guid);
    ASSERT_EQ(guids, catalogue.likeSearchHits(keyword, columns)) << "keyword '" << keyword << "' columns " << columns;
    const std::vector<long long> first = index.find(keyword, columns, 3);
    EXPECT_EQ(first, std::vector<long long>(rows.begin(),
                                            rows.begin() + std::ptrdiff_t(std::min<std::size_t>(3, rows.size()))))
        << "keyword '" << keyword << "' columns " << columns;
}

// Folded, what the index answers equals a scan of every row folded, also after its entries were
// replaced many times.
void expectSameAsFoldedScan(search::SearchIndex& index, Catalogue& catalogue, const std::string& keyword,
                            unsigned columns)
{
    CppSQLite3DB scan;
    scan.Open(catalogue.path.c_str());
    registerTextFolding(scan);
    std::string condition;
    for (int i = 0; i < 3; ++i)
        if (columns & (1u << i))
            condition += std::string(condition.empty() ? "" : " or ") + "fold("
                         + std::vector<std::string>{"name", "target", "comment"}[std::size_t(i)] + ") like ?1";
    Statement rows(scan, "select itemorder from link_table where " + condition + " order by itemorder;");
    rows.bind(1, "%" + foldText(keyword.c_str()) + "%");
    std::vector<long long> expected;
    while (rows.step())
        expected.push_back(rows.integer(0));
    EXPECT_EQ(index.find(keyword, columns, SIZE_MAX, search::Matching::Folded), expected)
        << "folded keyword '" << keyword << "' columns " << columns;
}

TEST(SearchIndex, AnswersEqualTheCatalogueSearchThroughRandomEdits)
{
    TempFolder folder;
    Catalogue catalogue(folder.path("FavoritesDB.db"));
    const std::string indexFile = folder.path("cache/index.db");
    search::SearchIndex writer(catalogue.path, indexFile);
    search::SearchIndex reader(catalogue.path, indexFile);
    std::mt19937 dice(23);
    int made = 0;
    auto insert = [&] {
        catalogue.run(
            "insert into link_table (guid,name,target,category,star,comment,type) values(?1,?2,?3,'c',0,?4,0);",
            {"g" + std::to_string(made++), randomText(dice, 8), randomText(dice, 12), randomText(dice, 6)});
    };
    for (int i = 0; i < 300; ++i)
        insert();
    // A value that is not text, and one with a NUL inside: LIKE reads both its own way.
    catalogue.run("insert into link_table (guid,name,target,comment) values('g-int', 1234, 'abc', null);", {});
    catalogue.run(
        "insert into link_table (guid,name,target,comment) values('g-nul', 'abc' || char(0) || 'report', 'x', 'y');",
        {});
    ASSERT_TRUE(writer.update());

    const std::string anyRow =
        "select itemorder from link_table order by itemorder limit 1 offset (?2 % (select count(*) from link_table))";
    int byIndex = 0;
    for (int round = 0; round < 120; ++round) {
        switch (dice() % 5) {
        case 0:
            insert();
            break;
        case 1:
            catalogue.run("update link_table set name=?1 where itemorder=(" + anyRow + ");",
                          {randomText(dice, 8), std::to_string(dice())});
            break;
        case 2:
            catalogue.run("delete from link_table where itemorder=(" + anyRow + ");", {"", std::to_string(dice())});
            break;
        case 3:
            ASSERT_TRUE(writer.update());
            break;
        default:
            break;
        }
        for (int query = 0; query < 6; ++query) {
            std::string keyword = randomText(dice, 4);
            if (dice() % 2) {
                // A piece of a stored text, case changed at random: the queries that find something.
                sqlite3_stmt* statement = nullptr;
                sqlite3_prepare_v2(catalogue.raw,
                                   ("select target from link_table where itemorder=(" + anyRow + ");").c_str(), -1,
                                   &statement, nullptr);
                sqlite3_bind_int64(statement, 2, dice());
                if (sqlite3_step(statement) == SQLITE_ROW && sqlite3_column_bytes(statement, 0) > 0) {
                    const std::string target(reinterpret_cast<const char*>(sqlite3_column_text(statement, 0)));
                    const std::size_t from = dice() % (target.size() + 1);
                    keyword = target.substr(from, dice() % 8);
                    for (char& c : keyword)
                        if (dice() % 2 && std::isalpha(static_cast<unsigned char>(c)))
                            c = char(std::toupper(static_cast<unsigned char>(c)));
                }
                sqlite3_finalize(statement);
            }
            const unsigned columns = 1 + dice() % 7;
            search::SearchIndex& index = query % 2 ? reader : writer;
            expectSameAsLikeSearch(index, catalogue, keyword, columns);
            byIndex += index.lastAnsweredByIndex();
            expectSameAsFoldedScan(index, catalogue, keyword, columns);
            if (testing::Test::HasFatalFailure())
                return;
        }
    }
    // Most keywords hold a run of three characters: the index, not the scan, must have answered them.
    EXPECT_GT(byIndex, 200);
    ASSERT_TRUE(writer.update());
    expectSameAsLikeSearch(reader, catalogue, "abc", search::AllColumns);
    EXPECT_TRUE(reader.lastAnsweredByIndex());
}

TEST(SearchIndex, StaleAndCorruptIndexesAreRebuiltAndNeverAnswerWrongMeanwhile)
{
    TempFolder folder;
    Catalogue catalogue(folder.path("FavoritesDB.db"));
    const std::string indexFile = folder.path("index.db");
    catalogue.run("insert into link_table (guid,name,target,comment) values('old', 'Quarterly report', 'a.pdf', '');",
                  {});
    {
        search::SearchIndex index(catalogue.path, indexFile);
        ASSERT_TRUE(index.update());
    }
    // Changed while no index was open: one row renamed, one added, one deleted.
    catalogue.run("update link_table set name='Monthly summary' where guid='old';", {});
    catalogue.run("insert into link_table (guid,name,target,comment) values('new', 'Yearly report', 'b.pdf', '');", {});
    {
        search::SearchIndex stale(catalogue.path, indexFile);
        expectSameAsLikeSearch(stale, catalogue, "report", search::AllColumns);
        expectSameAsLikeSearch(stale, catalogue, "summary", search::AllColumns);
        ASSERT_TRUE(stale.update());
        expectSameAsLikeSearch(stale, catalogue, "report", search::AllColumns);
        EXPECT_TRUE(stale.lastAnsweredByIndex());
    }
    search::SearchIndex reader(catalogue.path, indexFile);
    ASSERT_EQ(reader.find("report", search::Title).size(), 1u);
    std::ofstream(indexFile, std::ios::binary | std::ios::trunc) << std::string(8192, 'x');
    // The open reader cannot read its file any more: it scans, and answers right.
    expectSameAsLikeSearch(reader, catalogue, "report", search::AllColumns);
    search::SearchIndex rebuilt(catalogue.path, indexFile);
    ASSERT_TRUE(rebuilt.update()) << rebuilt.lastError();
    expectSameAsLikeSearch(rebuilt, catalogue, "report", search::AllColumns);
    EXPECT_TRUE(rebuilt.lastAnsweredByIndex());
}

// A fresh index is trusted without comparing rows only while the catalogue keeps the change stamp the
// index noted. Each way another program can write the items behind it must end that trust.
TEST(SearchIndex, AnIndexIsNeverTrustedAfterItsItemsChangedBehindIt)
{
    struct Case {
        const char* what;
        const char* before;  // run before the index is made
        const char* sql;     // run by another connection once the index is current
    };
    const Case cases[] = {
        {"an item added", "",
         "insert into link_table (guid,name,target,comment) values('new','Yearly report','b','');"},
        {"an item renamed", "", "update link_table set name='Monthly summary' where guid='old';"},
        {"an item deleted", "", "delete from link_table where guid='old';"},
        // Put in WAL mode by another program: commits leave the file's header as it was.
        {"written in WAL mode", "pragma journal_mode=wal;",
         "update link_table set name='Monthly summary' where guid='old';"},
    };
    for (const Case& each : cases) {
        SCOPED_TRACE(each.what);
        TempFolder folder;
        Catalogue catalogue(folder.path("FavoritesDB.db"));
        const std::string indexFile = folder.path("index.db");
        catalogue.run("insert into link_table (guid,name,target,comment) values('old','Quarterly report','a','');", {});
        ASSERT_EQ(sqlite3_exec(catalogue.raw, each.before, nullptr, nullptr, nullptr), SQLITE_OK);
        ASSERT_TRUE(search::SearchIndex(catalogue.path, indexFile).update());
        ASSERT_EQ(sqlite3_exec(catalogue.raw, each.sql, nullptr, nullptr, nullptr), SQLITE_OK);
        // A new object, as a new run of the command line: it knows only what the files say.
        search::SearchIndex fresh(catalogue.path, indexFile);
        expectSameAsLikeSearch(fresh, catalogue, "report", search::AllColumns);
        expectSameAsLikeSearch(fresh, catalogue, "summary", search::AllColumns);
        ASSERT_TRUE(fresh.update());
        expectSameAsLikeSearch(fresh, catalogue, "report", search::AllColumns);
    }
}

// A copy put back over the catalogue with its time kept (cp -p) carries the very stamp the index once
// noted; an update stopped after a slice had taken in a later rename must have given that stamp up.
TEST(SearchIndex, AnIndexIsNeverTrustedAfterAStoppedUpdateAndACopyPutBack)
{
    TempFolder folder;
    Catalogue catalogue(folder.path("FavoritesDB.db"));
    const std::string indexFile = folder.path("index.db");
    // Rows far apart: an update takes them in two slices.
    catalogue.run(
        "insert into link_table (itemorder,guid,name,target,comment) values(1,'old','Quarterly report','a','');", {});
    catalogue.run("insert into link_table (itemorder,guid,name,target,comment) values(50000,'far','Far','b','');", {});
    ASSERT_TRUE(search::SearchIndex(catalogue.path, indexFile).update());
    const std::string copy = folder.path("copy.db");
    const auto putAs = [](const std::string& from, const std::string& to) {
        std::filesystem::copy_file(from, to, std::filesystem::copy_options::overwrite_existing);
        std::filesystem::last_write_time(to, std::filesystem::last_write_time(from));
    };
    putAs(catalogue.path, copy);
    catalogue.run("update link_table set name='Monthly summary' where guid='old';", {});
    {
        search::SearchIndex stopped(catalogue.path, indexFile);
        StopWhen afterFirstSlice([] { return true; });
        ASSERT_FALSE(stopped.update(afterFirstSlice));
    }
    putAs(copy, catalogue.path);
    search::SearchIndex fresh(catalogue.path, indexFile);
    expectSameAsLikeSearch(fresh, catalogue, "report", search::AllColumns);
    expectSameAsLikeSearch(fresh, catalogue, "summary", search::AllColumns);
}

}  // namespace

namespace {

std::string bytesOf(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

}  // namespace

// A link planted where the index or its log lives must not lead the index's writes into the file it
// names (another SQLite file of the user's): the link is moved aside and the index made anew.
TEST(SearchIndex, ALinkInTheIndexPlaceIsMovedAsideNeverWrittenThrough)
{
    for (const char* planted : {"", "-wal", "-journal"}) {
        SCOPED_TRACE(std::string("index.db") + planted);
        TempFolder folder;
        Catalogue catalogue(folder.path("FavoritesDB.db"));
        catalogue.run("insert into link_table (guid,name,target,comment) values('a', 'Quarterly report', 'a', '');",
                      {});
        const std::string neighbour = folder.path("neighbour.db");
        {
            CppSQLite3DB other;
            other.Open(neighbour.c_str());
            other.ExecuteStatement("create table mine (x); insert into mine values (1);");
        }
        const std::string before = bytesOf(neighbour);
        const std::string indexFile = folder.path("index.db");
        std::filesystem::create_symlink(neighbour, indexFile + planted);

        search::SearchIndex index(catalogue.path, indexFile);
        ASSERT_TRUE(index.update()) << index.lastError();
        EXPECT_EQ(index.find("report", search::Title).size(), 1u);
        EXPECT_TRUE(index.lastAnsweredByIndex());
        EXPECT_EQ(bytesOf(neighbour), before);
        EXPECT_TRUE(std::filesystem::is_symlink(indexFile + planted + ".not-ours-1"));
    }
}

// Quick find folds case and accents in every script; the search dialog's matching stays LIKE's.
TEST(SearchIndex, QuickFindFoldsCaseAndAccentsInEveryColumnAndScript)
{
    struct Case {
        const char* keyword;
        const char* text;
        bool found;
    };
    const Case cases[] = {
        {"resume", "Résumé", true},
        {"Résumé", "RESUME", true},
        {"RÉSUMÉ", "my resume.pdf", true},
        {"été", "Été 2025", true},
        {"ete", "ÉTÉ", true},
        {"κειμενα", "Τα Κείμενα", true},
        {"ПРИВЕТ", "привет мир", true},
        {"strasse", "Hauptstraße", true},
        {"e\xcc\x81t\xc3\xa9", "ete", true},
        {"re%me", "Résumé", true},
        {"resumes", "Résumé", false},
        {"ete", "etage", false},
    };
    TempFolder folder;
    Catalogue catalogue(folder.path("FavoritesDB.db"));
    const std::string indexFile = folder.path("cache/index.db");
    search::SearchIndex index(catalogue.path, indexFile);
    int made = 0;
    for (const Case& each : cases)
        for (const char* column : {"name", "target", "comment"}) {
            catalogue.run("delete from link_table;", {});
            const std::string guid = "g" + std::to_string(made++);
            catalogue.run(std::string("insert into link_table (guid,name,target,comment,category,star,type) "
                                      "values(?1,'x','x','x','c',0,0);"),
                          {guid});
            catalogue.run(std::string("update link_table set ") + column + " = ?1;", {each.text});
            // Once through the index, once through the rows it has not taken in yet.
            for (bool updated : {true, false}) {
                if (updated)
                    ASSERT_TRUE(index.update());
                else
                    catalogue.run(std::string("update link_table set ") + column + " = ?1 || ' ';", {each.text});
                const std::vector<long long> hits = search::findByColumn(index, each.keyword, 10);
                EXPECT_EQ(hits.size(), each.found ? 1u : 0u)
                    << each.keyword << " in " << column << " '" << each.text << "' indexed " << updated;
            }
            const bool likeFinds = !catalogue.likeSearchHits(each.keyword, search::AllColumns).empty();
            EXPECT_EQ(search::searchItems(index, true, true, true, each.keyword).size(), likeFinds ? 1u : 0u)
                << each.keyword;
        }
}
