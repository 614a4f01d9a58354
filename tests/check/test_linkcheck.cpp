// SPDX-License-Identifier: GPL-3.0-or-later
#include "check/cataloguecheck.h"

#include "checktestutil.h"

#include <QTimer>

#include <map>

using namespace check;

namespace {

struct Expected {
    std::string target;
    Kind kind;
    int code;
    std::string detail;     // a part of the reason
    std::string newTarget;  // moved only
};

std::map<std::string, StoredFinding> linkResults(TestCatalogue& catalogue)
{
    std::map<std::string, StoredFinding> byGuid;
    for (const auto& finding : CheckStore(catalogue.db).current())
        if (finding.aspect == Aspect::Link)
            byGuid[finding.guid] = finding;
    return byGuid;
}

}  // namespace

// Each answer of a real server, and each address that must never be fetched, ends as its own kind.
TEST(LinkCheck, EveryAnswerOfARealServerEndsAsItsKind)
{
    ensureApplication();
    LinkServer server;
    const std::string https = "https://127.0.0.1:" + std::to_string(server.https) + "/ok";
    const std::string longAddress = server.url("/ok?") + std::string(10 * 1024, 'a');
    const std::vector<Expected> table = {
        {server.url("/ok"), Kind::Ok, 200, "", ""},
        {server.url("/r302"), Kind::Ok, 200, "", ""},
        {server.url("/nohead"), Kind::Ok, 200, "", ""},
        {server.url("/headlies"), Kind::Ok, 200, "", ""},
        {server.url("/busy-once"), Kind::Ok, 200, "", ""},
        {server.url("/endless-body"), Kind::Ok, 200, "", ""},
        {server.url("/r301"), Kind::Moved, 200, "Moved permanently", server.url("/ok")},
        {server.url("/r308"), Kind::Moved, 200, "Moved permanently", server.url("/ok?via=308")},
        {server.url("/chain"), Kind::Moved, 200, "Moved permanently", server.url("/chain3")},
        {server.url("/gone404"), Kind::Dead, 404, "404", ""},
        {server.url("/gone410"), Kind::Dead, 410, "410", ""},
        {server.url("/moved-to-dead"), Kind::Dead, 404, "after a redirect to " + server.url("/gone404"), ""},
        {"http://127.0.0.1:" + std::to_string(server.closed) + "/", Kind::Dead, 0, "refused", ""},
        {"http://nowhere.invalid/", Kind::Dead, 0, "does not resolve", ""},
        {server.url("/loop"), Kind::Unknown, 302, "loop", ""},
        {server.url("/many/0"), Kind::Unknown, 302, "More than 10 redirects", ""},
        {server.url("/forbidden"), Kind::Unknown, 403, "403", ""},
        {server.url("/busy"), Kind::Unknown, 429, "busy", ""},
        {server.url("/unavailable"), Kind::Unknown, 503, "come back in 3600 s", ""},
        {server.url("/busy-long"), Kind::Unknown, 429, "come back in 2147484 s", ""},
        {server.url("/busy-huge"), Kind::Unknown, 503, "come back in 31536000 s", ""},
        {server.url("/busy-far"), Kind::Unknown, 429, "come back in 31536000 s", ""},
        {server.url("/error"), Kind::Unknown, 500, "500", ""},
        {server.url("/slow"), Kind::Unknown, 0, "No answer within 10 s", ""},
        {server.url("/endless-headers"), Kind::Unknown, 0, "No answer within 10 s", ""},
        {https, Kind::Tls, 0, "self-signed", ""},
        {"javascript:alert(1)", Kind::NotChecked, 0, "javascript: address is not fetched", ""},
        {"data:text/plain,hello", Kind::NotChecked, 0, "data: address is not fetched", ""},
        {"file:///etc/hostname", Kind::NotChecked, 0, "file: address is not fetched", ""},
        {"two words", Kind::NotChecked, 0, "Not a valid web address", ""},
        {longAddress, Kind::NotChecked, 0, "characters long", ""},
    };
    TestCatalogue catalogue;
    std::vector<std::string> guids;
    for (const Expected& row : table)
        guids.push_back(catalogue.add(row.target, 1));
    CheckOptions options;
    options.files = options.duplicates = false;
    // Long enough for a server on two loaded cores; "/slow" keeps quiet much longer than this.
    options.limits.timeoutMs = 10000;
    const CheckSummary summary = CatalogueCheck(catalogue.path, options).run();
    ASSERT_EQ(summary.error, "");
    EXPECT_EQ(summary.checked, table.size());

    const auto results = linkResults(catalogue);
    for (std::size_t i = 0; i < table.size(); ++i) {
        const Expected& row = table[i];
        SCOPED_TRACE(row.target.substr(0, 80));
        if (row.kind == Kind::Ok) {
            EXPECT_EQ(results.count(guids[i]), 0u) << results.at(guids[i]).detail;
            continue;
        }
        ASSERT_EQ(results.count(guids[i]), 1u);
        const StoredFinding& found = results.at(guids[i]);
        EXPECT_EQ(kindName(found.kind), std::string(kindName(row.kind))) << found.detail;
        if (row.code != 0) {
            EXPECT_EQ(found.code, row.code);
        }
        EXPECT_NE(found.detail.find(row.detail), std::string::npos) << found.detail;
        EXPECT_EQ(found.newTarget, row.newTarget);
    }
}

// A failure seen twice is told apart from a new one; a result for an old target no longer shows.
TEST(LinkCheck, RepeatedCheckCountsAPersistingFailure)
{
    ensureApplication();
    LinkServer server;
    TestCatalogue catalogue;
    const std::string guid = catalogue.add(server.url("/gone404"), 1);
    CheckOptions options;
    options.files = options.duplicates = false;
    CatalogueCheck(catalogue.path, options).run();
    EXPECT_TRUE(linkResults(catalogue).at(guid).isNew());
    catalogue.db.ExecuteStatement("update health_table set since = 1, checked = 1;");
    CatalogueCheck(catalogue.path, options).run();
    auto results = linkResults(catalogue);
    ASSERT_EQ(results.count(guid), 1u);
    EXPECT_FALSE(results.at(guid).isNew());
    EXPECT_EQ(results.at(guid).since, 1);
    EXPECT_GT(results.at(guid).checked, 1);

    CheckStore(catalogue.db).ignore(guid, Aspect::Link);
    EXPECT_EQ(linkResults(catalogue).count(guid), 0u);
    EXPECT_TRUE(CheckStore(catalogue.db).brokenItems(catalogue.category->GetGuid()).empty());
}

TEST(LinkCheck, AtMostTwoRequestsAtATimeToOneHost)
{
    ensureApplication();
    LinkServer server;
    TestCatalogue catalogue;
    for (int i = 0; i < 8; ++i)
        catalogue.add(server.url("/hold/" + std::to_string(i)), 1);
    CheckOptions options;
    options.files = options.duplicates = false;
    const CheckSummary summary = CatalogueCheck(catalogue.path, options).run();
    EXPECT_EQ(summary.problems, 0u);
    EXPECT_EQ(server.peakRequests(), 2);
}

// Faults caught: a host looked up once per link (a dead host costing a lookup each, minutes for a
// catalogue), and links of one host judged differently in one run.
TEST(LinkCheck, EachHostNameIsLookedUpOnceAndItsVerdictShared)
{
    ensureApplication();
    LinkServer server;
    TestCatalogue catalogue;
    struct Link {
        std::string target, guid;
        Kind kind;
        std::string detail;
    };
    std::vector<Link> links;
    for (int i = 0; i < 30; ++i)
        links.push_back({"http://gone.invalid/" + std::to_string(i), {}, Kind::Dead, "gone.invalid does not resolve"});
    links.push_back({"https://GONE.invalid:8443/other-port", {}, Kind::Dead, "does not resolve"});
    for (int i = 0; i < 6; ++i)
        links.push_back({"http://mute.test/" + std::to_string(i),
                         {},
                         Kind::Unknown,
                         "No answer within 10 s when looking up mute.test"});
    for (int i = 0; i < 3; ++i)
        links.push_back({server.url("/ok/" + std::to_string(i)), {}, Kind::Ok, ""});
    links.push_back({server.url("/gone404"), {}, Kind::Dead, "404"});
    for (Link& link : links)
        link.guid = catalogue.add(link.target, 1);

    std::map<QString, int> asked;
    const std::map<QString, HostAnswer> answers{{QStringLiteral("gone.invalid"), HostAnswer::DoesNotResolve},
                                                {QStringLiteral("mute.test"), HostAnswer::NoAnswer}};
    CheckOptions options;
    options.files = options.duplicates = false;
    options.limits.timeoutMs = 10000;
    options.limits.lookUpHost = [&](const QString& host, std::function<void(HostAnswer)> answer) {
        ++asked[host];
        const auto known = answers.find(host);
        const HostAnswer given = known == answers.end() ? HostAnswer::Resolves : known->second;
        QTimer::singleShot(20, [answer = std::move(answer), given] { answer(given); });
    };
    const CheckSummary summary = CatalogueCheck(catalogue.path, options).run();
    ASSERT_EQ(summary.error, "");
    EXPECT_EQ(summary.checked, links.size());
    // An address needs no lookup of ours; a name is asked about once, whatever its case or port.
    const std::map<QString, int> once{{QStringLiteral("gone.invalid"), 1}, {QStringLiteral("mute.test"), 1}};
    EXPECT_EQ(asked, once);

    const auto results = linkResults(catalogue);
    for (const Link& link : links) {
        SCOPED_TRACE(link.target);
        if (link.kind == Kind::Ok) {
            EXPECT_EQ(results.count(link.guid), 0u);
            continue;
        }
        ASSERT_EQ(results.count(link.guid), 1u);
        EXPECT_EQ(kindName(results.at(link.guid).kind), std::string(kindName(link.kind)));
        EXPECT_NE(results.at(link.guid).detail.find(link.detail), std::string::npos) << results.at(link.guid).detail;
    }
}
