// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/automaticbackup.h"
#include "cli/browserlookup.h"
#include "cli/importing.h"
#include "import/bookmarkfilereader.h"

#include <filesystem>

namespace {

int import(Invocation& run)
{
    const bool fromBrowser = run.value("browser").has_value();
    if (fromBrowser == !run.operands().empty())
        throw UsageError("import needs a bookmark FILE or --browser PROFILE, not both");
    if (!run.value("category"))
        throw UsageError("import needs --category CATEGORY");
    // The file is read whole before anything is stored: a file the reader refuses changes nothing.
    const ImportTree tree =
        fromBrowser ? readBrowserProfile(findProfile(*run.value("browser"))) : readBookmarkFile(run.operands().front());
    backUpBefore(run, fromBrowser ? "import from " + *run.value("browser")
                                  : "import of " + std::filesystem::path(run.operands().front()).filename().string());
    return storeTree(run, tree, "Imported");
}

}  // namespace

extern const Subcommand cmd_import = {
    "import",
    "--category CATEGORY (FILE | --browser PROFILE)",
    "Import a bookmark file or a browser profile's bookmarks below a category",
    {{"category", "CATEGORY", "the category the bookmarks go below"},
     {"browser", "PROFILE", "a profile as browsers lists it (BROWSER/PROFILE or PROFILE), or a profile folder"}},
    0,
    1,
    import};
