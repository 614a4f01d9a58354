// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/window/tsdiappform.h"

#include "session/cataloguesession.h"
#include "shell/paths.h"
#include "shell/sendrequest.h"
#include "ui/backup/backupcontroller.h"
#include "ui/backup/movedcatalogue.h"
#include "ui/check/checkcontroller.h"
#include "ui/commands/categorycommands.h"
#include "ui/commands/itemcommands.h"
#include "ui/common/controls.h"
#include "ui/common/desktop.h"
#include "ui/common/dialogseam.h"
#include "ui/common/errorbox.h"
#include "ui/content/contentcontroller.h"
#include "ui/dialogs/taboutbox.h"
#include "ui/dialogs/tsettingsdialog.h"
#include "ui/find/findcontroller.h"
#include "ui/import/importcontroller.h"
#include "ui/organise/organisecontroller.h"
#include "ui/sync/synccontroller.h"
#include "ui/views/catalogueview.h"
#include "ui/views/categorytreeview.h"
#include "ui/views/itemlistview.h"
#include "ui/window/trayresidence.h"
#include "ui/window/windowplacement.h"

#include <QApplication>
#include <QCloseEvent>
#include <QHeaderView>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QRegularExpression>
#include <QSessionManager>
#include <QStatusBar>
#include <QTimer>
#include <QToolBar>
#include <QUrl>

namespace {

const char* const helpPage = "https://varnelo.app/help";
const char* const emptyCatalogueHint =
    "Your catalogue has no items yet.\n\nRight-click a category on the left for Add File(s)..., "
    "Add Web Address (URL)... or Add Folder... (also in the Edit menu), drag files or links onto the "
    "list, or bring your bookmarks in through the Tools menu.";

QString itemCountText(int count)
{
    return count == 1 ? QStringLiteral("1 item") : QStringLiteral("%1 items").arg(count);
}

}  // namespace

TSDIAppForm::TSDIAppForm(QWidget* parent) : QMainWindow(parent), session(new CatalogueSession(this))
{
    ensureResources();
    setObjectName(QStringLiteral("SDIAppForm"));
    setWindowTitle(QStringLiteral("Varnelo"));
    setAccessibleName(QStringLiteral("Varnelo"));
    setWindowIcon(QIcon(QStringLiteral(":/icons/varnelo.svg")));
    // No toolbar-hiding menu: the window's only popups are its own tree, list and tray menus.
    setContextMenuPolicy(Qt::NoContextMenu);
    createPanels();
    createControllers();
    createActions();
    createPopups();
    createMenus();
    createToolBar();
    createTrayMenu();
    statusBar()->setObjectName(QStringLiteral("StatusBar"));
    statusBar()->setAccessibleName(QStringLiteral("Status"));
    // At log-off the window must not hold the session up by hiding in the tray instead of closing.
    connect(qApp, &QGuiApplication::commitDataRequest, this, [this](QSessionManager&) { exiting = true; });
    resize(821, 534 + menuBar()->sizeHint().height());
    move(183, 100);
    createWindowState();
    FormCreate();
    find = new FindController(*session, *view, this, *menuListView, [this] { listContentContextPopup(); });
    // While hits are shown their count is the one in the status bar.
    connect(find, &FindController::hitsShown, findChild<QLabel*>(QStringLiteral("lblItemCount")),
            [label = findChild<QLabel*>(QStringLiteral("lblItemCount"))](bool shown) { label->setVisible(!shown); });
    connect(find, &FindController::typing, contents, &ContentController::userTyping);
    connect(session, &CatalogueSession::changedElsewhere, view, &CatalogueView::reloadFromStore);
    session->watchBeside(this, [this] { return view->busy(); });
}

// The children outlive this part of the object; none of them may call back into it. Nodes and rows
// point into the session's catalogue, which may go before the view does: they go first.
TSDIAppForm::~TSDIAppForm()
{
    RemoveTrayIcon();
    disconnect(treeCategory, nullptr, this, nullptr);
    disconnect(listContent, nullptr, this, nullptr);
    disconnect(session, nullptr, view, nullptr);
    view->clear();
}

const CDBManager& TSDIAppForm::catalogue() const
{
    return session->catalogue();
}

// ---- construction ------------------------------------------------------------------------------

QAction* TSDIAppForm::makeSeparator(QMenu* menu, const char* name)
{
    QAction* separator = menu->addSeparator();
    separator->setObjectName(QString::fromLatin1(name));
    return separator;
}

void TSDIAppForm::bind(QAction* action, void (TSDIAppForm::*handler)())
{
    view->runOnTrigger(action, this, [this, handler] { (this->*handler)(); });
}

// The item and category commands and one controller per capability, before the menus that show
// their actions.
void TSDIAppForm::createControllers()
{
    backups = new BackupController(*session, *view, this, [this] { LoadCatalogue(); });
    sync = new SyncController(*session, *view, this);
    items = new ItemCommands(*session, *view, this);
    categories = new CategoryCommands(*session, *view, this,
                                      [this](const CCategory& category) { backups->beforeCategoryDelete(category); });
    organise = new OrganiseController(*session, *view, this);
    imports = new ImportController(*session, *view, this,
                                   [this](const std::string& reason) { backups->beforeRiskyCommand(reason); });
    check = new CheckController(*session, *view, this);
    contents = new ContentController(*session, *view, this);
    check->setKeptCopies([](const std::string& address) { return !ContentController::keptCopyOf(address).empty(); },
                         [this](const std::string& address) { contents->openKeptCopy(address); });
    new MovedCatalogue(*session, *view, this);
}

void TSDIAppForm::createActions()
{
    const auto image = [](const char* name) {
        return QIcon(QStringLiteral(":/icons/actions/%1.svg").arg(QLatin1String(name)));
    };
    OnFileBackup = makeAction(this, "OnFileBackup", QStringLiteral("&Backup..."),
                              QStringLiteral("Create backup  for current database"));
    OnFileBackup->setIcon(image("backup"));
    OnFileRestore = makeAction(this, "OnFileRestore", QStringLiteral("&Restore..."),
                               QStringLiteral("Restore database from saved backup file."));
    OnFileRestore->setIcon(image("restore"));
    OnEditSearch = makeAction(this, "OnEditSearch", QStringLiteral("&Search"),
                              QStringLiteral("Search items with special keyword."));
    OnEditSearch->setIcon(image("search"));
    OnToolsSettings =
        makeAction(this, "OnToolsSettings", QStringLiteral("&Settings"), QStringLiteral("Application settings"));
    OnToolsSettings->setIcon(image("settings"));
    OnHelpHelp = makeAction(this, "OnHelpHelp", QStringLiteral("Online &Help "), QStringLiteral("Show help"));
    OnHelpHelp->setIcon(image("help"));
    OnHelpAbout = makeAction(this, "OnHelpAbout", QStringLiteral("&About"), QStringLiteral("Show about information"));
    OnHelpAbout->setIcon(image("about"));
    OnFileExit =
        makeAction(this, "OnFileExit", QStringLiteral("E&xit"), QStringLiteral("Close and exit the application"));
    OnFileExit->setIcon(image("exit"));
    ToolsImportIEFavorites = makeAction(this, "ToolsImportIEFavorites", QStringLiteral("&Import from IE Favorites..."));
    SortByColumnHeaders = makeAction(this, "SortByColumnHeaders", QStringLiteral("&Sort by Column Headers"),
                                     QStringLiteral("A click on a column header of the list sorts by that column"));
    SortByColumnHeaders->setCheckable(true);

    bind(OnFileBackup, &TSDIAppForm::OnFileBackupExecute);
    bind(OnFileRestore, &TSDIAppForm::OnFileRestoreExecute);
    bind(OnEditSearch, &TSDIAppForm::OnEditSearchExecute);
    bind(OnToolsSettings, &TSDIAppForm::OnToolsSettingsExecute);
    bind(OnHelpHelp, &TSDIAppForm::OnHelpHelpExecute);
    bind(OnHelpAbout, &TSDIAppForm::OnHelpAboutExecute);
    bind(OnFileExit, &TSDIAppForm::OnFileExitExecute);
    bind(ToolsImportIEFavorites, &TSDIAppForm::ToolsImportIEFavoritesClick);
}

void TSDIAppForm::createMenus()
{
    const auto addMenu = [this](const char* name, const QString& caption, const QString& hint) {
        QMenu* menu = menuBar()->addMenu(caption);
        menu->setObjectName(QString::fromLatin1(name));
        menu->menuAction()->setObjectName(QString::fromLatin1(name) + QStringLiteral("Entry"));
        menu->menuAction()->setStatusTip(hint);
        return menu;
    };
    menuBar()->setObjectName(QStringLiteral("MainMenu1"));
    QMenu* File1 = addMenu("File1", QStringLiteral("&File"), QStringLiteral("File related commands"));
    File1->addAction(OnFileBackup);
    File1->addAction(OnFileRestore);
    File1->addAction(backups->restoreAutomaticAction());
    makeSeparator(File1, "N1");
    File1->addAction(OnFileExit);
    QMenu* Edit1 = addMenu("Edit1", QStringLiteral("&Edit"), QStringLiteral("Edit commands"));
    Edit1->addActions({organise->undoAction(), organise->redoAction()});
    // After a restart the history is empty: the way back to an earlier catalogue is offered beside Undo.
    QAction* restoreAutomatic = backups->restoreAutomaticAction();
    QAction* EditRestoreAutomatic =
        makeAction(this, "EditRestoreAutomatic", restoreAutomatic->text(), restoreAutomatic->statusTip());
    connect(EditRestoreAutomatic, &QAction::triggered, restoreAutomatic, &QAction::trigger);
    const auto offerRestore = [undo = organise->undoAction(), EditRestoreAutomatic] {
        EditRestoreAutomatic->setVisible(!undo->isEnabled());
    };
    connect(organise->undoAction(), &QAction::changed, EditRestoreAutomatic, offerRestore);
    offerRestore();
    Edit1->addAction(EditRestoreAutomatic);
    makeSeparator(Edit1, "NUndo");
    Edit1->addAction(OnEditSearch);
    // The tree's own popup offers it only where no category is selected; the keyboard needs it always.
    makeSeparator(Edit1, "N13");
    Edit1->addAction(AddCategoryItem);
    // A new user's way in: the selected category's adding commands, also found in its popup menu.
    makeSeparator(Edit1, "NAdd");
    const auto forwardTo = [this](const char* name, const QString& caption, const char* target) {
        QAction* popupEntry = findChild<QAction*>(QString::fromLatin1(target));
        QAction* entry = makeAction(this, name, caption, popupEntry->statusTip());
        connect(entry, &QAction::triggered, popupEntry, &QAction::trigger);
        entry->setEnabled(false);
        connect(treeCategory, &QTreeWidget::itemSelectionChanged, entry,
                [this, entry] { entry->setEnabled(view->selectedCategory() != nullptr); });
        return entry;
    };
    Edit1->addActions({forwardTo("EditAddFiles", QStringLiteral("Add &File(s)..."), "AddNewItem2"),
                       forwardTo("EditAddWebAddress", QStringLiteral("Add &Web Address (URL)..."), "AddWebAddressURL2"),
                       forwardTo("EditAddFolder", QStringLiteral("Add F&older..."), "AddFolder2")});
    QMenu* View1 = addMenu("View1", QStringLiteral("&View"), QStringLiteral("How the lists show"));
    View1->addAction(SortByColumnHeaders);
    QMenu* Tools1 = addMenu("Tools1", QStringLiteral("&Tools"), {});
    Tools1->addActions({ToolsImportIEFavorites, imports->importBookmarksAction(), imports->importBrowserAction(),
                        imports->exportBookmarksAction(), check->checkAction()});
    makeSeparator(Tools1, "N2");
    Tools1->addAction(OnToolsSettings);
    Tools1->addAction(backups->settingsAction());
    Tools1->addActions({sync->settingsAction(), sync->syncNowAction()});
    Tools1->addAction(contents->settingsAction());
    QMenu* Help1 = addMenu("Help1", QStringLiteral("&Help"), QStringLiteral("Help topics"));
    Help1->addAction(OnHelpHelp);
    makeSeparator(Help1, "N3");
    Help1->addAction(OnHelpAbout);
}

void TSDIAppForm::createToolBar()
{
    ToolBar1 = addToolBar(QStringLiteral("ToolBar1"));
    ToolBar1->setObjectName(QStringLiteral("ToolBar1"));
    ToolBar1->setAccessibleName(QStringLiteral("Toolbar"));
    ToolBar1->setMovable(false);
    ToolBar1->setFloatable(false);
    // The 48 x 48 images of the toolbar's own image list, on buttons of 55 x 54 in a bar 60 high.
    ToolBar1->setIconSize(QSize(48, 48));
    ToolBar1->setFixedHeight(60);
    ToolBar1->setToolButtonStyle(Qt::ToolButtonIconOnly);
    ToolBar1->toggleViewAction()->setEnabled(false);
    const auto addButton = [this](QAction* action, const char* name) {
        ToolBar1->addAction(action);
        QWidget* button = ToolBar1->widgetForAction(action);
        button->setObjectName(QString::fromLatin1(name));
        button->setFixedSize(55, 54);
        button->setAccessibleName(action->toolTip());
    };
    const auto addGap = [this](int width) {
        auto* gap = new QWidget(ToolBar1);
        gap->setFixedWidth(width);
        ToolBar1->addWidget(gap);
    };
    addButton(OnFileBackup, "ToolButton1");
    addButton(OnFileRestore, "ToolButton2");
    ToolBar1->addSeparator();
    addButton(OnEditSearch, "ToolButton4");
    ToolBar1->addSeparator();
    addButton(OnToolsSettings, "ToolButton6");
    addButton(OnHelpHelp, "ToolButton7");
    addButton(OnHelpAbout, "ToolButton8");
    addGap(29);
    ToolBar1->addSeparator();
    addGap(29);
    addButton(OnFileExit, "ToolButton10");
}

void TSDIAppForm::createPanels()
{
    view = new CatalogueView(*session);
    treeCategory = view->tree();
    listContent = view->list();
    setCentralWidget(view);
    connect(treeCategory, &QTreeWidget::itemSelectionChanged, this, &TSDIAppForm::treeCategoryChange);
    connect(treeCategory, &CategoryTreeView::rightButtonPressed, this, &TSDIAppForm::treeCategoryMouseDown);

    listContent->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(listContent, &ItemListView::captionEdited, this, [this](QTreeWidgetItem* row, const QString& text) {
        runCommand(this, [&] { listContentEdited(row, text); });
    });
    connect(listContent, &QWidget::customContextMenuRequested, this, [this](const QPoint& pos) {
        runCommand(this, [&] {
            listContentContextPopup();
            menuListView->popup(listContent->viewport()->mapToGlobal(pos));
        });
    });
    connect(listContent, &QTreeWidget::itemDoubleClicked, this,
            [this] { runCommand(this, [&] { listContentDblClick(); }); });
    connect(listContent, &ItemListView::deletePressed, this, [this] { runCommand(this, [&] { Delete1Click(); }); });
    connect(listContent, &ItemListView::returnPressed, this, [this] { runCommand(this, [&] { Open1Click(); }); });
}

void TSDIAppForm::createPopups()
{
    menuCategory = new QMenu(this);
    menuCategory->setObjectName(QStringLiteral("menuCategory"));
    menuCategory->setAccessibleName(QStringLiteral("menuCategory"));
    AddCategoryItem = makeAction(this, "AddCategoryItem", QStringLiteral("Add Category"));
    QAction* Property1 = makeAction(this, "Property1", QStringLiteral("Property"));
    // The tree's own "Property" has no command; offered enabled, it would seem broken.
    Property1->setEnabled(false);
    menuCategory->addActions({AddCategoryItem, Property1});
    bind(AddCategoryItem, &TSDIAppForm::AddCategoryItemClick);

    menuCategoryItem = new QMenu(this);
    menuCategoryItem->setObjectName(QStringLiteral("menuCategoryItem"));
    menuCategoryItem->setAccessibleName(QStringLiteral("menuCategoryItem"));
    QAction* AddSubCategoryItem = makeAction(this, "AddSubCategoryItem", QStringLiteral("Add Subcategory"));
    QAction* AddNewItem2 = makeAction(this, "AddNewItem2", QStringLiteral("Add File(s)..."));
    QAction* AddWebAddressURL2 = makeAction(this, "AddWebAddressURL2", QStringLiteral("Add Web Address (URL)..."));
    QAction* DeleteCategory = makeAction(this, "DeleteCategory", QStringLiteral("Delete"));
    QAction* Property2 = makeAction(this, "Property2", QStringLiteral("Property"));
    menuCategoryItem->addActions({AddSubCategoryItem, AddNewItem2, AddWebAddressURL2, imports->addFolderAction()});
    makeSeparator(menuCategoryItem, "N11");
    menuCategoryItem->addAction(DeleteCategory);
    makeSeparator(menuCategoryItem, "N12");
    menuCategoryItem->addAction(Property2);
    // A group of their own at the end: the category's older entries keep their places.
    makeSeparator(menuCategoryItem, "NMove");
    menuCategoryItem->addActions({organise->moveCategoryAction(), organise->copyCategoryAction()});
    bind(AddSubCategoryItem, &TSDIAppForm::AddSubCategoryItemClick);
    bind(AddNewItem2, &TSDIAppForm::AddNewItem2Click);
    bind(AddWebAddressURL2, &TSDIAppForm::AddWebAddressURL2Click);
    bind(DeleteCategory, &TSDIAppForm::DeleteCategoryClick);
    connect(treeCategory, &CategoryTreeView::deletePressed, DeleteCategory, &QAction::trigger);
    bind(Property2, &TSDIAppForm::Property2Click);

    menuListView = new QMenu(this);
    menuListView->setObjectName(QStringLiteral("menuListView"));
    menuListView->setAccessibleName(QStringLiteral("menuListView"));
    QAction* Open1 = makeAction(this, "Open1", QStringLiteral("Open"));
    QAction* OpenWith1 = makeAction(this, "OpenWith1", QStringLiteral("Open With..."));
    OpenContainingFolder1 = makeAction(this, "OpenContainingFolder1", QStringLiteral("Open Containing Folder"));
    AddNewItem1 = makeAction(this, "AddNewItem1", QStringLiteral("Add File(s)..."));
    AddWebAddressURL1 = makeAction(this, "AddWebAddressURL1", QStringLiteral("Add Web Address (URL)..."));
    CopyTo1 = makeAction(this, "CopyTo1", QStringLiteral("Copy to Category..."));
    MoveTo1 = makeAction(this, "MoveTo1", QStringLiteral("Move to Category..."));
    Delete1 = makeAction(this, "Delete1", QStringLiteral("Delete"));
    QAction* Property3 = makeAction(this, "Property3", QStringLiteral("Property"));
    menuListView->addActions({Open1, OpenWith1, OpenContainingFolder1, contents->openKeptCopyAction()});
    makeSeparator(menuListView, "N4");
    menuListView->addActions({AddNewItem1, AddWebAddressURL1});
    makeSeparator(menuListView, "N5");
    menuListView->addActions({CopyTo1, MoveTo1, Delete1});
    makeSeparator(menuListView, "N6");
    menuListView->addAction(Property3);
    bind(Open1, &TSDIAppForm::Open1Click);
    bind(OpenWith1, &TSDIAppForm::OpenWith1Click);
    bind(OpenContainingFolder1, &TSDIAppForm::OpenContainingFolder1Click);
    bind(AddNewItem1, &TSDIAppForm::AddNewItem1Click);
    bind(AddWebAddressURL1, &TSDIAppForm::AddWebAddressURL1Click);
    bind(CopyTo1, &TSDIAppForm::CopyTo1Click);
    bind(MoveTo1, &TSDIAppForm::MoveTo1Click);
    bind(Delete1, &TSDIAppForm::Delete1Click);
    bind(Property3, &TSDIAppForm::Property3Click);
}

void TSDIAppForm::createTrayMenu()
{
    menuTray = new QMenu(this);
    menuTray->setObjectName(QStringLiteral("menuTray"));
    menuTray->setAccessibleName(QStringLiteral("menuTray"));
    QAction* TrayShowWindow = makeAction(this, "TrayShowWindow", QStringLiteral("Show Window"));
    QAction* TraySettings = makeAction(this, "TraySettings", QStringLiteral("Settings..."));
    QAction* TrayHelp = makeAction(this, "TrayHelp", QStringLiteral("Online &Help"));
    QAction* About1 = makeAction(this, "About1", QStringLiteral("&About"));
    QAction* Exit1 = makeAction(this, "Exit1", QStringLiteral("&Exit"));
    menuTray->addAction(TrayShowWindow);
    makeSeparator(menuTray, "N8");
    menuTray->addActions({TraySettings, TrayHelp, About1});
    makeSeparator(menuTray, "N10");
    menuTray->addAction(Exit1);
    bind(TrayShowWindow, &TSDIAppForm::TrayShowWindowClick);
    bind(TraySettings, &TSDIAppForm::TraySettingsClick);
    bind(TrayHelp, &TSDIAppForm::OnHelpHelpExecute);
    bind(About1, &TSDIAppForm::OnHelpAboutExecute);
    bind(Exit1, &TSDIAppForm::OnFileExitExecute);
    tray = new TrayResidence(*this, *menuTray);
    connect(tray, &TrayResidence::iconDoubleClicked, this, [this] { runCommand(this, [&] { RestoreFromTray(); }); });
}

void TSDIAppForm::FormCreate()
{
    // An error here ends the creation steps only; the window still opens (with an empty tree).
    runCommand(this, [this] {
        LoadCatalogue();
        if (tray->addsIconAtStart())
            AddTrayIcon();
    });
}

// ---- catalogue and tree ------------------------------------------------------------------------

std::string TSDIAppForm::GetDatabasePath()
{
    std::string path = databaseFilePath();
    if (path.empty())
        seam::message(nullptr, QMessageBox::NoIcon, QString(),
                      QStringLiteral("Failed to get \"Application Data\" folder!"), QMessageBox::Ok);
    return path;
}

// The stored icon list comes with the catalogue; the tree is filled with it.
void TSDIAppForm::LoadCatalogue()
{
    view->clear();
    session->close();
    const std::string path = GetDatabasePath();
    if (path.empty()) {
        QMetaObject::invokeMethod(
            qApp, [] { QCoreApplication::exit(0); }, Qt::QueuedConnection);
        return;
    }
    session->open(path);
    view->fill();
}

void TSDIAppForm::treeCategoryChange()
{
    runCommand(this, [&] { view->showSelectedCategory(); });
}

void TSDIAppForm::treeCategoryMouseDown(const QPoint& viewportPos)
{
    const QPoint global = treeCategory->viewport()->mapToGlobal(viewportPos);
    QTreeWidgetItem* node = view->selectedNode();
    if (node) {
        QRect row = treeCategory->visualItemRect(node);
        row.setLeft(0);
        row.setRight(treeCategory->viewport()->width());
        if (row.contains(viewportPos)) {
            menuCategoryItem->popup(global);
            return;
        }
    }
    menuCategory->popup(global);
}

// ---- item list ---------------------------------------------------------------------------------

void TSDIAppForm::listContentContextPopup()
{
    const QList<QTreeWidgetItem*> rows = listContent->selectedRows();
    for (QAction* entry : menuListView->actions())
        entry->setEnabled(rows.size() == 1);
    if (rows.size() == 1) {
        const CLinkItem* item = listContent->itemOf(rows.first());
        OpenContainingFolder1->setEnabled(item && item->GetType() != CLinkItem::WebType);
    } else {
        const bool several = rows.size() > 1;
        CopyTo1->setEnabled(several);
        MoveTo1->setEnabled(several);
        Delete1->setEnabled(several);
    }
    // Adding needs a category to add to.
    const bool hasCategory = view->selectedCategory() != nullptr;
    AddNewItem1->setEnabled(hasCategory);
    AddWebAddressURL1->setEnabled(hasCategory);
    contents->prepareOpenKeptCopy();
}

void TSDIAppForm::listContentDblClick()
{
    Open1Click();
}

void TSDIAppForm::listContentEdited(QTreeWidgetItem* row, const QString& text)
{
    items->rename(row, text);
}

void TSDIAppForm::Open1Click()
{
    items->open();
}

void TSDIAppForm::OpenWith1Click()
{
    items->openWith();
}

void TSDIAppForm::OpenContainingFolder1Click()
{
    items->showInFolder();
}

void TSDIAppForm::Delete1Click()
{
    items->deleteSelected();
}

void TSDIAppForm::CopyTo1Click()
{
    organise->copySelectedItems();
}

void TSDIAppForm::MoveTo1Click()
{
    organise->moveSelectedItems();
}

void TSDIAppForm::AddNewItem1Click()
{
    items->addFiles();
}

void TSDIAppForm::AddNewItem2Click()
{
    items->addFiles();
}

void TSDIAppForm::AddWebAddressURL1Click()
{
    items->addWebAddress();
}

void TSDIAppForm::AddWebAddressURL2Click()
{
    items->addWebAddress();
}

void TSDIAppForm::Property3Click()
{
    items->editProperties([this](const CLinkItem& item) {
        const QStringList notes = QStringList{check->lastCheckedNote(item), contents->contentNote(item)}.filter(
            QRegularExpression(QStringLiteral(".+")));
        return notes.join(QLatin1Char('\n'));
    });
}

void TSDIAppForm::handleSendRequest(const QByteArray& request)
{
    wakeFromSecondInstance();
    if (const std::optional<std::string> guid = locatedGuid(request))
        find->locateStoredItem(*guid);
    else
        items->handleSendRequest(request);
}

// ---- categories --------------------------------------------------------------------------------

void TSDIAppForm::AddCategoryItemClick()
{
    categories->addCategory();
}

void TSDIAppForm::AddSubCategoryItemClick()
{
    categories->addSubcategory();
}

void TSDIAppForm::Property2Click()
{
    categories->editSelected();
}

void TSDIAppForm::DeleteCategoryClick()
{
    categories->deleteSelected();
}

// ---- backup, restore, search, import -----------------------------------------------------------

void TSDIAppForm::OnFileBackupExecute()
{
    backups->backUpToFile();
}

void TSDIAppForm::OnFileRestoreExecute()
{
    backups->restoreFromFile();
}

void TSDIAppForm::OnEditSearchExecute()
{
    find->showSearchDialog();
}

void TSDIAppForm::ToolsImportIEFavoritesClick()
{
    imports->importFavorites();
}

// ---- tray residence ----------------------------------------------------------------------------

void TSDIAppForm::AddTrayIcon()
{
    tray->addIcon();
}

void TSDIAppForm::RemoveTrayIcon()
{
    tray->removeIcon();
}

void TSDIAppForm::RestoreFromTray()
{
    tray->restore();
}

void TSDIAppForm::wakeFromSecondInstance()
{
    tray->wake();
}

void TSDIAppForm::TrayShowWindowClick()
{
    if (isVisible()) {
        raise();
        activateWindow();
    } else {
        RestoreFromTray();
    }
}

void TSDIAppForm::TraySettingsClick()
{
    OnToolsSettingsExecute();
}

void TSDIAppForm::changeEvent(QEvent* event)
{
    QMainWindow::changeEvent(event);
    if (event->type() == QEvent::WindowStateChange && isMinimized() && tray->hidesOnMinimize()) {
        QMetaObject::invokeMethod(
            this,
            [this] {
                if (!isMinimized())
                    return;
                setWindowState(windowState() & ~Qt::WindowMinimized);
                tray->hide();
            },
            Qt::QueuedConnection);
    }
}

void TSDIAppForm::closeEvent(QCloseEvent* event)
{
    placement->save();
    if (tray->hidesOnClose(exiting)) {
        event->ignore();
        tray->hide();
        return;
    }
    FormClose();
    event->accept();
    emit closed();
}

void TSDIAppForm::FormClose()
{
    find->closeSearchDialog();
}

// ---- small commands ----------------------------------------------------------------------------

void TSDIAppForm::OnFileExitExecute()
{
    exiting = true;
    close();
}

void TSDIAppForm::OnHelpHelpExecute()
{
    Desktop::instance().openUrl(QUrl(QString::fromLatin1(helpPage)));
}

bool TSDIAppForm::startsHidden(const QString& commandLine, bool autohide)
{
    return autohide || commandLine.contains(QStringLiteral("/tray"), Qt::CaseSensitive);
}

void TSDIAppForm::setAboutBox(TAboutBox* box)
{
    AboutBox = box;
}

TAboutBox* TSDIAppForm::aboutBox()
{
    if (!AboutBox)
        AboutBox = new TAboutBox(this);
    return AboutBox;
}

void TSDIAppForm::OnHelpAboutExecute()
{
    seam::exec(aboutBox());
}

void TSDIAppForm::OnToolsSettingsExecute()
{
    TSettingsDialog dialog(this);
    if (seam::exec(&dialog) == QDialog::Accepted)
        tray->settingsAccepted();
}

// ---- the window's own state --------------------------------------------------------------------

bool TSDIAppForm::catalogueHasNoItems()
{
    try {
        return session->database().MeasureSubtree(session->database().GetRootCategory()).items == 0;
    } catch (const std::exception&) {
        return false;  // nothing is known: no advice
    }
}

void TSDIAppForm::createWindowState()
{
    placement = std::make_unique<WindowPlacement>(*this, *view, *listContent->header(), windowStateFilePath());
    placement->restore();
    SortByColumnHeaders->setChecked(placement->sortsByHeaders());
    listContent->offerSorting(SortByColumnHeaders->isChecked());
    connect(SortByColumnHeaders, &QAction::toggled, this, [this](bool on) {
        listContent->offerSorting(on);
        placement->rememberSortsByHeaders(on);
    });

    auto* count = new QLabel(statusBar());
    count->setObjectName(QStringLiteral("lblItemCount"));
    statusBar()->addPermanentWidget(count);
    // Counted once the rows have settled: a category of thousands adds them one by one.
    auto* recount = new QTimer(this);
    recount->setSingleShot(true);
    recount->setInterval(0);
    connect(recount, &QTimer::timeout, this, [this, count] {
        count->setText(view->selectedCategory() ? itemCountText(listContent->topLevelItemCount()) : QString());
        listContent->setEmptyHint(listContent->topLevelItemCount() == 0 && catalogueHasNoItems()
                                      ? QString::fromLatin1(emptyCatalogueHint)
                                      : QString());
    });
    const auto changed = [recount] { recount->start(); };
    QAbstractItemModel* rows = listContent->model();
    connect(rows, &QAbstractItemModel::rowsInserted, recount, changed);
    connect(rows, &QAbstractItemModel::rowsRemoved, recount, changed);
    connect(rows, &QAbstractItemModel::modelReset, recount, changed);
    connect(treeCategory, &QTreeWidget::itemSelectionChanged, recount, changed);
}
