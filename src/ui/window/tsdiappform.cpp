// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/window/tsdiappform.h"

#include "backup/backupfile.h"
#include "model/treeassembly.h"
#include "shell/appsettings.h"
#include "shell/cataloguewatcher.h"
#include "shell/desktopservices.h"
#include "shell/paths.h"
#include "ui/backup/backupkeeper.h"
#include "ui/common/deletequestion.h"
#include "ui/common/desktop.h"
#include "ui/common/dialogseam.h"
#include "ui/common/errorbox.h"
#include "ui/common/openguard.h"
#include "ui/common/qtext.h"
#include "ui/dialogs/taboutbox.h"
#include "ui/dialogs/tselectcategorydialogform.h"
#include "ui/dialogs/tsettingsdialog.h"
#include "ui/sync/synckeeper.h"
#include "ui/views/categorytreeview.h"
#include "ui/views/droptarget.h"
#include "ui/views/itemlistview.h"
#include "ui/window/trayresidence.h"
#include "ui/window/windowplacement.h"
#include "undo/catalogueundocommands.h"

#include <QApplication>
#include <QCloseEvent>
#include <QMenu>
#include <QMenuBar>
#include <QScopedValueRollback>
#include <QScreen>
#include <QSessionManager>
#include <QSplitter>
#include <QStatusBar>
#include <QToolBar>
#include <QUrl>

#include <algorithm>
#include <stdexcept>

namespace {

const char* const helpPage = "https://varnelo.app/help";

}  // namespace

TSDIAppForm::TSDIAppForm(QWidget* parent) : QMainWindow(parent), ImageList2(IconList::builtIn())
{
    ensureResources();
    setObjectName(QStringLiteral("SDIAppForm"));
    setWindowTitle(QStringLiteral("Varnelo"));
    setAccessibleName(QStringLiteral("Varnelo"));
    setWindowIcon(QIcon(QStringLiteral(":/icons/varnelo.svg")));
    // No toolbar-hiding menu: the window's only popups are the designed ones.
    setContextMenuPolicy(Qt::NoContextMenu);
    backups = new BackupKeeper(this, [this](const std::string& file) { restoreFrom(file); });
    sync = new SyncKeeper(
        this, [] { return databaseFilePath(); }, [this] { reloadAfterSync(); });
    createActions();
    createPopups();
    createMenus();
    createToolBar();
    createPanels();
    createTrayMenu();
    createOrganising(menuBar()->findChild<QMenu*>(QStringLiteral("Edit1")));
    statusBar()->setObjectName(QStringLiteral("StatusBar"));
    statusBar()->setAccessibleName(QStringLiteral("Status"));
    // At log-off the window must not hold the session up by hiding in the tray instead of closing.
    connect(qApp, &QGuiApplication::commitDataRequest, this, [this](QSessionManager&) { exiting = true; });
    // While another program holds the catalogue locked, the windows keep painting for the minute
    // SQLite waits; no input reaches them, so no second command starts in the middle of this one.
    db.SetBusyWait([] { QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents); });
    resize(821, 534 + menuBar()->sizeHint().height());
    move(183, 100);
    createWindowState();
    FormCreate();
    createQuickFind();
    startWatching();
}

TSDIAppForm::~TSDIAppForm()
{
    RemoveTrayIcon();
    // The children outlive this part of the object; none of them may call back into it.
    disconnect(treeCategory, nullptr, this, nullptr);
    disconnect(listContent, nullptr, this, nullptr);
    // Rows and nodes point into the catalogue, which goes with db; drop them first.
    closeCatalogueViews();
}

// ---- construction ------------------------------------------------------------------------------

QAction* TSDIAppForm::makeAction(const char* name, const QString& caption, const QString& hint)
{
    auto* action = new QAction(caption, this);
    action->setObjectName(QString::fromLatin1(name));
    if (!hint.isEmpty()) {
        action->setStatusTip(hint);
        action->setToolTip(hint);
    }
    return action;
}

QAction* TSDIAppForm::makeSeparator(QMenu* menu, const char* name)
{
    QAction* separator = menu->addSeparator();
    separator->setObjectName(QString::fromLatin1(name));
    return separator;
}

void TSDIAppForm::bind(QAction* action, void (TSDIAppForm::*handler)())
{
    connect(action, &QAction::triggered, this, [this, handler] {
        catchUp();
        runCommand(this, [&] { (this->*handler)(); });
    });
}

void TSDIAppForm::createActions()
{
    const auto image = [](const char* name) {
        return QIcon(QStringLiteral(":/icons/actions/%1.svg").arg(QLatin1String(name)));
    };
    OnFileBackup =
        makeAction("OnFileBackup", QStringLiteral("&Backup..."), QStringLiteral("Create backup  for current database"));
    OnFileBackup->setIcon(image("backup"));
    OnFileRestore = makeAction("OnFileRestore", QStringLiteral("&Restore..."),
                               QStringLiteral("Restore database from saved backup file."));
    OnFileRestore->setIcon(image("restore"));
    OnEditSearch =
        makeAction("OnEditSearch", QStringLiteral("&Search"), QStringLiteral("Search items with special keyword."));
    OnEditSearch->setIcon(image("search"));
    OnToolsSettings =
        makeAction("OnToolsSettings", QStringLiteral("&Settings"), QStringLiteral("Application settings"));
    OnToolsSettings->setIcon(image("settings"));
    OnHelpHelp = makeAction("OnHelpHelp", QStringLiteral("Online &Help "), QStringLiteral("Show help"));
    OnHelpHelp->setIcon(image("help"));
    OnHelpAbout = makeAction("OnHelpAbout", QStringLiteral("&About"), QStringLiteral("Show about information"));
    OnHelpAbout->setIcon(image("about"));
    OnFileExit = makeAction("OnFileExit", QStringLiteral("E&xit"), QStringLiteral("Close and exit the application"));
    OnFileExit->setIcon(image("exit"));
    ToolsImportIEFavorites = makeAction("ToolsImportIEFavorites", QStringLiteral("&Import from IE Favorites..."));
    ToolsImportBookmarks = makeAction("ToolsImportBookmarks", QStringLiteral("Import &Bookmarks File..."),
                                      QStringLiteral("Import a bookmark file that a browser exported"));
    ToolsImportBrowser = makeAction("ToolsImportBrowser", QStringLiteral("Import from &Browser..."),
                                    QStringLiteral("Import the bookmarks of a browser profile on this computer"));
    ToolsExportBookmarks =
        makeAction("ToolsExportBookmarks", QStringLiteral("&Export Bookmarks File..."),
                   QStringLiteral("Save categories and items as a bookmark file that browsers import"));

    bind(OnFileBackup, &TSDIAppForm::OnFileBackupExecute);
    bind(OnFileRestore, &TSDIAppForm::OnFileRestoreExecute);
    bind(OnEditSearch, &TSDIAppForm::OnEditSearchExecute);
    bind(OnToolsSettings, &TSDIAppForm::OnToolsSettingsExecute);
    bind(OnHelpHelp, &TSDIAppForm::OnHelpHelpExecute);
    bind(OnHelpAbout, &TSDIAppForm::OnHelpAboutExecute);
    bind(OnFileExit, &TSDIAppForm::OnFileExitExecute);
    bind(ToolsImportIEFavorites, &TSDIAppForm::ToolsImportIEFavoritesClick);
    bind(ToolsImportBookmarks, &TSDIAppForm::ToolsImportBookmarksClick);
    bind(ToolsImportBrowser, &TSDIAppForm::ToolsImportBrowserClick);
    bind(ToolsExportBookmarks, &TSDIAppForm::ToolsExportBookmarksClick);
    ToolsCheckCatalogue = makeAction("ToolsCheckCatalogue", QStringLiteral("Check &Catalogue..."),
                                     QStringLiteral("Look for missing files, dead links and items filed twice"));
    bind(ToolsCheckCatalogue, &TSDIAppForm::ToolsCheckCatalogueClick);
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
    File1->addAction(backups->restoreAction());
    makeSeparator(File1, "N1");
    File1->addAction(OnFileExit);
    QMenu* Edit1 = addMenu("Edit1", QStringLiteral("&Edit"), QStringLiteral("Edit commands"));
    Edit1->addAction(OnEditSearch);
    // The tree's own popup offers it only where no category is selected; the keyboard needs it always.
    makeSeparator(Edit1, "N13");
    Edit1->addAction(AddCategoryItem);
    QMenu* Tools1 = addMenu("Tools1", QStringLiteral("&Tools"), {});
    Tools1->addActions({ToolsImportIEFavorites, ToolsImportBookmarks, ToolsImportBrowser, ToolsExportBookmarks});
    Tools1->addAction(ToolsCheckCatalogue);
    makeSeparator(Tools1, "N2");
    Tools1->addAction(OnToolsSettings);
    Tools1->addAction(backups->settingsAction());
    Tools1->addActions({sync->settingsAction(), sync->syncNowAction()});
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
    treeCategory = new CategoryTreeView(ImageList2);
    connect(treeCategory, &QTreeWidget::itemSelectionChanged, this, &TSDIAppForm::treeCategoryChange);
    connect(treeCategory, &CategoryTreeView::rightButtonPressed, this, &TSDIAppForm::treeCategoryMouseDown);

    listContent = new ItemListView;
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

    Splitter1 = new QSplitter(Qt::Horizontal);
    Splitter1->setObjectName(QStringLiteral("Splitter1"));
    Splitter1->setOpaqueResize(true);
    Splitter1->setChildrenCollapsible(false);
    Splitter1->addWidget(treeCategory);
    Splitter1->addWidget(listContent);
    Splitter1->setStretchFactor(1, 1);
    Splitter1->setSizes({241, 580});
    setCentralWidget(Splitter1);

    // Files and addresses dropped onto the list go to the selected category, onto a node to its own.
    new DropTarget(
        listContent, [this](const QPoint&) { return GetSelectedCategory(); },
        [this](CCategory& category, const QList<QUrl>& urls) {
            runCommand(this, [&] { addDroppedUrls(category, urls); });
        });
    new DropTarget(
        treeCategory, [this](const QPoint& at) { return treeCategory->categoryOf(treeCategory->itemAt(at)); },
        [this](CCategory& category, const QList<QUrl>& urls) {
            runCommand(this, [&] { addDroppedUrls(category, urls); });
        });
}

void TSDIAppForm::createPopups()
{
    menuCategory = new QMenu(this);
    menuCategory->setObjectName(QStringLiteral("menuCategory"));
    menuCategory->setAccessibleName(QStringLiteral("menuCategory"));
    AddCategoryItem = makeAction("AddCategoryItem", QStringLiteral("Add Category"));
    Property1 = makeAction("Property1", QStringLiteral("Property"));
    // The tree's own "Property" has no command; offered enabled, it would seem broken.
    Property1->setEnabled(false);
    menuCategory->addActions({AddCategoryItem, Property1});
    bind(AddCategoryItem, &TSDIAppForm::AddCategoryItemClick);

    menuCategoryItem = new QMenu(this);
    menuCategoryItem->setObjectName(QStringLiteral("menuCategoryItem"));
    menuCategoryItem->setAccessibleName(QStringLiteral("menuCategoryItem"));
    AddSubCategoryItem = makeAction("AddSubCategoryItem", QStringLiteral("Add Subcategory"));
    AddNewItem2 = makeAction("AddNewItem2", QStringLiteral("Add File(s)..."));
    AddWebAddressURL2 = makeAction("AddWebAddressURL2", QStringLiteral("Add Web Address (URL)..."));
    AddFolder2 = makeAction("AddFolder2", QStringLiteral("Add Folder..."),
                            QStringLiteral("Add the files of a folder and its subfolders to this category"));
    DeleteCategory = makeAction("DeleteCategory", QStringLiteral("Delete"));
    Property2 = makeAction("Property2", QStringLiteral("Property"));
    menuCategoryItem->addActions({AddSubCategoryItem, AddNewItem2, AddWebAddressURL2, AddFolder2});
    makeSeparator(menuCategoryItem, "N11");
    menuCategoryItem->addAction(DeleteCategory);
    makeSeparator(menuCategoryItem, "N12");
    menuCategoryItem->addAction(Property2);
    bind(AddSubCategoryItem, &TSDIAppForm::AddSubCategoryItemClick);
    bind(AddNewItem2, &TSDIAppForm::AddNewItem2Click);
    bind(AddWebAddressURL2, &TSDIAppForm::AddWebAddressURL2Click);
    bind(AddFolder2, &TSDIAppForm::AddFolder2Click);
    bind(DeleteCategory, &TSDIAppForm::DeleteCategoryClick);
    bind(Property2, &TSDIAppForm::Property2Click);

    menuListView = new QMenu(this);
    menuListView->setObjectName(QStringLiteral("menuListView"));
    menuListView->setAccessibleName(QStringLiteral("menuListView"));
    Open1 = makeAction("Open1", QStringLiteral("Open"));
    OpenWith1 = makeAction("OpenWith1", QStringLiteral("Open With..."));
    OpenContainingFolder1 = makeAction("OpenContainingFolder1", QStringLiteral("Open Containing Folder"));
    AddNewItem1 = makeAction("AddNewItem1", QStringLiteral("Add File(s)..."));
    AddWebAddressURL1 = makeAction("AddWebAddressURL1", QStringLiteral("Add Web Address (URL)..."));
    CopyTo1 = makeAction("CopyTo1", QStringLiteral("Copy to Category..."));
    MoveTo1 = makeAction("MoveTo1", QStringLiteral("Move to Category..."));
    Delete1 = makeAction("Delete1", QStringLiteral("Delete"));
    Property3 = makeAction("Property3", QStringLiteral("Property"));
    menuListView->addActions({Open1, OpenWith1, OpenContainingFolder1});
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
    QAction* TrayShowWindow = makeAction("TrayShowWindow", QStringLiteral("Show Window"));
    QAction* TraySettings = makeAction("TraySettings", QStringLiteral("Settings..."));
    QAction* TrayHelp = makeAction("TrayHelp", QStringLiteral("Online &Help"));
    QAction* About1 = makeAction("About1", QStringLiteral("&About"));
    QAction* Exit1 = makeAction("Exit1", QStringLiteral("&Exit"));
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
        if (auto stored = IconList::deserialize(db.LoadIconList())) {
            ImageList2 = std::move(*stored);
            treeCategory->refreshIcons();
        }
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

void TSDIAppForm::LoadCatalogue()
{
    // Rows and nodes point into the catalogue about to be discarded: drop them first, without letting
    // the tree's selection handling look at them.
    const QScopedValueRollback<bool> guard(reloading, true);
    closeCatalogueViews();
    db.Close();
    const std::string path = GetDatabasePath();
    if (path.empty()) {
        QMetaObject::invokeMethod(
            qApp, [] { QCoreApplication::exit(0); }, Qt::QueuedConnection);
        return;
    }
    openCatalogue(db, path, [this, &path] {
        if (watcher) {
            watcher->setFile(QString::fromStdString(path));
            watcher->rebase();
        }
    });
    FillCategoryTree();
}

void TSDIAppForm::FillCategoryTree()
{
    const QScopedValueRollback<bool> guard(reloading, true);
    listContent->clear();
    treeCategory->fill(db.GetRootCategory());
}

void TSDIAppForm::AddChildNodes(CCategory* category, QTreeWidgetItem* node)
{
    treeCategory->addChildNodes(*category, node);
}

QTreeWidgetItem* TSDIAppForm::GetSelectedNode() const
{
    return treeCategory->selectedNode();
}

CCategory* TSDIAppForm::GetSelectedCategory() const
{
    return treeCategory->selectedCategory();
}

// Rows and nodes point into the catalogue: they go first, without the tree's selection handling
// looking at them.
void TSDIAppForm::closeCatalogueViews()
{
    listContent->clear();
    treeCategory->clearQuietly();
}

void TSDIAppForm::treeCategoryChange()
{
    if (reloading)
        return;
    // With no selected category the rows could point at discarded items, so the list is emptied.
    CCategory* category = GetSelectedCategory();
    if (!category) {
        listContent->clear();
        return;
    }
    runCommand(this, [&] { ShowCategoryItems(category); });
}

void TSDIAppForm::treeCategoryMouseDown(const QPoint& viewportPos)
{
    const QPoint global = treeCategory->viewport()->mapToGlobal(viewportPos);
    QTreeWidgetItem* node = GetSelectedNode();
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

void TSDIAppForm::ShowCategoryItems(CCategory* category)
{
    if (!category)
        return;
    // The rows go before the reload destroys the items they point at.
    listContent->clear();
    db.LoadItems(*category);
    for (int i = 0; i < category->GetItemCount(); ++i)
        AddItemRow(category->GetItem(i));
    markCheckedRows();
}

QTreeWidgetItem* TSDIAppForm::AddItemRow(CLinkItem* item)
{
    return listContent->addRow(*item);
}

QTreeWidgetItem* TSDIAppForm::GetSelectedListItem() const
{
    return listContent->firstSelectedRow();
}

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
    const bool hasCategory = GetSelectedCategory() != nullptr;
    AddNewItem1->setEnabled(hasCategory);
    AddWebAddressURL1->setEnabled(hasCategory);
}

void TSDIAppForm::listContentDblClick()
{
    Open1Click();
}

// A target that forms no URL ("--help", "; rm x" as a web address) reaches no program: the desktop
// would say nothing, or a chosen program would start with an empty argument.
void TSDIAppForm::requireOpenableTarget(const CLinkItem& item)
{
    if (!targetUrl(item.GetTarget(), item.GetType()).isValid())
        throw std::runtime_error(
            QStringLiteral("The address \"%1\" cannot be opened.").arg(toQ(item.GetTarget())).toStdString());
    refuseUnsafeTarget(item);
}

void TSDIAppForm::Open1Click()
{
    if (const CLinkItem* item = listContent->itemOf(GetSelectedListItem())) {
        requireOpenableTarget(*item);
        if (confirmRunningProgram(this, *item))
            Desktop::instance().openTarget(item->GetTarget(), item->GetType());
    }
}

void TSDIAppForm::OpenWith1Click()
{
    if (const CLinkItem* item = listContent->itemOf(GetSelectedListItem())) {
        requireOpenableTarget(*item);
        Desktop::instance().openWith(item->GetTarget(), item->GetType(), this);
    }
}

void TSDIAppForm::OpenContainingFolder1Click()
{
    const CLinkItem* item = listContent->itemOf(GetSelectedListItem());
    if (item && item->GetType() != CLinkItem::WebType)
        Desktop::instance().showInFolder(item->GetTarget());
}

void TSDIAppForm::listContentEdited(QTreeWidgetItem* row, const QString& text)
{
    CLinkItem* item = listContent->itemOf(row);
    if (!item)
        return;
    // The row shows the new name once it is stored; a refused rename keeps the old one everywhere.
    const std::string name = keptOrEdited(text, item->GetName());
    if (name == item->GetName())
        return;
    history.record(std::make_unique<RenameItemCommand>(commands, *item, name));
    row->setText(0, text);
}

void TSDIAppForm::Delete1Click()
{
    const CLinkItems items = listContent->selectedListItems();
    if (items.empty())
        return;
    const QString question = items.size() == 1 ? QStringLiteral("Do you want to delete selected item?")
                                               : QStringLiteral("Do you want to delete selected items");
    if (seam::message(this, QMessageBox::Question, QStringLiteral("Confirm"),
                      deleteQuestion(question, itemsGoing(items)), QMessageBox::Yes | QMessageBox::No)
        != QMessageBox::Yes)
        return;
    CCategory* category = GetSelectedCategory();
    if (!category)
        return;
    const auto progress = seam::progress(this, QStringLiteral("Deleting items..."), false);
    history.record(std::make_unique<DeleteItemsCommand>(commands, *category, items, *progress, rowRemover()));
}

// Each row goes just before its item, so no row ever points at a destroyed item.
CatalogueCommands::Leaving TSDIAppForm::rowRemover()
{
    return [this](const CLinkItem* item) { delete listContent->rowOf(item); };
}

CCategory* TSDIAppForm::chooseTargetCategory()
{
    TSelectCategoryDialogForm dialog(this);
    dialog.LoadCategories(&db);
    if (seam::exec(&dialog) != QDialog::Accepted)
        return nullptr;
    return dialog.GetSelectedCategory();
}

void TSDIAppForm::CopyTo1Click()
{
    const CLinkItems items = listContent->selectedListItems();
    CCategory* target = chooseTargetCategory();
    if (!target || target == GetSelectedCategory())
        return;
    // The copies are only written; the target shows them when it is next selected.
    const auto progress = seam::progress(this, QStringLiteral("Copying items..."), false);
    history.record(std::make_unique<CopyItemsCommand>(commands, items, *target, *progress));
}

void TSDIAppForm::MoveTo1Click()
{
    const CLinkItems items = listContent->selectedListItems();
    CCategory* target = chooseTargetCategory();
    CCategory* current = GetSelectedCategory();
    if (!target || !current || target == current)
        return;
    const auto progress = seam::progress(this, QStringLiteral("Moving items..."), false);
    history.record(std::make_unique<MoveItemsCommand>(commands, *current, items, *target, *progress, rowRemover()));
}

void TSDIAppForm::LocateItem(const std::string& categoryGuid, const std::string& itemGuid)
{
    bool found = false;
    if (QTreeWidgetItem* node = treeCategory->findNode(categoryGuid)) {
        treeCategory->reveal(node);
        found = listContent->selectOnly(itemGuid);
    }
    if (!found)
        seam::message(this, QMessageBox::Critical, QStringLiteral("Error"),
                      QStringLiteral("The selected item does not exist"), QMessageBox::Ok);
}

void TSDIAppForm::SaveIconList()
{
    db.SaveIconList(ImageList2.serialize());
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
    delete searchForm.data();
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

// Right of the window when the screen has room there, else left of it, else at the screen's right
// edge, where it covers the end of the rows rather than their names.
QPoint TSDIAppForm::besideWindow(const QSize& size) const
{
    const QRect window = frameGeometry();
    const QRect available = screen() ? screen()->availableGeometry() : window;
    constexpr int gap = 8;
    if (window.right() + gap + size.width() <= available.right())
        return {window.right() + gap, window.top()};
    if (window.left() - gap - size.width() >= available.left())
        return {window.left() - gap - size.width(), window.top()};
    return {std::max(available.left(), available.right() - size.width()), window.top()};
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
