// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/categorypath.h"
#include "cli/cliapp.h"
#include "commands/cataloguecommands.h"
#include "shell/targeturl.h"
#include "storage/builtincategories.h"

#include <algorithm>
#include <filesystem>

namespace {

// What a TARGET argument becomes: a URL of any scheme the Open command takes is a web address as
// written; anything else must be an existing file or folder, stored by its absolute path.
ItemFields itemFor(const std::string& target)
{
    refuseScriptAddress(target);
    const QUrl url = targetUrl(target, CLinkItem::FileType);
    if (url.isValid() && !url.isEmpty() && !url.isLocalFile())
        return {target, target, {}, CLinkItem::WebType};
    const std::string path = localPathBytes(url);
    std::error_code error;
    if (path.empty() || !std::filesystem::exists(path, error))
        throw Failure("\"" + target + "\" is neither a URL nor an existing file"
                      + (error ? ": " + error.message() : std::string()));
    return {path.substr(path.find_last_of('/') + 1), path, {}, CLinkItem::FileType};
}

// Without --category: the built-in category for the kind of item, else the first one of the tree.
CCategory& defaultCategory(const CategoryIndex& index, int type)
{
    const char* builtIn = builtInCategories[type == CLinkItem::WebType ? 3 : 0].guid;
    if (CCategory* category = index.byGuid(builtIn))
        return *category;
    if (index.all().empty())
        throw Failure("The catalogue has no category to add to; make one with mkcat");
    return *index.all().front();
}

int add(Invocation& run)
{
    CDBManager& db = run.catalogueForWriting();
    const CategoryIndex index(db.GetRootCategory());
    CCategory* chosen = run.value("category") ? &index.resolveCategory(*run.value("category")) : nullptr;
    // Every target is checked before the first is added; each category gets its items in one go.
    std::vector<std::pair<CCategory*, std::vector<ItemFields>>> groups;
    for (const std::string& target : run.operands()) {
        ItemFields fields = itemFor(target);
        if (run.value("title"))
            fields.name = *run.value("title");
        fields.comment = run.value("description").value_or(std::string());
        CCategory* category = chosen ? chosen : &defaultCategory(index, fields.type);
        auto group = std::find_if(groups.begin(), groups.end(), [&](const auto& g) { return g.first == category; });
        if (group == groups.end())
            group = groups.insert(groups.end(), {category, {}});
        group->second.push_back(std::move(fields));
    }
    CatalogueCommands commands(db);
    for (auto& [category, items] : groups) {
        db.LoadItems(*category);
        commands.appendItems(*category, items, Progress::none(), [&](const CLinkItems& stored) {
            for (const CLinkItem* item : stored)
                run.out().print({{"guid", item->GetGuid()}});
        });
    }
    return ExitSuccess;
}

}  // namespace

extern const Subcommand cmd_add = {
    "add",
    "[--category CATEGORY] [--title T] [--description D] TARGET...",
    "Add web addresses (URLs) and files (existing paths); print each new GUID",
    {{"category", "CATEGORY", "where the items go (default: Favorite websites for URLs, General files for files)"},
     {"title", "T", "the title (default: the address, or the file's name)"},
     {"description", "D", "the description"}},
    1,
    -1,
    add};
