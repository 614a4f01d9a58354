// SPDX-License-Identifier: GPL-3.0-or-later
#include "clirunner.h"
#include "tempfolder.h"

#include <gtest/gtest.h>

#include <fstream>

namespace {

std::vector<std::string> fields(const std::string& line)
{
    std::vector<std::string> found;
    std::size_t start = 0;
    for (std::size_t end; (end = line.find('\t', start)) != std::string::npos; start = end + 1)
        found.push_back(line.substr(start, end - start));
    found.push_back(line.substr(start));
    return found;
}

}  // namespace

TEST(CliBackups, ListsTheBackupsMadeBeforeRiskyCommandsAndRestoresOneByName)
{
    TempFolder dir;
    const std::string db = dir.path("FavoritesDB.db");
    std::ofstream(dir.path("b.html")) << "<DL><DT><A HREF=\"https://example.org/\">Example</A></DL>";
    ASSERT_EQ(runCli({"--db", db, "backups"}).out, "");
    ASSERT_EQ(runCli({"--db", db, "import", "--category", "General files", dir.path("b.html")}).status, 0);

    const std::vector<std::string> listed = lines(runCli({"--db", db, "backups"}).out);
    ASSERT_EQ(listed.size(), 1u);
    const std::vector<std::string> first = fields(listed[0]);
    ASSERT_EQ(first.size(), 5u);
    EXPECT_EQ(first[2], "before import of b.html");
    EXPECT_EQ(first[3], "6");
    EXPECT_EQ(first[4], "0");

    // Restored by its name, the catalogue loses the import; the state it replaced is backed up first.
    const CliResult restored = runCli({"--db", db, "restore", first[0]});
    EXPECT_EQ(restored.status, 0) << restored.err;
    EXPECT_EQ(runCli({"--db", db, "ls", "General files"}).out, "");
    const std::vector<std::string> after = lines(runCli({"--db", db, "backups"}).out);
    ASSERT_EQ(after.size(), 2u);
    EXPECT_EQ(fields(after[0])[2], "before restore");
    EXPECT_EQ(fields(after[0])[4], "1");

    const CliResult unknown = runCli({"--db", db, "restore", "daily-2020-01-01_00-00-00"});
    EXPECT_EQ(unknown.status, 1);
    EXPECT_EQ(lines(runCli({"--db", db, "backups"}).out).size(), 2u);
}
