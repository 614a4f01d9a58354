// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/views/viewplace.h"

#include "model/ccategory.h"
#include "ui/views/categorytreeview.h"
#include "ui/views/itemlistview.h"

#include <QTreeWidgetItemIterator>

namespace {

std::string guidOf(const CLinkObject* object)
{
    return object ? object->GetGuid() : std::string();
}

}  // namespace

ViewPlace ViewPlace::of(const CategoryTreeView& tree, const ItemListView& list)
{
    ViewPlace place;
    place.selectedCategory = guidOf(tree.selectedCategory());
    for (QTreeWidgetItemIterator node(const_cast<CategoryTreeView*>(&tree)); *node; ++node)
        if ((*node)->isExpanded())
            place.expanded.insert(guidOf(tree.categoryOf(*node)));
    for (const CLinkItem* item : list.selectedListItems())
        place.selectedItems.insert(item->GetGuid());
    place.currentItem = guidOf(list.itemOf(list.currentItem()));
    place.topNode = guidOf(tree.categoryOf(tree.itemAt(0, 0)));
    place.topRow = guidOf(list.itemOf(list.itemAt(0, 0)));
    return place;
}

void ViewPlace::restoreTree(CategoryTreeView& tree) const
{
    QTreeWidgetItem* selected = nullptr;
    QTreeWidgetItem* top = nullptr;
    for (QTreeWidgetItemIterator node(&tree); *node; ++node) {
        const std::string guid = guidOf(tree.categoryOf(*node));
        if (expanded.count(guid))
            (*node)->setExpanded(true);
        if (!selected && !guid.empty() && guid == selectedCategory)
            selected = *node;
        if (!top && !guid.empty() && guid == topNode)
            top = *node;
    }
    if (selected) {
        tree.setCurrentItem(selected);
        selected->setSelected(true);
    }
    if (top)
        tree.scrollToItem(top, QAbstractItemView::PositionAtTop);
}

void ViewPlace::restoreList(ItemListView& list) const
{
    QTreeWidgetItem* top = nullptr;
    for (int i = 0; i < list.topLevelItemCount(); ++i) {
        QTreeWidgetItem* row = list.topLevelItem(i);
        const std::string guid = guidOf(list.itemOf(row));
        if (guid == currentItem)
            list.setCurrentItem(row, 0, QItemSelectionModel::NoUpdate);
        // The rows are new and unselected: only the chosen ones are touched.
        if (selectedItems.count(guid))
            row->setSelected(true);
        if (!top && guid == topRow)
            top = row;
    }
    if (top)
        list.scrollToItem(top, QAbstractItemView::PositionAtTop);
}
