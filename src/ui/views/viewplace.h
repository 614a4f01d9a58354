// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <set>
#include <string>

class CategoryTreeView;
class ItemListView;

// Where the user is in the tree and the list, held by GUIDs so it can be found again in a catalogue
// read afresh: the selected category, the expanded nodes, the selected and current rows, and the
// node and row at the top of each view. What no longer exists is left out when it is put back.
class ViewPlace {
public:
    static ViewPlace of(const CategoryTreeView& tree, const ItemListView& list);

    // The expanded nodes, the selected node and the tree's scrolling; the caller shows the
    // selected category's items, then calls restoreList.
    void restoreTree(CategoryTreeView& tree) const;
    void restoreList(ItemListView& list) const;

    const std::string& category() const { return selectedCategory; }

private:
    std::string selectedCategory;
    std::set<std::string> expanded;
    std::set<std::string> selectedItems;
    std::string currentItem;
    std::string topNode;
    std::string topRow;
};
