// SPDX-License-Identifier: GPL-3.0-or-later
#include "import/chromiumbookmarks.h"

#include "importtestutil.h"

#include <unistd.h>

namespace {

std::string url(const std::string& name, const std::string& address)
{
    return R"({"type": "url", "name": ")" + name + R"(", "url": ")" + address + R"(", "date_added": "13"})";
}

std::string folder(const std::string& name, const std::string& children)
{
    return R"({"type": "folder", "name": ")" + name + R"(", "children": [)" + children + "]}";
}

std::string bookmarks(const std::string& bar, const std::string& other = "", const std::string& synced = "")
{
    return R"({"checksum": "0", "version": 1, "roots": {"bookmark_bar": )" + folder("Lesezeichenleiste", bar)
           + R"(, "other": )" + folder("x", other) + R"(, "synced": )" + folder("y", synced) + "}}";
}

class ChromiumBookmarksTest : public ::testing::Test {
protected:
    ImportTree read(const std::string& json)
    {
        writeText(file, json);
        return readChromiumBookmarks(file);
    }

    std::string errorOf(const std::string& json)
    {
        writeText(file, json);
        return ::errorOf(readChromiumBookmarks, file);
    }

    TempFolder temp;
    const std::string file = temp.path("Bookmarks");
};

}  // namespace

TEST_F(ChromiumBookmarksTest, RootsKeepTheirOrderUnderTheBrowsersNamesAndEmptyOnesAreLeftOut)
{
    const ImportTree tree = read(bookmarks(
        url("Caf\\u00e9 \\\"Zeit\\\"", "https://zeit.example/") + "," + folder("News", url("A", "https://a.example/"))
            + "," + url("Script", "javascript:void(0)") + "," + url("Doc", "file:///home/me/a%20b.pdf"),
        url("Other one", "https://other.example/"), url("Phone", "https://phone.example/")));
    EXPECT_EQ(outline(tree.root), "+ Bookmarks bar\n"
                                  "  + News\n"
                                  "    - A | https://a.example/ |  | 1\n"
                                  "  - Caf\xC3\xA9 \"Zeit\" | https://zeit.example/ |  | 1\n"
                                  "  - Doc | /home/me/a b.pdf |  | 0\n"
                                  "+ Other bookmarks\n"
                                  "  - Other one | https://other.example/ |  | 1\n"
                                  "+ Mobile bookmarks\n"
                                  "  - Phone | https://phone.example/ |  | 1\n");
    EXPECT_EQ(tree.skipped, 1);
    EXPECT_EQ(outline(read(bookmarks("", url("Other one", "https://other.example/"))).root),
              "+ Other bookmarks\n  - Other one | https://other.example/ |  | 1\n")
        << "empty roots are left out";
}

TEST_F(ChromiumBookmarksTest, ThirtyLevelsImportAndBeyondTheLimitIsSkipped)
{
    std::string nested = url("Bottom", "https://bottom.example/");
    for (int level = 0; level < 30; ++level)
        nested = folder("L", nested);
    EXPECT_EQ(countFolders(read(bookmarks(nested)).root), 1 + 30);
    EXPECT_EQ(countEntries(read(bookmarks(nested)).root), 1);

    std::string deep = url("Bottom", "https://bottom.example/");
    for (int level = 0; level < maxImportDepth + 10; ++level)
        deep = folder("L", deep);
    const ImportTree tree = read(bookmarks(deep));
    EXPECT_EQ(countFolders(tree.root), maxImportDepth) << "the root folder counts as the first level";
    EXPECT_EQ(countEntries(tree.root), 0);
    EXPECT_EQ(tree.skipped, 11 + 1);
}

TEST_F(ChromiumBookmarksTest, OddNodesAreSkippedAndTheRestIsRead)
{
    const ImportTree tree = read(R"({"roots": {"bookmark_bar": {"children": [
        42, "text", {"type": "separator"}, {"type": "url", "name": "No address"},
        {"type": "folder", "name": "No children"}, {"type": "folder", "name": "Bad", "children": {"a": 1}},
        {"type": "url", "name": 7, "url": "https://seven.example/"}]}, "other": [], "synced": null}})");
    EXPECT_EQ(
        outline(tree.root),
        "+ Bookmarks bar\n  + No children\n  + Bad\n  - https://seven.example/ | https://seven.example/ |  | 1\n");
    EXPECT_EQ(tree.skipped, 4);
}

TEST_F(ChromiumBookmarksTest, MalformedFilesAreRefusedByName)
{
    const std::string refused = "The file \"" + file + "\" is not a Chromium bookmark file.";
    EXPECT_EQ(errorOf(""), refused);
    EXPECT_EQ(errorOf(bookmarks(url("A", "https://a.example/")).substr(0, 60)), refused);
    EXPECT_EQ(errorOf("[1, 2, 3]"), refused);
    EXPECT_EQ(errorOf(R"({"roots": [1]})"), refused);
    EXPECT_EQ(errorOf(R"({"version": 1})"), refused);
    EXPECT_EQ(errorOf(std::string(5000, '[') + std::string(5000, ']')), refused);
    EXPECT_EQ(errorOf("\xFF\xFE garbage \x01\x02"), refused);
}

TEST_F(ChromiumBookmarksTest, MissingAndHugeFilesAreRefusedByName)
{
    try {
        readChromiumBookmarks(file);
        ADD_FAILURE() << "a missing file was read";
    } catch (const std::runtime_error& error) {
        EXPECT_EQ(std::string(error.what()), "The file \"" + file + "\" cannot be read.");
    }
    writeText(file, bookmarks(""));
    ASSERT_EQ(::truncate(file.c_str(), 65ll * 1024 * 1024), 0);
    try {
        readChromiumBookmarks(file);
        ADD_FAILURE() << "a huge file was read";
    } catch (const std::runtime_error& error) {
        EXPECT_EQ(std::string(error.what()), "The file \"" + file + "\" is too large to import.");
    }
}

TEST_F(ChromiumBookmarksTest, CraftedFilesAreReadAsBrowsersReadThem)
{
    std::string deep = url("Bottom", "https://bottom.example/");
    for (int level = 0; level < 600; ++level)
        deep = folder("L", deep);
    std::string keptChain = "+ Bookmarks bar\n";
    for (int level = 1; level < maxImportDepth; ++level)
        keptChain += std::string(2 * static_cast<std::size_t>(level), ' ') + "+ L\n";
    struct Case {
        const char* what;
        std::string json;
        std::string outline;
        int skipped;
    };
    const Case cases[] = {
        {"nesting past the parser's own limit is read to the depth limit and the rest counted",
         bookmarks(deep + "," + url("Top", "https://top.example/")),
         keptChain + "  - Top | https://top.example/ |  | 1\n", 600 - (maxImportDepth - 1) + 1},
        {"numbers no double holds are no reason to refuse the file",
         R"({"roots": {"bookmark_bar": {"id": 1e400, "children": [{"id": -1e999, "type": "url", "name": "N",
             "url": "https://n.example/", "date_added": 123456789012345678901234567890}]}}})",
         "+ Bookmarks bar\n  - N | https://n.example/ |  | 1\n", 0},
        {"titles are one line, an untitled bookmark is named after its address; script links are left out",
         bookmarks(url("a\\nb\\r\\nc", "https://a.example/") + "," + url("", "https://u.example/") + ","
                   + url("J", "java\\tscript:alert(1)") + "," + url("D", "\\u0001 DATA:text/html,x")),
         "+ Bookmarks bar\n  - a b  c | https://a.example/ |  | 1\n"
         "  - https://u.example/ | https://u.example/ |  | 1\n",
         2},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const ImportTree tree = read(c.json);
        EXPECT_EQ(outline(tree.root), c.outline);
        EXPECT_EQ(tree.skipped, c.skipped);
    }
}
