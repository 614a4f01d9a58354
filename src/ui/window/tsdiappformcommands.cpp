// SPDX-License-Identifier: GPL-3.0-or-later
// The main window's category, item, search, backup, restore and import commands.
#include "ui/window/tsdiappform.h"

#include "backup/backupfile.h"
#include "commands/writebatch.h"
#include "import/bookmarkfilereader.h"
#include "import/bookmarkfilewriter.h"
#include "import/browserprofiles.h"
#include "import/catalogueexport.h"
#include "import/cfavoriteengine.h"
#include "import/foldertree.h"
#include "import/importfavorites.h"
#include "import/importsummary.h"
#include "import/treeimport.h"
#include "shell/desktopservices.h"
#include "shell/paths.h"
#include "ui/backup/backupkeeper.h"
#include "ui/common/deletequestion.h"
#include "ui/common/dialogseam.h"
#include "ui/common/errorbox.h"
#include "ui/common/qtext.h"
#include "ui/dialogs/titemform.h"
#include "ui/dialogs/tnewcategoryform.h"
#include "ui/dialogs/tsearchitemform.h"
#include "ui/dialogs/tselectcategorydialogform.h"
#include "ui/dialogs/ttmessageprocform.h"
#include "ui/find/quickfind.h"
#include "ui/import/browserimport.h"
#include "ui/import/browserprofiledialog.h"
#include "ui/views/categorytreeview.h"
#include "ui/views/itemlistview.h"
#include "undo/catalogueundocommands.h"

#include <QApplication>
#include <QClipboard>
#include <QDir>
#include <QFileInfo>
#include <QMimeData>
#include <QUrl>

#include <algorithm>
#include <exception>
#include <memory>

namespace {

const char* const applicationTitle = "Varnelo";
const char* const confirmCaption = "Confirm";
const char* const deleteCategoryQuestion = "Do you want to delete all sub-categories and items in this category?";
const char* const deleteCategoryCaption = "Delete category";
const char* const backupCaption = "Choose a file for backup";
const char* const restoreCaption = "Choose backup file for restore";
// Qt reads each entry's patterns from its last parentheses, so the texts show as they are.
const char* const backupFilter = "Backup Files(*.mbk);;All Files (*.*)";
const char* const backupSuffix = "mbk";
const char* const addingItemsLabel = "Adding to the catalogue...";
const char* const deletingLabel = "Deleting the category...";
const char* const importingLabel = "Importing the Favorites...";
const char* const backingUpLabel = "Writing the backup...";
const char* const restoringLabel = "Restoring the catalogue...";
const char* const exportingLabel = "Exporting the bookmarks...";
const char* const importingBookmarksLabel = "Importing the bookmarks...";
const char* const readingFolderLabel = "Reading the folder...";
const char* const addingFolderLabel = "Adding the folder...";
const char* const importBookmarksCaption = "Choose a bookmark file to import";
const char* const exportBookmarksCaption = "Choose a file for the bookmarks";
const char* const addFolderCaption = "Choose a folder to add";
const char* const bookmarkFilter = "Bookmark Files (*.html *.htm);;All Files (*.*)";
const char* const bookmarkSuffix = "html";
const char* const wholeCatalogueText = "Whole catalogue";
const char* const noProfilesText = "No browser profile with bookmarks was found for this user.";
const char* const historyClearedText = "Undo and Redo start afresh from the restored catalogue.";

// The backup and restore outcomes are plain boxes: the application's title, OK, no icon.
void showPlainMessage(QWidget* owner, const std::string& text)
{
    if (!text.empty())
        seam::message(owner, QMessageBox::NoIcon, QString::fromLatin1(applicationTitle), toQ(text), QMessageBox::Ok);
}

ItemFields itemFields(const QString& name, const QString& target, const QString& comment, int type)
{
    return {fromQ(name), fromQ(target), fromQ(comment), type};
}

}  // namespace

// ---- adding items ------------------------------------------------------------------------------

// The rows follow each stored batch when the list shows that category, so every row shown is stored.
void TSDIAppForm::addItems(CCategory& category, const std::vector<ItemFields>& items)
{
    refreshStaleItems(category);
    const auto progress = seam::progress(this, QString::fromLatin1(addingItemsLabel), true);
    history.record(
        std::make_unique<AddItemsCommand>(commands, category, items, *progress, [&](const CLinkItems& stored) {
            if (GetSelectedCategory() != &category)
                return;
            for (CLinkItem* item : stored)
                AddItemRow(item);
        }));
}

void TSDIAppForm::addDroppedUrls(CCategory& category, const QList<QUrl>& urls)
{
    // A category that is not shown may hold items read long ago; take the stored state first.
    if (GetSelectedCategory() != &category)
        db.LoadItems(category);
    std::vector<ItemFields> items;
    for (const QUrl& url : urls) {
        if (url.isLocalFile()) {
            const std::string path = localPathBytes(url);
            items.push_back({path.substr(path.find_last_of('/') + 1), path, {}, CLinkItem::FileType});
        } else if (url.isValid() && !url.isEmpty()) {
            const QString address = url.toString();
            items.push_back(itemFields(address, address, QString(), CLinkItem::WebType));
        }
    }
    addItems(category, items);
}

// ---- category commands -------------------------------------------------------------------------

void TSDIAppForm::AddCategoryItemClick()
{
    TNewCategoryForm form(this, 0, ImageList2, [this] { SaveIconList(); });
    if (seam::exec(&form) != QDialog::Accepted)
        return;
    if (auto* add = history.record(std::make_unique<AddCategoryCommand>(commands, db.GetRootCategory(),
                                                                        fromQ(form.name()), form.GetIconIndex())))
        treeCategory->addNode(*add->added(), nullptr);
}

void TSDIAppForm::AddSubCategoryItemClick()
{
    QTreeWidgetItem* parentNode = GetSelectedNode();
    CCategory* parent = treeCategory->categoryOf(parentNode);
    if (!parent)
        return;
    TNewCategoryForm form(this, 0, ImageList2, [this] { SaveIconList(); });
    if (seam::exec(&form) != QDialog::Accepted)
        return;
    // The parent keeps its expanded or collapsed state.
    if (auto* add = history.record(
            std::make_unique<AddCategoryCommand>(commands, *parent, fromQ(form.name()), form.GetIconIndex())))
        treeCategory->addNode(*add->added(), parentNode);
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
    form.setName(toQ(category->GetName()));
    if (seam::exec(&form) != QDialog::Accepted)
        return;
    const std::string name = keptOrEdited(form.name(), category->GetName());
    if (history.record(std::make_unique<EditCategoryCommand>(commands, *category, name, form.GetIconIndex())))
        treeCategory->refreshNode(treeCategory->nodeOf(category));
}

void TSDIAppForm::DeleteCategoryClick()
{
    QTreeWidgetItem* node = GetSelectedNode();
    CCategory* category = treeCategory->categoryOf(node);
    if (!category)
        return;
    const CDBManager::SubtreeSize size = db.MeasureSubtree(*category);
    const QString question = deleteQuestion(QString::fromLatin1(deleteCategoryQuestion),
                                            categoryGoing(toQ(category->GetName()), size.categories, size.items));
    if (seam::message(this, QMessageBox::Question, QString::fromLatin1(confirmCaption), question,
                      QMessageBox::Yes | QMessageBox::No)
        != QMessageBox::Yes)
        return;
    backups->beforeCategoryDelete(category->GetGuid(), category->GetName());
    TTMessageProcForm progress(this);
    progress.setWindowTitle(QString::fromLatin1(deleteCategoryCaption));
    progress.showPainted();

    CCategory* parent = node->parent() ? treeCategory->categoryOf(node->parent()) : &db.GetRootCategory();
    const auto deleting = seam::progress(this, QString::fromLatin1(deletingLabel), false);
    std::unique_ptr<CCategory> detached;
    history.record(std::make_unique<DeleteCategoryCommand>(commands, *parent, *category, *deleting, detached));
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
    std::vector<ItemFields> items;
    for (const QString& target : form.targets())
        items.push_back(itemFields(form.nameFromFile() ? fileNamePart(target) : form.title(), target,
                                   form.description(), CLinkItem::FileType));
    addItems(*category, items);
}

void TSDIAppForm::AddNewItem1Click()
{
    AddFiles();
}
void TSDIAppForm::AddNewItem2Click()
{
    AddFiles();
}

void TSDIAppForm::AddWebAddressURL1Click()
{
    CCategory* category = GetSelectedCategory();
    if (!category)
        return;
    const QMimeData* clipboard = QApplication::clipboard()->mimeData();
    addWebAddress(*category, clipboard ? clipboardAddress(*clipboard) : std::nullopt);
}

void TSDIAppForm::AddWebAddressURL2Click()
{
    AddWebAddressURL1Click();
}

void TSDIAppForm::Property3Click()
{
    QTreeWidgetItem* row = GetSelectedListItem();
    CLinkItem* item = listContent->itemOf(row);
    if (!item)
        return;
    TitemForm form(this, item->GetType() == CLinkItem::WebType);
    form.setWindowTitle(toQ(item->GetName()));
    form.fill(toQ(item->GetName()), toQ(item->GetTarget()), toQ(item->GetComment()));
    form.setCheckNote(lastCheckedNote(*item));
    // The row is refreshed by the store: saving as a new item reads the list afresh.
    do {
        if (seam::exec(&form) != QDialog::Accepted)
            return;
    } while (!storeEditedItem(*item, {keptOrEdited(form.title(), item->GetName()),
                                      keptOrEdited(form.target(), item->GetTarget()),
                                      keptOrEdited(form.description(), item->GetComment()), item->GetType()}));
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
        // Beside the window, not over the list where a found row is shown; then where the user put it.
        form->move(searchPlace.value_or(besideWindow(form->size())));
        connect(form, &TSearchItemForm::moved, this, [this](const QPoint& place) { searchPlace = place; });
        searchForm = form;
    }
    form->setDatabase(&db);
    form->setSearcher([this](bool byName, bool byTarget, bool byComment, const std::string& keyword) {
        return quickFind->searchItems(db, byName, byTarget, byComment, keyword);
    });
    form->show();
    form->raise();
    form->activateWindow();
}

// ---- backup and restore ------------------------------------------------------------------------

void TSDIAppForm::OnFileBackupExecute()
{
    const QString chosen =
        seam::saveFileName(this, QString::fromLatin1(backupCaption), QString::fromLatin1(backupFilter),
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
    // A typed name of a file that does not exist is taken; the restore then reports it cannot open it.
    const QString chosen = seam::openFileName(this, QString::fromLatin1(restoreCaption),
                                              QString::fromLatin1(backupFilter), lastRestoreFile, false);
    if (chosen.isEmpty())
        return;
    lastRestoreFile = chosen;
    backups->beforeRestore(fromQ(chosen));
    restoreFrom(fromQ(chosen));
}

void TSDIAppForm::restoreFrom(const std::string& backupPath)
{
    const std::string databasePath = GetDatabasePath();
    if (databasePath.empty())
        return;
    const auto closeCatalogue = [this] {
        closeCatalogueViews();
        db.Close();
    };
    const auto progress = seam::progress(this, QString::fromLatin1(restoringLabel), false);
    const BackupOutcome outcome = restoreBackup(
        backupPath, databasePath, closeCatalogue, [this] { LoadCatalogue(); }, *progress);
    // What the history recorded was done to the catalogue the restore replaced.
    const bool historyCleared = outcome.succeeded && history.clear();
    showPlainMessage(this, historyCleared ? outcome.message + " " + historyClearedText : outcome.message);
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
    backups->beforeRiskyCommand("import of Favorites");
    // The catalogue held in memory gets the imported branch whole, not only its first level; also
    // when the import stops part-way, since what was stored until then stays stored.
    std::exception_ptr failure;
    {
        const auto progress = seam::progress(this, QString::fromLatin1(importingLabel), true);
        WriteBatch batch(db, *progress, countFavoriteRows(favorites));
        try {
            history.record(std::make_unique<ImportCommand>(db, QStringLiteral("Import Favorites"), [&] {
                ImportFavoriteLevel(favorites, chosen->GetLevel(), chosen->GetGuid(), db, batch);
                batch.finish();
            }));
        } catch (...) {
            failure = std::current_exception();
        }
    }
    QTreeWidgetItem* node = treeCategory->nodeOf(chosen);
    for (CCategory* imported : commands.reloadBranch(*chosen))
        if (node)
            AddChildNodes(imported, treeCategory->addNode(*imported, node));
    if (failure)
        std::rethrow_exception(failure);
}

// ---- bookmarks and folders ---------------------------------------------------------------------

// Stores what a reader found below the category, shows the new branch and items at once, and says
// what was added. A stop or a failure keeps, and shows, what was stored until then.
void TSDIAppForm::importTree(CCategory& target, const ImportTree& tree, const char* label, const char* addedText,
                             const QString& command)
{
    std::exception_ptr failure;
    std::size_t categories = 0;
    std::vector<int> types;
    {
        const auto progress = seam::progress(this, QString::fromLatin1(label), true);
        WriteBatch batch(db, *progress, importRowCount(tree.root));
        try {
            history.record(std::make_unique<ImportCommand>(db, command, [&] {
                storeImportTree(tree.root, target, db, batch, &types);
                batch.finish();
            }));
        } catch (...) {
            failure = std::current_exception();
        }
        categories = batch.storedCategories();
        // The items are stored in the order written, so the stored ones are the first of them.
        types.resize(batch.storedItems());
    }
    QTreeWidgetItem* node = treeCategory->nodeOf(&target);
    for (CCategory* imported : commands.reloadBranch(target))
        if (node)
            AddChildNodes(imported, treeCategory->addNode(*imported, node));
    if (GetSelectedCategory() == &target)
        ShowCategoryItems(&target);
    if (failure)
        std::rethrow_exception(failure);
    showPlainMessage(this, addedMessage(addedText, categories, types, tree.skipped));
}

void TSDIAppForm::ToolsImportBookmarksClick()
{
    const QString file =
        seam::openFileName(this, QString::fromLatin1(importBookmarksCaption), QString::fromLatin1(bookmarkFilter));
    if (file.isEmpty())
        return;
    CCategory* target = chooseTargetCategory();
    if (!target)
        return;
    backups->beforeRiskyCommand("import of " + fromQ(QFileInfo(file).fileName()));
    importTree(*target, readBookmarkFile(fromQ(file)), importingBookmarksLabel, "Imported",
               QStringLiteral("Import Bookmarks"));
}

void TSDIAppForm::ToolsImportBrowserClick()
{
    std::optional<std::vector<BrowserProfile>> profiles = countedBrowserProfiles(this);
    if (!profiles)
        return;
    BrowserProfileDialog chooser(std::move(*profiles), this);
    if (!chooser.selectedProfile()) {
        showPlainMessage(this, noProfilesText);
        return;
    }
    if (seam::exec(&chooser) != QDialog::Accepted || !chooser.selectedProfile())
        return;
    const BrowserProfile profile = *chooser.selectedProfile();
    CCategory* target = chooseTargetCategory();
    if (!target)
        return;
    const std::optional<ImportTree> tree = readProfileInBackground(this, profile);
    if (!tree)
        return;
    backups->beforeRiskyCommand("import from " + profile.browser + " " + profile.profile);
    importTree(*target, *tree, importingBookmarksLabel, "Imported", QStringLiteral("Import Bookmarks"));
}

void TSDIAppForm::AddFolder2Click()
{
    CCategory* target = GetSelectedCategory();
    if (!target)
        return;
    const QString folder = seam::existingFolder(this, QString::fromLatin1(addFolderCaption));
    if (folder.isEmpty())
        return;
    ImportTree read;
    try {
        const auto progress = seam::progress(this, QString::fromLatin1(readingFolderLabel), true);
        read = readFolderTree(fromQ(folder), *progress);
    } catch (const ReadStopped&) {
        return;
    }
    backups->beforeRiskyCommand("adding folder " + fromQ(QFileInfo(folder).fileName()));
    importTree(*target, read, addingFolderLabel, "Added",
               QStringLiteral("Add Folder \"%1\"").arg(QDir(folder).dirName()));
}

void TSDIAppForm::ToolsExportBookmarksClick()
{
    const QString file = seam::saveFileName(this, QString::fromLatin1(exportBookmarksCaption),
                                            QString::fromLatin1(bookmarkFilter), QString::fromLatin1(bookmarkSuffix));
    if (file.isEmpty())
        return;
    TSelectCategoryDialogForm chooser(this);
    chooser.LoadCategories(&db);
    chooser.offerWholeCatalogue(QString::fromLatin1(wholeCatalogueText));
    if (seam::exec(&chooser) != QDialog::Accepted || !chooser.GetSelectedCategory())
        return;
    const auto progress = seam::progress(this, QString::fromLatin1(exportingLabel), false);
    const ImportFolder tree = catalogueBranch(db, *chooser.GetSelectedCategory(), *progress);
    const int leftOut = writeBookmarkFile(fromQ(file), tree);
    showPlainMessage(this, exportedMessage(static_cast<std::size_t>(countFolders(tree)),
                                           static_cast<std::size_t>(countEntries(tree) - leftOut),
                                           static_cast<std::size_t>(leftOut)));
}
