// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QObject>

#include <functional>
#include <string>

class CatalogueSession;
class CatalogueView;
class CCategory;
class QAction;
class QString;
class QWidget;
struct ImportTree;

// Bringing things in and taking them out: the Favorites, a bookmark file, a browser profile's
// bookmarks, a folder of documents, and the export of a branch as a bookmark file. Each import is one
// command of the history, made after a backup of the catalogue as it was; the new branch and
// items show at once and one message says what was added.
class ImportController : public QObject {
    Q_OBJECT
public:
    // backupBefore: the backup before a risky command, with its reason.
    ImportController(CatalogueSession& session, CatalogueView& view, QWidget* window,
                     std::function<void(const std::string& reason)> backupBefore);

    QAction* importBookmarksAction() const { return ToolsImportBookmarks; }
    QAction* importBrowserAction() const { return ToolsImportBrowser; }
    QAction* exportBookmarksAction() const { return ToolsExportBookmarks; }
    QAction* addFolderAction() const { return AddFolder2; }

    // Tools > "Import from IE Favorites...".
    void importFavorites();

private:
    void ToolsImportBookmarksClick();
    void ToolsImportBrowserClick();
    void ToolsExportBookmarksClick();
    void AddFolder2Click();
    void importTree(CCategory& target, const ImportTree& tree, const char* label, const char* addedText,
                    const QString& command);

    CatalogueSession& session;
    CatalogueView& view;
    QWidget* window;
    std::function<void(const std::string&)> backupBefore;
    QAction* ToolsImportBookmarks;
    QAction* ToolsImportBrowser;
    QAction* ToolsExportBookmarks;
    QAction* AddFolder2;
};
