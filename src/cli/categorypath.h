// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "model/ccategory.h"

#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

// The names of a category path: "Web sites/News" is {"Web sites", "News"}; "\/" stands for a slash
// inside a name and "\\" for a backslash. One leading "/" is allowed; "" and "/" are no names.
std::vector<std::string> splitCategoryPath(const std::string& path);
// One name as it is written in a path.
std::string escapeCategoryName(const std::string& name);

// The loaded category tree seen from the command line: categories by GUID, their parents, their
// paths, and CATEGORY arguments resolved to them.
class CategoryIndex {
public:
    explicit CategoryIndex(CCategory& root);

    CCategory& root() const { return top; }
    // Every category below the root, each before its children, siblings in order.
    const std::vector<CCategory*>& all() const { return order; }
    CCategory* byGuid(const std::string& guid) const;
    // The root for a top-level category.
    CCategory& parentOf(const CCategory& category) const;
    // Its names from the top, escaped and joined by "/".
    std::string pathOf(const CCategory& category) const;

    // A category GUID, or a path of names from the top; "" and "/" give the root. Throws Failure
    // when nothing of that name exists, or when a name matches two siblings (their GUIDs listed).
    CCategory& resolve(const std::string& text) const;
    // The same, refusing the root: the command needs one category.
    CCategory& resolveCategory(const std::string& text) const;
    // The category that holds the path's last name, and that name ("A/B/New" gives A/B and "New").
    std::pair<CCategory*, std::string> resolveParent(const std::string& text) const;

private:
    CCategory& walk(const std::vector<std::string>& names, std::size_t count, const std::string& text) const;

    CCategory& top;
    std::vector<CCategory*> order;
    std::unordered_map<std::string, CCategory*> guids;
    std::unordered_map<const CCategory*, CCategory*> parents;
};
