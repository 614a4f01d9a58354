// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/itemlookup.h"

#include "cli/cliapp.h"

#include <algorithm>
#include <unordered_set>

namespace {

// A GUID is one item's: where two rows share one, a change meant for one would reach both.
std::string categoryOfItem(CDBManager& db, const std::string& guid)
{
    const std::vector<CLinkItem> stored = db.ReadItemsWithGuid(guid);
    if (stored.empty())
        throw Failure("No item with the GUID " + guid);
    if (stored.size() > 1) {
        std::string names;
        for (const CLinkItem& each : stored)
            names += (names.empty() ? "\"" : " and \"") + each.GetName() + "\" (" + each.GetTarget() + ")";
        throw Failure("The GUID " + guid + " is shared by " + std::to_string(stored.size()) + " items, " + names
                      + "; nothing was changed");
    }
    return stored.front().GetParentGuid();
}

}  // namespace

std::vector<FoundItem> findItems(CDBManager& db, const CategoryIndex& index, const std::vector<std::string>& guids)
{
    std::vector<FoundItem> found;
    std::unordered_set<CCategory*> loaded;
    std::unordered_set<std::string> seen;
    for (const std::string& guid : guids) {
        if (!seen.insert(guid).second)
            continue;
        const std::string categoryGuid = categoryOfItem(db, guid);
        CCategory* category = index.byGuid(categoryGuid);
        if (!category)
            throw Failure("The item " + guid + " belongs to no category of the tree (" + categoryGuid + ")");
        if (loaded.insert(category).second)
            db.LoadItems(*category);
        CLinkItem* item = nullptr;
        for (CLinkItem* each : category->GetItems())
            if (each->GetGuid() == guid && !item)
                item = each;
        if (!item)
            throw Failure("No item with the GUID " + guid);
        found.push_back({category, item});
    }
    return found;
}

std::vector<std::pair<CCategory*, CLinkItems>> byCategory(const std::vector<FoundItem>& found)
{
    std::vector<std::pair<CCategory*, CLinkItems>> groups;
    for (const FoundItem& each : found) {
        auto group =
            std::find_if(groups.begin(), groups.end(), [&](const auto& g) { return g.first == each.category; });
        if (group == groups.end())
            group = groups.insert(groups.end(), {each.category, {}});
        group->second.push_back(each.item);
    }
    return groups;
}
