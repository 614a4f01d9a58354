// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "import/browserprofiles.h"

#include <string>
#include <vector>

// The profiles below the user's home folder, as "Import from Browser..." finds them.
std::vector<BrowserProfile> homeBrowserProfiles();
// The folder that holds the profile's bookmarks file.
std::string profileFolder(const BrowserProfile& profile);
// A profile named as `browsers` lists it ("Firefox/default-release", or the profile name alone when
// only one browser has it) or by its folder. Throws Failure when none or several match.
BrowserProfile findProfile(const std::string& name);
