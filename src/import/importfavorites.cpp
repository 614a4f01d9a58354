#include "import/importfavorites.h"

#include "model/ccategory.h"
#include "model/clinkitem.h"
#include "model/newguid.h"

#include <stdexcept>

namespace {

std::string saveFolder(const FavoriteNode& folder, int level, const std::string& parentGuid,
                       CDBManager& db)
{
    CCategory category;
    category.SetGuid(NewGuid());
    category.SetName(folder.name);
    category.SetLevel(level);
    category.SetParentGuid(parentGuid);
    category.SetSystem(false);
    category.SetIconIndex(0);
    db.SaveCategory(category, true);
    return category.GetGuid();
}

void saveLink(const FavoriteNode& link, const std::string& categoryGuid, CDBManager& db)
{
    CLinkItem item;
    item.SetGuid(NewGuid());
    item.SetName(link.name);
    item.SetTarget(link.url);
    item.SetType(CLinkItem::WebType);
    item.SetComment(importedLinkComment);
    item.SetParentGuid(categoryGuid);
    // SaveItem swallows the database error; a link that silently went missing would be lost.
    if (!db.SaveItem(item))
        throw std::runtime_error("Cannot store the favorite \"" + link.name + "\" in the catalogue");
}

// Committing what was stored keeps the links saved before a failure, as separate statements would.
void commitAfterFailure(CDBManager& db)
{
    try {
        db.ExecuteStatement("commit transaction;");
    } catch (const CppSQLite3Exception&) {
        try {
            db.ExecuteStatement("rollback transaction;");
        } catch (const CppSQLite3Exception&) {
        }
    }
}

// One transaction per level: a sync per link made large imports take many seconds.
void saveLinks(const FavoriteNode& head, const std::string& categoryGuid, CDBManager& db)
{
    if (!head.nextLink)
        return;
    db.ExecuteStatement("begin transaction;");
    try {
        for (const FavoriteNode* link = head.nextLink.get(); link; link = link->nextLink.get())
            saveLink(*link, categoryGuid, db);
    } catch (...) {
        commitAfterFailure(db);
        throw;
    }
    db.ExecuteStatement("commit transaction;");
}

} // namespace

void ImportFavoriteLevel(const FavoriteNode* head, int level, const std::string& parentGuid,
                         CDBManager& db)
{
    if (!head)
        return;
    for (const FavoriteNode* folder = head->nextFolder.get(); folder; folder = folder->nextFolder.get()) {
        const std::string guid = saveFolder(*folder, level + 1, parentGuid, db);
        if (folder->child)
            ImportFavoriteLevel(folder->child.get(), level + 1, guid, db);
    }
    saveLinks(*head, parentGuid, db);
}
