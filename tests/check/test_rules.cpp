// SPDX-License-Identifier: GPL-3.0-or-later
// The pure rules of the check, as tables.
#include "check/duplicates.h"
#include "check/filecheck.h"
#include "check/linkchecker.h"
#include "check/urlnormal.h"

#include <QDateTime>

#include <gtest/gtest.h>

using namespace check;

TEST(Rules, NormalisationFollowsRfc3986)
{
    const std::vector<std::pair<std::string, std::string>> table = {
        {"HTTP://Example.COM", "http://example.com/"},
        {"http://example.com:80/a", "http://example.com/a"},
        {"https://example.com:443/a", "https://example.com/a"},
        {"https://example.com:8443/a", "https://example.com:8443/a"},
        {"http://example.com:/a", "http://example.com/a"},
        {"http://example.com/a/./b/../c", "http://example.com/a/c"},
        {"http://example.com/a/b/..", "http://example.com/a/"},
        {"http://example.com/../../x", "http://example.com/x"},
        {"http://example.com/%7euser/%e2%82%ac", "http://example.com/~user/%E2%82%AC"},
        {"http://example.com/%41%2f", "http://example.com/A%2F"},
        {"http://example.com/a?Q=%61#Frag", "http://example.com/a?Q=a#Frag"},
        {"http://User@Example.com/Path", "http://User@example.com/Path"},
        {"  http://example.com/x \n", "http://example.com/x"},
        {"mailto:Someone@Example.com", "mailto:Someone@Example.com"},
        {"example.com:8080/x", ""},
        {"no address at all", ""},
        {"", ""},
    };
    for (const auto& [input, normal] : table)
        EXPECT_EQ(normaliseUrl(input), normal) << input;
}

TEST(Rules, LooseKeyIgnoresWwwSchemeSlashFragmentAndTracking)
{
    const std::vector<std::pair<std::string, std::string>> same = {
        {"http://www.example.com/page/", "https://example.com/page"},
        {"http://example.com/page#top", "http://example.com/page"},
        {"http://example.com/p?utm_source=x&id=3&UTM_medium=y", "http://example.com/p?id=3"},
        {"http://example.com/", "http://example.com"},
    };
    for (const auto& [a, b] : same)
        EXPECT_EQ(looseUrlKey(a), looseUrlKey(b)) << a << " / " << b;
    const std::vector<std::pair<std::string, std::string>> apart = {
        {"http://example.com/p?id=3", "http://example.com/p?id=4"},
        {"http://example.com/a", "http://example.org/a"},
        {"http://example.com:8080/", "http://example.com/"},
    };
    for (const auto& [a, b] : apart)
        EXPECT_NE(looseUrlKey(a), looseUrlKey(b)) << a << " / " << b;
}

TEST(Rules, DuplicatesAreSameOrPossiblyTheSameNeverBoth)
{
    const std::vector<ItemAddress> items = {
        {"a", 1, "http://Example.com/x", ""},       {"b", 1, "http://example.com:80/./x", ""},
        {"c", 1, "https://www.example.com/x/", ""}, {"d", 1, "http://example.com/y", ""},
        {"e", 0, "/srv/a.txt", "/srv/a.txt"},       {"f", 0, "/srv/./b/../a.txt", "/srv/a.txt"},
        {"g", 0, "/srv/c.txt", "/srv/c.txt"},       {"h", 1, "javascript:void(0)", ""},
        {"i", 1, "javascript:void(0)", ""},
    };
    std::map<std::string, std::string> kinds;
    for (const Finding& finding : findDuplicates(items))
        kinds[finding.guid] = kindName(finding.kind);
    const std::map<std::string, std::string> expected = {
        {"a", "duplicate"}, {"b", "duplicate"}, {"c", "possible-duplicate"}, {"e", "duplicate"},
        {"f", "duplicate"}, {"h", "duplicate"}, {"i", "duplicate"},
    };
    EXPECT_EQ(kinds, expected);
}

TEST(Rules, StatusCodesAndRetryAfter)
{
    const std::vector<std::pair<int, Kind>> kinds = {
        {200, Kind::Ok},      {204, Kind::Ok},      {404, Kind::Dead},    {410, Kind::Dead},
        {403, Kind::Unknown}, {429, Kind::Unknown}, {500, Kind::Unknown}, {503, Kind::Unknown},
    };
    for (const auto& [status, kind] : kinds)
        EXPECT_EQ(kindForStatus(status), kind) << status;
    for (int status : {405, 501, 403, 404})
        EXPECT_TRUE(retryWithGet(status)) << status;
    for (int status : {200, 410, 500, 429})
        EXPECT_FALSE(retryWithGet(status)) << status;
    const QDateTime now = QDateTime(QDate(2026, 12, 8), QTime(10, 0), Qt::UTC);
    EXPECT_EQ(retryAfterSeconds(" 120 ", now), 120);
    EXPECT_EQ(retryAfterSeconds("Tue, 08 Dec 2026 10:01:30 GMT", now), 90);
    EXPECT_EQ(retryAfterSeconds("soon", now), -1);
    EXPECT_EQ(retryAfterSeconds("-5", now), -1);
    EXPECT_EQ(retryAfterSeconds("2147484", now), 2147484);
    EXPECT_EQ(retryAfterSeconds(QByteArray(40, '9'), now), longestRetryAfter);
    EXPECT_EQ(retryAfterSeconds("Fri, 31 Dec 9999 23:59:59 GMT", now), longestRetryAfter);
}

TEST(Rules, FolderMoveAppliesToPathsBelowTheOldFolder)
{
    const auto move = prefixMoveOf("/home/u/Old/Docs/a.pdf", "/home/u/New/Docs/a.pdf");
    ASSERT_TRUE(move);
    EXPECT_EQ(move->from, "/home/u/Old");
    EXPECT_EQ(move->to, "/home/u/New");
    EXPECT_EQ(movedPath("/home/u/Old/Music/b.mp3", *move), "/home/u/New/Music/b.mp3");
    EXPECT_EQ(movedPath("/home/u/Older/b.mp3", *move), "");
    EXPECT_EQ(movedPath("/home/u/Old", *move), "");
    EXPECT_FALSE(prefixMoveOf("/a/x.txt", "/b/y.txt"));
    EXPECT_FALSE(prefixMoveOf("/a/x.txt", "/a/x.txt"));
}
