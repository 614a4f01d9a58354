// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "model/ccategory.h"

#include <memory>
#include <string>
#include <vector>

// Categories as read from the table, in row order, with guid, parentGuid and level filled.
using LoadedCategories = std::vector<std::unique_ptr<CCategory>>;

// Links a whole load under the root: each category goes under the first category in row order
// whose GUID equals its parentGuid, a level-0 category under the root instead. Categories that
// end up unreachable from the root (missing parent, cycles) are destroyed.
void assembleCategoryTree(LoadedCategories loaded, CCategory& root);

// Links rows read as children of parent: a category of parent's level + 1 is appended to parent
// (unless parent already holds a child with its GUID), any other goes under the first loaded
// category with its parentGuid. Returns the categories now in the tree, in row order; the rest
// are destroyed.
CCategoryList assembleChildCategories(LoadedCategories loaded, CCategory& parent);

// The number of levels of categories below the given one (0 when it has no children), counted
// without recursion so a chain of any length is measured safely.
int treeDepth(const CCategory& top);

// The first category below top (top itself not included), parents before their children, whose
// GUID is exactly this one; nullptr when none is. Searched without recursion.
CCategory* findCategory(const CCategory& top, const std::string& guid);

// Whether two trees hold the same categories with the same stored values in the same order (items
// are not compared), so a view of one shows the other as well. Counted without recursion.
bool sameCategoryTree(const CCategory& a, const CCategory& b);

// Whether the category's items in memory are the rows given, with the same values in the same order.
bool sameItems(const CCategory& category, const std::vector<CLinkItem>& rows);
