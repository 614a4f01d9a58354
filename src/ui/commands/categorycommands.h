// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QObject>

#include <functional>

class CatalogueSession;
class CatalogueView;
class CCategory;
class QWidget;

// The commands of the tree's menus that add, edit and delete categories, with the category dialog
// and the questions they ask; every change goes through the session's history.
class CategoryCommands : public QObject {
    Q_OBJECT
public:
    // beforeDelete runs once the user agreed to delete the category, before anything is deleted.
    CategoryCommands(CatalogueSession& session, CatalogueView& view, QWidget* window,
                     std::function<void(const CCategory&)> beforeDelete);

    // "Add Category": a new top-level category.
    void addCategory();
    // "Add Subcategory": a new category below the selected one, whose node keeps its state.
    void addSubcategory();
    // "Property": the selected category's name and icon.
    void editSelected();
    // "Delete": the selected category with everything below it, after the question.
    void deleteSelected();

private:
    void add(CCategory& parent, const CCategory* parentShown);

    CatalogueSession& session;
    CatalogueView& view;
    QWidget* window;
    std::function<void(const CCategory&)> beforeDelete;
};
