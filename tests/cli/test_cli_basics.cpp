// SPDX-License-Identifier: GPL-3.0-or-later
// Global options, exit statuses, category paths and the escaping of output, through ls.
#include "clirunner.h"
#include "tempfolder.h"

#include "commands/cataloguecommands.h"
#include "commands/catalogueopening.h"

#include <gtest/gtest.h>

#include <filesystem>

#include <QProcess>
#include <QProcessEnvironment>

namespace {

// A catalogue with the built-in categories plus "News/Sport", two top-level "Twin"s, a "A/B" (slash
// in the name) and one item whose title is not UTF-8.
struct PathCatalogue {
    TempFolder folder;
    std::string db = folder.path("catalogue.db");
    std::string twin1, twin2, slashed;

    PathCatalogue()
    {
        CDBManager manager;
        openCatalogue(manager, db);
        CatalogueCommands commands(manager);
        CCategory& root = manager.GetRootCategory();
        CCategory& news = commands.addCategory(root, "News", 0);
        commands.addCategory(news, "Sport", 0);
        twin1 = commands.addCategory(root, "Twin", 0).GetGuid();
        twin2 = commands.addCategory(root, "Twin", 0).GetGuid();
        slashed = commands.addCategory(root, "A/B", 0).GetGuid();
        commands.appendItems(news, {{std::string("caf\xE9\tbar"), "https://example.org/", "", CLinkItem::WebType}},
                             Progress::none(), [](const CLinkItems&) {});
    }
};

TEST(CliBasics, OptionsStatusesAndPaths)
{
    PathCatalogue c;
    struct Case {
        std::vector<std::string> args;
        int status;
        std::string outHas;  // in stdout ("" for no check)
        std::string errHas;  // in stderr ("" for an empty stderr)
    };
    const std::vector<Case> cases = {
        {{"--db", c.db, "ls"}, 0, "category\t" + c.slashed + "\tA\\/B\n", ""},
        {{"ls", "--db", c.db, "News"}, 0, "News/Sport", ""},
        {{"--db=" + c.db, "ls", "/News/Sport"}, 0, "", ""},
        {{"--db", c.db, "ls", "A\\/B"}, 0, "", ""},
        {{"--db", c.db, "ls", c.twin2}, 0, "", ""},
        {{"--db", c.db, "--json", "ls", "News"}, 0, "{\"kind\":\"web\",\"guid\":", ""},
        // a byte that is not UTF-8 is escaped, a tab in a text too
        {{"--db", c.db, "ls", "News"}, 0, "caf\\xe9\\tbar", ""},
        {{"--db", c.db, "--json", "ls", "News"}, 0, "\"title\":\"caf\\udce9\\tbar\"", ""},
        {{"--db", c.db, "ls", "Twin"}, 1, "", c.twin1 + ", " + c.twin2},
        {{"--db", c.db, "ls", "News/Nothing"}, 1, "", "No category \"News/Nothing\""},
        {{"--db", c.db, "ls", "A/B"}, 1, "", "No category \"A\""},
        {{"--db", c.folder.path("missing/dir/x.db"), "ls"}, 1, "", "Cannot open the catalogue"},
        {{"--db", c.db, "ls", "--", "--title"}, 1, "", "No category \"--title\""},
        {{"--db", c.db, "ls", "--title"}, 2, "", "unknown option '--title' for 'ls'"},
        {{"--db", c.db, "ls", "a", "b"}, 2, "", "usage: varnelo-cli ls"},
        {{"--db"}, 2, "", "option '--db' needs PATH"},
        {{"frobnicate"}, 2, "", "unknown command"},
        {{}, 2, "", "no command given"},
        {{"--version"}, 0, "varnelo-cli 1.1.0\n", ""},
        {{"ls", "--help"}, 0, "Usage: varnelo-cli [--db PATH] [--json] ls [CATEGORY]", ""},
    };
    for (const Case& test : cases) {
        const CliResult result = runCli(test.args);
        std::string shown;
        for (const std::string& arg : test.args)
            shown += arg + " ";
        SCOPED_TRACE(shown);
        EXPECT_EQ(result.status, test.status) << result.err;
        EXPECT_NE(result.out.find(test.outHas), std::string::npos) << result.out;
        if (test.errHas.empty()) {
            EXPECT_EQ(result.err, "");
        } else {
            EXPECT_NE(result.err.find(test.errHas), std::string::npos) << result.err;
        }
        // a failure says why in exactly one line
        if (test.status == 1) {
            EXPECT_EQ(lines(result.err).size(), 1u) << result.err;
        }
    }
    EXPECT_FALSE(std::filesystem::exists(c.folder.path("missing")));
}

}  // namespace

namespace {

// Runs a shell line with $CLI standing for varnelo-cli; its stdout.
std::string shell(const std::string& line)
{
    QProcess process;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("CLI"), QStringLiteral(VARNELO_CLI));
    process.setProcessEnvironment(environment);
    process.start(QStringLiteral("/bin/sh"), {QStringLiteral("-c"), QString::fromStdString(line)});
    process.waitForFinished(120000);
    return process.readAllStandardOutput().toStdString();
}

}  // namespace

// A change that was stored must not be reported as failed (a retrying script would make it twice),
// and a reader that stops reading early is no failure worth a message.
TEST(CliBasics, TheStatusTellsAStoredChangeFromAFailedOneAndAClosedPipeIsQuiet)
{
    TempFolder folder;
    const std::string db = folder.path("c.db");
    ASSERT_EQ(runCli({"--db", db, "ls"}).status, 0);
    const std::string cli = "\"$CLI\" --db '" + db + "' ";
    EXPECT_EQ(shell(cli + "add https://example.org/ >/dev/full 2>" + folder.path("err") + "; echo $?"), "3\n");
    EXPECT_NE(shell("cat " + folder.path("err")).find("The change is stored"), std::string::npos);
    EXPECT_EQ(lines(runCli({"--db", db, "ls", "Favorite websites"}).out).size(), 1u);
    EXPECT_EQ(shell(cli + "mkcat Later >/dev/full 2>/dev/null; echo $?"), "3\n");
    // Commands that store their change on their own: a sync, a restore.
    ASSERT_TRUE(std::filesystem::create_directory(folder.path("place")));
    EXPECT_EQ(shell(cli + "sync --place '" + folder.path("place") + "' >/dev/full 2>/dev/null; echo $?"), "3\n");
    ASSERT_EQ(runCli({"--db", db, "backup", folder.path("b.mbk")}).status, 0);
    EXPECT_EQ(shell(cli + "restore '" + folder.path("b.mbk") + "' >/dev/full 2>/dev/null; echo $?"), "3\n");

    // More than a pipe holds, read by a reader that takes one byte and goes.
    {
        CDBManager catalogue;
        catalogue.Open(db);
        catalogue.ExecuteStatement("insert into link_table (guid,name,target,category,star,comment,type) "
                                   "with recursive n(v) as (select 1 union all select v + 1 from n where v < 3000) "
                                   "select lower(hex(randomblob(16))), printf('%0100d', v), 'https://e.org/', "
                                   "'5EE0962C-217D-411a-BB72-6261B1B4F5BF', 0, '', 1 from n;");
    }
    EXPECT_EQ(shell("{ " + cli + "ls 'General files' 2>" + folder.path("err") + "; echo $? >" + folder.path("status")
                    + "; } | head -c 1 >/dev/null; cat " + folder.path("status") + " " + folder.path("err")),
              "141\n");
}
