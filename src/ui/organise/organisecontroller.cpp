// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/organise/organisecontroller.h"

#include "session/cataloguesession.h"
#include "ui/common/controls.h"
#include "ui/common/dialogseam.h"
#include "ui/common/errorbox.h"
#include "ui/dialogs/tselectcategorydialogform.h"
#include "ui/views/catalogueview.h"
#include "ui/views/categorytreeview.h"
#include "ui/views/itemlistview.h"
#include "undo/catalogueundocommands.h"

#include <QAction>

#include <algorithm>

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

OrganiseController::OrganiseController(CatalogueSession& catalogueSession, CatalogueView& catalogueView, QWidget* owner)
    : QObject(owner), session(catalogueSession), view(catalogueView), window(owner),
      EditUndo(makeAction(owner, "EditUndo", QStringLiteral("&Undo"), QStringLiteral("Take back the last change"))),
      EditRedo(
          makeAction(owner, "EditRedo", QStringLiteral("&Redo"), QStringLiteral("Make the change taken back again"))),
      MoveCategoryTo(makeAction(owner, "MoveCategoryTo", QStringLiteral("Move to Category..."),
                                QStringLiteral("Move this category with everything in it under another category"))),
      CopyCategoryTo(makeAction(owner, "CopyCategoryTo", QStringLiteral("Copy to Category..."),
                                QStringLiteral("Copy this category with everything in it under another category")))
{
    EditUndo->setShortcut(QKeySequence::Undo);
    EditRedo->setShortcut(QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_Z));
    EditUndo->setEnabled(false);
    EditRedo->setEnabled(false);
    view.runOnTrigger(EditUndo, window, [this] { EditUndoExecute(); });
    view.runOnTrigger(EditRedo, window, [this] { EditRedoExecute(); });
    view.runOnTrigger(MoveCategoryTo, window, [this] { MoveCategoryToClick(); });
    view.runOnTrigger(CopyCategoryTo, window, [this] { CopyCategoryToClick(); });
    QUndoStack& stack = session.undoStack();
    connect(&stack, &QUndoStack::undoTextChanged, this,
            [this](const QString& text) { EditUndo->setText(historyCaption("&Undo", text)); });
    connect(&stack, &QUndoStack::redoTextChanged, this,
            [this](const QString& text) { EditRedo->setText(historyCaption("&Redo", text)); });
    connect(&stack, &QUndoStack::canUndoChanged, EditUndo, &QAction::setEnabled);
    connect(&stack, &QUndoStack::canRedoChanged, EditRedo, &QAction::setEnabled);

    view.takeInternalDrops(
        [this](QAbstractItemView* source, const QPoint& at, bool copy) { return treeTakesDrop(source, at, copy); },
        [this](QAbstractItemView* source, const QPoint& at, bool copy) {
            runCommand(window, [&] { dropOnTree(source, at, copy); });
        });
}

// A change taken back or made again reaches only the tables, so the views are read afresh; an undo
// that brings rows back shows them.
void OrganiseController::EditUndoExecute()
{
    QUndoStack& stack = session.undoStack();
    const auto* undone = dynamic_cast<const RecordedCommand*>(stack.command(stack.index() - 1));
    const std::vector<Changeset::DeletedRow> restored =
        undone ? undone->recorded().deletedRows() : std::vector<Changeset::DeletedRow>{};
    session.undo();
    view.reloadKeepingPlace();
    view.showRestored(restored);
}

void OrganiseController::EditRedoExecute()
{
    session.redo();
    view.reloadKeepingPlace();
}

// ---- categories --------------------------------------------------------------------------------

CCategory* OrganiseController::chooseCategoryPlace(const CCategory& category)
{
    TSelectCategoryDialogForm dialog(window);
    dialog.LoadCategories(&session.database());
    dialog.offerWholeCatalogue(QString::fromLatin1(topLevelText));
    dialog.excludeBranch(category);
    dialog.placeCursorOn(&category);
    if (seam::exec(&dialog) != QDialog::Accepted)
        return nullptr;
    return dialog.GetSelectedCategory();
}

void OrganiseController::MoveCategoryToClick()
{
    CCategory* category = view.selectedCategory();
    if (!category)
        return;
    if (CCategory* target = chooseCategoryPlace(*category))
        moveCategoryTo(*category, *target);
}

void OrganiseController::CopyCategoryToClick()
{
    const CCategory* category = view.selectedCategory();
    if (!category)
        return;
    if (CCategory* target = chooseCategoryPlace(*category))
        copyCategoryTo(*category, *target);
}

// The node follows its category to the place the catalogue gave it among its new siblings, and
// stays selected there.
void OrganiseController::moveCategoryTo(CCategory& category, CCategory& target)
{
    if (session.parentOf(category) == &target)
        return;
    session.run<MoveCategoryCommand>(category, target);
    const CCategoryList siblings = target.GetChildren();
    const auto index = std::find(siblings.begin(), siblings.end(), &category) - siblings.begin();
    CategoryTreeView* tree = view.tree();
    QTreeWidgetItem* node = tree->nodeOf(&category);
    tree->moveNode(node, tree->nodeOf(&target), static_cast<int>(index));
    tree->reveal(node);
}

void OrganiseController::copyCategoryTo(const CCategory& category, CCategory& target)
{
    const auto progress = seam::progress(window, QString::fromLatin1(copyingCategoryLabel), true);
    const auto* copying = session.run<CopyCategoryCommand>(category, target, *progress);
    if (copying && copying->copied())
        view.addBranch(*copying->copied(), &target);
}

// ---- items -------------------------------------------------------------------------------------

void OrganiseController::copySelectedItems()
{
    CCategory* target = chooseCategory(window, session.database(), {}, view.selectedCategory());
    if (target && target != view.selectedCategory())
        copyItemsTo(*target);
}

void OrganiseController::moveSelectedItems()
{
    CCategory* target = chooseCategory(window, session.database(), {}, view.selectedCategory());
    if (target && view.selectedCategory() && target != view.selectedCategory())
        moveItemsTo(*target);
}

// The copies are only written; the target shows them when it is next selected.
void OrganiseController::copyItemsTo(CCategory& target)
{
    const CLinkItems items = view.selectedItems();
    const auto progress = seam::progress(window, QString::fromLatin1(copyingItemsLabel), false);
    session.run<CopyItemsCommand>(items, target, *progress);
}

void OrganiseController::moveItemsTo(CCategory& target)
{
    const CLinkItems items = view.selectedItems();
    const auto progress = seam::progress(window, QString::fromLatin1(movingItemsLabel), false);
    session.run<MoveItemsCommand>(*view.selectedCategory(), items, target, *progress, view.rowRemover());
}

// ---- drag and drop onto the tree ---------------------------------------------------------------

// A node, or the root category below the last node, where a category lands at the top level.
CCategory* OrganiseController::categoryAtTreePoint(const QPoint& at)
{
    QTreeWidgetItem* node = view.tree()->itemAt(at);
    return node ? view.tree()->categoryOf(node) : &session.root();
}

bool OrganiseController::treeTakesDrop(QAbstractItemView* source, const QPoint& at, bool copy)
{
    CCategory* target = categoryAtTreePoint(at);
    CCategory* current = view.selectedCategory();
    if (!target || !current)
        return false;
    if (source == view.list())
        return target != &session.root() && target != current && !view.selectedItems().empty();
    if (CatalogueCommands::inBranch(*target, *current))
        return false;
    return copy || session.parentOf(*current) != target;
}

void OrganiseController::dropOnTree(QAbstractItemView* source, const QPoint& at, bool copy)
{
    if (!treeTakesDrop(source, at, copy))
        return;
    CCategory& target = *categoryAtTreePoint(at);
    CCategory& current = *view.selectedCategory();
    if (source == view.tree())
        copy ? copyCategoryTo(current, target) : moveCategoryTo(current, target);
    else
        copy ? copyItemsTo(target) : moveItemsTo(target);
}
