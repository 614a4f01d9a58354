// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "merge.h"

#include <map>
#include <set>
#include <string>
#include <vector>

// The stored rows of the two catalogue tables, and how they become records that travel and back.

struct StoredCategory {
    std::string guid;
    std::string name;
    int level = 0;
    std::string parent;
    int system = 0;
    int iconIndex = 0;
    bool operator==(const StoredCategory&) const = default;
};

struct StoredItem {
    std::string guid;
    std::string name;
    std::string target;
    std::string category;
    int star = 0;
    std::string comment;
    int type = 0;
    bool operator==(const StoredItem&) const = default;
};

// A document folder this machine maps under a name shared by the user's machines.
struct DocumentFolder {
    std::string name;
    std::string path;
};

// The row as one text, to tell whether it changed since the last sync.
std::string rowText(const StoredCategory& row);
std::string rowText(const StoredItem& row);

// iconRefs: the reference of each icon of this catalogue's list (see iconRef).
LocalObject localObject(const StoredCategory& row, const std::vector<std::string>& iconRefs);
// A file below a mapped document folder travels relative to it.
LocalObject localObject(const StoredItem& row, const std::vector<DocumentFolder>& folders);
// An item row as it travels, without the row's text: from a row given up, nothing is copied.
SyncRecord itemContent(StoredItem row, const std::vector<DocumentFolder>& folders);
// The same into a record written before, whose texts change places with the row's: neither side
// allocates again for a text that fits the room it has. The record's stamps stay as they were.
void itemContentInto(StoredItem& row, const std::vector<DocumentFolder>& folders, SyncRecord& content);
LocalObject iconObject(const std::string& hash, const std::string& pngBase64, int slot);

// Built-in icons are the same picture everywhere and go by their index; other icons by their content.
std::string iconRef(int index, const std::string& hash, int builtInCount);

// The icons a merged catalogue needs that this one lacks, and where every reference lands.
struct IconPlan {
    // This catalogue has no stored list (only the built-in icons): its list starts as these.
    std::vector<std::string> seed;
    std::vector<std::string> append;
    std::map<std::string, int> indexOfRef;
};
// localHashes: the content hash of each icon of the stored list, empty when there is none.
IconPlan planIcons(const std::vector<std::string>& localHashes, const std::set<std::string>& neededRefs,
                   const RecordSet& state, int builtInCount);

StoredCategory categoryRowOf(const ResolvedCatalogue::Category& category, const std::map<std::string, int>& indexOfRef);
StoredItem itemRowOf(const ResolvedCatalogue::Item& item, const std::vector<DocumentFolder>& folders);

// What must be written to turn the stored rows into the wanted ones: rows are written (inserted or
// updated by GUID) in the order given, so items new here are appended in the wanted order.
struct CataloguePlan {
    std::vector<StoredCategory> categoriesToWrite;
    std::vector<std::string> categoriesToDelete;
    std::vector<StoredItem> itemsToWrite;
    std::vector<std::string> itemsToDelete;
    bool empty() const
    {
        return categoriesToWrite.empty() && categoriesToDelete.empty() && itemsToWrite.empty() && itemsToDelete.empty();
    }
};

CataloguePlan planCatalogue(const std::vector<StoredCategory>& currentCategories,
                            const std::vector<StoredItem>& currentItems,
                            const std::vector<StoredCategory>& wantedCategories,
                            const std::vector<StoredItem>& wantedItems);
