// SPDX-License-Identifier: GPL-3.0-or-later
#include "import/browserprofiles.h"

#include "importtestutil.h"
#include "numbered.h"
#include "placesbuilder.h"

namespace {

struct Found {
    BrowserProfile::Kind kind;
    std::string browser, profile, bookmarksPath;
    int bookmarkCount;
    bool operator==(const Found&) const = default;
};

std::vector<Found> found(const std::string& home)
{
    std::vector<Found> all;
    for (const BrowserProfile& p : findBrowserProfiles(home))
        all.push_back({p.kind, p.browser, p.profile, p.bookmarksPath, p.bookmarkCount});
    return all;
}

void writePlaces(const std::string& path, int bookmarks)
{
    std::filesystem::create_directories(std::filesystem::path(path).parent_path());
    Places places(path);
    for (int i = 0; i < bookmarks; ++i)
        places.bookmark(toolbarRoot, i, numbered("B", i), "https://b.example/" + std::to_string(i));
}

std::string chromiumBookmarks(int bookmarks)
{
    std::string children;
    for (int i = 0; i < bookmarks; ++i)
        children += std::string(i ? "," : "") + R"({"type": "url", "name": "B", "url": "https://b.example/"})";
    return R"({"roots": {"bookmark_bar": {"type": "folder", "children": [)" + children
           + R"(]}, "other": {"children": [{"type": "url", "name": "Script", "url": "javascript:x"}]}}})";
}

constexpr auto firefox = BrowserProfile::Kind::Firefox;
constexpr auto chromium = BrowserProfile::Kind::Chromium;

}  // namespace

TEST(BrowserProfiles, FirefoxProfilesComeFromEachProfilesIni)
{
    TempFolder home;
    const std::string native = home.path(".mozilla/firefox");
    writeText(native + "/profiles.ini",
              "[Install4F96D1932A9F858E]\nDefault=abc.default-release\n\n"
              "[Profile1]\nName=Work \xC3\xA9t\xC3\xA9\nIsRelative=1\nPath=abc.default-release\nDefault=1\n\n"
              "[Profile0]\nName=Elsewhere\nIsRelative=0\nPath="
                  + home.path("far/away")
                  + "\n\n"
                    "[Profile2]\nName=Never used\nIsRelative=1\nPath=empty.profile\n\n"
                    "[General]\nStartWithLastProfile=1\nVersion=2\n");
    writePlaces(native + "/abc.default-release/places.sqlite", 3);
    writePlaces(home.path("far/away/places.sqlite"), 1);
    std::filesystem::create_directories(native + "/empty.profile");
    const std::string flatpak = home.path(".var/app/org.mozilla.firefox/.mozilla/firefox");
    writeText(flatpak + "/profiles.ini", "[Profile0]\nPath=xyz.flat\n");
    writePlaces(flatpak + "/xyz.flat/places.sqlite", 0);
    writeText(home.path("snap/firefox/common/.mozilla/firefox/profiles.ini"), "[Profile0]\nName=Broken\nPath=b\n");
    writeText(home.path("snap/firefox/common/.mozilla/firefox/b/places.sqlite"), "not a database");

    EXPECT_EQ(found(home.path()),
              (std::vector<Found>{
                  {firefox, "Firefox", "Work \xC3\xA9t\xC3\xA9", native + "/abc.default-release/places.sqlite", 3},
                  {firefox, "Firefox", "Elsewhere", home.path("far/away/places.sqlite"), 1},
                  {firefox, "Firefox", "Broken", home.path("snap/firefox/common/.mozilla/firefox/b/places.sqlite"), -1},
                  {firefox, "Firefox", "xyz.flat", flatpak + "/xyz.flat/places.sqlite", 0}}));
}

TEST(BrowserProfiles, ChromiumFamilyProfilesAreNamedFromLocalState)
{
    TempFolder home;
    const std::string chrome = home.path(".config/google-chrome");
    writeText(chrome + "/Local State",
              R"({"profile": {"info_cache": {"Default": {"name": "Person 1"}, "Profile 2": {"name": "Arbeit"}}}})");
    writeText(chrome + "/Default/Bookmarks", chromiumBookmarks(2));
    writeText(chrome + "/Profile 10/Bookmarks", chromiumBookmarks(1));
    writeText(chrome + "/Profile 2/Bookmarks", "{ broken");
    writeText(chrome + "/System Profile/Preferences", "{}");
    const std::string brave = home.path(".var/app/com.brave.Browser/config/BraveSoftware/Brave-Browser");
    writeText(brave + "/Default/Bookmarks", chromiumBookmarks(4));
    writeText(home.path(".config/vivaldi/Default/Bookmarks"), chromiumBookmarks(0));
    writeText(home.path(".config/chromium/Local State"), "not json");
    writeText(home.path(".config/chromium/Default/Bookmarks"), chromiumBookmarks(1));
    writeText(home.path(".var/app/com.microsoft.Edge/config/microsoft-edge/Default/Bookmarks"), chromiumBookmarks(5));

    EXPECT_EQ(
        found(home.path()),
        (std::vector<Found>{{chromium, "Chromium", "Default", home.path(".config/chromium/Default/Bookmarks"), 1},
                            {chromium, "Google Chrome", "Person 1", chrome + "/Default/Bookmarks", 2},
                            {chromium, "Google Chrome", "Arbeit", chrome + "/Profile 2/Bookmarks", -1},
                            {chromium, "Google Chrome", "Profile 10", chrome + "/Profile 10/Bookmarks", 1},
                            {chromium, "Brave", "Default", brave + "/Default/Bookmarks", 4},
                            {chromium, "Microsoft Edge", "Default",
                             home.path(".var/app/com.microsoft.Edge/config/microsoft-edge/Default/Bookmarks"), 5},
                            {chromium, "Vivaldi", "Default", home.path(".config/vivaldi/Default/Bookmarks"), 0}}));
}

TEST(BrowserProfiles, HomeWithoutBrowsersHasNoProfiles)
{
    TempFolder home;
    EXPECT_TRUE(findBrowserProfiles(home.path()).empty());
    EXPECT_TRUE(findBrowserProfiles(home.path("missing")).empty());
}

TEST(BrowserProfiles, ReadingAProfileUsesItsBrowsersReader)
{
    TempFolder home;
    writePlaces(home.path("ff/places.sqlite"), 1);
    writeText(home.path("ch/Bookmarks"), chromiumBookmarks(1));
    EXPECT_EQ(outline(readBrowserProfile({firefox, "Firefox", "p", home.path("ff/places.sqlite")}).root),
              "+ Bookmarks Toolbar\n  - B0 | https://b.example/0 |  | 1\n");
    const ImportTree chromiumTree = readBrowserProfile({chromium, "Chromium", "p", home.path("ch/Bookmarks")});
    EXPECT_EQ(outline(chromiumTree.root), "+ Bookmarks bar\n  - B | https://b.example/ |  | 1\n");
    EXPECT_EQ(chromiumTree.skipped, 1);
}

TEST(BrowserProfiles, CurrentSnapAndRelinkedPlacesAreEachListedOnce)
{
    TempFolder home;
    const std::string config = home.path("settings");  // $XDG_CONFIG_HOME
    writeText(config + "/mozilla/firefox/profiles.ini", "[Profile0]\nName=Current\nPath=new.default\n");
    writePlaces(config + "/mozilla/firefox/new.default/places.sqlite", 1);
    // The older folder is a link to the current one, as a migration leaves it, and lists a profile
    // of its own by its absolute path beside the current one.
    std::filesystem::create_directories(home.path(".mozilla"));
    std::filesystem::create_directory_symlink(config + "/mozilla/firefox", home.path(".mozilla/firefox"));
    writeText(home.path("snap/firefox/common/.mozilla/firefox/profiles.ini"),
              "[Profile0]\nName=Same\nIsRelative=0\nPath=" + config
                  + "/mozilla/firefox/new.default\n"
                    "[Profile1]\nName=Snap\nPath=snap.default\n");
    writePlaces(home.path("snap/firefox/common/.mozilla/firefox/snap.default/places.sqlite"), 2);
    writeText(home.path("snap/chromium/common/chromium/Default/Bookmarks"), chromiumBookmarks(3));
    writeText(config + "/chromium/Default/Bookmarks", chromiumBookmarks(1));

    std::vector<std::string> listed;
    for (BrowserProfile& profile : listBrowserProfiles(home.path(), config)) {
        EXPECT_EQ(profile.bookmarkCount, -1) << "listing reads no bookmarks";
        countBookmarks(profile);
        listed.push_back(profile.browser + " " + profile.profile + " " + std::to_string(profile.bookmarkCount));
    }
    EXPECT_EQ(listed, (std::vector<std::string>{"Firefox Current 1", "Firefox Snap 2", "Chromium Default 1",
                                                "Chromium Default 3"}));
}
