// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "commands/writebatch.h"
#include "import/importtree.h"
#include "storage/cdbmanager.h"

// Stores a tree that a reader made below the category: each folder becomes a new category (the
// level of its parent plus 1, in the tree's order, its subtree before its next sibling), each entry
// a new item of its folder's category (the root's entries go into the category itself). The rows
// go in through the batch, which commits them in groups; false when the user asked to stop. What
// was written before a stop or a failure stays.
// writtenTypes, when given, gets the type of each item written, in the order written.
bool storeImportTree(const ImportFolder& root, const CCategory& target, CDBManager& db, WriteBatch& batch,
                     std::vector<int>* writtenTypes = nullptr);

// What storing an imported tree stored: its categories, and the type of each item in the order
// stored.
struct StoredImport {
    std::size_t categories = 0;
    std::vector<int> itemTypes;
};
// Stores the tree below the target as storeImportTree does, in batches that report to progress and
// stop when it says so: the window and the command line alike. Returns what was stored, a stop
// included; a failure raises, and what was stored before it stays.
StoredImport storeImportedTree(const ImportTree& tree, const CCategory& target, CDBManager& db, Progress& progress);

// One imported category, a new one with the values a new category gets, written with its row;
// its GUID.
std::string storeImportedCategory(const std::string& name, int level, const std::string& parentGuid, CDBManager& db);

// The rows such an import writes: the folders below the root and every entry.
std::size_t importRowCount(const ImportFolder& root);
