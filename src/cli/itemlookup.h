// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "cli/categorypath.h"
#include "storage/cdbmanager.h"

#include <string>
#include <vector>

// A stored item and the category that holds it, with that category's items loaded.
struct FoundItem {
    CCategory* category;
    CLinkItem* item;
};

// Every item named by GUID, looked up before anything changes, so one unknown GUID leaves the
// whole command undone. Throws Failure naming the first GUID not found.
std::vector<FoundItem> findItems(CDBManager& db, const CategoryIndex& index, const std::vector<std::string>& guids);

// The items found, grouped by their category in the order first named.
std::vector<std::pair<CCategory*, CLinkItems>> byCategory(const std::vector<FoundItem>& found);
