// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/contentaccess.h"

#include "content/keptpages.h"
#include "shell/paths.h"

content::IndexerSetup contentSetup(Invocation& run)
{
    const std::string cache = cacheFolderPath();
    if (cache.empty())
        throw Failure("Cannot find the folder for the user's cache: set HOME or XDG_CACHE_HOME.");
    content::IndexerSetup setup;
    setup.cataloguePath = run.databasePath();
    setup.indexPath = content::ContentIndex::pathFor(setup.cataloguePath, cache);
    setup.pagesFolder = content::keptPagesFolder();
    setup.settings = content::loadContentSettings(windowOptionsPath());
    return setup;
}
