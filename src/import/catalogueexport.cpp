// SPDX-License-Identifier: GPL-3.0-or-later
#include "import/catalogueexport.h"

#include "model/ccategory.h"
#include "model/clinkitem.h"

#include <utility>
#include <vector>

namespace {

void addItems(CDBManager& db, const CCategory& category, ImportFolder& folder)
{
    for (const CLinkItem& item : db.ReadItems(category))
        folder.entries.push_back({item.GetName(), item.GetTarget(), item.GetComment(), item.GetType()});
}

std::size_t categoriesBelow(const CCategory& top)
{
    std::size_t count = 0;
    std::vector<const CCategory*> pending{&top};
    while (!pending.empty()) {
        const CCategory* category = pending.back();
        pending.pop_back();
        for (int i = 0; i < category->GetChildCount(); ++i) {
            pending.push_back(category->GetChild(i));
            ++count;
        }
    }
    return count;
}

}  // namespace

ImportFolder catalogueBranch(CDBManager& db, CCategory& category, Progress& progress)
{
    const bool wholeCatalogue = &category == &db.GetRootCategory();
    const std::size_t total = categoriesBelow(category) + (wholeCatalogue ? 0 : 1);
    std::size_t done = 0;
    ImportFolder root;
    // Each folder is filled before its children are added, so no pointer into a vector that may still
    // grow is kept; a list instead of recursion, for branches of any depth.
    std::vector<std::pair<CCategory*, std::vector<std::size_t>>> pending;
    const auto folderAt = [&root](const std::vector<std::size_t>& path) -> ImportFolder& {
        ImportFolder* folder = &root;
        for (std::size_t index : path)
            folder = &folder->folders[index];
        return *folder;
    };
    const auto visit = [&](CCategory& shown, std::vector<std::size_t> path) {
        ImportFolder& folder = folderAt(path);
        folder.name = shown.GetName();
        addItems(db, shown, folder);
        folder.folders.resize(static_cast<std::size_t>(shown.GetChildCount()));
        for (int i = shown.GetChildCount() - 1; i >= 0; --i) {
            std::vector<std::size_t> childPath = path;
            childPath.push_back(static_cast<std::size_t>(i));
            pending.push_back({shown.GetChild(i), std::move(childPath)});
        }
        progress.advance(++done, total);
    };
    if (wholeCatalogue) {
        root.folders.resize(static_cast<std::size_t>(category.GetChildCount()));
        for (int i = category.GetChildCount() - 1; i >= 0; --i)
            pending.push_back({category.GetChild(i), {static_cast<std::size_t>(i)}});
    } else {
        root.folders.resize(1);
        pending.push_back({&category, {0}});
    }
    while (!pending.empty()) {
        auto [next, path] = std::move(pending.back());
        pending.pop_back();
        visit(*next, std::move(path));
    }
    return root;
}
