// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "commands/cataloguecommands.h"
#include "commands/catalogueopening.h"
#include "import/importtree.h"
#include "shell/sendrequest.h"
#include "storage/cdbmanager.h"
#include "ui/common/iconlist.h"
#include "undo/undohistory.h"

#include <QList>
#include <QMainWindow>
#include <QPointer>
#include <QUrl>

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

class BackupKeeper;
class CatalogueWatcher;
class SyncKeeper;
class CategoryTreeView;
class ItemListView;
class QAbstractItemView;
class QuickFind;
struct QuickFindHit;
class QAction;
class QMenu;
class QSplitter;
class QToolBar;
class QTreeWidgetItem;
class TAboutBox;
class TrayResidence;
class WindowPlacement;

// The program's one working window: the category tree on the left, the selected category's items on
// the right. It owns the catalogue database for its whole life and composes the pieces that do the
// work: the tree and list views (which map nodes and rows to the catalogue's objects), the tray
// residence, and the catalogue commands. Its own code is the design's handlers.
class TSDIAppForm : public QMainWindow {
    Q_OBJECT

public:
    explicit TSDIAppForm(QWidget* parent = nullptr);
    ~TSDIAppForm() override;

    // The catalogue as loaded, for whoever needs to look.
    const CDBManager& catalogue() const { return db; }

    void setAboutBox(TAboutBox* box);

    // Whether the program starts with the window hidden: autohide, or "/tray" anywhere in the whole
    // command line (case-sensitive, inside longer words too, the program's own path included).
    static bool startsHidden(const QString& commandLine, bool autohide);

    // Deeper catalogues are refused at load; ten thousand levels open and expand.
    static constexpr int maxCategoryLevels = ::maxCategoryLevels;

public slots:
    // A second start of the program asks this instance to show itself.
    void wakeFromSecondInstance();
    // Another connection committed to the catalogue: tree and list are read afresh, the user's place
    // kept. Waits while a command or dialog of the window is under way.
    void reloadCatalogue();
    // A "varnelo:add?url=...&title=..." request (a browser's "send to Varnelo"): the item dialog
    // opens prefilled for the selected category; a request that is refused says why.
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
    void MoveCategoryToClick();
    void CopyCategoryToClick();
    void EditUndoExecute();
    void EditRedoExecute();

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
    void ToolsImportBookmarksClick();
    void ToolsImportBrowserClick();
    void ToolsExportBookmarksClick();
    void ToolsCheckCatalogueClick();
    void AddFolder2Click();

private:
    // Construction.
    void createActions();
    void createMenus();
    void createToolBar();
    void createPanels();
    void createPopups();
    void createTrayMenu();
    QAction* makeAction(const char* name, const QString& caption, const QString& hint = {});
    QAction* makeSeparator(QMenu* menu, const char* name);
    void bind(QAction* action, void (TSDIAppForm::*handler)());
    void FormCreate();
    // Where the window opens, and the item count in the status bar.
    void createWindowState();
    void FormClose();

    // Catalogue and tree.
    void LoadCatalogue();
    void FillCategoryTree();
    void AddChildNodes(CCategory* category, QTreeWidgetItem* node);
    QTreeWidgetItem* GetSelectedNode() const;
    CCategory* GetSelectedCategory() const;
    std::string GetDatabasePath();
    void EditCategory(CCategory* category);

    // Item list.
    void ShowCategoryItems(CCategory* category);
    QTreeWidgetItem* AddItemRow(CLinkItem* item);
    QTreeWidgetItem* GetSelectedListItem() const;
    void LocateItem(const std::string& categoryGuid, const std::string& itemGuid);
    void SaveIconList();
    void AddFiles();
    void addItems(CCategory& category, const std::vector<ItemFields>& items);
    void addDroppedUrls(CCategory& category, const QList<QUrl>& urls);
    CCategory* chooseTargetCategory();
    CatalogueCommands::Leaving rowRemover();
    static void requireOpenableTarget(const CLinkItem& item);
    void importTree(CCategory& target, const ImportTree& tree, const char* label, const char* addedText,
                    const QString& command);
    // The icon list read again after a sync merged changes into it, then the catalogue.
    void reloadAfterSync();
    void restoreFrom(const std::string& backupPath);

    // Quick find (tsdiappform_quickfind.cpp).
    void createQuickFind();
    void openQuickFindHit(const QuickFindHit& hit);
    void quickFindPopup(const QuickFindHit& hit, const QPoint& globalPos);
    void ShowInCategoryClick();
    void quickFindLeft();
    void closeCatalogueViews();

    // Moving, copying and taking back (tsdiappformorganise.cpp).
    void createOrganising(QMenu* editMenu);
    void reloadKeepingPlace();
    CCategory* chooseCategoryPlace(const CCategory& category);
    void moveCategoryTo(CCategory& category, CCategory& target);
    void copyCategoryTo(const CCategory& category, CCategory& target);
    bool treeTakesDrop(QAbstractItemView* source, const QPoint& at, bool copy);
    void dropOnTree(QAbstractItemView* source, const QPoint& at, bool copy);
    CCategory* categoryAtTreePoint(const QPoint& at);
    // Live catalogue (tsdiappform_live.cpp).
    void startWatching();
    void catchUp();
    void refreshStaleItems(CCategory& category);
    bool busy() const;
    void whenIdle(std::function<void()> work);
    void runIdleWork();
    void addWebAddress(CCategory& category, const std::optional<AddressOffer>& offer);
    bool storeEditedItem(CLinkItem& item, const ItemFields& typed);

    // Catalogue check (tsdiappform_check.cpp).
    void markCheckedRows();
    QString lastCheckedNote(const CLinkItem& item);
    CCategory* loadedCategoryOf(const std::string& itemGuid);
    void setItemTarget(const std::string& itemGuid, const std::string& target);
    void deleteItemsByGuid(const std::vector<std::string>& itemGuids);

    // Tray residence.
    void AddTrayIcon();
    void RemoveTrayIcon();
    void RestoreFromTray();
    TAboutBox* aboutBox();
    QPoint besideWindow(const QSize& size) const;

    CDBManager db;
    CatalogueCommands commands{db};
    UndoHistory history;
    IconList ImageList2;
    bool exiting = false;
    bool reloading = false;
    // The file names last chosen for backup and restore, offered again at the next use.
    QString lastBackupFile;
    QString lastRestoreFile;

    QToolBar* ToolBar1 = nullptr;
    QSplitter* Splitter1 = nullptr;
    CategoryTreeView* treeCategory = nullptr;
    ItemListView* listContent = nullptr;
    TrayResidence* tray = nullptr;
    std::unique_ptr<WindowPlacement> placement;
    BackupKeeper* backups = nullptr;
    CatalogueWatcher* watcher = nullptr;
    // Work that waits until no command or dialog of the window is under way.
    std::vector<std::function<void()>> idleWork;
    bool reloadWaiting = false;
    SyncKeeper* sync = nullptr;
    QPointer<QWidget> searchForm;
    QPointer<QWidget> checkWindow;
    // Where the user last put the search dialog, for the next one while the program runs.
    std::optional<QPoint> searchPlace;
    TAboutBox* AboutBox = nullptr;

    QAction* OnFileBackup = nullptr;
    QAction* OnFileRestore = nullptr;
    QAction* OnEditSearch = nullptr;
    QAction* OnToolsSettings = nullptr;
    QAction* OnHelpHelp = nullptr;
    QAction* OnHelpAbout = nullptr;
    QAction* OnFileExit = nullptr;
    QAction* ToolsImportIEFavorites = nullptr;
    QAction* ToolsImportBookmarks = nullptr;
    QAction* ToolsImportBrowser = nullptr;
    QAction* ToolsExportBookmarks = nullptr;
    QAction* ToolsCheckCatalogue = nullptr;

    // Tree popups: menuCategory anywhere in the tree, menuCategoryItem on the selected node's row.
    QMenu* menuCategory = nullptr;
    QAction* AddCategoryItem = nullptr;
    QAction* Property1 = nullptr;
    QMenu* menuCategoryItem = nullptr;
    QAction* AddSubCategoryItem = nullptr;
    QAction* AddNewItem2 = nullptr;
    QAction* AddWebAddressURL2 = nullptr;
    QAction* AddFolder2 = nullptr;
    QAction* DeleteCategory = nullptr;
    QAction* MoveCategoryTo = nullptr;
    QAction* CopyCategoryTo = nullptr;
    QAction* EditUndo = nullptr;
    QAction* EditRedo = nullptr;
    QAction* Property2 = nullptr;

    // List popup; every entry, separators included, is enabled by name before it opens.
    QMenu* menuListView = nullptr;
    QAction* Open1 = nullptr;
    QAction* OpenWith1 = nullptr;
    QAction* OpenContainingFolder1 = nullptr;
    QAction* AddNewItem1 = nullptr;
    QAction* AddWebAddressURL1 = nullptr;
    QAction* CopyTo1 = nullptr;
    QAction* MoveTo1 = nullptr;
    QAction* Delete1 = nullptr;
    QAction* Property3 = nullptr;

    QMenu* menuTray = nullptr;

    QuickFind* quickFind = nullptr;
    // The list's popup for a quick find hit, plus the way to its category.
    QMenu* menuQuickFind = nullptr;
    QAction* ShowInCategory = nullptr;
    // The category shown before a hit's popup selected the hit's own; Esc brings it back.
    std::optional<std::string> categoryBeforeQuickFind;
};
