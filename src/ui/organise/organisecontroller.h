// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QObject>

class CatalogueSession;
class CatalogueView;
class CCategory;
class QAbstractItemView;
class QAction;
class QPoint;
class QWidget;

// Organising by hand: moving and copying categories (from their menu and by drag and drop), moving
// and copying items (from the list's menu and by dragging rows onto a category), and Edit > Undo
// and Redo of every command the session recorded. It owns its actions; the window puts them in its
// menus.
class OrganiseController : public QObject {
    Q_OBJECT
public:
    OrganiseController(CatalogueSession& session, CatalogueView& view, QWidget* window);

    QAction* undoAction() const { return EditUndo; }
    QAction* redoAction() const { return EditRedo; }
    QAction* moveCategoryAction() const { return MoveCategoryTo; }
    QAction* copyCategoryAction() const { return CopyCategoryTo; }

    // "Copy to Category..." and "Move to Category..." of the selected rows.
    void copySelectedItems();
    void moveSelectedItems();

private:
    void EditUndoExecute();
    void EditRedoExecute();
    void MoveCategoryToClick();
    void CopyCategoryToClick();
    CCategory* chooseCategoryPlace(const CCategory& category);
    void moveCategoryTo(CCategory& category, CCategory& target);
    void copyCategoryTo(const CCategory& category, CCategory& target);
    void copyItemsTo(CCategory& target);
    void moveItemsTo(CCategory& target);
    bool treeTakesDrop(QAbstractItemView* source, const QPoint& at, bool copy);
    void dropOnTree(QAbstractItemView* source, const QPoint& at, bool copy);
    CCategory* categoryAtTreePoint(const QPoint& at);

    CatalogueSession& session;
    CatalogueView& view;
    QWidget* window;
    QAction* EditUndo;
    QAction* EditRedo;
    QAction* MoveCategoryTo;
    QAction* CopyCategoryTo;
};
