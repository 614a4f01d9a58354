// SPDX-License-Identifier: GPL-3.0-or-later
#include "import/treeimport.h"

#include "model/ccategory.h"
#include "model/clinkitem.h"
#include "model/newguid.h"

namespace {

struct Store {
    CDBManager& db;
    WriteBatch& batch;
    std::vector<int>* writtenTypes;
};

bool storeEntries(const ImportFolder& folder, const std::string& categoryGuid, Store& store)
{
    for (const ImportEntry& entry : folder.entries) {
        CLinkItem item;
        item.SetGuid(NewGuid());
        item.SetName(entry.name);
        item.SetTarget(entry.target);
        item.SetComment(entry.comment);
        item.SetType(entry.type);
        item.SetParentGuid(categoryGuid);
        store.db.StoreItem(item);
        if (store.writtenTypes)
            store.writtenTypes->push_back(entry.type);
        if (!store.batch.wroteItem())
            return false;
    }
    return true;
}

// Readers keep trees to a couple of hundred levels, so the recursion stays shallow.
bool storeFolder(const ImportFolder& folder, int level, const std::string& parentGuid, Store& store)
{
    const std::string guid = storeImportedCategory(folder.name, level, parentGuid, store.db);
    if (!store.batch.wroteCategory())
        return false;
    for (const ImportFolder& child : folder.folders)
        if (!storeFolder(child, level + 1, guid, store))
            return false;
    return storeEntries(folder, guid, store);
}

}  // namespace

std::string storeImportedCategory(const std::string& name, int level, const std::string& parentGuid, CDBManager& db)
{
    CCategory category;
    category.SetGuid(NewGuid());
    category.SetName(name);
    category.SetLevel(level);
    category.SetParentGuid(parentGuid);
    category.SetSystem(false);
    category.SetIconIndex(0);
    db.SaveCategory(category, true);
    return category.GetGuid();
}

StoredImport storeImportedTree(const ImportTree& tree, const CCategory& target, CDBManager& db, Progress& progress)
{
    StoredImport stored;
    WriteBatch batch(db, progress, importRowCount(tree.root));
    storeImportTree(tree.root, target, db, batch, &stored.itemTypes);
    batch.finish();
    stored.categories = batch.storedCategories();
    // The items are stored in the order written, so the stored ones are the first of them.
    stored.itemTypes.resize(batch.storedItems());
    return stored;
}

bool storeImportTree(const ImportFolder& root, const CCategory& target, CDBManager& db, WriteBatch& batch,
                     std::vector<int>* writtenTypes)
{
    Store store{db, batch, writtenTypes};
    for (const ImportFolder& folder : root.folders)
        if (!storeFolder(folder, target.GetLevel() + 1, target.GetGuid(), store))
            return false;
    return storeEntries(root, target.GetGuid(), store);
}

std::size_t importRowCount(const ImportFolder& root)
{
    return static_cast<std::size_t>(countFolders(root)) + static_cast<std::size_t>(countEntries(root));
}
