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
    const bool counted = runInBackground(owner, QString::fromLatin1(countingLabel), profiles.size(),
                                         [&profiles](const BackgroundTask& task) {
                                             for (BrowserProfile& profile : profiles) {
                                                 if (task.stopRequested())
                                                     return;
                                                 StopWhen stop(task.stopRequested);
                                                 countBookmarks(profile, stop);
                                                 ++task.done;
                                             }
                                         });
    if (!counted)
        return std::nullopt;
    return profiles;
}

std::optional<ImportTree> readProfileInBackground(QWidget* owner, const BrowserProfile& profile)
{
    ImportTree tree;
    if (!runInBackground(owner, QString::fromLatin1(readingLabel), 0, [&](const BackgroundTask& task) {
            StopWhen stop(task.stopRequested);
            tree = readBrowserProfile(profile, stop);
        }))
        return std::nullopt;
    return tree;
}
