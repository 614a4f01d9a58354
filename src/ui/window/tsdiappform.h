// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "commands/catalogueopening.h"

#include <QMainWindow>

#include <memory>
#include <string>

class BackupController;
class CatalogueSession;
class CatalogueView;
class CategoryCommands;
class CategoryTreeView;
class CDBManager;
class CheckController;
class ContentController;
class FindController;
class ImportController;
class ItemCommands;
class ItemListView;
class OrganiseController;
class QAction;
class QMenu;
class QToolBar;
class QTreeWidgetItem;
class SyncController;
class TAboutBox;
class TrayResidence;
class WindowPlacement;

// The program's one working window: the category tree on the left, the selected category's items on
// the right, with its menus, toolbar, status bar, its place on the screen and its life in the tray.
// It composes the pieces that do the work: the session that owns the open catalogue, the view of
// it, the item and category commands, and one controller per capability beside them. Each handler
// of a menu entry, button or control forwards to the piece that does the job.
class TSDIAppForm : public QMainWindow {
    Q_OBJECT

public:
    explicit TSDIAppForm(QWidget* parent = nullptr);
    ~TSDIAppForm() override;

    // The catalogue as loaded, for whoever needs to look.
    const CDBManager& catalogue() const;

    void setAboutBox(TAboutBox* box);

    // Whether the program starts with the window hidden: autohide, or "/tray" anywhere in the whole
    // command line (case-sensitive, inside longer words too, the program's own path included).
    static bool startsHidden(const QString& commandLine, bool autohide);

    // Deeper catalogues are refused at load; ten thousand levels open and expand.
    static constexpr int maxCategoryLevels = ::maxCategoryLevels;

public slots:
    // A second start of the program asks this instance to show itself.
    void wakeFromSecondInstance();
    // A "varnelo:add?url=...&title=..." request (a browser's "send to Varnelo"): the window wakes and
    // the item dialog opens prefilled for the selected category; a request that is refused says why.
    void handleSendRequest(const QByteArray& request);

signals:
    // The window really closed (not hidden in the tray): the program ends.
    void closed();

protected:
    void closeEvent(QCloseEvent* event) override;
    void changeEvent(QEvent* event) override;

private slots:
    // Window, tree and tray.
    void OnFileExitExecute();
    void OnHelpHelpExecute();
    void OnHelpAboutExecute();
    void OnToolsSettingsExecute();
    void OnEditSearchExecute();
    void TrayShowWindowClick();
    void TraySettingsClick();
    void treeCategoryChange();
    void treeCategoryMouseDown(const QPoint& viewportPos);

    // Item list.
    void listContentContextPopup();
    void listContentDblClick();
    void listContentEdited(QTreeWidgetItem* row, const QString& text);
    void Open1Click();
    void OpenWith1Click();
    void OpenContainingFolder1Click();
    void Delete1Click();
    void CopyTo1Click();
    void MoveTo1Click();

    // Categories.
    void AddCategoryItemClick();
    void AddSubCategoryItemClick();
    void Property2Click();
    void DeleteCategoryClick();

    // Items.
    void AddNewItem1Click();
    void AddNewItem2Click();
    void AddWebAddressURL1Click();
    void AddWebAddressURL2Click();
    void Property3Click();

    // Backup, restore, import.
    void OnFileBackupExecute();
    void OnFileRestoreExecute();
    void ToolsImportIEFavoritesClick();

private:
    // Construction.
    void createControllers();
    void createActions();
    void createMenus();
    void createToolBar();
    void createPanels();
    void createPopups();
    void createTrayMenu();
    QAction* makeSeparator(QMenu* menu, const char* name);
    void bind(QAction* action, void (TSDIAppForm::*handler)());
    void FormCreate();
    // Where the window opens, and the item count in the status bar.
    void createWindowState();
    bool catalogueHasNoItems();
    void FormClose();

    // The catalogue (re)opened and shown afresh, at start and after a restore.
    void LoadCatalogue();
    std::string GetDatabasePath();

    // Tray residence.
    void AddTrayIcon();
    void RemoveTrayIcon();
    void RestoreFromTray();
    TAboutBox* aboutBox();

    CatalogueSession* session;
    CatalogueView* view = nullptr;
    CategoryTreeView* treeCategory = nullptr;
    ItemListView* listContent = nullptr;
    ItemCommands* items = nullptr;
    CategoryCommands* categories = nullptr;
    OrganiseController* organise = nullptr;
    ImportController* imports = nullptr;
    FindController* find = nullptr;
    CheckController* check = nullptr;
    ContentController* contents = nullptr;
    BackupController* backups = nullptr;
    SyncController* sync = nullptr;
    TrayResidence* tray = nullptr;
    std::unique_ptr<WindowPlacement> placement;
    TAboutBox* AboutBox = nullptr;
    bool exiting = false;

    QToolBar* ToolBar1 = nullptr;
    QAction* OnFileBackup = nullptr;
    QAction* OnFileRestore = nullptr;
    QAction* OnEditSearch = nullptr;
    QAction* OnToolsSettings = nullptr;
    QAction* OnHelpHelp = nullptr;
    QAction* OnHelpAbout = nullptr;
    QAction* OnFileExit = nullptr;
    QAction* ToolsImportIEFavorites = nullptr;
    QAction* SortByColumnHeaders = nullptr;

    // Tree popups: menuCategory anywhere in the tree, menuCategoryItem on the selected node's row.
    QMenu* menuCategory = nullptr;
    QAction* AddCategoryItem = nullptr;
    QMenu* menuCategoryItem = nullptr;

    // List popup; every entry, separators included, is enabled by name before it opens.
    QMenu* menuListView = nullptr;
    QAction* OpenContainingFolder1 = nullptr;
    QAction* AddNewItem1 = nullptr;
    QAction* AddWebAddressURL1 = nullptr;
    QAction* CopyTo1 = nullptr;
    QAction* MoveTo1 = nullptr;
    QAction* Delete1 = nullptr;

    QMenu* menuTray = nullptr;
};
