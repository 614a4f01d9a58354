// SPDX-License-Identifier: GPL-3.0-or-later
// The main window's organising by hand: moving and copying categories (popup and drag and drop),
// dragging item rows onto categories, and Undo and Redo of every catalogue command.
#include "ui/window/tsdiappform.h"

#include "ui/common/dialogseam.h"
#include "ui/common/errorbox.h"
#include "ui/dialogs/tselectcategorydialogform.h"
#include "ui/views/categorytreeview.h"
#include "ui/views/internaldrop.h"
#include "ui/views/itemlistview.h"
#include "ui/views/viewplace.h"
#include "undo/catalogueundocommands.h"

#include <QMenu>
#include <QScopedValueRollback>
#include <QScrollBar>
#include <QTreeWidgetItemIterator>

#include <algorithm>
#include <unordered_set>

namespace {

const char* const topLevelText = "Top level";
const char* const copyingCategoryLabel = "Copying the category...";
const char* const movingItemsLabel = "Moving items...";
const char* const copyingItemsLabel = "Copying items...";

// "Undo Delete 3 Items"; a name with "&" keeps it instead of underlining the next letter.
QString historyCaption(const char* verb, const QString& what)
{
    QString text = what;
    text.replace(QLatin1Char('&'), QStringLiteral("&&"));
    return text.isEmpty() ? QString::fromLatin1(verb) : QStringLiteral("%1 %2").arg(QLatin1String(verb), text);
}

}  // namespace

void TSDIAppForm::createOrganising(QMenu* editMenu)
{
    EditUndo = makeAction("EditUndo", QStringLiteral("&Undo"), QStringLiteral("Take back the last change"));
    EditRedo = makeAction("EditRedo", QStringLiteral("&Redo"), QStringLiteral("Make the change taken back again"));
    EditUndo->setShortcut(QKeySequence::Undo);
    EditRedo->setShortcut(QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_Z));
    EditUndo->setEnabled(false);
    EditRedo->setEnabled(false);
    QAction* first = editMenu->actions().value(0);
    editMenu->insertActions(first, {EditUndo, EditRedo});
    editMenu->insertSeparator(first)->setObjectName(QStringLiteral("NUndo"));
    bind(EditUndo, &TSDIAppForm::EditUndoExecute);
    bind(EditRedo, &TSDIAppForm::EditRedoExecute);
    QUndoStack& stack = history.stack();
    connect(&stack, &QUndoStack::undoTextChanged, this,
            [this](const QString& text) { EditUndo->setText(historyCaption("&Undo", text)); });
    connect(&stack, &QUndoStack::redoTextChanged, this,
            [this](const QString& text) { EditRedo->setText(historyCaption("&Redo", text)); });
    connect(&stack, &QUndoStack::canUndoChanged, EditUndo, &QAction::setEnabled);
    connect(&stack, &QUndoStack::canRedoChanged, EditRedo, &QAction::setEnabled);

    MoveCategoryTo = makeAction("MoveCategoryTo", QStringLiteral("Move to Category..."),
                                QStringLiteral("Move this category with everything in it under another category"));
    CopyCategoryTo = makeAction("CopyCategoryTo", QStringLiteral("Copy to Category..."),
                                QStringLiteral("Copy this category with everything in it under another category"));
    // A group of their own at the end: the designed entries keep their places.
    makeSeparator(menuCategoryItem, "NMove");
    menuCategoryItem->addActions({MoveCategoryTo, CopyCategoryTo});
    bind(MoveCategoryTo, &TSDIAppForm::MoveCategoryToClick);
    bind(CopyCategoryTo, &TSDIAppForm::CopyCategoryToClick);

    new InternalDrop(
        treeCategory, {treeCategory, listContent},
        [this](QAbstractItemView* source, const QPoint& at, bool copy) { return treeTakesDrop(source, at, copy); },
        [this](QAbstractItemView* source, const QPoint& at, bool copy) {
            runCommand(this, [&] { dropOnTree(source, at, copy); });
        });
}

// The window's own commands keep the tree and list in step; a change taken back or made again
// reaches only the tables, so the views are read afresh, keeping the user's place.
void TSDIAppForm::reloadKeepingPlace()
{
    const ViewPlace place = ViewPlace::of(*treeCategory, *listContent);
    {
        const QScopedValueRollback<bool> guard(reloading, true);
        closeCatalogueViews();
        db.GetRootCategory().ClearChildren();
        db.LoadCategories();
        FillCategoryTree();
        place.restoreTree(*treeCategory);
    }
    if (CCategory* category = GetSelectedCategory()) {
        ShowCategoryItems(category);
        place.restoreList(*listContent);
    }
}

CCategory* TSDIAppForm::chooseCategoryPlace(const CCategory& category)
{
    TSelectCategoryDialogForm dialog(this);
    dialog.LoadCategories(&db);
    dialog.offerWholeCatalogue(QString::fromLatin1(topLevelText));
    dialog.excludeBranch(category);
    if (seam::exec(&dialog) != QDialog::Accepted)
        return nullptr;
    return dialog.GetSelectedCategory();
}

void TSDIAppForm::MoveCategoryToClick()
{
    CCategory* category = GetSelectedCategory();
    if (!category)
        return;
    if (CCategory* target = chooseCategoryPlace(*category))
        moveCategoryTo(*category, *target);
}

void TSDIAppForm::CopyCategoryToClick()
{
    const CCategory* category = GetSelectedCategory();
    if (!category)
        return;
    if (CCategory* target = chooseCategoryPlace(*category))
        copyCategoryTo(*category, *target);
}

// The node follows its category to the place the catalogue gave it among its new siblings, and
// stays selected there.
void TSDIAppForm::moveCategoryTo(CCategory& category, CCategory& target)
{
    if (commands.parentOf(category) == &target)
        return;
    history.record(std::make_unique<MoveCategoryCommand>(commands, category, target));
    const CCategoryList siblings = target.GetChildren();
    const auto index = std::find(siblings.begin(), siblings.end(), &category) - siblings.begin();
    QTreeWidgetItem* node = treeCategory->nodeOf(&category);
    treeCategory->moveNode(node, treeCategory->nodeOf(&target), static_cast<int>(index));
    treeCategory->reveal(node);
}

void TSDIAppForm::copyCategoryTo(const CCategory& category, CCategory& target)
{
    const auto progress = seam::progress(this, QString::fromLatin1(copyingCategoryLabel), true);
    const auto* copying = history.record(std::make_unique<CopyCategoryCommand>(commands, category, target, *progress));
    if (!copying || !copying->copied())
        return;
    CCategory& copy = *copying->copied();
    AddChildNodes(&copy, treeCategory->addNode(copy, treeCategory->nodeOf(&target)));
}

void TSDIAppForm::EditUndoExecute()
{
    history.undo();
    reloadKeepingPlace();
}

void TSDIAppForm::EditRedoExecute()
{
    history.redo();
    reloadKeepingPlace();
}

// ---- drag and drop onto the tree ---------------------------------------------------------------

// A node, or the root category below the last node, where a category lands at the top level.
CCategory* TSDIAppForm::categoryAtTreePoint(const QPoint& at)
{
    QTreeWidgetItem* node = treeCategory->itemAt(at);
    return node ? treeCategory->categoryOf(node) : &db.GetRootCategory();
}

bool TSDIAppForm::treeTakesDrop(QAbstractItemView* source, const QPoint& at, bool copy)
{
    CCategory* target = categoryAtTreePoint(at);
    CCategory* current = GetSelectedCategory();
    if (!target || !current)
        return false;
    if (source == listContent)
        return target != &db.GetRootCategory() && target != current && !listContent->selectedListItems().empty();
    if (CatalogueCommands::inBranch(*target, *current))
        return false;
    return copy || commands.parentOf(*current) != target;
}

void TSDIAppForm::dropOnTree(QAbstractItemView* source, const QPoint& at, bool copy)
{
    if (!treeTakesDrop(source, at, copy))
        return;
    CCategory& target = *categoryAtTreePoint(at);
    CCategory& current = *GetSelectedCategory();
    if (source == treeCategory) {
        if (copy)
            copyCategoryTo(current, target);
        else
            moveCategoryTo(current, target);
        return;
    }
    const CLinkItems items = listContent->selectedListItems();
    if (copy) {
        const auto progress = seam::progress(this, QString::fromLatin1(copyingItemsLabel), false);
        history.record(std::make_unique<CopyItemsCommand>(commands, items, target, *progress));
        return;
    }
    const auto progress = seam::progress(this, QString::fromLatin1(movingItemsLabel), false);
    history.record(std::make_unique<MoveItemsCommand>(commands, current, items, target, *progress, rowRemover()));
}
