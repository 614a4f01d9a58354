// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/browserlookup.h"

#include "cli/cliapp.h"

#include <QDir>

#include <filesystem>
#include <optional>

std::vector<BrowserProfile> homeBrowserProfiles()
{
    return findBrowserProfiles(QDir::homePath().toStdString());
}

std::string profileFolder(const BrowserProfile& profile)
{
    return std::filesystem::path(profile.bookmarksPath).parent_path().string();
}

namespace {

std::string canonical(const std::string& path)
{
    std::error_code error;
    const std::filesystem::path found = std::filesystem::weakly_canonical(path, error);
    return error ? path : found.string();
}

// A folder outside the usual places that holds a browser's bookmarks file.
std::optional<BrowserProfile> profileInFolder(const std::string& folder)
{
    std::error_code error;
    const std::filesystem::path base(folder);
    if (std::filesystem::is_regular_file(base / "places.sqlite", error))
        return BrowserProfile{BrowserProfile::Kind::Firefox, "Firefox", base.filename().string(),
                              (base / "places.sqlite").string()};
    if (std::filesystem::is_regular_file(base / "Bookmarks", error))
        return BrowserProfile{BrowserProfile::Kind::Chromium, "Chromium", base.filename().string(),
                              (base / "Bookmarks").string()};
    return std::nullopt;
}

}  // namespace

BrowserProfile findProfile(const std::string& name)
{
    std::vector<BrowserProfile> matches;
    const std::string asFolder = canonical(name);
    for (const BrowserProfile& profile : homeBrowserProfiles()) {
        const bool byName = name == profile.profile || name == profile.browser + "/" + profile.profile;
        if (byName || canonical(profileFolder(profile)) == asFolder)
            matches.push_back(profile);
    }
    if (matches.size() > 1)
        throw Failure("\"" + name + "\" names " + std::to_string(matches.size())
                      + " profiles; give BROWSER/PROFILE or the profile's folder");
    if (!matches.empty())
        return matches.front();
    if (const std::optional<BrowserProfile> found = profileInFolder(name))
        return *found;
    throw Failure("No browser profile \"" + name + "\"; see varnelo-cli browsers");
}
