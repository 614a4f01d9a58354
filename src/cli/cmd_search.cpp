// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/categorypath.h"
#include "cli/cliapp.h"
#include "search/searchindex.h"
#include "shell/paths.h"

#include <filesystem>

namespace {

bool blank(const std::string& text)
{
    for (const char c : text)
        if (static_cast<unsigned char>(c) > 32 && c != 127)
            return false;
    return true;
}

// Through the window's search index when it keeps one for this catalogue (the same hits in the same
// order, faster); a catalogue the window never opened is scanned, and gets no index file for that.
std::vector<CSearchItem> searchItems(Invocation& run, bool byName, bool byTarget, bool byComment,
                                     const std::string& keyword)
{
    const std::string cache = cacheFolderPath();
    const std::string indexFile =
        cache.empty() ? std::string() : search::SearchIndex::indexPathFor(run.databasePath(), cache);
    std::error_code ignored;
    if (indexFile.empty() || !std::filesystem::exists(indexFile, ignored))
        return run.catalogue().SearchItems(byName, byTarget, byComment, keyword);
    search::SearchIndex index(run.databasePath(), indexFile);
    return search::searchItems(index, byName, byTarget, byComment, keyword);
}

int searchCommand(Invocation& run)
{
    const std::string& keyword = run.operands().front();
    if (blank(keyword))
        throw UsageError("the keyword is blank");
    // As the search dialog: every field unless some are chosen.
    const bool any = run.has("title") || run.has("target") || run.has("description");
    CDBManager& db = run.catalogue();
    const CategoryIndex index(db.GetRootCategory());
    for (const CSearchItem& hit : searchItems(run, !any || run.has("title"), !any || run.has("target"),
                                              !any || run.has("description"), keyword)) {
        const CCategory* category = index.byGuid(hit.category);
        run.out().print({{"guid", hit.guid},
                         {"title", hit.name},
                         {"category", category ? index.pathOf(*category) : std::string()}});
    }
    return ExitSuccess;
}

}  // namespace

extern const Subcommand cmd_search = {
    "search",
    "[--title] [--target] [--description] KEYWORD",
    "Find items as the search dialog does (every field unless some are named); print each hit and its category",
    {{"title", nullptr, "search the titles"},
     {"target", nullptr, "search the targets"},
     {"description", nullptr, "search the descriptions"}},
    1,
    1,
    searchCommand};
