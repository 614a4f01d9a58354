// SPDX-License-Identifier: GPL-3.0-or-later
#include "import/importfavorites.h"

#include "import/treeimport.h"

#include "model/ccategory.h"
#include "model/clinkitem.h"
#include "model/newguid.h"

#include <stdexcept>
#include <vector>

namespace {

void saveLink(const FavoriteNode& link, const std::string& categoryGuid, CDBManager& db)
{
    CLinkItem item;
    item.SetGuid(NewGuid());
    item.SetName(link.name);
    item.SetTarget(link.url);
    item.SetType(CLinkItem::WebType);
    item.SetComment(importedLinkComment);
    item.SetParentGuid(categoryGuid);
    // A link that silently went missing would be lost; the user hears which one, and SQLite's reason.
    try {
        db.StoreItem(item);
    } catch (const CppSQLite3Exception& error) {
        throw std::runtime_error("Cannot store the favorite \"" + link.name
                                 + "\" in the catalogue: " + error.ErrorMessage());
    }
}

}  // namespace

std::size_t countFavoriteRows(const FavoriteNode* head)
{
    std::size_t rows = 0;
    std::vector<const FavoriteNode*> levels;
    if (head)
        levels.push_back(head);
    while (!levels.empty()) {
        const FavoriteNode* level = levels.back();
        levels.pop_back();
        for (const FavoriteNode* folder = level->nextFolder.get(); folder; folder = folder->nextFolder.get()) {
            ++rows;
            if (folder->child)
                levels.push_back(folder->child.get());
        }
        for (const FavoriteNode* link = level->nextLink.get(); link; link = link->nextLink.get())
            ++rows;
    }
    return rows;
}

bool ImportFavoriteLevel(const FavoriteNode* head, int level, const std::string& parentGuid, CDBManager& db,
                         WriteBatch& batch)
{
    if (!head)
        return true;
    for (const FavoriteNode* folder = head->nextFolder.get(); folder; folder = folder->nextFolder.get()) {
        const std::string guid = storeImportedCategory(folder->name, level + 1, parentGuid, db);
        if (!batch.wroteCategory())
            return false;
        if (folder->child && !ImportFavoriteLevel(folder->child.get(), level + 1, guid, db, batch))
            return false;
    }
    for (const FavoriteNode* link = head->nextLink.get(); link; link = link->nextLink.get()) {
        saveLink(*link, parentGuid, db);
        if (!batch.wroteItem())
            return false;
    }
    return true;
}

void ImportFavoriteLevel(const FavoriteNode* head, int level, const std::string& parentGuid, CDBManager& db,
                         Progress& progress)
{
    WriteBatch batch(db, progress, countFavoriteRows(head));
    ImportFavoriteLevel(head, level, parentGuid, db, batch);
    batch.finish();
}
