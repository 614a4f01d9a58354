// SPDX-License-Identifier: GPL-3.0-or-later
// add, edit, rm, mv, mkcat, rmcat, ls and search as a script would use them, each step checked
// through the catalogue's own listing.
#include "clirunner.h"
#include "tempfolder.h"

#include <gtest/gtest.h>

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
