// SPDX-License-Identifier: GPL-3.0-or-later
// add, edit, rm, mv, mkcat, rmcat, ls and search as a script would use them, each step checked
// through the catalogue's own listing.
#include "clirunner.h"
#include "tempfolder.h"

#include "storage/cppsqlite3.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>

namespace {

const std::string word = "Office documents/Word documents";

TEST(CliItems, AddEditMoveRemove)
{
    TempFolder folder;
    const std::string db = folder.path("c.db");
    const std::string file = folder.path("plan.odt");
    std::fclose(std::fopen(file.c_str(), "w"));
    runSteps(db, {
                     /* 0 */ {{"add", "https://example.org/a"}, 0, ""},
                     /* 1 */
                     {{"ls", "Favorite websites"},
                      0,
                      "web\t{0}\thttps://example.org/a\thttps://example.org/a\t\tFavorite websites\n"},
                     /* 2 */ {{"add", "--category", word, "--description", "May", file}, 0, ""},
                     /* 3 */ {{"ls", word}, 0, "file\t{2}\tplan.odt\t" + file + "\tMay\t" + word + "\n"},
                     // one target that is neither a URL nor a file: nothing of the command is added
                     /* 4 */ {{"add", "https://example.org/b", folder.path("missing.odt")}, 1, ""},
                     /* 5 */ {{"search", "example.org/b"}, 0, "", true},
                     /* 6 */ {{"add", "--category", "Nowhere", "https://example.org/c"}, 1, ""},
                     /* 7 */ {{"add", "--title", "-dash", "--", "mailto:a@example.org"}, 0, ""},
                     /* 8 */ {{"search", "--title", "--", "-dash"}, 0, "{7}\t-dash\tFavorite websites\n"},
                     /* 9 */ {{"edit", "{0}", "--title", "Renamed", "--json"}, 0, "\"title\":\"Renamed\""},
                     /* 10 */ {{"edit", "{0}"}, 2, ""},
                     /* 11 */ {{"edit", "no-such-guid", "--title", "x"}, 1, ""},
                     /* 12 */ {{"mv", "{0}", "{2}", "--to", "Media files"}, 0, ""},
                     /* 13 */ {{"ls", "Media files"}, 0, "{2}"},
                     /* 14 */ {{"mv", "{0}"}, 2, ""},
                     // one unknown GUID: nothing is removed
                     /* 15 */ {{"rm", "{0}", "no-such-guid"}, 1, ""},
                     /* 16 */ {{"ls", "Media files"}, 0, "{0}"},
                     /* 17 */ {{"rm", "{0}", "{2}"}, 0, ""},
                     /* 18 */ {{"ls", "Media files"}, 0, "", true},
                     // script addresses are refused, as every reader and the export refuse them
                     /* 19 */ {{"add", "javascript:alert(1)"}, 1, ""},
                     /* 20 */ {{"add", "https://example.org/ok", " java\tscript:alert(2)"}, 1, ""},
                     /* 21 */ {{"add", "https://example.org/ok"}, 0, ""},
                     /* 22 */ {{"edit", "{21}", "--target", "data:text/html,<script>alert(3)</script>"}, 1, ""},
                     /* 23 */ {{"search", "alert"}, 0, "", true},
                 });
}

TEST(CliItems, Categories)
{
    TempFolder folder;
    runSteps(folder.path("c.db"),
             {
                 /* 0 */ {{"mkcat", "Favorite websites/News"}, 0, "\tFavorite websites/News\n"},
                 /* 1 */ {{"mkcat", "Favorite websites/News"}, 1, ""},
                 /* 2 */ {{"mkcat", "--icon", "3", "Favorite websites/News/Sport\\/Games"}, 0, "News/Sport\\/Games"},
                 /* 3 */ {{"ls", "Favorite websites/News"}, 0, "Sport\\/Games\n"},
                 /* 4 */ {{"mkcat", "Nowhere/News"}, 1, ""},
                 /* 5 */ {{"mkcat", "--icon", "x", "A"}, 2, ""},
                 /* 6 */ {{"add", "--category", "Favorite websites/News/Sport\\/Games", "https://example.org/"}, 0, ""},
                 /* 7 */ {{"rmcat", "Favorite websites/News"}, 0, ""},
                 /* 8 */ {{"ls", "Favorite websites"}, 0, "", true},
                 /* 9 */ {{"search", "example.org"}, 0, "", true},
                 /* 10 */ {{"rmcat", "/"}, 1, ""},
             });
}

// The dialog's fields: every one unless some are named.
TEST(CliItems, SearchFields)
{
    TempFolder folder;
    const std::string db = folder.path("c.db");
    runSteps(db, {{{"add", "--title", "red", "--description", "blue", "https://green.example/"}, 0, ""}});
    const struct {
        std::vector<std::string> flags;
        std::string keyword;
        bool hit;
    } cases[] = {
        {{}, "red", true},
        {{}, "green", true},
        {{}, "blue", true},
        {{"--title"}, "green", false},
        {{"--target"}, "green", true},
        {{"--description"}, "red", false},
        {{"--title", "--description"}, "blue", true},
    };
    for (const auto& test : cases) {
        std::vector<std::string> args{"--db", db, "search"};
        args.insert(args.end(), test.flags.begin(), test.flags.end());
        args.push_back(test.keyword);
        const CliResult result = runCli(args);
        EXPECT_EQ(result.status, 0);
        EXPECT_EQ(lines(result.out).size(), test.hit ? 1u : 0u) << test.keyword;
    }
    EXPECT_EQ(runCli({"--db", db, "search", "  "}).status, 2);
}

}  // namespace

// Two rows sharing a GUID (a file another program wrote): a change by that GUID would reach both.
TEST(CliItems, AGuidTwoItemsShareIsRefusedNamingBoth)
{
    TempFolder folder;
    const std::string db = folder.path("c.db");
    ASSERT_EQ(runCli({"--db", db, "ls"}).status, 0);
    {
        CppSQLite3DB catalogue;
        catalogue.Open(db.c_str());
        catalogue.ExecuteStatement(
            "insert into link_table (guid,name,target,category,star,comment,type) values "
            "('twin','First','https://a.example/','5EE0962C-217D-411a-BB72-6261B1B4F5BF',0,'',1),"
            "('twin','Second','https://b.example/','5EE0962C-217D-411a-BB72-6261B1B4F5BF',0,'',1);");
    }
    for (const std::vector<std::string>& command :
         {std::vector<std::string>{"--db", db, "edit", "twin", "--title", "Both"},
          std::vector<std::string>{"--db", db, "rm", "twin"}}) {
        const CliResult result = runCli(command);
        EXPECT_EQ(result.status, 1) << command[2];
        EXPECT_NE(result.err.find("\"First\""), std::string::npos) << result.err;
        EXPECT_NE(result.err.find("\"Second\""), std::string::npos) << result.err;
    }
    EXPECT_EQ(lines(runCli({"--db", db, "search", "example"}).out).size(), 2u);
}

// Another program's database with tables of our names but not our columns: nothing of ours (indexes,
// built-in categories) may be written into it.
TEST(CliItems, AFileWithoutTheDesignedColumnsIsRefusedUnchanged)
{
    TempFolder folder;
    for (const char* schema : {"create table category_table (guid text, name text);",
                               "create table category_table (guid text,name text,level int,parent_guid text,"
                               "system int,iconIndex int,itemorder integer primary key);"
                               "create table link_table (guid text, name text, url text);"}) {
        const std::string db = folder.path("foreign.db");
        std::filesystem::remove(db);
        {
            CppSQLite3DB foreign;
            foreign.Open(db.c_str());
            foreign.ExecuteStatement(schema);
        }
        std::ifstream before(db, std::ios::binary);
        const std::string bytes{std::istreambuf_iterator<char>(before), {}};
        const CliResult result = runCli({"--db", db, "ls"});
        EXPECT_EQ(result.status, 1);
        EXPECT_NE(result.err.find("is not a Varnelo catalogue"), std::string::npos) << result.err;
        std::ifstream after(db, std::ios::binary);
        EXPECT_EQ(std::string(std::istreambuf_iterator<char>(after), {}), bytes);
    }
}
