// SPDX-License-Identifier: GPL-3.0-or-later
// The command line and another writer on one catalogue at the same time: SQLite's locks and the busy
// timeout put them in turn, and nothing either of them stored is lost or damaged.
#include "clirunner.h"
#include "tempfolder.h"

#include "commands/cataloguecommands.h"
#include "commands/catalogueopening.h"

#include <gtest/gtest.h>

#include <QProcess>

#include <atomic>
#include <memory>
#include <set>
#include <thread>

namespace {

constexpr int processes = 20;
constexpr int itemsPerProcess = 50;
constexpr int runningAtOnce = 4;

TEST(CliConcurrency, ThousandAddsBesideAnotherWriter)
{
    TempFolder folder;
    const std::string db = folder.path("c.db");
    {
        CDBManager setup;
        openCatalogue(setup, db);
    }
    std::atomic<bool> done{false};
    int edits = 0;
    int categoriesMade = 0;
    std::string editedGuid;
    // The second writer, as the window would: renames one item and adds categories, committing each.
    std::thread writer([&] {
        CDBManager other;
        openCatalogue(other, db);
        CatalogueCommands commands(other);
        CCategory& general = *other.GetRootCategory().GetChild(0);
        commands.appendItems(general, {{"edited", "/edited", {}, CLinkItem::FileType}}, Progress::none(),
                             [](const CLinkItems&) {});
        CLinkItem& item = *general.GetItem(general.GetItemCount() - 1);
        editedGuid = item.GetGuid();
        while (!done) {
            commands.editItem(item, {"edited " + std::to_string(++edits), "/edited", {}, CLinkItem::FileType});
            commands.addCategory(other.GetRootCategory(), "made " + std::to_string(++categoriesMade), 0);
        }
    });
    std::vector<std::unique_ptr<QProcess>> running;
    for (int p = 0; p < processes; ++p) {
        QStringList args{"--db", QString::fromStdString(db), "add", "--category", "Favorite websites"};
        for (int i = 0; i < itemsPerProcess; ++i)
            args << QStringLiteral("https://example.org/%1/%2").arg(p).arg(i);
        auto process = std::make_unique<QProcess>();
        process->start(QStringLiteral(VARNELO_CLI), args);
        running.push_back(std::move(process));
        if (running.size() == runningAtOnce || p == processes - 1) {
            for (auto& each : running) {
                ASSERT_TRUE(each->waitForFinished(120000));
                EXPECT_EQ(each->exitCode(), 0) << each->readAllStandardError().toStdString();
                EXPECT_EQ(lines(each->readAllStandardOutput().toStdString()).size(), std::size_t(itemsPerProcess));
            }
            running.clear();
        }
    }
    done = true;
    writer.join();

    const CliResult listed = runCli({"--db", db, "ls", "Favorite websites"});
    std::set<std::string> targets;
    for (const std::string& line : lines(listed.out))
        targets.insert(line.substr(line.find("https://")));
    EXPECT_EQ(targets.size(), std::size_t(processes * itemsPerProcess));
    EXPECT_GT(edits, 0);
    EXPECT_NE(runCli({"--db", db, "ls", "General files"}).out.find("edited " + std::to_string(edits) + "\t"),
              std::string::npos);
    EXPECT_NE(runCli({"--db", db, "ls"}).out.find("\tmade " + std::to_string(categoriesMade) + "\n"),
              std::string::npos);
    CDBManager check;
    check.Open(db);
    EXPECT_EQ(std::string(check.ExecuteQuery("pragma integrity_check;").FieldValue(0)), "ok");
}

}  // namespace
