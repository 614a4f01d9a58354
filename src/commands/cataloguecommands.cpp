// SPDX-License-Identifier: GPL-3.0-or-later
#include "commands/cataloguecommands.h"

#include "model/newguid.h"
#include "storage/transaction.h"

#include <algorithm>

namespace {

std::unique_ptr<CLinkItem> newItem(const ItemFields& fields, const std::string& categoryGuid)
{
    auto item = std::make_unique<CLinkItem>();
    item->SetGuid(NewGuid());
    item->SetName(fields.name);
    item->SetTarget(fields.target);
    item->SetComment(fields.comment);
    item->SetType(fields.type);
    item->SetStar(0);
    item->SetParentGuid(categoryGuid);
    return item;
}

// Removes the items from the category's memory, keeping the rest in order.
void forget(CCategory& category, const CLinkItems& items)
{
    for (CLinkItem* item : items)
        category.RemoveItem(item);
}

// Runs body over the items a batch at a time, each batch in one transaction; after a batch is
// committed, done(batch) runs and progress hears of it.
template <class Body, class Done>
void inBatches(CDBManager& db, const CLinkItems& items, Progress& progress, Body&& body, Done&& done)
{
    for (std::size_t start = 0; start < items.size(); start += CatalogueCommands::batchSize) {
        const std::size_t end = std::min(items.size(), start + CatalogueCommands::batchSize);
        const CLinkItems batch(items.begin() + static_cast<std::ptrdiff_t>(start),
                               items.begin() + static_cast<std::ptrdiff_t>(end));
        Transaction transaction(db);
        for (CLinkItem* item : batch)
            body(*item);
        transaction.Commit();
        done(batch);
        progress.advance(end, items.size());
    }
}

// One category of a branch: its depth below the branch's top and the index of its parent's entry.
struct BranchEntry {
    CCategory* category;
    int depth;
    std::size_t parent;
};

// The branch in pre-order, each category before its children, siblings in order; a list instead of
// recursion, for branches of any depth.
std::vector<BranchEntry> branchOf(const CCategory& top)
{
    std::vector<BranchEntry> order;
    std::vector<BranchEntry> pending{{const_cast<CCategory*>(&top), 0, 0}};
    while (!pending.empty()) {
        const BranchEntry entry = pending.back();
        pending.pop_back();
        const std::size_t index = order.size();
        order.push_back(entry);
        for (int i = entry.category->GetChildCount() - 1; i >= 0; --i)
            pending.push_back({entry.category->GetChild(i), entry.depth + 1, index});
    }
    return order;
}

std::string refusedPlacement(const CCategory& category)
{
    return "The category \"" + category.GetName() + "\" cannot go into itself or one of its subcategories.";
}

// The parent's children in the order the next load would give them.
void placeByStoredOrder(CDBManager& db, CCategory& parent)
{
    std::vector<std::unique_ptr<CCategory>> held;
    while (CCategory* child = parent.GetChild(0))
        held.push_back(parent.RemoveChild(child));
    for (const std::string& guid : db.StoredChildOrder(parent)) {
        auto found = std::find_if(held.begin(), held.end(),
                                  [&guid](const auto& child) { return child && child->GetGuid() == guid; });
        if (found != held.end())
            parent.AddChild(std::move(*found));
    }
    for (auto& child : held)
        if (child)
            parent.AddChild(std::move(child));
}

}  // namespace

CatalogueCommands::CatalogueCommands(CDBManager& database) : db(database)
{
}

void CatalogueCommands::appendItems(CCategory& category, const std::vector<ItemFields>& items, Progress& progress,
                                    const StoredItems& stored)
{
    for (std::size_t start = 0; start < items.size(); start += batchSize) {
        const std::size_t end = std::min(items.size(), start + batchSize);
        CLinkItems batch;
        for (std::size_t i = start; i < end; ++i) {
            auto item = newItem(items[i], category.GetGuid());
            batch.push_back(item.get());
            category.AddItem(std::move(item));
        }
        std::vector<RefusedItem> refused;
        try {
            // Only the new rows: the category's other items are as this program last wrote or read them.
            db.SaveItems(batch, &refused);
        } catch (...) {
            forget(category, batch);
            throw;
        }
        // Only this command's items are taken back; an older item's refusal is the old save's rule.
        const auto refusedHere = std::find_if(refused.begin(), refused.end(), [&batch](const RefusedItem& r) {
            return std::find(batch.begin(), batch.end(), r.item) != batch.end();
        });
        if (refusedHere != refused.end()) {
            CLinkItems kept;
            for (CLinkItem* item : batch) {
                const bool wasRefused = std::any_of(refused.begin(), refused.end(),
                                                    [item](const RefusedItem& r) { return r.item == item; });
                if (wasRefused)
                    category.RemoveItem(item);
                else
                    kept.push_back(item);
            }
            if (!kept.empty())
                stored(kept);
            throw refusedHere->error;
        }
        stored(batch);
        if (!progress.advance(end, items.size()))
            return;
    }
}

CCategory& CatalogueCommands::addCategory(CCategory& parent, const std::string& name, int iconIndex)
{
    const bool topLevel = &parent == &db.GetRootCategory();
    auto category = std::make_unique<CCategory>();
    category->SetGuid(NewGuid());
    category->SetName(name);
    category->SetLevel(topLevel ? 0 : parent.GetLevel() + 1);
    category->SetParentGuid(parent.GetGuid());
    category->SetIconIndex(iconIndex);
    category->SetSystem(false);
    db.SaveCategory(*category, true);
    CCategory& added = *category;
    parent.AddChild(std::move(category));
    return added;
}

bool CatalogueCommands::editCategory(CCategory& category, const std::string& name, int iconIndex)
{
    if (name == category.GetName() && iconIndex == category.GetIconIndex())
        return false;
    const std::string oldName = category.GetName();
    const int oldIcon = category.GetIconIndex();
    category.SetName(name);
    category.SetIconIndex(iconIndex);
    try {
        db.SaveCategory(category, true);
    } catch (...) {
        category.SetName(oldName);
        category.SetIconIndex(oldIcon);
        throw;
    }
    return true;
}

std::unique_ptr<CCategory> CatalogueCommands::deleteCategory(CCategory& parent, CCategory& category, Progress& progress)
{
    db.DeleteCategory(category, progress);
    return parent.RemoveChild(&category);
}

bool CatalogueCommands::renameItem(CLinkItem& item, const std::string& name)
{
    if (name == item.GetName())
        return false;
    const std::string oldName = item.GetName();
    item.SetName(name);
    try {
        db.StoreItem(item);
    } catch (...) {
        item.SetName(oldName);
        throw;
    }
    return true;
}

void CatalogueCommands::editItem(CLinkItem& item, const ItemFields& fields)
{
    const ItemFields old{item.GetName(), item.GetTarget(), item.GetComment(), item.GetType()};
    const auto set = [&item](const ItemFields& values) {
        item.SetName(values.name);
        item.SetTarget(values.target);
        item.SetComment(values.comment);
    };
    set(fields);
    try {
        db.StoreItem(item);
    } catch (...) {
        set(old);
        throw;
    }
}

void CatalogueCommands::copyItems(const CLinkItems& items, const CCategory& target, Progress& progress)
{
    inBatches(
        db, items, progress,
        [&](const CLinkItem& item) {
            std::unique_ptr<CLinkItem> copy = CLinkItem::Copy(item);
            copy->SetParentGuid(target.GetGuid());
            db.StoreItem(*copy);
        },
        [](const CLinkItems&) {});
}

void CatalogueCommands::moveItems(CCategory& from, const CLinkItems& items, const CCategory& target, Progress& progress,
                                  const Leaving& leaving)
{
    // A batch that fails is rolled back, so its items go back to the category they are stored in.
    std::vector<std::pair<CLinkItem*, std::string>> pending;
    try {
        inBatches(
            db, items, progress,
            [&](CLinkItem& item) {
                pending.emplace_back(&item, item.GetParentGuid());
                item.SetParentGuid(target.GetGuid());
                db.StoreItem(item);
            },
            [&](const CLinkItems& batch) {
                pending.clear();
                for (CLinkItem* item : batch) {
                    leaving(item);
                    from.RemoveItem(item);
                }
            });
    } catch (...) {
        for (auto& [item, parent] : pending)
            item->SetParentGuid(parent);
        throw;
    }
    db.SaveCategory(from, false);
}

void CatalogueCommands::deleteItems(CCategory& from, const CLinkItems& items, Progress& progress,
                                    const Leaving& leaving)
{
    inBatches(
        db, items, progress, [&](const CLinkItem& item) { db.DeleteItemRow(item); },
        [&](const CLinkItems& batch) {
            for (CLinkItem* item : batch) {
                leaving(item);
                from.RemoveItem(item);
            }
        });
}

CCategoryList CatalogueCommands::reloadBranch(CCategory& category)
{
    const int heldBefore = category.GetChildCount();
    db.LoadChildCategories(category);
    CCategoryList added;
    for (int i = heldBefore; i < category.GetChildCount(); ++i)
        added.push_back(category.GetChild(i));
    // Each loaded level brings the next one; a list instead of recursion, for branches of any depth.
    CCategoryList pending = added;
    while (!pending.empty()) {
        CCategory* next = pending.back();
        pending.pop_back();
        db.LoadChildCategories(*next);
        for (int i = 0; i < next->GetChildCount(); ++i)
            pending.push_back(next->GetChild(i));
    }
    return added;
}

CCategory* CatalogueCommands::parentOf(const CCategory& category)
{
    std::vector<CCategory*> pending{&db.GetRootCategory()};
    while (!pending.empty()) {
        CCategory* at = pending.back();
        pending.pop_back();
        for (int i = 0; i < at->GetChildCount(); ++i) {
            if (at->GetChild(i) == &category)
                return at;
            pending.push_back(at->GetChild(i));
        }
    }
    return nullptr;
}

bool CatalogueCommands::inBranch(const CCategory& candidate, const CCategory& category)
{
    for (const BranchEntry& entry : branchOf(category))
        if (entry.category == &candidate)
            return true;
    return false;
}

bool CatalogueCommands::moveCategory(CCategory& category, CCategory& newParent)
{
    if (inBranch(newParent, category))
        throw PlacementRefused(refusedPlacement(category));
    CCategory* oldParent = parentOf(category);
    if (!oldParent || oldParent == &newParent)
        return false;
    const int topLevel = &newParent == &db.GetRootCategory() ? 0 : newParent.GetLevel() + 1;
    const std::vector<BranchEntry> branch = branchOf(category);
    std::vector<int> oldLevels;
    for (const BranchEntry& entry : branch) {
        oldLevels.push_back(entry.category->GetLevel());
        entry.category->SetLevel(topLevel + entry.depth);
    }
    const std::string oldParentGuid = category.GetParentGuid();
    category.SetParentGuid(newParent.GetGuid());
    try {
        Transaction transaction(db);
        for (const BranchEntry& entry : branch)
            db.StoreCategoryRow(*entry.category);
        transaction.Commit();
    } catch (...) {
        for (std::size_t i = 0; i < branch.size(); ++i)
            branch[i].category->SetLevel(oldLevels[i]);
        category.SetParentGuid(oldParentGuid);
        throw;
    }
    newParent.AddChild(oldParent->RemoveChild(&category));
    placeByStoredOrder(db, newParent);
    return true;
}

CCategory* CatalogueCommands::copyCategory(const CCategory& source, CCategory& newParent, Progress& progress)
{
    if (inBranch(newParent, source))
        throw PlacementRefused(refusedPlacement(source));
    const std::vector<BranchEntry> branch = branchOf(source);
    std::vector<std::vector<CLinkItem>> items;
    std::size_t total = branch.size();
    for (const BranchEntry& entry : branch) {
        items.push_back(db.ReadItems(*entry.category));
        total += items.back().size();
    }
    const int topLevel = &newParent == &db.GetRootCategory() ? 0 : newParent.GetLevel() + 1;
    std::unique_ptr<CCategory> top;
    std::vector<CCategory*> copies;
    for (const BranchEntry& entry : branch) {
        auto copy = std::make_unique<CCategory>();
        copy->SetGuid(NewGuid());
        copy->SetName(entry.category->GetName());
        copy->SetIconIndex(entry.category->GetIconIndex());
        copy->SetLevel(topLevel + entry.depth);
        copies.push_back(copy.get());
        if (!top) {
            copy->SetParentGuid(newParent.GetGuid());
            top = std::move(copy);
        } else {
            copies[entry.parent]->AddChild(std::move(copy));
        }
    }
    // One transaction: a stop or a failure part-way leaves nothing of the copy behind.
    Transaction transaction(db);
    std::size_t done = 0;
    for (std::size_t i = 0; i < branch.size(); ++i) {
        db.StoreCategoryRow(*copies[i]);
        if (!progress.advance(++done, total))
            return nullptr;
        for (const CLinkItem& item : items[i]) {
            std::unique_ptr<CLinkItem> copy = CLinkItem::Copy(item);
            copy->SetParentGuid(copies[i]->GetGuid());
            db.StoreItem(*copy);
            if (!progress.advance(++done, total))
                return nullptr;
        }
    }
    transaction.Commit();
    CCategory* copied = top.get();
    newParent.AddChild(std::move(top));
    return copied;
}
