// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "storage/cppsqlite3.h"

#include <string>
#include <unordered_map>
#include <unordered_set>
#include <vector>

// The catalogue's rows as plain values, for connections that hold no category tree: workers, the
// search index (which reaches the catalogue as an attached schema) and the command line's checks.

struct ItemRow {
    std::string guid;
    std::string name;
    std::string target;
    std::string category;
    int type = 0;
};

struct CategoryRow {
    std::string guid;
    std::string name;
    std::string parentGuid;
};

// Every item row, in stored order.
std::vector<ItemRow> readItemRows(CppSQLite3DB& db);
// Every category row of the catalogue in `schema` ("main", or the name it was attached as).
std::vector<CategoryRow> readCategoryRows(CppSQLite3DB& db, const char* schema = "main");

// Each category's path from the top, names joined by '/', by GUID. A chain of parents that comes back
// to a category already on it ends there.
std::unordered_map<std::string, std::string> categoryPaths(const std::vector<CategoryRow>& rows);
// The GUID of the category and those of every category below it.
std::unordered_set<std::string> branchOf(const std::vector<CategoryRow>& rows, const std::string& top);
