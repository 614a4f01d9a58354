// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "model/ccategory.h"
#include "model/clinkitem.h"
#include "model/progress.h"
#include "storage/cdbmanager.h"

#include <functional>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

// The texts and type of an item a command adds or edits.
struct ItemFields {
    std::string name;
    std::string target;
    std::string comment;
    int type = CLinkItem::FileType;
};

// A category cannot go into itself or below itself.
class PlacementRefused : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// The catalogue changes behind the user's commands, made in memory and in the database together, so
// the window, drag and drop and the imports share every rule. Each operation raises the storage error
// when the database refuses; what it reported stored before that stays stored, and nothing of the
// refused part stays in memory, where a later save would write it behind the user's back.
class CatalogueCommands {
public:
    explicit CatalogueCommands(CDBManager& db);
    CDBManager& catalogue() { return db; }

    using StoredItems = std::function<void(const CLinkItems&)>;
    using Leaving = std::function<void(const CLinkItem*)>;

    // Appends new items to the category and stores them, a batch per save; `stored` hears every
    // stored batch in order. Stops between batches when progress asks: the items not reached are
    // never added.
    void appendItems(CCategory& category, const std::vector<ItemFields>& items, Progress& progress,
                     const StoredItems& stored);

    // Stores a new category below the parent (the root category for a top-level one) and only then
    // attaches it, so a refused category never shows up in the tree or the select-category dialog.
    CCategory& addCategory(CCategory& parent, const std::string& name, int iconIndex);
    // False when nothing differs (nothing is written). A refused save puts the old values back.
    bool editCategory(CCategory& category, const std::string& name, int iconIndex);
    // Deletes the category's subtree from the database, then detaches it from its parent and hands
    // it back, so the caller can drop what still points into it before it goes.
    std::unique_ptr<CCategory> deleteCategory(CCategory& parent, CCategory& category, Progress& progress);

    // False when the name is the same (nothing is written). A refused save keeps the old name.
    bool renameItem(CLinkItem& item, const std::string& name);
    // Name, target and comment; the type stays. A refused save keeps the old texts.
    void editItem(CLinkItem& item, const ItemFields& fields);
    // The copies are only written; the target shows them when it next loads its items.
    void copyItems(const CLinkItems& items, const CCategory& target, Progress& progress);
    // leaving(item) runs just before each moved item leaves memory.
    void moveItems(CCategory& from, const CLinkItems& items, const CCategory& target, Progress& progress,
                   const Leaving& leaving);
    void deleteItems(CCategory& from, const CLinkItems& items, Progress& progress, const Leaving& leaving);

    // Moves the category with everything below it under newParent (the root category for the top
    // level); its parent and the levels of the whole branch are written in one transaction. Among its
    // new siblings it takes its place by stored order, the order in which they were created. False
    // when it is there already (nothing written); PlacementRefused for a place within its own branch.
    bool moveCategory(CCategory& category, CCategory& newParent);
    // Copies the category's branch with all its items under newParent, every copy with a fresh GUID,
    // in one transaction; the copy comes last among its new siblings. nullptr when progress asked to
    // stop: nothing of the copy stays. The same refusal as a move.
    CCategory* copyCategory(const CCategory& source, CCategory& newParent, Progress& progress);
    // The category of the loaded tree that holds this one as a child (the root for a top-level one).
    CCategory* parentOf(const CCategory& category);
    // True when the candidate is the category or lies below it.
    static bool inBranch(const CCategory& candidate, const CCategory& category);

    // Brings into memory the stored children of the category that it does not hold yet, each with its
    // whole subtree; returns them in order.
    CCategoryList reloadBranch(CCategory& category);

    // Items per transaction: large enough that a thousand files take a handful of commits, small
    // enough that progress and Cancel come often.
    static constexpr std::size_t batchSize = 200;

private:
    CDBManager& db;
};
