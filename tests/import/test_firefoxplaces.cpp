// SPDX-License-Identifier: GPL-3.0-or-later
#include "import/firefoxplaces.h"
#include "import/foldertree.h"
#include "storage/cppsqlite3.h"

#include "importtestutil.h"
#include "numbered.h"
#include "placesbuilder.h"

#include <map>

namespace {

ImportTree readPlaces(const std::string& file)
{
    return readFirefoxPlaces(file);
}

struct FileState {
    std::string bytes;
    std::filesystem::file_time_type modified;
    bool operator==(const FileState&) const = default;
};

std::map<std::string, FileState> stateOf(const std::string& folder)
{
    std::map<std::string, FileState> files;
    for (const auto& entry : std::filesystem::directory_iterator(folder))
        files[entry.path().filename().string()] = {readText(entry.path().string()), entry.last_write_time()};
    return files;
}

class FirefoxPlacesTest : public ::testing::Test {
protected:
    TempFolder temp;
    const std::string profile = temp.path("profile");
    const std::string file = profile + "/places.sqlite";
    void SetUp() override { std::filesystem::create_directories(profile); }
};

}  // namespace

TEST_F(FirefoxPlacesTest, RootsFoldersAndBookmarksComeInPositionOrder)
{
    {
        Places places(file);
        places.bookmark(toolbarRoot, 1, "Second", "https://second.example/");
        places.bookmark(toolbarRoot, 0, "First", "https://first.example/");
        const int news = places.folder(menuRoot, 2, "News & more");
        places.bookmark(news, 0, "Caf\xC3\xA9", "https://cafe.example/");
        places.separator(menuRoot, 1);
        places.bookmark(menuRoot, 0, "Recent", "place:sort=8&maxResults=10");
        places.bookmark(menuRoot, 3, "Local", "file:///home/me/a%20b.txt");
        places.bookmark(mobileRoot, 0, "Phone", "https://phone.example/");
        places.bookmark(unfiledRoot, 0, "Loose", "https://loose.example/");
        const int tag = places.folder(tagsRoot, 0, "mytag");
        places.bookmark(tag, 0, "Tagged", "https://first.example/");
    }
    const ImportTree tree = readFirefoxPlaces(file);
    EXPECT_EQ(outline(tree.root), "+ Bookmarks Menu\n"
                                  "  + News & more\n"
                                  "    - Caf\xC3\xA9 | https://cafe.example/ |  | 1\n"
                                  "  - Local | /home/me/a b.txt |  | 0\n"
                                  "+ Bookmarks Toolbar\n"
                                  "  - First | https://first.example/ |  | 1\n"
                                  "  - Second | https://second.example/ |  | 1\n"
                                  "+ Other Bookmarks\n"
                                  "  - Loose | https://loose.example/ |  | 1\n"
                                  "+ Mobile Bookmarks\n"
                                  "  - Phone | https://phone.example/ |  | 1\n");
    EXPECT_EQ(tree.skipped, 2) << "the separator and the place: query";
}

TEST_F(FirefoxPlacesTest, RunningBrowsersUncheckpointedLogIsReadAndItsFilesStayUntouched)
{
    {
        Places places(file, Places::Open::NewFileWithLog);
    }
    Places browser(file, Places::Open::Existing);  // still open, as a running Firefox keeps it
    browser.db.ExecuteStatement("pragma wal_autocheckpoint=0;");
    browser.bookmark(toolbarRoot, 0, "Only in the log", "https://wal.example/");
    ASSERT_GT(std::filesystem::file_size(file + "-wal"), 0u);
    ASSERT_EQ(readText(file).find("wal.example"), std::string::npos);

    const std::string privateTemp = temp.path("tmp");
    std::filesystem::create_directories(privateTemp);
    const char* oldTemp = std::getenv("TMPDIR");
    const std::string savedTemp = oldTemp ? oldTemp : "";
    ::setenv("TMPDIR", privateTemp.c_str(), 1);
    const auto before = stateOf(profile);
    const ImportTree tree = readFirefoxPlaces(file);
    const auto after = stateOf(profile);
    const bool copyLeft = !std::filesystem::is_empty(privateTemp);
    oldTemp ? ::setenv("TMPDIR", savedTemp.c_str(), 1) : ::unsetenv("TMPDIR");

    EXPECT_EQ(outline(tree.root), "+ Bookmarks Toolbar\n  - Only in the log | https://wal.example/ |  | 1\n");
    EXPECT_EQ(before.size(), 3u) << "places.sqlite, its -wal and -shm";
    EXPECT_TRUE(before == after) << "the browser's files were changed";
    EXPECT_FALSE(copyLeft) << "the private copy was left behind";
}

TEST_F(FirefoxPlacesTest, DatabaseLockedByAnotherConnectionGivesWhatWasCommitted)
{
    Places places(file);
    places.bookmark(menuRoot, 0, "Committed", "https://committed.example/");
    places.db.ExecuteStatement("begin exclusive;");
    places.bookmark(menuRoot, 1, "Pending", "https://pending.example/");
    EXPECT_EQ(outline(readFirefoxPlaces(file).root),
              "+ Bookmarks Menu\n  - Committed | https://committed.example/ |  | 1\n");
    places.db.ExecuteStatement("commit;");
}

TEST_F(FirefoxPlacesTest, DamagedOrForeignDatabasesAreRefusedByName)
{
    const std::string refused = "The file \"" + file + "\" is not a Firefox bookmark database.";
    {
        Places places(file);
        for (int i = 0; i < 2000; ++i)
            places.bookmark(menuRoot, i, "Bookmark number " + std::to_string(i),
                            "https://example.com/" + std::to_string(i));
    }
    const std::string whole = readText(file);
    writeText(file, whole.substr(0, whole.size() / 2));
    EXPECT_EQ(errorOf(readPlaces, file), refused) << "truncated";
    writeText(file, std::string(100, '\x5A') + whole.substr(100));
    EXPECT_EQ(errorOf(readPlaces, file), refused) << "header overwritten";
    writeText(file, "");
    EXPECT_EQ(errorOf(readPlaces, file), refused) << "empty";
    std::filesystem::remove(file);
    {
        CppSQLite3DB other;
        other.Open(file.c_str());
        other.ExecuteStatement("create table moz_bookmarks (id integer primary key, type integer, parent integer,"
                               " position integer, title text, fk integer);"
                               "create table moz_places (id integer primary key, url text);");
    }
    EXPECT_EQ(errorOf(readPlaces, file), refused) << "no guid column";
    std::filesystem::remove(file);
    EXPECT_EQ(errorOf(readPlaces, file), "The file \"" + file + "\" cannot be read.");
}

TEST_F(FirefoxPlacesTest, CircularParentsAndDeepNestingEnd)
{
    {
        Places places(file);
        int parent = menuRoot;
        for (int level = 0; level < maxImportDepth + 3; ++level)
            parent = places.folder(parent, 0, numbered("L", level));
        places.bookmark(parent, 0, "Bottom", "https://bottom.example/");
        // Damaged parents: the toolbar's own parent is a folder inside the toolbar.
        const int loop = places.folder(toolbarRoot, 0, "Loop");
        places.db.ExecuteStatement(
            ("update moz_bookmarks set parent = " + std::to_string(loop) + " where id = " + std::to_string(toolbarRoot))
                .c_str());
    }
    const ImportTree tree = readFirefoxPlaces(file);
    EXPECT_EQ(countFolders(tree.root), maxImportDepth + 2) << "Menu with 199 levels, Toolbar with Loop";
    EXPECT_EQ(tree.skipped, 4 + 1) << "four folders and the bookmark below the limit";
}

TEST_F(FirefoxPlacesTest, CraftedDatabasesAreBoundedOrRefused)
{
    const std::string refused = "The file \"" + file + "\" is not a Firefox bookmark database.";
    struct Case {
        const char* what;
        std::function<void(Places&)> craft;
        std::string outline;  // or the error
        int skipped;
    };
    const std::string bookmarksColumns =
        "id, type, fk, parent, position, title, keyword_id, folder_type, dateAdded, lastModified, guid";
    const Case cases[] = {
        {"bookmarks as a view over a never-ending query",
         [&](Places& p) {
             p.db.ExecuteStatement(("alter table moz_bookmarks rename to real_bookmarks; create view moz_bookmarks as "
                                    "with recursive n(i) as (select 1 union all select i + 1 from n) select "
                                    + bookmarksColumns + " from real_bookmarks, n;")
                                       .c_str());
         },
         refused, 0},
        {"a title generated on reading, 9 MB long for every row",
         [&](Places& p) {
             p.db.ExecuteStatement("alter table moz_bookmarks rename to old_bookmarks; create table moz_bookmarks ("
                                   "id integer primary key, type, fk, parent, position, guid,"
                                   " title as (printf('%.*c', 9000000, 'x')));"
                                   "insert into moz_bookmarks select id, type, fk, parent, position, guid"
                                   " from old_bookmarks;");
         },
         refused, 0},
        {"folders whose parents go round in a circle are counted as left out",
         [](Places& p) {
             const int a = p.folder(menuRoot, 0, "A");
             const int b = p.folder(a, 0, "B");
             p.bookmark(b, 0, "In the loop", "https://loop.example/");
             p.db.ExecuteStatement(
                 ("update moz_bookmarks set parent = " + std::to_string(b) + " where id = " + std::to_string(a))
                     .c_str());
             p.bookmark(toolbarRoot, 0, "Kept", "https://kept.example/");
         },
         "+ Bookmarks Toolbar\n  - Kept | https://kept.example/ |  | 1\n", 3},
        {"titles are one line and cut, untitled ones named after their address, overlong addresses left out",
         [](Places& p) {
             p.bookmark(menuRoot, 0, "two\nlines", "https://a.example/");
             p.bookmark(menuRoot, 1, "", "https://untitled.example/");
             p.bookmark(menuRoot, 2, std::string(5000, 'x'), "https://x.example/");
             p.bookmark(menuRoot, 3, "Long", "https://l.example/" + std::string(70000, 'a'));
             p.bookmark(menuRoot, 4, "Script", "java\tscript:alert(1)");
         },
         "+ Bookmarks Menu\n  - two lines | https://a.example/ |  | 1\n"
         "  - https://untitled.example/ | https://untitled.example/ |  | 1\n"
         "  - "
             + std::string(maxTitleCharacters, 'x') + " | https://x.example/ |  | 1\n",
         2},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        std::filesystem::remove(file);
        {
            Places places(file);
            c.craft(places);
        }
        try {
            const ImportTree tree = readFirefoxPlaces(file);
            EXPECT_EQ(outline(tree.root), c.outline);
            EXPECT_EQ(tree.skipped, c.skipped);
        } catch (const std::runtime_error& error) {
            EXPECT_EQ(error.what(), c.outline);
        }
    }
}

TEST_F(FirefoxPlacesTest, TheReadStopsWhenAskedAndHugeCopiesAreRefused)
{
    {
        Places places(file);
        for (int i = 0; i < 200; ++i)
            places.bookmark(menuRoot, i, "B", "https://b.example/");
    }
    StopWhen stopAtOnce([] { return true; });
    EXPECT_THROW(readFirefoxPlaces(file, stopAtOnce), ReadStopped);
    // A sparse file: large on paper, no disk used.
    std::filesystem::resize_file(file, 1025ull * 1024 * 1024);
    EXPECT_EQ(errorOf(readPlaces, file), "The file \"" + file + "\" is too large to import.");
}

TEST_F(FirefoxPlacesTest, CopiesLeftByAKilledReadAreRemovedAndOnlyThose)
{
    const std::string cache = temp.path("cache");
    const char* saved = std::getenv("XDG_CACHE_HOME");
    const std::string before = saved ? saved : "";
    ::setenv("XDG_CACHE_HOME", cache.c_str(), 1);
    const std::string copies = cache + "/varnelo/profile-copies/";
    // A process id no process has: beyond the kernel's largest.
    writeText(copies + "places-99999999-abc123/places.sqlite", "left by a killed read");
    writeText(copies + "places-" + std::to_string(::getpid()) + "-def456/places.sqlite", "a read going on");
    {
        Places places(file);
    }
    EXPECT_EQ(countEntries(readFirefoxPlaces(file).root), 0);
    EXPECT_FALSE(std::filesystem::exists(copies + "places-99999999-abc123"));
    EXPECT_TRUE(std::filesystem::exists(copies + "places-" + std::to_string(::getpid()) + "-def456"));
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(copies), std::filesystem::directory_iterator()), 1)
        << "the read's own copy is gone too";
    if (saved)
        ::setenv("XDG_CACHE_HOME", before.c_str(), 1);
    else
        ::unsetenv("XDG_CACHE_HOME");
}
