// SPDX-License-Identifier: GPL-3.0-or-later
// mvcat and cpcat from the command line: where a branch lands, and refusals that change nothing.
#include "clirunner.h"
#include "tempfolder.h"

#include "commands/cataloguecommands.h"
#include "commands/catalogueopening.h"

#include <gtest/gtest.h>

namespace {

// name:level:parent name of every category in row order, and the number of items.
std::string stored(const std::string& path)
{
    CppSQLite3DB db;
    db.Open(path.c_str());
    std::string out;
    const char* sql = "select c.name||':'||c.level||':'||coalesce(p.name,'-') as r from category_table c "
                      "left join category_table p on p.guid=c.parent_guid where c.system=0 order by c.itemorder";
    for (CppSQLite3Query row = db.ExecuteQuery(sql); !row.Eof(); row.NextRow())
        out += row.fieldText("r") + " ";
    return out + std::to_string(db.ExecuteScalar("select count(*) from link_table"));
}

}  // namespace

TEST(CliMvcat, BranchesMoveAndCopyUnderTheTargetAndNeverIntoThemselves)
{
    TempFolder folder;
    const std::string db = folder.path("catalogue.db");
    {
        CDBManager manager;
        openCatalogue(manager, db);
        CatalogueCommands commands(manager);
        CCategory& news = commands.addCategory(manager.GetRootCategory(), "News", 0);
        CCategory& sport = commands.addCategory(news, "Sport", 0);
        commands.appendItems(sport, {{"Scores", "https://example.org/", "", CLinkItem::WebType}}, Progress::none(),
                             [](const CLinkItems&) {});
    }
    const struct {
        std::vector<std::string> args;
        int status;
        std::string after;
    } steps[] = {
        {{"mvcat", "News", "--to", "News/Sport"}, 1, "News:0:- Sport:1:News 1"},
        {{"mvcat", "News", "--to", "News"}, 1, "News:0:- Sport:1:News 1"},
        {{"cpcat", "News", "--to", "News/Sport"}, 1, "News:0:- Sport:1:News 1"},
        {{"mvcat", "News", "--to", "Office documents/Word documents"}, 0, "News:2:Word documents Sport:3:News 1"},
        {{"cpcat", "Office documents/Word documents/News", "--to", "/"},
         0,
         "News:2:Word documents Sport:3:News News:0:- Sport:1:News 2"},
        {{"mvcat", "Office documents/Word documents/News/Sport", "--to", "/"},
         0,
         "News:2:Word documents Sport:0:- News:0:- Sport:1:News 2"},
        {{"mvcat", "News"}, 2, "News:2:Word documents Sport:0:- News:0:- Sport:1:News 2"},
    };
    for (const auto& step : steps) {
        std::vector<std::string> args{"--db", db};
        args.insert(args.end(), step.args.begin(), step.args.end());
        const CliResult result = runCli(args);
        SCOPED_TRACE(step.args[0] + " " + step.args[1]);
        EXPECT_EQ(result.status, step.status) << result.err;
        EXPECT_EQ(stored(db), step.after);
    }
    const CliResult refused = runCli({"--db", db, "mvcat", "Sport", "--to", "Sport"});
    EXPECT_EQ(refused.err, "varnelo-cli: The category \"Sport\" cannot go into itself or one of its subcategories.\n");
}
