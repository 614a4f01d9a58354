// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QTreeWidget>

#include <string>

class CCategory;
class IconList;

// The category tree of the main window. Each node shows one category of the catalogue and points at
// it without owning it; that mapping stays inside this view. A right button press never moves the
// selection: it is handed to the window, whose menus depend on where it landed.
class CategoryTreeView : public QTreeWidget {
    Q_OBJECT
public:
    CategoryTreeView(const IconList& icons, QWidget* parent = nullptr);

    // One node per category below the root, in the order the catalogue holds them.
    void fill(CCategory& root);
    // Appends a node for the category under parentNode (a top-level node when there is none).
    QTreeWidgetItem* addNode(CCategory& category, QTreeWidgetItem* parentNode);
    // Nodes for every descendant of the category under its node; nothing expanded or selected.
    void addChildNodes(CCategory& category, QTreeWidgetItem* node);
    // Moves the node with the nodes below it under newParent (to the top level when there is none),
    // at the index; nothing is announced while it is out of the tree.
    void moveNode(QTreeWidgetItem* node, QTreeWidgetItem* newParent, int index);
    // The node's text and icon from its category.
    void refreshNode(QTreeWidgetItem* node);
    void refreshIcons();

    CCategory* categoryOf(const QTreeWidgetItem* node) const;
    QTreeWidgetItem* nodeOf(const CCategory* category) const;
    // The first node, in index order, whose category has exactly this GUID.
    QTreeWidgetItem* findNode(const std::string& categoryGuid) const;
    // The first selected node in index order (parents before their children).
    QTreeWidgetItem* selectedNode() const;
    CCategory* selectedCategory() const;
    // Selects the node as a user would, opening the branches above it.
    void reveal(QTreeWidgetItem* node);
    // Removes every node without announcing selection changes: the categories may be gone already.
    void clearQuietly();

    // An edit in place, a drag or a rubber band is under way.
    bool interacting() const { return state() != NoState; }

signals:
    // The right button went down at a point of the viewport (or the menu key was pressed).
    void rightButtonPressed(const QPoint& viewportPos);
    // Delete on a selected node: the category's own Delete, with its question.
    void deletePressed();

protected:
    // Drops of our own drags are handled by the window (see InternalDrop), never by the view.
    void startDrag(Qt::DropActions supportedActions) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    QItemSelectionModel::SelectionFlags selectionCommand(const QModelIndex& index,
                                                         const QEvent* event = nullptr) const override;

private:
    const IconList& icons;
};
