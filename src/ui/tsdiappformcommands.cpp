// The main window's category, item, search, backup, restore and import commands, and dropping
// files and addresses onto the window.
#include "ui/tsdiappform.h"

#include "backup/backupfile.h"
#include "import/cfavoriteengine.h"
#include "import/importfavorites.h"
#include "commands/writebatch.h"
#include "shell/paths.h"
#include "ui/dialogseam.h"
#include "ui/errorbox.h"
#include "ui/qtext.h"
#include "ui/titemform.h"
#include "ui/tnewcategoryform.h"
#include "ui/tsearchitemform.h"
#include "ui/tselectcategorydialogform.h"
#include "ui/ttmessageprocform.h"

#include <QApplication>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QLineEdit>
#include <QMimeData>
#include <QPlainTextEdit>
#include <QCheckBox>
#include <QSignalBlocker>
#include <QTreeWidget>
#include <QTreeWidgetItemIterator>
#include <QUrl>

#include <exception>
#include <memory>

namespace {

const char* const applicationTitle = "Varnelo";
const char* const confirmCaption = "Confirm";
const char* const deleteCategoryQuestion = "Do you want to delete all sub-categories and items in this category?";
const char* const deleteCategoryCaption = "Delete category";
const char* const backupCaption = "Choose a file for backup";
const char* const restoreCaption = "Choose backup file for restore";
const char* const backupFilter = "Backup Files(*.mbk) (*.mbk);;All Files (*.*) (*)";
const char* const backupSuffix = "mbk";
const char* const backupIncompleteText =
    "No backup was made: another program holds part of the catalogue open. Close it and try again.";
const char* const addingItemsLabel = "Adding to the catalogue...";
const char* const deletingLabel = "Deleting the category...";
const char* const importingLabel = "Importing the Favorites...";
const char* const backingUpLabel = "Writing the backup...";
const char* const restoringLabel = "Restoring the catalogue...";


// The backup and restore outcomes are plain boxes: the application's title, OK, no icon.
void showPlainMessage(QWidget* owner, const std::string& text)
{
    if (!text.empty())
        seam::message(owner, QMessageBox::NoIcon, QString::fromLatin1(applicationTitle), toQ(text), QMessageBox::Ok);
}

QTreeWidgetItem* nodeOf(QTreeWidget* tree, const CCategory* category)
{
    for (QTreeWidgetItemIterator it(tree); *it; ++it)
        if (TSDIAppForm::categoryOf(*it) == category)
            return *it;
    return nullptr;
}

ItemFields itemFields(const QString& name, const QString& target, const QString& comment, int type)
{
    return {fromQ(name), fromQ(target), fromQ(comment), type};
}

// Appends new items to a category; the rows follow each stored batch when the list shows that
// category, so every row shown is stored.
void addItems(TSDIAppForm& window, CCategory& category, const std::vector<ItemFields>& items)
{
    const auto progress = seam::progress(&window, QString::fromLatin1(addingItemsLabel), true);
    window.commands.appendItems(category, items, *progress, [&](const CLinkItems& stored) {
        if (window.GetSelectedCategory() != &category)
            return;
        for (CLinkItem* item : stored)
            window.AddItemRow(item);
    });
}

// Files and addresses dropped onto the item list (the selected category) or onto a category node.
class DropTarget : public QObject {
public:
    DropTarget(TSDIAppForm& owner, QTreeWidget* view, bool onNodes)
        : QObject(view), window(owner), tree(view), nodes(onNodes)
    {
        view->setAcceptDrops(true);
        view->viewport()->setAcceptDrops(true);
        view->viewport()->installEventFilter(this);
    }

protected:
    bool eventFilter(QObject*, QEvent* event) override
    {
        switch (event->type()) {
        case QEvent::DragEnter:
        case QEvent::DragMove: {
            auto* drag = static_cast<QDragMoveEvent*>(event);
            if (isOurs(drag) && targetAt(drag->position().toPoint()))
                drag->acceptProposedAction();
            else
                drag->ignore();
            return true;
        }
        case QEvent::Drop: {
            auto* drop = static_cast<QDropEvent*>(event);
            CCategory* category = isOurs(drop) ? targetAt(drop->position().toPoint()) : nullptr;
            if (!category) {
                drop->ignore();
                return true;
            }
            drop->acceptProposedAction();
            const QList<QUrl> urls = drop->mimeData()->urls();
            runCommand(&window, [&] { addDroppedUrls(window, *category, urls); });
            return true;
        }
        default:
            return false;
        }
    }

private:
    // Drags that start in our own views move nodes or rows, which the window does not offer.
    static bool isOurs(const QDropEvent* event)
    {
        return event->mimeData()->hasUrls() && !qobject_cast<QTreeWidget*>(event->source());
    }

    CCategory* targetAt(const QPoint& position) const
    {
        if (!nodes)
            return window.GetSelectedCategory();
        return TSDIAppForm::categoryOf(tree->itemAt(position));
    }

    static void addDroppedUrls(TSDIAppForm& window, CCategory& category, const QList<QUrl>& urls)
    {
        // A category that is not shown may hold items read long ago; take the stored state first.
        if (window.GetSelectedCategory() != &category)
            window.db.LoadItems(category);
        std::vector<ItemFields> items;
        for (const QUrl& url : urls) {
            if (url.isLocalFile()) {
                const QString path = url.toLocalFile();
                items.push_back(itemFields(fileNamePart(path), path, QString(), CLinkItem::FileType));
            } else if (url.isValid() && !url.isEmpty()) {
                const QString address = url.toString();
                items.push_back(itemFields(address, address, QString(), CLinkItem::WebType));
            }
        }
        addItems(window, category, items);
    }

    TSDIAppForm& window;
    QTreeWidget* tree;
    bool nodes;
};

} // namespace

// ---- category commands -------------------------------------------------------------------------

void TSDIAppForm::AddCategoryItemClick()
{
    TNewCategoryForm form(this, 0, ImageList2, [this] { SaveIconList(); });
    if (seam::exec(&form) != QDialog::Accepted)
        return;
    CCategory& category = commands.addCategory(db.GetRootCategory(), fromQ(form.Edit1->text()), form.GetIconIndex());
    addCategoryNode(&category, nullptr);
}

void TSDIAppForm::AddSubCategoryItemClick()
{
    QTreeWidgetItem* parentNode = GetSelectedNode();
    CCategory* parent = categoryOf(parentNode);
    if (!parent)
        return;
    TNewCategoryForm form(this, 0, ImageList2, [this] { SaveIconList(); });
    if (seam::exec(&form) != QDialog::Accepted)
        return;
    CCategory& category = commands.addCategory(*parent, fromQ(form.Edit1->text()), form.GetIconIndex());
    // The parent keeps its expanded or collapsed state.
    addCategoryNode(&category, parentNode);
}

void TSDIAppForm::Property2Click()
{
    EditCategory(GetSelectedCategory());
}

void TSDIAppForm::EditCategory(CCategory* category)
{
    if (!category)
        return;
    TNewCategoryForm form(this, category->GetIconIndex(), ImageList2, [this] { SaveIconList(); });
    form.setWindowTitle(toQ(category->GetName()));
    form.Edit1->setText(toQ(category->GetName()));
    if (seam::exec(&form) != QDialog::Accepted)
        return;
    if (!commands.editCategory(*category, keptOrEdited(form.Edit1->text(), category->GetName()), form.GetIconIndex()))
        return;
    if (QTreeWidgetItem* node = nodeOf(treeCategory, category)) {
        node->setText(0, toQ(category->GetName()));
        node->setIcon(0, ImageList2.icon(category->GetIconIndex()));
    }
}

void TSDIAppForm::DeleteCategoryClick()
{
    QTreeWidgetItem* node = GetSelectedNode();
    CCategory* category = categoryOf(node);
    if (!category)
        return;
    if (seam::message(this, QMessageBox::Question, QString::fromLatin1(confirmCaption),
                      QString::fromLatin1(deleteCategoryQuestion), QMessageBox::Yes | QMessageBox::No)
        != QMessageBox::Yes)
        return;
    TTMessageProcForm progress(this);
    progress.setWindowTitle(QString::fromLatin1(deleteCategoryCaption));
    progress.show();
    // Paint the window without letting the user act while the delete runs.
    QApplication::processEvents(QEventLoop::ExcludeUserInputEvents);

    CCategory* parent = node->parent() ? categoryOf(node->parent()) : &db.GetRootCategory();
    const auto deleting = seam::progress(this, QString::fromLatin1(deletingLabel), false);
    std::unique_ptr<CCategory> detached = commands.deleteCategory(*parent, *category, *deleting);
    // The node goes first: the list may still show rows of the detached category's items.
    delete node;
    if (!GetSelectedNode())
        listContent->clear();
    progress.close();
}

// ---- item commands -----------------------------------------------------------------------------

void TSDIAppForm::AddFiles()
{
    CCategory* category = GetSelectedCategory();
    if (!category)
        return;
    TitemForm form(this);
    if (seam::exec(&form) != QDialog::Accepted)
        return;
    const QString title = form.txtTitle->text();
    const QString comment = form.memoDescription->toPlainText();
    const bool nameFromFile = form.ckTitle->isChecked();
    const QStringList targets = form.IsMultiple() ? splitTargets(form.txtTarget->text())
                                                  : QStringList{form.txtTarget->text()};
    std::vector<ItemFields> items;
    for (const QString& target : targets)
        items.push_back(itemFields(nameFromFile ? fileNamePart(target) : title, target, comment, CLinkItem::FileType));
    addItems(*this, *category, items);
}

void TSDIAppForm::AddNewItem1Click() { AddFiles(); }
void TSDIAppForm::AddNewItem2Click() { AddFiles(); }

void TSDIAppForm::AddWebAddressURL1Click()
{
    CCategory* category = GetSelectedCategory();
    if (!category)
        return;
    TitemForm form(this, true);
    if (seam::exec(&form) != QDialog::Accepted)
        return;
    addItems(*this, *category, {itemFields(form.txtTitle->text(), form.txtTarget->text(),
                                           form.memoDescription->toPlainText(), CLinkItem::WebType)});
}

void TSDIAppForm::AddWebAddressURL2Click() { AddWebAddressURL1Click(); }

void TSDIAppForm::Property3Click()
{
    QTreeWidgetItem* row = GetSelectedListItem();
    CLinkItem* item = itemOf(row);
    if (!item)
        return;
    TitemForm form(this, item->GetType() == CLinkItem::WebType);
    form.setWindowTitle(toQ(item->GetName()));
    form.txtTitle->setText(toQ(item->GetName()));
    form.txtTarget->setText(toQ(item->GetTarget()));
    form.memoDescription->setPlainText(toQ(item->GetComment()));
    if (seam::exec(&form) != QDialog::Accepted)
        return;
    commands.editItem(*item, {keptOrEdited(form.txtTitle->text(), item->GetName()),
                              keptOrEdited(form.txtTarget->text(), item->GetTarget()),
                              keptOrEdited(form.memoDescription->toPlainText(), item->GetComment()), item->GetType()});
    fillItemRow(row, item);
}

// ---- search ------------------------------------------------------------------------------------

void TSDIAppForm::OnEditSearchExecute()
{
    auto* form = qobject_cast<TSearchItemForm*>(searchForm.data());
    if (!form) {
        form = new TSearchItemForm(this, settingsFilePath());
        form->setLocator([this](const std::string& categoryGuid, const std::string& itemGuid) {
            runCommand(this, [&] { LocateItem(categoryGuid, itemGuid); });
        });
        searchForm = form;
    }
    form->setDatabase(&db);
    form->show();
    form->raise();
    form->activateWindow();
}

// ---- backup and restore ------------------------------------------------------------------------

void TSDIAppForm::OnFileBackupExecute()
{
    const QString chosen = seam::saveFileName(this, QString::fromLatin1(backupCaption),
                                              QString::fromLatin1(backupFilter),
                                              QString::fromLatin1(backupSuffix), lastBackupFile);
    if (chosen.isEmpty())
        return;
    lastBackupFile = chosen;
    // The copy is of the file alone: whatever a write-ahead log still holds must be in it first.
    if (db.IsOpen() && !db.Checkpoint()) {
        showPlainMessage(this, backupIncompleteText);
        return;
    }
    const std::string databasePath = GetDatabasePath();
    const auto progress = seam::progress(this, QString::fromLatin1(backingUpLabel), false);
    const BackupOutcome outcome = writeBackup(databasePath, fromQ(chosen), *progress);
    showPlainMessage(this, outcome.message);
}

void TSDIAppForm::OnFileRestoreExecute()
{
    const QString chosen = seam::openFileName(this, QString::fromLatin1(restoreCaption),
                                              QString::fromLatin1(backupFilter), lastRestoreFile);
    if (chosen.isEmpty())
        return;
    lastRestoreFile = chosen;
    const std::string databasePath = GetDatabasePath();
    if (databasePath.empty())
        return;
    const auto closeCatalogue = [this] {
        // Rows and nodes point into the catalogue that is about to go.
        listContent->clear();
        {
            const QSignalBlocker blocker(treeCategory);
            treeCategory->clear();
        }
        db.Close();
    };
    const auto progress = seam::progress(this, QString::fromLatin1(restoringLabel), false);
    const BackupOutcome outcome =
        restoreBackup(fromQ(chosen), databasePath, closeCatalogue, [this] { LoadCatalogue(); }, *progress);
    showPlainMessage(this, outcome.message);
}

// ---- Favorites import --------------------------------------------------------------------------

void TSDIAppForm::ToolsImportIEFavoritesClick()
{
    TSelectCategoryDialogForm chooser(this);
    chooser.LoadCategories(&db);
    if (seam::exec(&chooser) != QDialog::Accepted)
        return;
    CCategory* chosen = chooser.GetSelectedCategory();
    if (!chosen)
        return;
    CFavoriteEngine engine;
    const FavoriteNode* favorites = engine.ReadFavorites();
    if (!favorites)
        return;
    // The catalogue held in memory gets the imported branch whole, not only its first level; also
    // when the import stops part-way, since what was stored until then stays stored.
    std::exception_ptr failure;
    {
        const auto progress = seam::progress(this, QString::fromLatin1(importingLabel), true);
        WriteBatch batch(db, *progress, countFavoriteRows(favorites));
        try {
            ImportFavoriteLevel(favorites, chosen->GetLevel(), chosen->GetGuid(), db, batch);
            batch.finish();
        } catch (...) {
            failure = std::current_exception();
        }
    }
    QTreeWidgetItem* node = nodeOf(treeCategory, chosen);
    for (CCategory* imported : commands.reloadBranch(*chosen))
        if (node)
            AddChildNodes(imported, addCategoryNode(imported, node));
    if (failure)
        std::rethrow_exception(failure);
}

// ---- drops -------------------------------------------------------------------------------------

void TSDIAppForm::setupDrops()
{
    new DropTarget(*this, listContent, false);
    new DropTarget(*this, treeCategory, true);
}
