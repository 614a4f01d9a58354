// SPDX-License-Identifier: GPL-3.0-or-later
// search through the quick find index: the catalogue's hits in its order, whether the index is there,
// stale, or not there at all (and then the search makes it).
#include "clirunner.h"
#include "tempfolder.h"

#include "commands/cataloguecommands.h"
#include "commands/catalogueopening.h"
#include "search/searchindex.h"

#include <gtest/gtest.h>
#include <sqlite3.h>

#include <cstdlib>
#include <filesystem>

namespace {

std::vector<std::string> firstFields(const std::string& output)
{
    std::vector<std::string> guids;
    for (const std::string& line : lines(output))
        guids.push_back(line.substr(0, line.find('\t')));
    return guids;
}

std::vector<std::string> likeSearchGuids(const std::string& db, const std::string& keyword)
{
    CDBManager manager;
    openCatalogue(manager, db);
    std::vector<std::string> guids;
    for (const CSearchItem& hit : manager.SearchItems(true, true, true, keyword))
        guids.push_back(hit.guid);
    return guids;
}

TEST(CliSearch, AnswersAsTheCatalogueWithOrWithoutTheWindowsIndex)
{
    TempFolder folder;
    const std::string db = folder.path("catalogue.db");
    const std::string cache = folder.path("cache");
    ::setenv("XDG_CACHE_HOME", cache.c_str(), 1);
    {
        CDBManager manager;
        openCatalogue(manager, db);
        CatalogueCommands commands(manager);
        CCategory& general = *manager.GetRootCategory().GetChild(0);
        commands.appendItems(general,
                             {{"Quarterly report", "/q.pdf", "", 0},
                              {"Notes", "/report.txt", "", 0},
                              {"Unrelated", "/u", "", 0},
                              {"Draft", "/d", "the REPORT's draft", 0}},
                             Progress::none(), [](const CLinkItems&) {});
    }
    const CliResult scanned = runCli({"--db", db, "search", "report"});
    ASSERT_EQ(scanned.status, 0) << scanned.err;
    EXPECT_EQ(firstFields(scanned.out), likeSearchGuids(db, "report"));
    EXPECT_TRUE(std::filesystem::exists(search::SearchIndex::indexPathFor(db, cache + "/Varnelo")));

    {
        search::SearchIndex index(db, search::SearchIndex::indexPathFor(db, cache + "/Varnelo"));
        ASSERT_TRUE(index.update()) << index.lastError();
    }
    // Changed behind the index's back, as by a program that keeps none.
    sqlite3* raw = nullptr;
    sqlite3_open(db.c_str(), &raw);
    sqlite3_exec(raw,
                 "update link_table set name='Quarterly summary' where name='Quarterly report';"
                 "insert into link_table (guid,name,target,category,comment) values('late','Late report','/l','x','');",
                 nullptr, nullptr, nullptr);
    sqlite3_close(raw);
    const CliResult indexed = runCli({"--db", db, "search", "report"});
    ASSERT_EQ(indexed.status, 0) << indexed.err;
    EXPECT_EQ(firstFields(indexed.out), likeSearchGuids(db, "report"));
    EXPECT_EQ(firstFields(indexed.out).back(), "late");
    ::unsetenv("XDG_CACHE_HOME");
}

}  // namespace
