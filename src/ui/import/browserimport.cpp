// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/import/browserimport.h"

#include "model/progress.h"
#include "ui/common/backgroundwork.h"
#include "ui/common/qtext.h"

#include <QDir>

namespace {

const char* const countingLabel = "Counting the bookmarks of the browser profiles...";
const char* const readingLabel = "Reading the bookmarks of the browser profile...";

// Where the user's programs keep their settings; "" lets the reader take ~/.config.
std::string configurationFolder()
{
    const QString folder = qEnvironmentVariable("XDG_CONFIG_HOME");
    return QDir::isAbsolutePath(folder) ? fromQ(folder) : std::string();
}

}  // namespace

std::optional<std::vector<BrowserProfile>> countedBrowserProfiles(QWidget* owner)
{
    std::vector<BrowserProfile> profiles = listBrowserProfiles(fromQ(QDir::homePath()), configurationFolder());
    const bool counted =
        runInBackground(owner, QString::fromLatin1(countingLabel), profiles.size(), [&profiles](Progress& progress) {
            std::size_t done = 0;
            // The counting of one profile only asks whether to stop; the window counts profiles.
            StopWhen stop([&] { return !progress.advance(done, profiles.size()); });
            for (BrowserProfile& profile : profiles) {
                if (!stop.advance(0, 0))
                    return;
                countBookmarks(profile, stop);
                ++done;
            }
        });
    if (!counted)
        return std::nullopt;
    return profiles;
}

std::optional<ImportTree> readProfileInBackground(QWidget* owner, const BrowserProfile& profile)
{
    ImportTree tree;
    if (!runInBackground(owner, QString::fromLatin1(readingLabel), 0, [&](Progress& progress) {
            tree = readBrowserProfile(profile, progress);
        }))
        return std::nullopt;
    return tree;
}
