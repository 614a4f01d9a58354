// SPDX-License-Identifier: GPL-3.0-or-later
// The fuzz targets' seeds are made by our own writers: each committed seed is what the writer gives
// today (for SQLite files: when today's SQLite wrote it; PNG bytes depend on libpng, so an icon list
// is compared picture for picture) and its reader takes it as what was written.
// `test_fuzzseeds --write-seeds` writes them anew into tests/fuzz/corpus.

#include "backup/backupfile.h"
#include "import/bookmarkfilereader.h"
#include "import/bookmarkfilewriter.h"
#include "import/browserprofiles.h"
#include "import/cfavoriteengine.h"
#include "import/chromiumbookmarks.h"
#include "import/firefoxplaces.h"
#include "session/iconlist.h"
#include "shell/appsettings.h"
#include "shell/autorun.h"
#include "storage/cdbmanager.h"
#include "storage/cppsqlite3.h"
#include "sync/syncfiles.h"
#include "sync/webdavlisting.h"

#include "importtestutil.h"
#include "placesbuilder.h"

#include <QBuffer>
#include <QGuiApplication>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <sqlite3.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <map>
#include <set>
#include <stdexcept>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

const std::string seedFolder = VARNELO_SEED_FOLDER;

// How a seed's bytes are held to today's writer: exactly, exactly when the same SQLite wrote it,
// or only through what its reader makes of it.
enum class Compare { Bytes, BytesOfSameSqlite, Content };

struct Seed {
    std::string target;
    std::string name;
    std::string bytes;
    Compare compare;
};

std::string encoded(const std::string& bytes)
{
    CppSQLite3Binary blob;
    blob.SetBinary(reinterpret_cast<const unsigned char*>(bytes.data()), static_cast<int>(bytes.size()));
    return blob.GetEncoded();
}

const std::map<std::string, std::string>& binarySeeds()
{
    static const std::map<std::string, std::string> seeds = [] {
        std::string all;
        for (int i = 0; i < 256; ++i)
            all += static_cast<char>(i);
        return std::map<std::string, std::string>{
            {"empty", ""}, {"text", "Varnelo"}, {"allbytes", all}, {"escapes", std::string("\0\1'\0\1'(\2\0", 9)}};
    }();
    return seeds;
}

void makeCatalogue(const std::string& path, bool withItem)
{
    CDBManager db;
    db.Open(path);
    // The smallest pages SQLite allows keep the seed a few kilobytes.
    db.ExecuteStatement("pragma page_size=512;");
    db.EnsureDefaultCategories();
    if (withItem)
        db.ExecuteStatement("insert into link_table (guid, name, target, category, star, comment, type) values"
                            " ('0f8a2c1e-5b7d-4e3a-9c61-2d4b8e7f1a03', 'Varnelo', 'https://example.org/',"
                            " '9EED3209-19C9-4a89-B8B3-5FA0F96697F4', 0, 'a web address', 1);");
    db.Close();
}

// Translucent pixels carry only full or empty channels: those survive the premultiplied round trip
// exactly, whatever rounding the processor's conversion code uses, so the committed seed reads back
// the same on every machine.
QImage pattern(bool withAlpha)
{
    QImage image(IconList::ImageSize, IconList::ImageSize, QImage::Format_ARGB32);
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x) {
            const int alpha = withAlpha ? (x + y) * 4 : 255;
            image.setPixel(x, y,
                           alpha == 255 ? qRgba(x * 8, y * 8, (x ^ y) * 8, 255)
                           : alpha == 0 ? qRgba(0, 0, 0, 0)
                                        : qRgba((x & 1) * 255, (y & 1) * 255, ((x ^ y) & 2) ? 255 : 0, alpha));
        }
    return image;
}

IconList iconListSeed(int images)
{
    IconList list;
    for (int i = 0; i < images; ++i)
        list.append(pattern(i % 2 == 1));
    return list;
}

std::string text(const std::vector<unsigned char>& bytes)
{
    return std::string(bytes.begin(), bytes.end());
}

const std::map<std::string, std::string>& favoritesSeeds()
{
    static const std::map<std::string, std::string> seeds = {
        {"shortcut.url", "[InternetShortcut]\r\nURL=https://example.org/start?q=1\r\n"},
        {"windows.url",
         "[DEFAULT]\r\nBASEURL=https://example.org/\r\n[InternetShortcut]\r\nURL=https://example.org/\r\n"
         "IDList=\r\nIconFile=https://example.org/favicon.ico\r\nIconIndex=1\r\n"
         "[{000214A0-0000-0000-C000-000000000046}]\r\nProp3=19,11\r\n"},
        {"bom.url", "\xEF\xBB\xBF[internetshortcut]\nurl = https://example.org/caf\xE9\n"},
        {"link.desktop", "[Desktop Entry]\nVersion=1.0\nType=Link\nName=Example\nName[de]=Beispiel\n"
                         "URL=https://example.org/a\\sb\nIcon=text-html\n"}};
    return seeds;
}

// The one link each Favorites seed gives, read as x.url and as x.desktop.
const std::map<std::string, std::string>& favoritesLinks()
{
    static const std::map<std::string, std::string> links = {{"shortcut.url", "https://example.org/start?q=1"},
                                                             {"windows.url", "https://example.org/"},
                                                             {"bom.url", "https://example.org/caf\xC3\xA9"},
                                                             {"link.desktop", "https://example.org/a b"}};
    return links;
}

const SettingsRecord writtenFlags{true, false, true, false, true};

const std::string handWrittenSettings =
    "; kept by hand\r\n[SETTINGS]\r\nAutoRun=0x1\r\nclosetray = -1\r\nminitray=0\r\nautohide=+7\r\n"
    "always=\r\n[Search]\r\nbyName=1\r\n";
const SettingsRecord handWrittenFlags{true, true, false, true, true};

const std::vector<std::pair<std::string, std::string>> autostartSeeds = {
    {"autostart.desktop", "/usr/bin/varnelo"}, {"autostart-quoted.desktop", "/opt/My Apps/var%nelo"}};

ImportFolder bookmarkTree()
{
    ImportFolder root;
    ImportFolder work{"Work", {}, {}};
    work.entries.push_back({"Varnelo", "https://example.org/varnelo", "the catalogue", 1});
    work.entries.push_back({"Report", "/home/user/Report 1.pdf", "", 0});
    ImportFolder nested{"Caf\xC3\xA9 & <more>", {}, {}};
    nested.entries.push_back({"Search", "https://example.org/?q=a&b=\"c\"", "", 1});
    work.folders.push_back(nested);
    root.folders.push_back(work);
    root.entries.push_back({"Start", "https://example.org/", "first line", 1});
    return root;
}

QJsonObject chromiumNode(const char* type, const QString& name, const QJsonValue& content)
{
    QJsonObject node{{"type", type}, {"name", name}, {"date_added", "13300000000000000"}, {"id", "1"}};
    node.insert(QString(type) == "url" ? "url" : "children", content);
    return node;
}

std::string chromiumSeed()
{
    const QJsonArray inner{chromiumNode("url", "Search", "https://example.org/?q=1")};
    const QJsonArray bar{chromiumNode("url", "Varnelo", "https://example.org/varnelo"),
                         chromiumNode("folder", "Work", inner),
                         chromiumNode("url", "Notes", "file:///home/user/notes.txt")};
    const QJsonArray other{chromiumNode("url", "Caf\u00e9", "https://example.org/caf%C3%A9")};
    const QJsonObject roots{{"bookmark_bar", chromiumNode("folder", "Bookmarks bar", bar)},
                            {"other", chromiumNode("folder", "Other bookmarks", other)},
                            {"synced", chromiumNode("folder", "Mobile bookmarks", QJsonArray())}};
    const QJsonObject file{{"checksum", "00000000000000000000000000000000"}, {"roots", roots}, {"version", 1}};
    return QJsonDocument(file).toJson(QJsonDocument::Indented).toStdString();
}

void makePlaces(const std::string& path)
{
    {
        CppSQLite3DB db;
        db.Open(path.c_str());
        db.ExecuteStatement("pragma page_size=512;");
        db.ExecuteStatement(placesSchema);
    }
    Places places(path, Places::Open::Existing);
    const int projects = places.folder(menuRoot, 0, "Projects");
    places.bookmark(projects, 0, "Varnelo", "https://example.org/varnelo");
    places.bookmark(menuRoot, 1, "Start", "https://example.org/");
    places.bookmark(toolbarRoot, 0, "Notes", "file:///home/user/notes.txt");
    places.separator(toolbarRoot, 1);
    places.bookmark(unfiledRoot, 0, "Later", "https://example.org/later");
    places.bookmark(mobileRoot, 0, "Phone", "https://example.org/phone");
    const int tag = places.folder(tagsRoot, 0, "reading");
    places.bookmark(tag, 0, "", "https://example.org/varnelo");
    places.bookmark(menuRoot, 2, "Script", "javascript:void(0)");
    // Fixed identities, so that the same SQLite writes the same bytes.
    places.db.ExecuteStatement("update moz_bookmarks set guid = printf('seed%08d', id) where id > 6;");
}

const std::string firefoxProfileList = "[Install4F96D1932A9F858E]\nDefault=default\nLocked=1\n\n"
                                       "[Profile1]\nName=old\nIsRelative=0\nPath=/nonexistent/old\n\n"
                                       "[Profile0]\nName=default-release\nIsRelative=1\nPath=default\nDefault=1\n\n"
                                       "[General]\nStartWithLastProfile=1\nVersion=2\n";

const std::string chromiumLocalState =
    R"({"profile": {"info_cache": {"Default": {"name": "Person 1", "is_using_default_name": true},)"
    R"( "Profile 1": {"name": "Work"}}, "last_used": "Default"}})";

// The records of the sync file seeds; the encrypted one with the fuzz target's fixed key.
const char* const syncBound = "Varnelo/device/changes-00000001.vsync";

SyncKey fixedKey()
{
    SyncKey key;
    for (std::size_t i = 0; i < key.bytes.size(); ++i)
        key.bytes[i] = static_cast<unsigned char>(i);
    return key;
}

std::vector<SyncRecord> syncRecords()
{
    SyncRecord item;
    item.guid = "0f8a2c1e-5b7d-4e3a-9c61-2d4b8e7f1a03";
    item.fields = {{"name", "Varnelo"}, {"target", "https://example.org/"}, {"star", "0"}, {"type", "1"}};
    item.parent = "9EED3209-19C9-4a89-B8B3-5FA0F96697F4";
    item.fieldsStamp = item.parentStamp = item.created = {1765000000000000, "device"};
    SyncRecord gone = item;
    gone.guid = "1a2b3c4d-0000-4000-8000-000000000001";
    gone.deleteStamp = {1765000000000001, "other"};
    SyncRecord category;
    category.kind = SyncRecord::Category;
    category.guid = "c0ffee00-0000-4000-8000-000000000002";
    category.fields = {{"name", "Caf\xC3\xA9"}, {"system", "0"}, {"icon", "#3"}};
    category.fieldsStamp = category.parentStamp = category.created = {1765000000000002, "device"};
    return {category, item, gone};
}

std::string syncFileSeed(const SyncKey* key)
{
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    SyncFileWriter writer(buffer, key, syncBound,
                          {"device", "desktop", 1, false, 1765000000000003, {{"other", 3600000000}}, {{"device", 1}}});
    for (const SyncRecord& record : syncRecords())
        writer.add(record);
    writer.finish();
    return bytes.toStdString();
}

// The first format, as its writer wrote it.
std::string legacySyncSeed()
{
    std::string text =
        "{\"device\":\"device\",\"name\":\"desktop\",\"records\":3,\"sequence\":\"1\",\"snapshot\":false,"
        "\"varnelo-sync\":1}\n";
    for (const SyncRecord& record : syncRecords())
        text += recordText(record) + "\n";
    return text;
}

// Answers of the two servers the tests run, as they list a device's folder.
const std::map<std::string, std::string>& propfindSeeds()
{
    static const std::map<std::string, std::string> seeds = {
        {"rclone.xml",
         "<?xml version=\"1.0\" encoding=\"UTF-8\"?><D:multistatus xmlns:D=\"DAV:\"><D:response><D:href>"
         "/sync/here/Varnelo/</D:href><D:propstat><D:prop><D:resourcetype><D:collection xmlns:D=\"DAV:\"/>"
         "</D:resourcetype><D:getlastmodified>Thu, 10 Dec 2026 14:34:45 GMT</D:getlastmodified></D:prop>"
         "<D:status>HTTP/1.1 200 OK</D:status></D:propstat></D:response><D:response><D:href>"
         "/sync/here/Varnelo/snapshot-00000001.vsync</D:href><D:propstat><D:prop><D:resourcetype></D:resourcetype>"
         "<D:getcontentlength>533</D:getcontentlength><D:getlastmodified>Thu, 10 Dec 2026 14:34:46 GMT"
         "</D:getlastmodified></D:prop><D:status>HTTP/1.1 200 OK</D:status></D:propstat></D:response>"
         "</D:multistatus>"},
        {"apache.xml",
         "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n<D:multistatus xmlns:D=\"DAV:\">\n<D:response "
         "xmlns:lp1=\"DAV:\">\n<D:href>/sync/here/Varnelo/</D:href>\n<D:propstat>\n<D:prop>\n<lp1:resourcetype>"
         "<D:collection/></lp1:resourcetype>\n</D:prop>\n<D:status>HTTP/1.1 200 OK</D:status>\n</D:propstat>\n"
         "</D:response>\n<D:response xmlns:lp1=\"DAV:\">\n<D:href>/sync/here/Varnelo/caf%C3%A9%20device/</D:href>\n"
         "<D:propstat>\n<D:prop>\n<lp1:resourcetype><D:collection/></lp1:resourcetype>\n<lp1:getlastmodified>"
         "Thu, 10 Dec 2026 14:31:56 GMT</lp1:getlastmodified>\n</D:prop>\n<D:status>HTTP/1.1 200 OK</D:status>\n"
         "</D:propstat>\n</D:response>\n</D:multistatus>\n"}};
    return seeds;
}

// Every seed, made now in `work` by our writers.
std::vector<Seed> makeSeeds(const TempFolder& work)
{
    std::vector<Seed> seeds;
    for (const auto& [name, bytes] : binarySeeds())
        seeds.push_back({"binary", name, encoded(bytes), Compare::Bytes});

    for (const bool withItem : {false, true}) {
        const std::string name = withItem ? "catalogue-with-item" : "catalogue";
        makeCatalogue(work.path(name + ".db"), withItem);
        writeBackup(work.path(name + ".db"), work.path(name + ".mbk"));
        seeds.push_back({"backup", name + ".mbk", readText(work.path(name + ".mbk")), Compare::BytesOfSameSqlite});
    }

    seeds.push_back({"iconlist", "empty.vril", text(IconList().serialize()), Compare::Bytes});
    seeds.push_back({"iconlist", "two.vril", text(iconListSeed(2).serialize()), Compare::Content});

    for (const auto& [name, bytes] : favoritesSeeds())
        seeds.push_back({"favorites", name, bytes, Compare::Bytes});

    const std::string ini = work.path("varnelo.INI");
    writeIniFlags(ini, "Settings",
                  {{"autorun", writtenFlags.autorun},
                   {"closetray", writtenFlags.closetray},
                   {"minitray", writtenFlags.minitray},
                   {"autohide", writtenFlags.autohide},
                   {"always", writtenFlags.always}});
    seeds.push_back({"settings", "settings.ini", readText(ini), Compare::Bytes});
    seeds.push_back({"settings", "handwritten.ini", handWrittenSettings, Compare::Bytes});
    for (const auto& [name, executable] : autostartSeeds) {
        if (!writeAutorunEntry(executable))
            throw std::runtime_error("cannot write the autostart entry");
        seeds.push_back({"settings", name, readText(autorunEntryPath()), Compare::Bytes});
    }

    writeBookmarkFile(work.path("bookmarks.html"), bookmarkTree());
    seeds.push_back({"bookmarkfile", "bookmarks.html", readText(work.path("bookmarks.html")), Compare::Bytes});
    writeBookmarkFile(work.path("empty.html"), ImportFolder{});
    seeds.push_back({"bookmarkfile", "empty.html", readText(work.path("empty.html")), Compare::Bytes});

    seeds.push_back({"chromium", "Bookmarks", chromiumSeed(), Compare::Bytes});

    seeds.push_back({"profiles", "profiles.ini", firefoxProfileList, Compare::Bytes});
    seeds.push_back({"profiles", "Local State", chromiumLocalState, Compare::Bytes});

    makePlaces(work.path("places.sqlite"));
    seeds.push_back({"firefox", "places.sqlite", readText(work.path("places.sqlite")), Compare::BytesOfSameSqlite});

    const SyncKey key = fixedKey();
    seeds.push_back({"syncfile", "changes.vsync", syncFileSeed(nullptr), Compare::Content});
    seeds.push_back({"syncfile", "encrypted.vsync", syncFileSeed(&key), Compare::Content});
    seeds.push_back({"syncfile", "first-format.jsonl", legacySyncSeed(), Compare::Bytes});
    for (const auto& [name, bytes] : propfindSeeds())
        seeds.push_back({"propfind", name, bytes, Compare::Bytes});
    return seeds;
}

std::string committed(const std::string& target, const std::string& name)
{
    return readText(seedFolder + "/" + target + "/" + name);
}

// The SQLite version that wrote a database (its header at 96), found behind a backup's header too.
int sqliteVersionOf(const std::string& bytes)
{
    const std::size_t at = (bytes.rfind("VaRnElOcAtAlOgUe", 0) == 0 ? 30 : 0) + 96;
    if (bytes.size() < at + 4)
        return 0;
    int version = 0;
    for (std::size_t i = at; i < at + 4; ++i)
        version = version * 256 + static_cast<unsigned char>(bytes[i]);
    return version;
}

class FuzzSeeds : public ::testing::Test {
protected:
    void SetUp() override { ::setenv("XDG_CONFIG_HOME", config.path().c_str(), 1); }

    TempFolder config;
    TempFolder work;
};

}  // namespace

TEST_F(FuzzSeeds, EachTargetHoldsExactlyTheSeedsOurWritersMake)
{
    std::map<std::string, std::set<std::string>> made;
    for (const Seed& seed : makeSeeds(work))
        made[seed.target].insert(seed.name);
    for (const auto& [target, names] : made) {
        std::set<std::string> present;
        for (const auto& entry : fs::directory_iterator(seedFolder + "/" + target))
            present.insert(entry.path().filename().string());
        EXPECT_EQ(present, names) << target;
    }
}

TEST_F(FuzzSeeds, SeedsAreTheBytesOurWritersWriteToday)
{
    for (const Seed& seed : makeSeeds(work)) {
        const std::string held = committed(seed.target, seed.name);
        EXPECT_LE(held.size(), 8192u) << seed.target << "/" << seed.name << " is no small seed";
        const bool comparable =
            seed.compare == Compare::Bytes
            || (seed.compare == Compare::BytesOfSameSqlite && sqliteVersionOf(held) == sqlite3_libversion_number());
        if (comparable) {
            EXPECT_TRUE(held == seed.bytes) << seed.target << "/" << seed.name << " differs from what is written today";
        }
    }
}

TEST_F(FuzzSeeds, BinarySeedsDecodeToTheBytesEncoded)
{
    for (const auto& [name, bytes] : binarySeeds()) {
        CppSQLite3Binary blob;
        blob.SetEncoded(committed("binary", name).c_str());
        const unsigned char* decoded = blob.GetBinary();
        EXPECT_EQ(std::string(reinterpret_cast<const char*>(decoded), static_cast<std::size_t>(blob.GetBinaryLength())),
                  bytes)
            << name;
    }
}

TEST_F(FuzzSeeds, BackupSeedsRestoreAsTheCataloguesBackedUp)
{
    for (const bool withItem : {false, true}) {
        const std::string name = withItem ? "catalogue-with-item.mbk" : "catalogue.mbk";
        const std::string current = work.path(name + ".db");
        makeCatalogue(current, !withItem);
        writeText(work.path(name), committed("backup", name));
        int calls = 0;
        const BackupOutcome outcome = restoreBackup(
            work.path(name), current, [&calls] { ++calls; }, [&calls] { ++calls; });
        EXPECT_TRUE(outcome.succeeded) << name << ": " << outcome.message;
        EXPECT_EQ(calls, 2);
        CDBManager db;
        db.Open(current);
        EXPECT_EQ(db.ExecuteScalar("select count(*) from category_table;"), 6) << name;
        EXPECT_EQ(db.ExecuteScalar("select count(*) from link_table;"), withItem ? 1 : 0) << name;
    }
}

TEST_F(FuzzSeeds, IconListSeedsReadBackPictureForPicture)
{
    const std::string empty = committed("iconlist", "empty.vril");
    const auto none = IconList::deserialize(std::vector<unsigned char>(empty.begin(), empty.end()));
    ASSERT_TRUE(none.has_value());
    EXPECT_EQ(none->count(), 0);

    const IconList expected = iconListSeed(2);
    const std::string two = committed("iconlist", "two.vril");
    const auto read = IconList::deserialize(std::vector<unsigned char>(two.begin(), two.end()));
    ASSERT_TRUE(read.has_value());
    ASSERT_EQ(read->count(), 2);
    for (int i = 0; i < 2; ++i)
        EXPECT_TRUE(read->image(i) == expected.image(i)) << "picture " << i;
}

TEST_F(FuzzSeeds, FavoritesSeedsGiveTheirLinkAsShortcutOrEntry)
{
    for (const auto& [name, url] : favoritesLinks()) {
        const std::string folder = work.path(name + "-Favorites");
        writeText(folder + "/x.url", committed("favorites", name));
        writeText(folder + "/x.desktop", committed("favorites", name));
        CFavoriteEngine engine(folder);
        const FavoriteNode* root = engine.ReadFavorites();
        ASSERT_NE(root, nullptr);
        ASSERT_NE(root->nextLink, nullptr) << name;
        // A desktop entry is titled by its Name, a shortcut by its file name.
        EXPECT_EQ(root->nextLink->name, name.ends_with(".desktop") ? "Example" : "x") << name;
        EXPECT_EQ(root->nextLink->url, url) << name;
        EXPECT_EQ(root->nextLink->nextLink, nullptr) << name << " is read both as a shortcut and as an entry";
    }
}

TEST_F(FuzzSeeds, SettingsSeedsGiveTheFlagsAndCommandWritten)
{
    const std::string exe = "/usr/bin/varnelo";
    EXPECT_TRUE(writeAutorunEntry(exe));
    for (const auto& [name, flags] :
         {std::pair{"settings.ini", writtenFlags}, std::pair{"handwritten.ini", handWrittenFlags}}) {
        writeText(work.path(name), committed("settings", name));
        SettingsRecord read;
        LoadSettings(read, work.path(name));
        EXPECT_EQ(std::vector<bool>({read.autorun, read.closetray, read.minitray, read.autohide, read.always}),
                  std::vector<bool>({flags.autorun, flags.closetray, flags.minitray, flags.autohide, flags.always}))
            << name;
    }
    for (const auto& [name, executable] : autostartSeeds) {
        writeText(autorunEntryPath(), committed("settings", name));
        EXPECT_TRUE(autorunEntryActive()) << name;
        EXPECT_EQ(splitCommandLine(readAutorunCommandLine()), std::vector<std::string>({executable, "/tray"})) << name;
    }
}

TEST_F(FuzzSeeds, BookmarkFileSeedsReadBackAsTheTreeWritten)
{
    writeText(work.path("bookmarks.html"), committed("bookmarkfile", "bookmarks.html"));
    const ImportTree tree = readBookmarkFile(work.path("bookmarks.html"));
    EXPECT_EQ(outline(tree.root), outline(bookmarkTree()));
    writeText(work.path("empty.html"), committed("bookmarkfile", "empty.html"));
    EXPECT_EQ(outline(readBookmarkFile(work.path("empty.html")).root), "");
}

TEST_F(FuzzSeeds, ChromiumSeedGivesItsRootsInTheBrowsersOrder)
{
    writeText(work.path("Bookmarks"), committed("chromium", "Bookmarks"));
    EXPECT_EQ(outline(readChromiumBookmarks(work.path("Bookmarks")).root),
              "+ Bookmarks bar\n"
              "  + Work\n"
              "    - Search | https://example.org/?q=1 |  | 1\n"
              "  - Varnelo | https://example.org/varnelo |  | 1\n"
              "  - Notes | /home/user/notes.txt |  | 0\n"
              "+ Other bookmarks\n"
              "  - Caf\xC3\xA9 | https://example.org/caf%C3%A9 |  | 1\n");
}

TEST_F(FuzzSeeds, FirefoxSeedGivesItsRootsWithoutTagsOrScripts)
{
    writeText(work.path("places.sqlite"), committed("firefox", "places.sqlite"));
    const ImportTree tree = readFirefoxPlaces(work.path("places.sqlite"));
    EXPECT_EQ(outline(tree.root), "+ Bookmarks Menu\n"
                                  "  + Projects\n"
                                  "    - Varnelo | https://example.org/varnelo |  | 1\n"
                                  "  - Start | https://example.org/ |  | 1\n"
                                  "+ Bookmarks Toolbar\n"
                                  "  - Notes | /home/user/notes.txt |  | 0\n"
                                  "+ Other Bookmarks\n"
                                  "  - Later | https://example.org/later |  | 1\n"
                                  "+ Mobile Bookmarks\n"
                                  "  - Phone | https://example.org/phone |  | 1\n");
    EXPECT_EQ(tree.skipped, 2);
}

TEST_F(FuzzSeeds, ProfileListSeedsNameTheProfilesTheyList)
{
    // The home the target searches: both lists hold the seed, beside one profile of each browser.
    const std::string home = work.path("home");
    writeText(home + "/.mozilla/firefox/default/places.sqlite", "");
    writeText(home + "/.config/chromium/Default/Bookmarks", "{}");
    const auto profilesWith = [&home](const std::string& seed) {
        writeText(home + "/.mozilla/firefox/profiles.ini", committed("profiles", seed));
        writeText(home + "/.config/chromium/Local State", committed("profiles", seed));
        std::string names;
        for (const BrowserProfile& profile : findBrowserProfiles(home))
            names += profile.browser + ": " + profile.profile + "\n";
        return names;
    };
    EXPECT_EQ(profilesWith("profiles.ini"), "Firefox: default-release\nChromium: Default\n");
    EXPECT_EQ(profilesWith("Local State"), "Chromium: Person 1\n");
}

TEST_F(FuzzSeeds, SyncFileSeedsReadAsTheRecordsWritten)
{
    const SyncKey key = fixedKey();
    for (const char* name : {"changes.vsync", "encrypted.vsync", "first-format.jsonl"}) {
        QByteArray bytes = QByteArray::fromStdString(committed("syncfile", name));
        QBuffer buffer(&bytes);
        buffer.open(QIODevice::ReadOnly);
        SyncFileReader reader(buffer, &key, syncBound);
        EXPECT_EQ(reader.header().machineName, "desktop") << name;
        std::vector<SyncRecord> records;
        for (SyncRecord record; reader.next(record);)
            records.push_back(record);
        EXPECT_EQ(records, syncRecords()) << name;
    }
}

TEST_F(FuzzSeeds, PropfindSeedsListTheirOneEntry)
{
    const auto rclone =
        readListing(QByteArray::fromStdString(committed("propfind", "rclone.xml")), "/sync/here/Varnelo", 10, "rclone");
    ASSERT_EQ(rclone.size(), 1u);
    EXPECT_EQ(rclone[0].name, "snapshot-00000001.vsync");
    EXPECT_EQ(rclone[0].size, 533);
    EXPECT_FALSE(rclone[0].folder);
    EXPECT_EQ(rclone[0].modified, httpDate("Thu, 10 Dec 2026 14:34:46 GMT"));
    const auto apache =
        readListing(QByteArray::fromStdString(committed("propfind", "apache.xml")), "/sync/here/Varnelo", 10, "apache");
    ASSERT_EQ(apache.size(), 1u);
    EXPECT_EQ(apache[0].name, "caf\xC3\xA9 device");
    EXPECT_TRUE(apache[0].folder);
}

int main(int argc, char** argv)
{
    ::setenv("QT_QPA_PLATFORM", "offscreen", 0);
    QGuiApplication application(argc, argv);
    if (argc == 2 && std::strcmp(argv[1], "--write-seeds") == 0) {
        TempFolder config;
        TempFolder work;
        ::setenv("XDG_CONFIG_HOME", config.path().c_str(), 1);
        for (const Seed& seed : makeSeeds(work))
            writeText(seedFolder + "/" + seed.target + "/" + seed.name, seed.bytes);
        return 0;
    }
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
