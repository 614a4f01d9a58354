// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/views/categorytreeview.h"

#include "model/ccategory.h"
#include "session/iconlist.h"
#include "ui/common/qtext.h"
#include "ui/views/internaldrop.h"
#include "ui/views/viewkeyboard.h"

#include <QContextMenuEvent>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QSignalBlocker>
#include <QStyledItemDelegate>
#include <QTreeWidgetItemIterator>

#include <utility>
#include <vector>

namespace {

class CategoryNode : public QTreeWidgetItem {
public:
    static constexpr int Type = QTreeWidgetItem::UserType + 1;
    explicit CategoryNode(CCategory& shown) : QTreeWidgetItem(Type), category(&shown) {}
    CCategory* category;
};

// The keyboard cursor is drawn the same whatever the style: some draw it only after a Tab, others
// as a frame that looks like a selection.
class CursorDelegate : public QStyledItemDelegate {
public:
    using QStyledItemDelegate::QStyledItemDelegate;
    void paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override
    {
        QStyleOptionViewItem shown(option);
        shown.state &= ~QStyle::State_HasFocus;
        QStyledItemDelegate::paint(painter, shown, index);
        if (const auto* view = qobject_cast<const QAbstractItemView*>(option.widget))
            viewkeyboard::paintCursor(*painter, *view, index, option.rect);
    }
};

}  // namespace

CategoryTreeView::CategoryTreeView(const IconList& iconList, QWidget* parent) : QTreeWidget(parent), icons(iconList)
{
    setObjectName(QStringLiteral("treeCategory"));
    setAccessibleName(QStringLiteral("Categories"));
    setHeaderHidden(true);
    setIndentation(35);
    setIconSize(QSize(32, 32));
    setSelectionMode(QAbstractItemView::SingleSelection);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setDragEnabled(true);
    setItemDelegate(new CursorDelegate(this));
}

// A single-selection tree keeps its selected node: Ctrl+click on it would otherwise leave none and
// empty the list.
QItemSelectionModel::SelectionFlags CategoryTreeView::selectionCommand(const QModelIndex& index,
                                                                       const QEvent* event) const
{
    const QItemSelectionModel::SelectionFlags command = QTreeWidget::selectionCommand(index, event);
    if (index.isValid() && command.testAnyFlags(QItemSelectionModel::Deselect | QItemSelectionModel::Toggle)
        && selectionModel()->isSelected(index))
        return QItemSelectionModel::NoUpdate;
    return command;
}

void CategoryTreeView::fill(CCategory& root)
{
    clearQuietly();
    for (int i = 0; i < root.GetChildCount(); ++i) {
        CCategory* category = root.GetChild(i);
        addChildNodes(*category, addNode(*category, nullptr));
    }
}

QTreeWidgetItem* CategoryTreeView::addNode(CCategory& category, QTreeWidgetItem* parentNode)
{
    auto* node = new CategoryNode(category);
    refreshNode(node);
    if (parentNode)
        parentNode->addChild(node);
    else
        addTopLevelItem(node);
    return node;
}

void CategoryTreeView::addChildNodes(CCategory& category, QTreeWidgetItem* node)
{
    // A list instead of recursion, so a branch of any depth is built safely.
    std::vector<std::pair<CCategory*, QTreeWidgetItem*>> pending{{&category, node}};
    while (!pending.empty()) {
        auto [parent, parentNode] = pending.back();
        pending.pop_back();
        for (int i = 0; i < parent->GetChildCount(); ++i) {
            CCategory* child = parent->GetChild(i);
            pending.push_back({child, addNode(*child, parentNode)});
        }
    }
}

void CategoryTreeView::moveNode(QTreeWidgetItem* node, QTreeWidgetItem* newParent, int index)
{
    const QSignalBlocker blocker(this);
    QTreeWidgetItem* parent = node->parent();
    QTreeWidgetItem* taken =
        parent ? parent->takeChild(parent->indexOfChild(node)) : takeTopLevelItem(indexOfTopLevelItem(node));
    if (newParent)
        newParent->insertChild(index, taken);
    else
        insertTopLevelItem(index, taken);
}

void CategoryTreeView::refreshNode(QTreeWidgetItem* node)
{
    if (const CCategory* category = categoryOf(node)) {
        node->setText(0, toQ(category->GetName()));
        node->setIcon(0, icons.icon(category->GetIconIndex()));
    }
}

void CategoryTreeView::refreshIcons()
{
    for (QTreeWidgetItemIterator it(this); *it; ++it)
        refreshNode(*it);
}

CCategory* CategoryTreeView::categoryOf(const QTreeWidgetItem* node) const
{
    return node && node->type() == CategoryNode::Type ? static_cast<const CategoryNode*>(node)->category : nullptr;
}

QTreeWidgetItem* CategoryTreeView::nodeOf(const CCategory* category) const
{
    for (QTreeWidgetItemIterator it(const_cast<CategoryTreeView*>(this)); *it; ++it)
        if (categoryOf(*it) == category)
            return *it;
    return nullptr;
}

QTreeWidgetItem* CategoryTreeView::findNode(const std::string& categoryGuid) const
{
    for (QTreeWidgetItemIterator it(const_cast<CategoryTreeView*>(this)); *it; ++it)
        if (const CCategory* category = categoryOf(*it); category && category->GetGuid() == categoryGuid)
            return *it;
    return nullptr;
}

QTreeWidgetItem* CategoryTreeView::selectedNode() const
{
    for (QTreeWidgetItemIterator it(const_cast<CategoryTreeView*>(this)); *it; ++it)
        if ((*it)->isSelected())
            return *it;
    return nullptr;
}

CCategory* CategoryTreeView::selectedCategory() const
{
    return categoryOf(selectedNode());
}

void CategoryTreeView::reveal(QTreeWidgetItem* node)
{
    for (QTreeWidgetItem* parent = node->parent(); parent; parent = parent->parent())
        parent->setExpanded(true);
    setCurrentItem(node);
    node->setSelected(true);
}

void CategoryTreeView::clearQuietly()
{
    const QSignalBlocker blocker(this);
    clear();
}

void CategoryTreeView::mousePressEvent(QMouseEvent* event)
{
    if (event->button() == Qt::RightButton) {
        emit rightButtonPressed(event->position().toPoint());
        return;
    }
    QTreeWidget::mousePressEvent(event);
}

void CategoryTreeView::mouseDoubleClickEvent(QMouseEvent* event)
{
    if (event->button() == Qt::RightButton) {
        emit rightButtonPressed(event->position().toPoint());
        return;
    }
    QTreeWidget::mouseDoubleClickEvent(event);
}

void CategoryTreeView::mouseReleaseEvent(QMouseEvent* event)
{
    if (event->button() != Qt::RightButton)
        QTreeWidget::mouseReleaseEvent(event);
}

void CategoryTreeView::keyPressEvent(QKeyEvent* event)
{
    if (viewkeyboard::opensPopup(*this, *event) || viewkeyboard::selectsCursorRow(*this, *event))
        return;
    if (event->key() == Qt::Key_Delete && event->modifiers() == Qt::NoModifier && selectedNode()) {
        emit deletePressed();
        return;
    }
    QTreeWidget::keyPressEvent(event);
}

void CategoryTreeView::contextMenuEvent(QContextMenuEvent* event)
{
    // The press already opened a menu; the menu key acts as a right click on the selected node's row.
    if (event->reason() == QContextMenuEvent::Mouse)
        return;
    const QTreeWidgetItem* node = selectedNode();
    emit rightButtonPressed(node ? visualItemRect(node).center() : QPoint(0, 0));
}

void CategoryTreeView::startDrag(Qt::DropActions)
{
    startInternalDrag(this);
}
