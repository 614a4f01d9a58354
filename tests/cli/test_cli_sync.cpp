// SPDX-License-Identifier: GPL-3.0-or-later
// varnelo-cli sync between two catalogues through a folder: what it prints, what it keeps, how it fails.
#include "clirunner.h"
#include "tempfolder.h"

#include "webdavservers.h"

#include "storage/cppsqlite3.h"

#include <QDateTime>

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <map>

TEST(CliSync, TwoCataloguesSyncThroughAFolderAndThePlaceIsKept)
{
    TempFolder folder;
    const std::string a = folder.path("a.db"), b = folder.path("b.db"), place = folder.path("place");
    std::filesystem::create_directory(place);
    ASSERT_EQ(runCli({"--db", a, "ls"}).status, 0);
    {
        CppSQLite3DB db;
        db.Open(a.c_str());
        db.ExecuteStatement("insert into link_table (guid,name,target,category,star,comment,type) values"
                            "('i1','shared','https://example.org','5EE0962C-217D-411a-BB72-6261B1B4F5BF',0,'',1);");
    }
    std::ofstream(folder.path("password")) << "unused\n";
    std::ofstream(folder.path("huge")) << std::string(1 << 20, 'p');
    struct Case {
        std::vector<std::string> args;
        int status;
        std::string outHas, errHas;
    };
    const std::vector<Case> cases = {
        {{"--db", a, "sync"}, 1, "", "varnelo-cli: No sync place is set"},
        {{"--db", a, "sync", "--place", place, "--password-file", folder.path("password")},
         0,
         "received 0, sent 7, nothing changed here",
         ""},
        {{"--db", b, "--json", "sync", "--place", place}, 0, "{\"received\":7,\"sent\":0,\"changed\":\"yes\"}", ""},
        // the place was kept with each catalogue
        {{"--db", b, "sync"}, 0, "received 0, sent 0, nothing changed here", ""},
        {{"--db", b, "ls", "General files"}, 0, "shared", ""},
        {{"--db", a, "sync", "--place", folder.path("missing")}, 1, "", "The sync folder is not there"},
        {{"--db", a, "sync", "--password-file", folder.path("none")}, 1, "", "cannot read the password file"},
        {{"--db", a, "sync", "--password-file", "/dev/zero"}, 1, "", "cannot read the password file"},
        {{"--db", a, "sync", "--passphrase-file", folder.path("huge")}, 1, "", "cannot read the passphrase file"},
    };
    for (const Case& c : cases) {
        const CliResult result = runCli(c.args);
        EXPECT_EQ(result.status, c.status) << c.args.back() << result.err;
        EXPECT_NE(result.out.find(c.outHas), std::string::npos) << result.out;
        if (c.errHas.empty())
            EXPECT_EQ(result.err, "");
        else
            EXPECT_NE(result.err.find(c.errHas), std::string::npos) << result.err;
    }
}

// While another program's sync holds the catalogue, a second one gives up after a few seconds and
// says so, instead of waiting as long as the first one takes.
TEST(CliSync, ASecondSyncOfTheCatalogueGivesUpWhileAnotherRuns)
{
    TempFolder folder;
    const std::string db = folder.path("a.db"), place = folder.path("place");
    std::filesystem::create_directory(place);
    ASSERT_EQ(runCli({"--db", db, "ls"}).status, 0);
    const int held = ::open((db + ".sync-lock").c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    ASSERT_EQ(::flock(held, LOCK_EX | LOCK_NB), 0);
    const CliResult result = runCli({"--db", db, "sync", "--place", place});
    ::close(held);
    EXPECT_EQ(result.status, 1);
    EXPECT_EQ(result.err, "varnelo-cli: A sync of this catalogue is already running.\n");
    EXPECT_EQ(runCli({"--db", db, "sync", "--place", place}).status, 0);
}

namespace {

constexpr const char* fakeTimeLibrary = "/usr/lib/x86_64-linux-gnu/faketime/libfaketime.so.1";

// One machine running varnelo-cli: its catalogue and how wrong its clock is (a libfaketime offset).
struct Machine {
    std::string db;
    std::string clock;
};

// The command on the machine, its clock moved on by `later` (a libfaketime offset too) on top.
CliResult on(const Machine& machine, std::vector<std::string> args, const std::string& clock = {})
{
    args.insert(args.begin(), {"--db", machine.db});
    const std::string offset = clock.empty() ? machine.clock : clock;
    if (offset.empty())
        return runCli(args);
    // Under AddressSanitizer the preloaded library comes before its runtime, which it allows when told.
    const std::string sanitizer = qEnvironmentVariable("ASAN_OPTIONS").toStdString();
    return runCli(args, {},
                  {{"LD_PRELOAD", fakeTimeLibrary},
                   {"FAKETIME", offset},
                   {"FAKETIME_DONT_FAKE_MONOTONIC", "1"},
                   {"ASAN_OPTIONS", sanitizer + (sanitizer.empty() ? "" : ":") + "verify_asan_link_order=0"}});
}

void insertItem(const std::string& db, const std::string& guid, const std::string& name)
{
    CppSQLite3DB catalogue;
    catalogue.Open(db.c_str());
    CppSQLite3Buffer sql;
    sql.Format("insert into link_table (guid,name,target,category,star,comment,type) values"
               "(%Q,%Q,'https://example.org','5EE0962C-217D-411a-BB72-6261B1B4F5BF',0,'',1);",
               guid.c_str(), name.c_str());
    catalogue.ExecuteStatement(sql);
}

std::vector<std::string> titles(const std::string& db)
{
    CppSQLite3DB catalogue;
    catalogue.Open(db.c_str());
    std::vector<std::string> found;
    for (CppSQLite3Query row = catalogue.ExecuteQuery("select guid || ' ' || name from link_table where guid in "
                                                      "('x','y','z') order by guid;");
         !row.Eof(); row.NextRow())
        found.push_back(row.FieldValue(0));
    return found;
}

}  // namespace

// Three machines: N's clock is right, F's three days ahead, L's two hours behind. Through a folder a
// sync tool carries and through a WebDAV server, the later change wins each conflict, and only the
// machine whose clock is wrong is told.
TEST(CliSync, WrongClockNeverWinsAndOnlyItsMachineIsTold)
{
    if (!std::filesystem::exists(fakeTimeLibrary))
        GTEST_SKIP() << "libfaketime is not installed";
    testApplication();
    for (const bool webdav : {false, true}) {
        if (webdav && !RcloneServer::available())
            continue;
        SCOPED_TRACE(webdav ? "through WebDAV" : "through a carried folder");
        TempFolder folder;
        std::filesystem::create_directory(folder.path("place"));
        std::unique_ptr<RcloneServer> server;
        if (webdav)
            server = std::make_unique<RcloneServer>(folder.path("place"));
        const std::string place = webdav ? server->place().place : folder.path("place");
        std::ofstream(folder.path("password")) << "secret\n";
        const Machine n{folder.path("n.db"), ""}, f{folder.path("f.db"), "+3d"}, l{folder.path("l.db"), "-2h"};
        const auto sync = [&](const Machine& machine) {
            const CliResult result =
                on(machine, {"sync", "--place", place, "--user", "ann", "--password-file", folder.path("password")});
            EXPECT_EQ(result.status, 0) << result.err;
            return result.err;
        };
        ASSERT_EQ(on(n, {"ls"}).status, 0);
        for (const char* guid : {"x", "y", "z"})
            insertItem(n.db, guid, std::string("first ") + guid);
        std::map<const Machine*, std::string> told;
        for (int round = 0; round < 3; ++round)
            for (const Machine* machine : {&n, &f, &l}) {
                if (round == 0 && machine != &n) {
                    ASSERT_EQ(on(*machine, {"add", "https://example.org/" + machine->clock}).status, 0);
                }
                told[machine] = sync(*machine);
            }
        EXPECT_EQ(told[&n].find("clock"), std::string::npos) << told[&n];
        const std::string against = webdav ? "the WebDAV server's" : "the other devices'";
        EXPECT_NE(told[&f].find("This machine's clock is 3 days ahead of " + against), std::string::npos) << told[&f];
        EXPECT_NE(told[&l].find("This machine's clock is 2 hours behind " + against), std::string::npos) << told[&l];

        // Each later change is made a minute after the one it meets, by the clock of the world (a
        // machine's clock never goes back within the test: its stamps never would).
        EXPECT_EQ(on(n, {"edit", "z", "--title", "N's edit"}).status, 0);
        EXPECT_EQ(on(l, {"edit", "z", "--title", "L's later edit of z"}, "-7140s").status, 0);
        EXPECT_EQ(on(f, {"rm", "y"}).status, 0);
        EXPECT_EQ(on(l, {"edit", "y", "--title", "L's later edit"}, "-7140s").status, 0);
        EXPECT_EQ(on(f, {"edit", "x", "--title", "F's edit"}).status, 0);
        EXPECT_EQ(on(n, {"edit", "x", "--title", "N's later edit"}, "+60s").status, 0);
        for (int round = 0; round < 2; ++round)
            for (const Machine* machine : {&f, &l, &n})
                sync(*machine);
        const std::vector<std::string> expected = {"x N's later edit", "y L's later edit", "z L's later edit of z"};
        for (const Machine* machine : {&n, &f, &l})
            EXPECT_EQ(titles(machine->db), expected) << machine->db;
    }
}

TEST(CliSync, RestoreOfASyncingCatalogueSaysWhatComesBackAndTheExactChoiceIsAnOption)
{
    TempFolder folder;
    const std::string a = folder.path("a.db"), b = folder.path("b.db"), place = folder.path("place");
    std::filesystem::create_directory(place);
    ASSERT_EQ(runCli({"--db", a, "ls"}).status, 0);
    insertItem(a, "x", "kept");
    insertItem(a, "y", "deleted later");
    ASSERT_EQ(runCli({"--db", a, "sync", "--place", place}).status, 0);
    ASSERT_EQ(runCli({"--db", a, "backup", folder.path("one.mbk")}).status, 0);
    ASSERT_EQ(runCli({"--db", a, "rm", "y"}).status, 0);
    ASSERT_EQ(runCli({"--db", a, "sync"}).status, 0);
    ASSERT_EQ(runCli({"--db", b, "sync", "--place", place}).status, 0);

    const CliResult restored = runCli({"--db", a, "restore", folder.path("one.mbk")});
    EXPECT_EQ(restored.status, 0) << restored.err;
    EXPECT_EQ(restored.out, "Successfully finish restoring!\nAt the next sync, on every device: 1 item deleted since "
                            "this backup come back.\n");
    ASSERT_EQ(runCli({"--db", a, "sync"}).status, 0);
    ASSERT_EQ(runCli({"--db", b, "sync"}).status, 0);
    EXPECT_NE(runCli({"--db", b, "ls", "General files"}).out.find("deleted later"), std::string::npos);

    insertItem(b, "z", "added on b");
    ASSERT_EQ(runCli({"--db", b, "sync"}).status, 0);
    ASSERT_EQ(runCli({"--db", a, "sync"}).status, 0);
    const CliResult exact = runCli({"--db", a, "restore", "--exact", folder.path("one.mbk")});
    EXPECT_EQ(exact.out, "Successfully finish restoring!\nAt the next sync every device becomes exactly this backup: 1 "
                         "item added since are deleted.\n");
    ASSERT_EQ(runCli({"--db", a, "sync"}).status, 0);
    ASSERT_EQ(runCli({"--db", b, "sync"}).status, 0);
    EXPECT_EQ(runCli({"--db", b, "ls", "General files"}).out.find("added on b"), std::string::npos);
}

TEST(CliSync, PassphraseFileEncryptsThePlaceAndADeviceWithoutItStopsWithTheReason)
{
    TempFolder folder;
    const std::string a = folder.path("a.db"), b = folder.path("b.db"), place = folder.path("place");
    std::filesystem::create_directory(place);
    std::ofstream(folder.path("passphrase")) << "a long secret\n";
    ASSERT_EQ(runCli({"--db", a, "ls"}).status, 0);
    insertItem(a, "x", "secret item");
    const CliResult on = runCli({"--db", a, "sync", "--place", place, "--passphrase-file", folder.path("passphrase")});
    EXPECT_EQ(on.status, 0) << on.err;
    EXPECT_EQ(on.err, "varnelo-cli: Sync encryption is on for this place now: every device needs the passphrase to "
                      "sync.\n");
    const CliResult without = runCli({"--db", b, "sync", "--place", place});
    EXPECT_EQ(without.status, 1);
    EXPECT_EQ(without.err, "varnelo-cli: The files at this place are encrypted: set the sync passphrase (in Sync "
                           "Settings, or with --passphrase-file) to sync.\n");
    EXPECT_EQ(runCli({"--db", b, "sync", "--passphrase-file", folder.path("passphrase")}).status, 0);
    EXPECT_NE(runCli({"--db", b, "ls", "General files"}).out.find("secret item"), std::string::npos);
}

// Backups made while the clock was three days ahead, then one with the clock set right: the new one
// is the newest and stays, whatever the dates in the names say.
TEST(CliBackups, BackupsMadeAfterAClockWasSetBackAreKept)
{
    if (!std::filesystem::exists(fakeTimeLibrary))
        GTEST_SKIP() << "libfaketime is not installed";
    TempFolder folder;
    const Machine m{folder.path("cat.db"), "+3d"};
    ASSERT_EQ(on(m, {"backup", folder.path("one.mbk")}).status, 0);
    for (int i = 0; i < 11; ++i)
        ASSERT_EQ(on(m, {"restore", folder.path("one.mbk")}).status, 0);
    ASSERT_EQ(on(m, {"restore", folder.path("one.mbk")}, "+0").status, 0);
    const CliResult listed = on(m, {"backups"}, "+0");
    const std::vector<std::string> backups = lines(listed.out);
    ASSERT_EQ(backups.size(), 10u) << listed.out;
    const std::string today = QDateTime::currentDateTimeUtc().date().toString("yyyy-MM-dd").toStdString();
    EXPECT_NE(backups.front().find("before-" + today), std::string::npos) << listed.out;
}
