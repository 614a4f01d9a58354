// SPDX-License-Identifier: GPL-3.0-or-later
#include "clirunner.h"
#include "content/contentindex.h"
#include "content/indexlock.h"
#include "documents.h"
#include "pageserver.h"
#include "search/searchindex.h"

#include "tempfolder.h"

#include <QJsonDocument>
#include <QJsonObject>

#include <filesystem>
#include <optional>

namespace {

QJsonObject json(const std::string& line)
{
    return QJsonDocument::fromJson(QByteArray::fromStdString(line)).object();
}

// Catches the content commands not wired to the index: index, search --content (JSON with the page),
// keep, a malformed query, and the index held by another program.
TEST(CliContent, IndexSearchAndKeepFromTheCommandLine)
{
    TempFolder home;
    const std::string db = home.path("catalogue.db");
    const std::string pdf = home.path("deed.pdf");
    documents::pdf({"Title page", "The easement of the orchard is granted"}, pdf);
    documents::pandoc("Minutes of the *rowing* club.\n", home.path("minutes.odt"));
    const std::string site = home.path("site");
    std::filesystem::create_directories(site);
    documents::write(site + "/page.html", "<html><body><p>The regatta starts at noon.</p></body></html>");
    PageServer server(site);

    EXPECT_EQ(runCli({"--db", db, "search", "--content", "orchard"}, home.path()).err,
              "varnelo-cli: There is no content index yet: run 'varnelo-cli index' first.\n");
    const std::string deed = lines(runCli({"--db", db, "add", "--title", "Deed", pdf}, home.path()).out).at(0);
    runCli({"--db", db, "add", home.path("minutes.odt")}, home.path());
    const std::string page = lines(runCli({"--db", db, "add", server.url("/page.html")}, home.path()).out).at(0);

    const CliResult indexed = runCli({"--db", db, "--json", "index"}, home.path());
    ASSERT_EQ(indexed.status, 0) << indexed.err;
    EXPECT_EQ(json(indexed.out)["read"].toInt(), 2);
    EXPECT_NE(indexed.err.find("indexing, 3 of 3 documents looked at"), std::string::npos) << indexed.err;

    const CliResult hit = runCli({"--db", db, "--json", "search", "--content", "orchard", "AND", "ease*"}, home.path());
    ASSERT_EQ(hit.status, 0) << hit.err;
    ASSERT_EQ(lines(hit.out).size(), 1u);
    const QJsonObject found = json(lines(hit.out)[0]);
    EXPECT_EQ(found["guid"].toString().toStdString(), deed);
    EXPECT_EQ(found["title"].toString(), "Deed");
    EXPECT_EQ(found["category"].toString(), "General files");
    EXPECT_EQ(found["page"].toInt(), 2);
    EXPECT_EQ(found["snippet"].toString(), "The **easement** of the **orchard** is granted");

    const CliResult malformed = runCli({"--db", db, "search", "--content", "rowing AND"}, home.path());
    EXPECT_EQ(malformed.status, 1);
    EXPECT_EQ(malformed.err, "varnelo-cli: The search \"rowing AND\" cannot be read: it ends too early (after an "
                             "AND, OR, NOT or an open bracket).\n");

    const CliResult kept = runCli({"--db", db, "--json", "keep", page}, home.path());
    ASSERT_EQ(kept.status, 0) << kept.err << kept.out;
    EXPECT_EQ(json(kept.out)["kept"].toString(), "yes");
    const CliResult regatta = runCli({"--db", db, "search", "--content", "regatta"}, home.path());
    EXPECT_EQ(lines(regatta.out).size(), 1u);
    EXPECT_EQ(regatta.out.substr(0, page.size()), page);

    const std::string index = content::ContentIndex::pathFor(db, home.path(".cache/Varnelo"));
    std::optional<content::IndexLock> held;
    held.emplace(index);
    ASSERT_TRUE(held->tryLock());
    const CliResult busy = runCli({"--db", db, "index"}, home.path());
    EXPECT_EQ(busy.status, 1);
    EXPECT_EQ(busy.err, "varnelo-cli: Another program is bringing the content index up to date; add --wait to "
                        "wait for it.\n");

    // With --wait it takes its turn once the other program lets go.
    QProcess waiting;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert("HOME", QString::fromStdString(home.path()));
    waiting.setProcessEnvironment(environment);
    waiting.setReadChannel(QProcess::StandardError);
    waiting.start(VARNELO_CLI, {"--db", QString::fromStdString(db), "index", "--wait"});
    ASSERT_TRUE(waiting.waitForReadyRead(60000));
    EXPECT_EQ(waiting.readAllStandardError().toStdString(),
              "varnelo-cli: waiting for another program to finish with the content index\n");
    EXPECT_EQ(waiting.state(), QProcess::Running);
    held.reset();
    ASSERT_TRUE(waiting.waitForFinished(60000));
    EXPECT_EQ(waiting.exitCode(), 0) << waiting.readAllStandardError().toStdString();
}

}  // namespace
