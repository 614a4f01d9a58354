// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/import/importcontroller.h"

#include "import/bookmarkfilereader.h"
#include "import/bookmarkfilewriter.h"
#include "import/catalogueexport.h"
#include "import/cfavoriteengine.h"
#include "import/foldertree.h"
#include "import/importfavorites.h"
#include "import/importsummary.h"
#include "import/treeimport.h"
#include "session/cataloguesession.h"
#include "ui/common/controls.h"
#include "ui/common/dialogseam.h"
#include "ui/common/errorbox.h"
#include "ui/common/qtext.h"
#include "ui/dialogs/tselectcategorydialogform.h"
#include "ui/import/browserimport.h"
#include "ui/import/browserprofiledialog.h"
#include "ui/views/catalogueview.h"

#include <QAction>
#include <QDir>
#include <QFileInfo>

#include <exception>

namespace {

const char* const importingLabel = "Importing the Favorites...";
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

}  // namespace

ImportController::ImportController(CatalogueSession& catalogueSession, CatalogueView& catalogueView, QWidget* owner,
                                   std::function<void(const std::string&)> backup)
    : QObject(owner), session(catalogueSession), view(catalogueView), window(owner), backupBefore(std::move(backup)),
      ToolsImportBookmarks(makeAction(owner, "ToolsImportBookmarks", QStringLiteral("Import &Bookmarks File..."),
                                      QStringLiteral("Import a bookmark file that a browser exported"))),
      ToolsImportBrowser(makeAction(owner, "ToolsImportBrowser", QStringLiteral("Import from B&rowser..."),
                                    QStringLiteral("Import the bookmarks of a browser profile on this computer"))),
      ToolsExportBookmarks(
          makeAction(owner, "ToolsExportBookmarks", QStringLiteral("&Export Bookmarks File..."),
                     QStringLiteral("Save categories and items as a bookmark file that browsers import"))),
      AddFolder2(makeAction(owner, "AddFolder2", QStringLiteral("Add Folder..."),
                            QStringLiteral("Add the files of a folder and its subfolders to this category")))
{
    view.runOnTrigger(ToolsImportBookmarks, window, [this] { ToolsImportBookmarksClick(); });
    view.runOnTrigger(ToolsImportBrowser, window, [this] { ToolsImportBrowserClick(); });
    view.runOnTrigger(ToolsExportBookmarks, window, [this] { ToolsExportBookmarksClick(); });
    view.runOnTrigger(AddFolder2, window, [this] { AddFolder2Click(); });
}

void ImportController::importFavorites()
{
    CCategory* chosen = chooseCategory(window, session.database());
    if (!chosen)
        return;
    CFavoriteEngine engine;
    const FavoriteNode* favorites = engine.ReadFavorites();
    if (!favorites)
        return;
    backupBefore("import of Favorites");
    // The catalogue held in memory gets the imported branch whole, not only its first level; also
    // when the import stops part-way, since what was stored until then stays stored.
    std::exception_ptr failure;
    try {
        const auto progress = seam::progress(window, QString::fromLatin1(importingLabel), true);
        session.runBatch(QStringLiteral("Import Favorites"), [&](CatalogueCommands& commands) {
            ImportFavoriteLevel(favorites, chosen->GetLevel(), chosen->GetGuid(), commands.catalogue(), *progress);
        });
    } catch (...) {
        failure = std::current_exception();
    }
    view.showAddedBranches(*chosen, session.reloadBranch(*chosen));
    if (failure)
        std::rethrow_exception(failure);
}

// Stores what a reader found below the category, shows the new branch and items at once, and says
// what was added. A stop or a failure keeps, and shows, what was stored until then.
void ImportController::importTree(CCategory& target, const ImportTree& tree, const char* label, const char* addedText,
                                  const QString& command)
{
    std::exception_ptr failure;
    StoredImport stored;
    try {
        const auto progress = seam::progress(window, QString::fromLatin1(label), true);
        session.runBatch(command, [&](CatalogueCommands& commands) {
            stored = storeImportedTree(tree, target, commands.catalogue(), *progress);
        });
    } catch (...) {
        failure = std::current_exception();
    }
    view.showAddedBranches(target, session.reloadBranch(target));
    if (view.selectedCategory() == &target)
        view.showItems(target);
    if (failure)
        std::rethrow_exception(failure);
    showPlainMessage(window, addedMessage(addedText, stored.categories, stored.itemTypes, tree.skipped));
}

void ImportController::ToolsImportBookmarksClick()
{
    const QString file =
        seam::openFileName(window, QString::fromLatin1(importBookmarksCaption), QString::fromLatin1(bookmarkFilter));
    if (file.isEmpty())
        return;
    CCategory* target = chooseCategory(window, session.database());
    if (!target)
        return;
    backupBefore("import of " + fromQ(QFileInfo(file).fileName()));
    importTree(*target, readBookmarkFile(fromQ(file)), importingBookmarksLabel, "Imported",
               QStringLiteral("Import Bookmarks"));
}

void ImportController::ToolsImportBrowserClick()
{
    std::optional<std::vector<BrowserProfile>> profiles = countedBrowserProfiles(window);
    if (!profiles)
        return;
    BrowserProfileDialog chooser(std::move(*profiles), window);
    if (!chooser.selectedProfile()) {
        showPlainMessage(window, noProfilesText);
        return;
    }
    if (seam::exec(&chooser) != QDialog::Accepted || !chooser.selectedProfile())
        return;
    const BrowserProfile profile = *chooser.selectedProfile();
    CCategory* target = chooseCategory(window, session.database());
    if (!target)
        return;
    const std::optional<ImportTree> tree = readProfileInBackground(window, profile);
    if (!tree)
        return;
    backupBefore("import from " + profile.browser + " " + profile.profile);
    importTree(*target, *tree, importingBookmarksLabel, "Imported", QStringLiteral("Import Bookmarks"));
}

void ImportController::AddFolder2Click()
{
    CCategory* target = view.selectedCategory();
    if (!target)
        return;
    const QString folder = seam::existingFolder(window, QString::fromLatin1(addFolderCaption));
    if (folder.isEmpty())
        return;
    ImportTree read;
    try {
        const auto progress = seam::progress(window, QString::fromLatin1(readingFolderLabel), true);
        read = readFolderTree(fromQ(folder), *progress);
    } catch (const ReadStopped&) {
        return;
    }
    backupBefore("adding folder " + fromQ(QFileInfo(folder).fileName()));
    importTree(*target, read, addingFolderLabel, "Added",
               QStringLiteral("Add Folder \"%1\"").arg(QDir(folder).dirName()));
}

void ImportController::ToolsExportBookmarksClick()
{
    const QString file = seam::saveFileName(window, QString::fromLatin1(exportBookmarksCaption),
                                            QString::fromLatin1(bookmarkFilter), QString::fromLatin1(bookmarkSuffix));
    if (file.isEmpty())
        return;
    CCategory* chosen = chooseCategory(window, session.database(), QString::fromLatin1(wholeCatalogueText));
    if (!chosen)
        return;
    const auto progress = seam::progress(window, QString::fromLatin1(exportingLabel), false);
    const ImportFolder tree = catalogueBranch(session.database(), *chosen, *progress);
    const int leftOut = writeBookmarkFile(fromQ(file), tree);
    showPlainMessage(window, exportedMessage(static_cast<std::size_t>(countFolders(tree)),
                                             static_cast<std::size_t>(countEntries(tree) - leftOut),
                                             static_cast<std::size_t>(leftOut)));
}
