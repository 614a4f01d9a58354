// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "import/importtree.h"

#include <string>
#include <vector>

// A browser profile whose bookmarks can be imported.
struct BrowserProfile {
    enum class Kind { Firefox, Chromium };
    Kind kind;
    std::string browser;       // "Firefox", "Chromium", "Google Chrome", "Brave", "Microsoft Edge", "Vivaldi"
    std::string profile;       // the profile's display name
    std::string bookmarksPath; // places.sqlite or Bookmarks
    int bookmarkCount = -1;    // -1 when it could not be read
};

// The profiles below a home folder that hold a bookmarks file: Firefox's (native, Snap, Flatpak)
// from their profiles.ini, then each Chromium-family browser's (native, then Flatpak), profile
// folders in name order. The count is the number of entries an import would bring.
std::vector<BrowserProfile> findBrowserProfiles(const std::string& home);

// The profile's bookmarks, read by the reader of its browser; throws as that reader does.
ImportTree readBrowserProfile(const BrowserProfile&);
