// SPDX-License-Identifier: GPL-3.0-or-later
#include "backup/backupfile.h"
#include "cli/categorypath.h"
#include "cli/cliapp.h"
#include "cli/contentaccess.h"
#include "commands/catalogueopening.h"
#include "content/contentindex.h"
#include "search/searchindex.h"
#include "shell/appsettings.h"
#include "shell/paths.h"
#include "storage/statement.h"

#include <filesystem>
#include <optional>

namespace {

bool blank(const std::string& text)
{
    for (const char c : text)
        if (static_cast<unsigned char>(c) > 32 && c != 127)
            return false;
    return true;
}

// Through the quick find index, which this run makes or brings up to date when the window has not: the
// catalogue's own hits in its order. nullopt when the index cannot answer (no cache folder, no catalogue
// file yet, one SQLite cannot read): the caller then opens the catalogue and scans it.
std::optional<std::vector<CSearchItem>> searchThroughIndex(Invocation& run, bool byName, bool byTarget, bool byComment,
                                                           const std::string& keyword)
{
    const std::string cache = cacheFolderPath();
    std::error_code ignored;
    if (cache.empty() || !std::filesystem::is_regular_file(run.databasePath(), ignored))
        return std::nullopt;
    removeStaleRestoreTemporary(run.databasePath());
    search::SearchIndex index(run.databasePath(), search::SearchIndex::indexPathFor(run.databasePath(), cache));
    if (!index.update())
        return std::nullopt;
    std::vector<CSearchItem> found = search::searchItems(index, byName, byTarget, byComment, keyword);
    // Without hits the tree is not read, but a catalogue opening refuses (nested too deep, which takes
    // more categories than levels allowed) is refused still.
    if (found.empty() && index.categoryCount() > maxCategoryLevels)
        run.catalogue();
    return found;
}

// The items whose documents or kept pages hold the words, best first, with the passage that does.
int searchContent(Invocation& run)
{
    std::string words;
    for (const std::string& operand : run.operands())
        words += (words.empty() ? "" : " ") + operand;
    if (blank(words))
        throw UsageError("the words are blank");
    std::size_t limit = SIZE_MAX;
    if (const auto given = run.value("limit")) {
        int number = 0;
        if (!parseProfileInt(*given, number) || number < 1)
            throw UsageError("--limit takes a number of hits, 1 or more");
        limit = std::size_t(number);
    }
    const std::string indexFile = contentSetup(run).indexPath;
    std::error_code ignored;
    if (!std::filesystem::exists(indexFile, ignored))
        throw Failure("There is no content index yet: run 'varnelo-cli index' first.");
    content::ContentIndex index(indexFile);
    CDBManager& db = run.catalogue();
    const CategoryIndex categories(db.GetRootCategory());
    Statement item(db, "select name, category from link_table where guid = ?1;");
    for (const content::ContentHit& hit : index.search(words, limit)) {
        // The index may not have followed a delete yet.
        if (!item.bind(1, hit.guid).step()) {
            item.reset();
            continue;
        }
        const CCategory* category = categories.byGuid(item.text(1));
        run.out().print({{"guid", hit.guid},
                         {"title", item.text(0)},
                         {"category", category ? categories.pathOf(*category) : std::string()},
                         {"snippet", hit.snippet},
                         {"page", static_cast<long long>(hit.page)}});
        item.reset();
    }
    return ExitSuccess;
}

int searchCommand(Invocation& run)
{
    if (run.has("content"))
        return searchContent(run);
    if (run.operands().size() > 1)
        throw UsageError(std::string("usage: varnelo-cli search ") + run.command().synopsis);
    const std::string& keyword = run.operands().front();
    if (blank(keyword))
        throw UsageError("the keyword is blank");
    // As the search dialog: every field unless some are chosen.
    const bool any = run.has("title") || run.has("target") || run.has("description");
    const bool byName = !any || run.has("title"), byTarget = !any || run.has("target"),
               byComment = !any || run.has("description");
    std::optional<std::vector<CSearchItem>> hits = searchThroughIndex(run, byName, byTarget, byComment, keyword);
    // The tree is read for the hits' category paths only: a word found nowhere answers without it.
    if (hits && hits->empty())
        return ExitSuccess;
    CDBManager& db = run.catalogue();
    if (!hits)
        hits = db.SearchItems(byName, byTarget, byComment, keyword);
    const CategoryIndex index(db.GetRootCategory());
    for (const CSearchItem& hit : *hits) {
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
    "[--title] [--target] [--description] KEYWORD | --content [--limit N] WORDS...",
    "Find items as the search dialog does (every field unless some are named), or by the words inside their "
    "documents and kept pages; print each hit and its category",
    {{"title", nullptr, "search the titles"},
     {"target", nullptr, "search the targets"},
     {"description", nullptr, "search the descriptions"},
     {"content", nullptr,
      "search the content index (varnelo-cli index): \"exact words\", prefix*, AND, OR, NOT; prints the snippet "
      "(the words marked **so**) and the PDF page (0 when none)"},
     {"limit", "N", "with --content: the best N hits only"}},
    1,
    -1,
    searchCommand};
