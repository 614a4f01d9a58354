// SPDX-License-Identifier: GPL-3.0-or-later
#include "model/treeassembly.h"

#include <algorithm>
#include <cstddef>
#include <string>
#include <unordered_map>
#include <unordered_set>

namespace {

// Where a loaded category goes: under the anchor (root or the given parent), under another
// loaded category, or nowhere.
constexpr std::ptrdiff_t toAnchor = -1;
constexpr std::ptrdiff_t toNowhere = -2;

using GuidIndex = std::unordered_map<std::string, std::size_t>;

GuidIndex indexByGuid(const LoadedCategories& loaded)
{
    GuidIndex index;
    index.reserve(loaded.size());
    for (std::size_t i = 0; i < loaded.size(); ++i)
        index.try_emplace(loaded[i]->GetGuid(), i);  // the first row with a GUID wins
    return index;
}

std::ptrdiff_t loadedParentOf(const CCategory& category, const GuidIndex& index)
{
    auto found = index.find(category.GetParentGuid());
    return found == index.end() ? toNowhere : static_cast<std::ptrdiff_t>(found->second);
}

// A category joins the tree only when its chain of parents reaches the anchor; chains that
// end nowhere or loop back on themselves would leave objects owned by nobody, or by each other.
std::vector<bool> reachesAnchor(const std::vector<std::ptrdiff_t>& parents)
{
    enum State : unsigned char { unknown, visiting, yes, no };
    std::vector<State> state(parents.size(), unknown);
    std::vector<std::size_t> path;
    for (std::size_t start = 0; start < parents.size(); ++start) {
        std::size_t at = start;
        State verdict = unknown;
        while (verdict == unknown) {
            if (state[at] == yes || state[at] == no) {
                verdict = state[at];
                break;
            }
            if (state[at] == visiting) {
                verdict = no;
                break;
            }
            state[at] = visiting;
            path.push_back(at);
            std::ptrdiff_t parent = parents[at];
            if (parent == toAnchor)
                verdict = yes;
            else if (parent == toNowhere)
                verdict = no;
            else
                at = static_cast<std::size_t>(parent);
        }
        for (std::size_t visited : path)
            state[visited] = verdict;
        path.clear();
    }
    std::vector<bool> reached(parents.size());
    for (std::size_t i = 0; i < parents.size(); ++i)
        reached[i] = state[i] == yes;
    return reached;
}

// Attaches in row order, so siblings keep the order of their rows; what is not attached is
// destroyed with the loaded list.
CCategoryList attach(LoadedCategories& loaded, const std::vector<std::ptrdiff_t>& parents, CCategory& anchor)
{
    std::vector<CCategory*> objects;
    objects.reserve(loaded.size());
    for (const auto& category : loaded)
        objects.push_back(category.get());

    std::vector<bool> reached = reachesAnchor(parents);
    CCategoryList attached;
    for (std::size_t i = 0; i < loaded.size(); ++i) {
        if (!reached[i])
            continue;
        CCategory& parent = parents[i] == toAnchor ? anchor : *objects[static_cast<std::size_t>(parents[i])];
        attached.push_back(objects[i]);
        parent.AddChild(std::move(loaded[i]));
    }
    return attached;
}

}  // namespace

void assembleCategoryTree(LoadedCategories loaded, CCategory& root)
{
    GuidIndex index = indexByGuid(loaded);
    std::vector<std::ptrdiff_t> parents;
    parents.reserve(loaded.size());
    // A level-0 category is top-level even when its parentGuid names a loaded category: one
    // object can have one owner only.
    for (const auto& category : loaded)
        parents.push_back(category->GetLevel() == 0 ? toAnchor : loadedParentOf(*category, index));
    attach(loaded, parents, root);
}

CCategoryList assembleChildCategories(LoadedCategories loaded, CCategory& parent)
{
    std::unordered_set<std::string> held;
    for (int i = 0; i < parent.GetChildCount(); ++i)
        held.insert(parent.GetChild(i)->GetGuid());

    GuidIndex index = indexByGuid(loaded);
    std::vector<std::ptrdiff_t> parents;
    parents.reserve(loaded.size());
    for (const auto& category : loaded) {
        if (category->GetLevel() != parent.GetLevel() + 1)
            parents.push_back(loadedParentOf(*category, index));
        else if (held.insert(category->GetGuid()).second)
            parents.push_back(toAnchor);
        else
            parents.push_back(toNowhere);  // already shown under the parent
    }
    return attach(loaded, parents, parent);
}

int treeDepth(const CCategory& top)
{
    int deepest = 0;
    std::vector<std::pair<const CCategory*, int>> pending{{&top, 0}};
    while (!pending.empty()) {
        auto [category, depth] = pending.back();
        pending.pop_back();
        deepest = std::max(deepest, depth);
        for (int i = 0; i < category->GetChildCount(); ++i)
            pending.push_back({category->GetChild(i), depth + 1});
    }
    return deepest;
}

CCategory* findCategory(const CCategory& top, const std::string& guid)
{
    std::vector<CCategory*> pending;
    const auto pushChildren = [&pending](const CCategory& parent) {
        for (int i = parent.GetChildCount() - 1; i >= 0; --i)
            pending.push_back(parent.GetChild(i));
    };
    pushChildren(top);
    while (!pending.empty()) {
        CCategory* category = pending.back();
        pending.pop_back();
        if (category->GetGuid() == guid)
            return category;
        pushChildren(*category);
    }
    return nullptr;
}

namespace {

bool sameValues(const CCategory& a, const CCategory& b)
{
    return a.GetGuid() == b.GetGuid() && a.GetName() == b.GetName() && a.GetParentGuid() == b.GetParentGuid()
           && a.GetLevel() == b.GetLevel() && a.IsSystem() == b.IsSystem() && a.GetIconIndex() == b.GetIconIndex()
           && a.GetChildCount() == b.GetChildCount();
}

}  // namespace

bool sameCategoryTree(const CCategory& a, const CCategory& b)
{
    std::vector<std::pair<const CCategory*, const CCategory*>> pending{{&a, &b}};
    while (!pending.empty()) {
        const auto [left, right] = pending.back();
        pending.pop_back();
        if (left->GetChildCount() != right->GetChildCount())
            return false;
        for (int i = 0; i < left->GetChildCount(); ++i) {
            if (!sameValues(*left->GetChild(i), *right->GetChild(i)))
                return false;
            pending.emplace_back(left->GetChild(i), right->GetChild(i));
        }
    }
    return true;
}

bool sameItems(const CCategory& category, const std::vector<CLinkItem>& rows)
{
    if (static_cast<std::size_t>(category.GetItemCount()) != rows.size())
        return false;
    for (std::size_t i = 0; i < rows.size(); ++i) {
        const CLinkItem& held = *category.GetItem(static_cast<int>(i));
        const CLinkItem& row = rows[i];
        if (held.GetGuid() != row.GetGuid() || held.GetName() != row.GetName() || held.GetTarget() != row.GetTarget()
            || held.GetComment() != row.GetComment() || held.GetType() != row.GetType()
            || held.GetStar() != row.GetStar() || held.GetParentGuid() != row.GetParentGuid())
            return false;
    }
    return true;
}
