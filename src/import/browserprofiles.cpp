// SPDX-License-Identifier: GPL-3.0-or-later
#include "import/browserprofiles.h"

#include "import/chromiumbookmarks.h"
#include "import/firefoxplaces.h"
#include "import/importtext.h"

#include <SimpleIni.h>

#include <QJsonDocument>
#include <QJsonObject>

#include <algorithm>
#include <filesystem>
#include <set>
#include <stdexcept>

namespace fs = std::filesystem;

namespace {

// profiles.ini and Local State are small; anything far larger is not a browser's.
constexpr std::uintmax_t largestProfileList = 16ull * 1024 * 1024;

// Below the home folder, after the one in the user's configuration folder ("mozilla/firefox"),
// where a current Firefox starts a new profile: the folder older ones use, then Snap's and
// Flatpak's, each in its current and its older place.
constexpr const char* firefoxFolders[] = {
    ".mozilla/firefox", "snap/firefox/common/.config/mozilla/firefox", "snap/firefox/common/.mozilla/firefox",
    ".var/app/org.mozilla.firefox/config/mozilla/firefox", ".var/app/org.mozilla.firefox/.mozilla/firefox"};

struct ChromiumBrowser {
    const char* name;
    const char* native;       // below the user's configuration folder
    const char* packaged[2];  // below the home folder: Flatpak, Snap (nullptr: none)
};
constexpr ChromiumBrowser chromiumBrowsers[] = {
    {"Chromium", "chromium", {".var/app/org.chromium.Chromium/config/chromium", "snap/chromium/common/chromium"}},
    {"Google Chrome", "google-chrome", {".var/app/com.google.Chrome/config/google-chrome", nullptr}},
    {"Brave",
     "BraveSoftware/Brave-Browser",
     {".var/app/com.brave.Browser/config/BraveSoftware/Brave-Browser",
      "snap/brave/current/.config/BraveSoftware/Brave-Browser"}},
    {"Microsoft Edge", "microsoft-edge", {".var/app/com.microsoft.Edge/config/microsoft-edge", nullptr}},
    {"Vivaldi", "vivaldi", {".var/app/com.vivaldi.Vivaldi/config/vivaldi", "snap/vivaldi/current/.config/vivaldi"}},
};

// The same profile reached twice (a folder linked to another, two lists naming one profile) is
// listed once, where it was found first.
class Listed {
public:
    bool firstTime(const fs::path& bookmarks)
    {
        std::error_code error;
        const fs::path canonical = fs::canonical(bookmarks, error);
        return seen.insert(error ? bookmarks.string() : canonical.string()).second;
    }

private:
    std::set<std::string> seen;
};

bool isFile(const fs::path& path)
{
    std::error_code error;
    return fs::is_regular_file(path, error);
}

// The file's text, or nothing when it is missing, unreadable or too large.
std::string smallFile(const fs::path& path)
{
    try {
        return InputFile(path.string(), largestProfileList).readAll();
    } catch (const std::runtime_error&) {
        return {};
    }
}

void addFirefoxProfiles(const fs::path& folder, std::vector<BrowserProfile>& found, Listed& listed)
{
    const std::string text = smallFile(folder / "profiles.ini");
    CSimpleIniA ini(true, false, false);
    if (text.empty() || ini.LoadData(text) < 0)
        return;
    CSimpleIniA::TNamesDepend sections;
    ini.GetAllSections(sections);
    sections.sort(CSimpleIniA::Entry::LoadOrder());
    for (const CSimpleIniA::Entry& section : sections) {
        if (!startsWithIgnoringCase(section.pItem, "Profile"))
            continue;
        const std::string path = ini.GetValue(section.pItem, "Path", "");
        if (path.empty())
            continue;
        const bool relative = std::string(ini.GetValue(section.pItem, "IsRelative", "1")) != "0";
        const fs::path places = (relative ? folder / path : fs::path(path)) / "places.sqlite";
        if (!isFile(places) || !listed.firstTime(places))
            continue;
        const std::string name = ini.GetValue(section.pItem, "Name", "");
        found.push_back({BrowserProfile::Kind::Firefox, "Firefox",
                         name.empty() ? fs::path(path).filename().string() : name, places.string()});
    }
}

// Display names from the browser's Local State; a profile missing there keeps its folder name.
std::string chromiumProfileName(const QJsonObject& profiles, const std::string& folder)
{
    const QString name = profiles.value(QString::fromStdString(folder)).toObject().value("name").toString();
    return name.isEmpty() ? folder : name.toStdString();
}

void addChromiumProfiles(const char* browser, const fs::path& folder, std::vector<BrowserProfile>& found,
                         Listed& listed)
{
    std::error_code error;
    std::vector<std::string> names;
    for (fs::directory_iterator it(folder, error); !error && it != fs::directory_iterator(); it.increment(error))
        if (isFile(it->path() / "Bookmarks") && listed.firstTime(it->path() / "Bookmarks"))
            names.push_back(it->path().filename().string());
    std::sort(names.begin(), names.end(),
              [](const std::string& a, const std::string& b) { return fileNameOrderKey(a) < fileNameOrderKey(b); });
    const std::string localState = smallFile(folder / "Local State");
    const QJsonObject profiles = QJsonDocument::fromJson(QByteArray::fromStdString(localState))
                                     .object()
                                     .value("profile")
                                     .toObject()
                                     .value("info_cache")
                                     .toObject();
    for (const std::string& name : names)
        found.push_back({BrowserProfile::Kind::Chromium, browser, chromiumProfileName(profiles, name),
                         (folder / name / "Bookmarks").string()});
}

}  // namespace

std::vector<BrowserProfile> listBrowserProfiles(const std::string& home, const std::string& configHome)
{
    // A browser started without the variable the program sees uses ~/.config all the same.
    std::vector<fs::path> configs{fs::path(home) / ".config"};
    if (!configHome.empty() && fs::path(configHome) != configs.front())
        configs.insert(configs.begin(), fs::path(configHome));
    std::vector<BrowserProfile> found;
    Listed listed;
    for (const fs::path& config : configs)
        addFirefoxProfiles(config / "mozilla/firefox", found, listed);
    for (const char* folder : firefoxFolders)
        addFirefoxProfiles(fs::path(home) / folder, found, listed);
    for (const ChromiumBrowser& browser : chromiumBrowsers) {
        for (const fs::path& config : configs)
            addChromiumProfiles(browser.name, config / browser.native, found, listed);
        for (const char* folder : browser.packaged)
            if (folder)
                addChromiumProfiles(browser.name, fs::path(home) / folder, found, listed);
    }
    return found;
}

void countBookmarks(BrowserProfile& profile, Progress& progress)
{
    try {
        profile.bookmarkCount = countEntries(readBrowserProfile(profile, progress).root);
    } catch (const std::exception&) {
        profile.bookmarkCount = -1;
    }
}

std::vector<BrowserProfile> findBrowserProfiles(const std::string& home)
{
    std::vector<BrowserProfile> found = listBrowserProfiles(home);
    for (BrowserProfile& profile : found)
        countBookmarks(profile);
    return found;
}

ImportTree readBrowserProfile(const BrowserProfile& profile, Progress& progress)
{
    return profile.kind == BrowserProfile::Kind::Firefox ? readFirefoxPlaces(profile.bookmarksPath, progress)
                                                         : readChromiumBookmarks(profile.bookmarksPath);
}
