// SPDX-License-Identifier: GPL-3.0-or-later
#include "storage/cataloguerows.h"

#include "storage/statement.h"

std::vector<ItemRow> readItemRows(CppSQLite3DB& db)
{
    std::vector<ItemRow> items;
    Statement row(db, "select guid, name, target, category, type from link_table order by itemorder;");
    while (row.step())
        items.push_back({row.text(0), row.text(1), row.text(2), row.text(3), static_cast<int>(row.integer(4))});
    return items;
}

std::vector<CategoryRow> readCategoryRows(CppSQLite3DB& db, const char* schema)
{
    CppSQLite3Buffer sql;
    sql.Format("select guid, name, parent_guid from \"%w\".category_table;", schema);
    std::vector<CategoryRow> categories;
    Statement row(db, static_cast<const char*>(sql));
    while (row.step())
        categories.push_back({row.text(0), row.text(1), row.text(2)});
    return categories;
}

std::unordered_map<std::string, std::string> categoryPaths(const std::vector<CategoryRow>& rows)
{
    std::unordered_map<std::string, const CategoryRow*> byGuid;
    for (const CategoryRow& row : rows)
        byGuid.try_emplace(row.guid, &row);
    std::unordered_map<std::string, std::string> paths;
    for (const auto& [guid, row] : byGuid) {
        std::string path = row->name;
        std::unordered_set<std::string> seen{guid};
        for (auto parent = byGuid.find(row->parentGuid); parent != byGuid.end() && seen.insert(parent->first).second;
             parent = byGuid.find(parent->second->parentGuid))
            path = parent->second->name + "/" + path;
        paths.emplace(guid, std::move(path));
    }
    return paths;
}

std::unordered_set<std::string> branchOf(const std::vector<CategoryRow>& rows, const std::string& top)
{
    std::unordered_multimap<std::string, std::string> children;
    for (const CategoryRow& row : rows)
        children.emplace(row.parentGuid, row.guid);
    std::unordered_set<std::string> branch{top};
    std::vector<std::string> pending{top};
    while (!pending.empty()) {
        const std::string guid = std::move(pending.back());
        pending.pop_back();
        const auto [first, last] = children.equal_range(guid);
        for (auto it = first; it != last; ++it)
            if (branch.insert(it->second).second)
                pending.push_back(it->second);
    }
    return branch;
}
