// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/categorypath.h"

#include "cli/cliapp.h"

#include <algorithm>

std::vector<std::string> splitCategoryPath(const std::string& path)
{
    std::vector<std::string> names;
    const std::size_t start = path.rfind('/', 0) == 0 ? 1 : 0;
    if (start == path.size())
        return names;
    std::string name;
    for (std::size_t at = start; at < path.size(); ++at) {
        const char c = path[at];
        if (c == '\\' && at + 1 < path.size() && (path[at + 1] == '/' || path[at + 1] == '\\')) {
            name += path[++at];
        } else if (c == '/') {
            names.push_back(name);
            name.clear();
        } else {
            name += c;
        }
    }
    names.push_back(name);
    return names;
}

std::string escapeCategoryName(const std::string& name)
{
    std::string escaped;
    for (const char c : name) {
        if (c == '/' || c == '\\')
            escaped += '\\';
        escaped += c;
    }
    return escaped;
}

CategoryIndex::CategoryIndex(CCategory& root) : top(root)
{
    // A worklist, not recursion: a catalogue may nest ten thousand levels.
    std::vector<CCategory*> pending;
    for (int i = root.GetChildCount() - 1; i >= 0; --i)
        pending.push_back(root.GetChild(i));
    for (int i = 0; i < root.GetChildCount(); ++i)
        parents[root.GetChild(i)] = &root;
    while (!pending.empty()) {
        CCategory* category = pending.back();
        pending.pop_back();
        order.push_back(category);
        guids.try_emplace(category->GetGuid(), category);
        for (int i = category->GetChildCount() - 1; i >= 0; --i) {
            parents[category->GetChild(i)] = category;
            pending.push_back(category->GetChild(i));
        }
    }
}

CCategory* CategoryIndex::byGuid(const std::string& guid) const
{
    const auto found = guids.find(guid);
    return found == guids.end() ? nullptr : found->second;
}

CCategory& CategoryIndex::parentOf(const CCategory& category) const
{
    const auto found = parents.find(&category);
    return found == parents.end() ? top : *found->second;
}

std::string CategoryIndex::pathOf(const CCategory& category) const
{
    std::vector<const CCategory*> chain;
    for (const CCategory* at = &category; at != &top; at = &parentOf(*at))
        chain.push_back(at);
    std::string path;
    for (auto at = chain.rbegin(); at != chain.rend(); ++at)
        path += (path.empty() ? "" : "/") + escapeCategoryName((*at)->GetName());
    return path;
}

CCategory& CategoryIndex::resolve(const std::string& text) const
{
    if (CCategory* category = byGuid(text))
        return *category;
    const std::vector<std::string> names = splitCategoryPath(text);
    return walk(names, names.size(), text);
}

CCategory& CategoryIndex::resolveCategory(const std::string& text) const
{
    CCategory& category = resolve(text);
    if (&category == &top)
        throw Failure("\"" + text + "\" is the whole catalogue; name a category");
    return category;
}

std::pair<CCategory*, std::string> CategoryIndex::resolveParent(const std::string& text) const
{
    const std::vector<std::string> names = splitCategoryPath(text);
    if (names.empty())
        throw Failure("\"" + text + "\" names no category");
    return {&walk(names, names.size() - 1, text), names.back()};
}

CCategory& CategoryIndex::walk(const std::vector<std::string>& names, std::size_t count, const std::string& text) const
{
    CCategory* at = &top;
    std::string walked;
    for (std::size_t i = 0; i < count; ++i) {
        std::vector<CCategory*> matches;
        for (int c = 0; c < at->GetChildCount(); ++c)
            if (at->GetChild(c)->GetName() == names[i])
                matches.push_back(at->GetChild(c));
        walked += (walked.empty() ? "" : "/") + escapeCategoryName(names[i]);
        if (matches.empty())
            throw Failure("No category \"" + walked + "\" in the catalogue"
                          + (walked == text ? std::string() : " (looking for \"" + text + "\")"));
        if (matches.size() > 1) {
            std::string listed;
            for (const CCategory* match : matches)
                listed += (listed.empty() ? "" : ", ") + match->GetGuid();
            throw Failure("\"" + walked + "\" names " + std::to_string(matches.size())
                          + " categories; give one of their GUIDs: " + listed);
        }
        at = matches.front();
    }
    return *at;
}
