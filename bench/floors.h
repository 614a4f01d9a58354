// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The floor of each benchmark: the same SQL that the command needs, through the bare SQLite C API
// on a connection of its own, in one transaction, with prepared statements. Nothing the program
// does can be faster than this, so measured / floor tells how much it spends beyond the database.

#include <array>
#include <filesystem>
#include <string>
#include <vector>

struct sqlite3;

struct CategoryRow {
    std::string guid, name;
    int level = 0;
    std::string parentGuid;
};

struct ItemRow {
    std::string guid, name, target, category, comment;
    int type = 0;
};

using SearchHit = std::array<std::string, 3>;  // category, guid, name

class BareCatalogue {
public:
    explicit BareCatalogue(const std::filesystem::path& path);
    ~BareCatalogue();
    BareCatalogue(const BareCatalogue&) = delete;
    BareCatalogue& operator=(const BareCatalogue&) = delete;

    // Milliseconds for inserting the rows, categories first, in one transaction.
    double insertRows(const std::vector<CategoryRow>& categories, const std::vector<ItemRow>& items);
    // Milliseconds for the delete statements of the subtree: each category's row, then its items,
    // depth first, each category after its descendants.
    double deleteSubtree(const std::string& topGuid);
    // Milliseconds for writing the subtree's rows with their levels changed by levelChange, the top
    // one under newParentGuid, in one transaction.
    double moveSubtree(const std::string& topGuid, const std::string& newParentGuid, int levelChange);
    // The category's items in the stored order.
    std::vector<ItemRow> items(const std::string& categoryGuid);
    // Milliseconds for the item query of one category stepped to its end, every column read.
    double readItems(const std::string& categoryGuid, int& rows);
    // Milliseconds for the statement stepped to its end, each hit's three texts copied out.
    double search(const std::string& sql, std::vector<SearchHit>& hits);

    // Checks of what a command left behind.
    long long scalar(const std::string& sql);
    std::string text(const std::string& sql);
    // Every category row in the stored order.
    std::vector<CategoryRow> categories();
    // The subtree's GUIDs, depth first, each category after its descendants.
    std::vector<std::string> subtreeDepthFirst(const std::string& topGuid);

private:
    void execute(const char* sql);
    [[noreturn]] void fail(const std::string& what);

    sqlite3* db = nullptr;
};

// The keyword search's statement exactly as the program formats it for the three columns.
std::string searchStatement(const std::string& keyword);

// Milliseconds for copying the file as cp does and making the copy durable with fsync.
double copyAndSync(const std::filesystem::path& from, const std::filesystem::path& to);
