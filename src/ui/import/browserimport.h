// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "import/browserprofiles.h"

#include <optional>
#include <vector>

class QWidget;

// The current user's browser profiles with their bookmark counts, counted on a worker thread
// while a progress with Cancel shows; nothing when the user cancelled.
std::optional<std::vector<BrowserProfile>> countedBrowserProfiles(QWidget* owner);

// The profile's bookmarks, read on a worker thread the same way; nothing when the user cancelled.
std::optional<ImportTree> readProfileInBackground(QWidget* owner, const BrowserProfile& profile);
