// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/browserlookup.h"
#include "cli/cliapp.h"

namespace {

int browsers(Invocation& run)
{
    for (const BrowserProfile& profile : homeBrowserProfiles())
        run.out().print({{"browser", profile.browser},
                         {"profile", profile.profile},
                         {"bookmarks", static_cast<long long>(profile.bookmarkCount)},
                         {"folder", profileFolder(profile)}});
    return ExitSuccess;
}

}  // namespace

extern const Subcommand cmd_browsers = {
    "browsers",
    "",
    "List the browser profiles \"Import from Browser...\" offers: browser, profile, bookmarks (-1: unreadable), folder",
    {},
    0,
    0,
    browsers};
