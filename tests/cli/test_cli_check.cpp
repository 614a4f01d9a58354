// SPDX-License-Identifier: GPL-3.0-or-later
// varnelo-cli check: which checks run, the branch option, the JSON findings and the exit statuses.
#include "clirunner.h"
#include "tempfolder.h"

#include "commands/cataloguecommands.h"
#include "commands/catalogueopening.h"

#include <QJsonDocument>
#include <QJsonObject>

#include <gtest/gtest.h>

#include <fstream>
#include <set>

namespace {

// "Lost" holds a missing file; "Web" a dead address (an .invalid host) filed twice and one that is
// never fetched.
struct CheckCatalogue {
    TempFolder folder;
    std::string db = folder.path("catalogue.db");

    CheckCatalogue()
    {
        CDBManager manager;
        openCatalogue(manager, db);
        CatalogueCommands commands(manager);
        CCategory& root = manager.GetRootCategory();
        const auto none = [](const CLinkItems&) {};
        commands.appendItems(commands.addCategory(root, "Lost", 0),
                             {{"Notes", "/nowhere/notes.txt", "", CLinkItem::FileType}}, Progress::none(), none);
        commands.appendItems(commands.addCategory(root, "Web", 0),
                             {{"Gone", "http://gone.invalid/", "", CLinkItem::WebType},
                              {"Gone again", "HTTP://Gone.invalid:80", "", CLinkItem::WebType},
                              {"Script", "javascript:alert(1)", "", CLinkItem::WebType}},
                             Progress::none(), none);
    }
};

std::multiset<std::string> kinds(const std::string& out)
{
    std::multiset<std::string> found;
    for (const std::string& line : lines(out)) {
        const QJsonObject object = QJsonDocument::fromJson(QByteArray::fromStdString(line)).object();
        EXPECT_FALSE(object.value("guid").toString().isEmpty()) << line;
        EXPECT_FALSE(object.value("target").toString().isEmpty()) << line;
        EXPECT_FALSE(object.value("detail").toString().isEmpty()) << line;
        found.insert(object.value("kind").toString().toStdString());
    }
    return found;
}

}  // namespace

TEST(CliCheck, ChecksWhatIsAskedAndExitsZeroWithProblems)
{
    CheckCatalogue c;
    struct Case {
        std::vector<std::string> args;
        std::multiset<std::string> kinds;
    };
    const std::vector<Case> cases = {
        {{"--files"}, {"missing"}},
        {{"--links"}, {"dead", "dead", "not-checked"}},
        {{"--duplicates"}, {"duplicate", "duplicate"}},
        {{"--category", "Lost"}, {"missing"}},
        {{"--category", "Web", "--files"}, {}},
        {{}, {"missing", "dead", "dead", "not-checked", "duplicate", "duplicate"}},
    };
    for (const Case& each : cases) {
        std::vector<std::string> args = {"--db", c.db, "--json", "check"};
        args.insert(args.end(), each.args.begin(), each.args.end());
        const CliResult result = runCli(args);
        SCOPED_TRACE(result.err);
        EXPECT_EQ(result.status, 0);
        EXPECT_EQ(kinds(result.out), each.kinds);
    }
}

TEST(CliCheck, FailsWhenTheCheckItselfCannotRun)
{
    TempFolder folder;
    const std::string notCatalogue = folder.path("text.db");
    std::ofstream(notCatalogue) << "plain text, not a catalogue, long enough to be read as a file header";
    EXPECT_EQ(runCli({"--db", notCatalogue, "check"}).status, 1);
    CheckCatalogue c;
    EXPECT_EQ(runCli({"--db", c.db, "check", "--category", "No such category"}).status, 1);
}
