// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "import/importtree.h"
#include "model/progress.h"

#include <string>
#include <vector>

// A browser profile whose bookmarks can be imported.
struct BrowserProfile {
    enum class Kind { Firefox, Chromium };
    Kind kind;
    std::string browser;        // "Firefox", "Chromium", "Google Chrome", "Brave", "Microsoft Edge", "Vivaldi"
    std::string profile;        // the profile's display name
    std::string bookmarksPath;  // places.sqlite or Bookmarks
    int bookmarkCount = -1;     // -1 when it could not be read
};

// The profiles of the user whose home and configuration folder ($XDG_CONFIG_HOME; "" for
// home/.config) are given that hold a bookmarks file, without their counts: Firefox's from their
// profiles.ini (the configuration folder's first, then ~/.config's when that is another, the older
// folder's, Snap's and Flatpak's), then each Chromium-family browser's (the configuration folders',
// Flatpak, Snap), profile folders in name order. A profile reached from two places is listed once.
// Reads only small files, so it is quick.
std::vector<BrowserProfile> listBrowserProfiles(const std::string& home, const std::string& configHome = {});

// Sets the profile's count: the number of entries an import would bring, or -1 when its bookmarks
// cannot be read. Reading a Firefox profile may take a while; progress is asked now and then and may
// end it with ReadStopped.
void countBookmarks(BrowserProfile& profile, Progress& progress = Progress::none());

// The profiles of listBrowserProfiles(home) with their counts.
std::vector<BrowserProfile> findBrowserProfiles(const std::string& home);

// The profile's bookmarks, read by the reader of its browser; throws as that reader does.
ImportTree readBrowserProfile(const BrowserProfile&, Progress& progress = Progress::none());
