// SPDX-License-Identifier: GPL-3.0-or-later
// The bulk commands: export and import of bookmark files, a browser profile, a folder of documents,
// backup and restore, each with the input the importers or the backup checks refuse.
#include "clirunner.h"
#include "tempfolder.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

namespace {

void write(const std::string& path, const std::string& text)
{
    std::filesystem::create_directories(std::filesystem::path(path).parent_path());
    std::ofstream(path) << text;
}

TEST(CliBulk, ImportExportBackupRestore)
{
    TempFolder folder;
    const std::string db = folder.path("c.db");
    const std::string home = folder.path("home");
    write(home + "/.config/chromium/Default/Bookmarks",
          R"({"roots":{"bookmark_bar":{"type":"folder","name":"Bar","children":[)"
          R"({"type":"url","name":"Chromium link","url":"https://chromium.example/"}]}}})");
    write(folder.path("docs/a.txt"), "a");
    write(folder.path("docs/sub/b.txt"), "b");
    write(folder.path("junk.html"), std::string("\x00\x01 not a bookmark file", 22));
    write(folder.path("junk.mbk"), "not a backup");
    runSteps(
        db,
        {
            /* 0 */ {{"add", "https://one.example/", "https://two.example/"}, 0, ""},
            /* 1 */ {{"export", folder.path("out.html")}, 0, "Exported 6 categories and 2 items.\n"},
            /* 2 */ {{"mkcat", "Copy"}, 0, ""},
            /* 3 */
            {{"import", "--category", "Copy", folder.path("out.html")},
             0,
             "Imported 6 categories and 2 web addresses.\n"},
            /* 4 */ {{"ls", "Copy/Favorite websites"}, 0, "https://two.example/"},
            /* 5 */ {{"import", "--category", "Copy", folder.path("junk.html")}, 1, ""},
            /* 6 */ {{"import", "--category", "Copy", folder.path("missing.html")}, 1, ""},
            /* 7 */ {{"import", folder.path("out.html")}, 2, ""},
            /* 8 */ {{"browsers"}, 0, "Chromium\tDefault\t1\t" + home + "/.config/chromium/Default\n"},
            /* 9 */
            {{"import", "--category", "Copy", "--browser", "Chromium/Default"},
             0,
             "Imported 1 category and 1 web address.\n"},
            /* 10 */ {{"import", "--category", "Copy", "--browser", "Firefox/none"}, 1, ""},
            /* 11 */
            {{"add-folder", "--category", "General files", folder.path("docs")}, 0, "Added 1 category and 2 files.\n"},
            /* 12 */ {{"add-folder", "--category", "General files", folder.path("nothing")}, 1, ""},
            /* 13 */ {{"backup", folder.path("c.mbk")}, 0, "Successfully finish backup!\n"},
            /* 14 */ {{"rmcat", "Copy"}, 0, ""},
            /* 15 */ {{"restore", folder.path("junk.mbk")}, 1, ""},
            /* 16 */ {{"ls", "Copy"}, 1, ""},
            /* 17 */ {{"restore", folder.path("c.mbk")}, 0, "Successfully finish restoring!\n"},
            /* 18 */ {{"ls", "Copy/Bookmarks bar"}, 0, "Chromium link"},
        },
        home);
}

}  // namespace
