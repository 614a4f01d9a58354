#pragma once

#include <QList>
#include <QMainWindow>
#include <QPointer>

#include <optional>
#include <string>

#include "commands/cataloguecommands.h"
#include "storage/cdbmanager.h"
#include "ui/iconlist.h"

class CCategory;
class CLinkItem;
class QAction;
class QMenu;
class QSplitter;
class QSystemTrayIcon;
class QToolBar;
class QTreeWidget;
class QTreeWidgetItem;
class TAboutBox;

// The program's one working window: category tree on the left, the selected category's items on the
// right. It owns the catalogue database for its whole life; tree nodes and list rows only point at the
// catalogue's objects (Qt::UserRole holds the pointer).
class TSDIAppForm : public QMainWindow {
    Q_OBJECT

public:
    explicit TSDIAppForm(QWidget* parent = nullptr);
    ~TSDIAppForm() override;

    // Catalogue and shared state.
    CDBManager db;
    CatalogueCommands commands{db};
    IconList ImageList2;
    bool exiting = false;
    bool trayIconShown = false;

    // Controls.
    QToolBar* ToolBar1 = nullptr;
    QSplitter* Splitter1 = nullptr;
    QTreeWidget* treeCategory = nullptr;
    QTreeWidget* listContent = nullptr;  // report view: "Name", "Reference", "Description"
    QPointer<QWidget> searchForm;

    // Actions of the menus and the toolbar.
    QAction* OnFileBackup = nullptr;
    QAction* OnFileRestore = nullptr;
    QAction* OnEditSearch = nullptr;
    QAction* OnToolsSettings = nullptr;
    QAction* OnHelpHelp = nullptr;
    QAction* OnHelpAbout = nullptr;
    QAction* OnFileExit = nullptr;
    QAction* ToolsImportIEFavorites = nullptr;

    QMenu* File1 = nullptr;
    QMenu* Edit1 = nullptr;
    QMenu* Tools1 = nullptr;
    QMenu* Help1 = nullptr;

    // Tree popups: menuCategory anywhere in the tree, menuCategoryItem on the selected node's row.
    QMenu* menuCategory = nullptr;
    QAction* AddCategoryItem = nullptr;
    QAction* Property1 = nullptr;
    QMenu* menuCategoryItem = nullptr;
    QAction* AddSubCategoryItem = nullptr;
    QAction* AddNewItem2 = nullptr;
    QAction* AddWebAddressURL2 = nullptr;
    QAction* DeleteCategory = nullptr;
    QAction* Property2 = nullptr;

    // List popup; every entry, separators included, is enabled by name before it opens.
    QMenu* menuListView = nullptr;
    QAction* Open1 = nullptr;
    QAction* OpenWith1 = nullptr;
    QAction* OpenContainingFolder1 = nullptr;
    QAction* N4 = nullptr;
    QAction* AddNewItem1 = nullptr;
    QAction* AddWebAddressURL1 = nullptr;
    QAction* N5 = nullptr;
    QAction* CopyTo1 = nullptr;
    QAction* MoveTo1 = nullptr;
    QAction* Delete1 = nullptr;
    QAction* N6 = nullptr;
    QAction* Property3 = nullptr;

    // Tray popup.
    QMenu* menuTray = nullptr;
    QAction* TrayShowWindow = nullptr;
    QAction* TraySettings = nullptr;
    QAction* TrayHelp = nullptr;
    QAction* About1 = nullptr;
    QAction* Exit1 = nullptr;

    // Catalogue and tree.
    void LoadCatalogue();
    // Deeper catalogues are refused at load; ten thousand levels open and expand.
    static constexpr int maxCategoryLevels = 10000;
    void FillCategoryTree();
    void AddChildNodes(CCategory* category, QTreeWidgetItem* node);
    QTreeWidgetItem* addCategoryNode(CCategory* category, QTreeWidgetItem* parentNode);
    QTreeWidgetItem* GetSelectedNode() const;
    CCategory* GetSelectedCategory() const;
    static CCategory* categoryOf(const QTreeWidgetItem* node);
    QTreeWidgetItem* findCategoryNode(const std::string& categoryGuid) const;
    void refreshCategoryIcons();
    std::string GetDatabasePath();

    // Item list.
    void ShowCategoryItems(CCategory* category);
    QTreeWidgetItem* AddItemRow(CLinkItem* item);
    void fillItemRow(QTreeWidgetItem* row, CLinkItem* item);
    QIcon itemIcon(const CLinkItem& item) const;
    QTreeWidgetItem* GetSelectedListItem() const;
    QList<QTreeWidgetItem*> selectedListRows() const;  // in list order
    static CLinkItem* itemOf(const QTreeWidgetItem* row);
    void LocateItem(const std::string& categoryGuid, const std::string& itemGuid);
    void SaveIconList();

    // Tray residence.
    void AddTrayIcon();
    void RemoveTrayIcon();
    void RestoreFromTray();
    void hideInTray();
    void wakeFromSecondInstance();
    bool trayIsAvailable() const;
    QSystemTrayIcon* trayIcon() const { return tray; }
    // Tests decide whether a notification area exists; nullopt asks the desktop.
    static void overrideTrayAvailability(std::optional<bool> available);

    // Whether the program starts with the window hidden: autohide, or "/tray" anywhere in the whole
    // command line (case-sensitive, inside longer words too, the program's own path included).
    static bool startsHidden(const QString& commandLine, bool autohide);

    void setAboutBox(TAboutBox* box);
    TAboutBox* aboutBox();

    // Handlers of this window.
    void OnFileExitExecute();
    void OnHelpHelpExecute();
    void OnHelpAboutExecute();
    void OnToolsSettingsExecute();
    void TrayShowWindowClick();
    void TraySettingsClick();
    void treeCategoryChange();
    void treeCategoryMouseDown(Qt::MouseButton button, const QPoint& viewportPos);
    void listContentContextPopup();
    void listContentDblClick();
    void listContentEdited(QTreeWidgetItem* row, const QString& text);
    void Open1Click();
    void OpenWith1Click();
    void OpenContainingFolder1Click();
    void Delete1Click();
    void CopyTo1Click();
    void MoveTo1Click();

    // Category, item, search, backup and import commands (tsdiappformcommands.cpp).
    void AddCategoryItemClick();
    void AddSubCategoryItemClick();
    void Property2Click();
    void EditCategory(CCategory* category);
    void DeleteCategoryClick();
    void AddNewItem1Click();
    void AddNewItem2Click();
    void AddWebAddressURL1Click();
    void AddWebAddressURL2Click();
    void Property3Click();
    void OnEditSearchExecute();
    void OnFileBackupExecute();
    void OnFileRestoreExecute();
    void ToolsImportIEFavoritesClick();
    void setupDrops();
    void AddFiles();
    // The file names last chosen for backup and restore, offered again at the next use.
    QString lastBackupFile;
    QString lastRestoreFile;

signals:
    // The window really closed (not hidden in the tray): the program ends.
    void closed();

protected:
    void closeEvent(QCloseEvent* event) override;
    void changeEvent(QEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void FormCreate();
    void FormClose();
    void createActions();
    void createMenus();
    void createToolBar();
    void createPopups();
    void createTrayMenu();
    void createPanels();
    QAction* makeAction(const char* name, const QString& caption, const QString& hint = {});
    QAction* makeSeparator(QMenu* menu, const char* name);
    void bind(QAction* action, void (TSDIAppForm::*handler)());
    void clearItemRows();
    void refuseTooDeepCatalogue();
    static void requireOpenableTarget(const CLinkItem& item);
    void selectCategoryNode(QTreeWidgetItem* node);
    CCategory* chooseTargetCategory();
    static CLinkItems itemsOf(const QList<QTreeWidgetItem*>& rows);
    static CatalogueCommands::Leaving rowRemover(const QList<QTreeWidgetItem*>& rows);

    QSystemTrayIcon* tray = nullptr;
    TAboutBox* AboutBox = nullptr;
    bool reloading = false;
};
