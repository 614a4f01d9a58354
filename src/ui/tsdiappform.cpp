#include "ui/tsdiappform.h"

#include "model/treeassembly.h"
#include "shell/appsettings.h"
#include "shell/desktopservices.h"
#include "shell/paths.h"
#include "ui/desktop.h"
#include "ui/dialogseam.h"
#include "ui/errorbox.h"
#include "ui/qtext.h"
#include "ui/fileicons.h"
#include "ui/taboutbox.h"
#include "ui/tselectcategorydialogform.h"
#include "ui/tsettingsdialog.h"

#include <QApplication>
#include <QCloseEvent>
#include <QContextMenuEvent>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QMouseEvent>
#include <QPainter>
#include <QScopedValueRollback>
#include <QSessionManager>
#include <QSplitter>
#include <QStatusBar>
#include <QStyledItemDelegate>
#include <QSystemTrayIcon>
#include <QToolBar>
#include <QToolButton>
#include <QTreeWidget>
#include <QTreeWidgetItemIterator>
#include <QUrl>

#include <functional>
#include <stdexcept>

namespace {

const char* const helpPage = "https://varnelo.app/help";

std::optional<bool> trayAvailability;

// Lets only the caption column be edited in place, hands the edited text to the window instead of the
// model, and draws the grid lines of the report view.
class RowCaptionDelegate : public QStyledItemDelegate {
public:
    using Edited = std::function<void(const QModelIndex&, const QString&)>;

    RowCaptionDelegate(QObject* parent, Edited onEdited)
        : QStyledItemDelegate(parent), edited(std::move(onEdited))
    {
    }

    QWidget* createEditor(QWidget* parent, const QStyleOptionViewItem& option,
                          const QModelIndex& index) const override
    {
        if (index.column() != 0)
            return nullptr;
        return QStyledItemDelegate::createEditor(parent, option, index);
    }

    void setModelData(QWidget* editor, QAbstractItemModel*, const QModelIndex& index) const override
    {
        if (auto* line = qobject_cast<QLineEdit*>(editor))
            edited(index, line->text());
    }

    void paint(QPainter* painter, const QStyleOptionViewItem& option,
               const QModelIndex& index) const override
    {
        QStyledItemDelegate::paint(painter, option, index);
        painter->save();
        painter->setPen(option.palette.color(QPalette::Midlight));
        painter->drawLine(option.rect.bottomLeft(), option.rect.bottomRight());
        painter->drawLine(option.rect.topRight(), option.rect.bottomRight());
        painter->restore();
    }

private:
    Edited edited;
};

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
    createActions();
    createMenus();
    createToolBar();
    createPanels();
    createPopups();
    createTrayMenu();
    statusBar()->setObjectName(QStringLiteral("StatusBar"));
    statusBar()->setAccessibleName(QStringLiteral("Status"));
    // At log-off the window must not hold the session up by hiding in the tray instead of closing.
    connect(qApp, &QGuiApplication::commitDataRequest, this, [this](QSessionManager&) { exiting = true; });
    resize(821, 534 + menuBar()->sizeHint().height());
    move(183, 100);
    setupDrops();
    FormCreate();
}

TSDIAppForm::~TSDIAppForm()
{
    RemoveTrayIcon();
    // The children outlive this part of the object; none of them may call back into it.
    disconnect(treeCategory, nullptr, this, nullptr);
    disconnect(listContent, nullptr, this, nullptr);
    // Rows and nodes point into the catalogue, which goes with db; drop them first.
    clearItemRows();
    const QSignalBlocker blocker(treeCategory);
    treeCategory->clear();
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
    connect(action, &QAction::triggered, this, [this, handler] { runCommand(this, [&] { (this->*handler)(); }); });
}

void TSDIAppForm::createActions()
{
    const auto image = [](const char* name) {
        return QIcon(QStringLiteral(":/icons/actions/%1.svg").arg(QLatin1String(name)));
    };
    OnFileBackup = makeAction("OnFileBackup", QStringLiteral("&Backup..."),
                              QStringLiteral("Create backup  for current database"));
    OnFileBackup->setIcon(image("backup"));
    OnFileRestore = makeAction("OnFileRestore", QStringLiteral("&Restore..."),
                               QStringLiteral("Restore database from saved backup file."));
    OnFileRestore->setIcon(image("restore"));
    OnEditSearch = makeAction("OnEditSearch", QStringLiteral("&Search"),
                              QStringLiteral("Search items with special keyword."));
    OnEditSearch->setIcon(image("search"));
    OnToolsSettings = makeAction("OnToolsSettings", QStringLiteral("&Settings"),
                                 QStringLiteral("Application settings"));
    OnToolsSettings->setIcon(image("settings"));
    OnHelpHelp = makeAction("OnHelpHelp", QStringLiteral("Online &Help "), QStringLiteral("Show help"));
    OnHelpHelp->setIcon(image("help"));
    OnHelpAbout = makeAction("OnHelpAbout", QStringLiteral("&About"), QStringLiteral("Show about information"));
    OnHelpAbout->setIcon(image("about"));
    OnFileExit = makeAction("OnFileExit", QStringLiteral("E&xit"),
                            QStringLiteral("Close and exit the application"));
    OnFileExit->setIcon(image("exit"));
    ToolsImportIEFavorites = makeAction("ToolsImportIEFavorites", QStringLiteral("&Import from IE Favorites..."));

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
    File1 = addMenu("File1", QStringLiteral("&File"), QStringLiteral("File related commands"));
    File1->addAction(OnFileBackup);
    File1->addAction(OnFileRestore);
    makeSeparator(File1, "N1");
    File1->addAction(OnFileExit);
    Edit1 = addMenu("Edit1", QStringLiteral("&Edit"), QStringLiteral("Edit commands"));
    Edit1->addAction(OnEditSearch);
    Tools1 = addMenu("Tools1", QStringLiteral("&Tools"), {});
    Tools1->addAction(ToolsImportIEFavorites);
    makeSeparator(Tools1, "N2");
    Tools1->addAction(OnToolsSettings);
    Help1 = addMenu("Help1", QStringLiteral("&Help"), QStringLiteral("Help topics"));
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
    ToolBar1->setIconSize(QSize(32, 32));
    ToolBar1->setToolButtonStyle(Qt::ToolButtonIconOnly);
    ToolBar1->toggleViewAction()->setEnabled(false);
    const auto addButton = [this](QAction* action, const char* name) {
        ToolBar1->addAction(action);
        QWidget* button = ToolBar1->widgetForAction(action);
        button->setObjectName(QString::fromLatin1(name));
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
    treeCategory = new QTreeWidget;
    treeCategory->setObjectName(QStringLiteral("treeCategory"));
    treeCategory->setAccessibleName(QStringLiteral("Categories"));
    treeCategory->setHeaderHidden(true);
    treeCategory->setIndentation(35);
    treeCategory->setIconSize(QSize(32, 32));
    treeCategory->setSelectionMode(QAbstractItemView::SingleSelection);
    treeCategory->setEditTriggers(QAbstractItemView::NoEditTriggers);
    treeCategory->viewport()->installEventFilter(this);
    treeCategory->installEventFilter(this);
    connect(treeCategory, &QTreeWidget::itemSelectionChanged, this, &TSDIAppForm::treeCategoryChange);

    listContent = new QTreeWidget;
    listContent->setObjectName(QStringLiteral("listContent"));
    listContent->setAccessibleName(QStringLiteral("Items"));
    listContent->setColumnCount(3);
    listContent->setHeaderLabels({QStringLiteral("Name"), QStringLiteral("Reference"), QStringLiteral("Description")});
    listContent->setRootIsDecorated(false);
    listContent->setItemsExpandable(false);
    listContent->setUniformRowHeights(true);
    listContent->setAllColumnsShowFocus(true);
    listContent->setSelectionMode(QAbstractItemView::ExtendedSelection);
    listContent->setSelectionBehavior(QAbstractItemView::SelectRows);
    listContent->setEditTriggers(QAbstractItemView::SelectedClicked);
    listContent->setIconSize(QSize(16, 16));
    listContent->header()->setSectionsClickable(false);
    listContent->header()->setSectionsMovable(false);
    listContent->header()->setMinimumSectionSize(50);
    listContent->header()->setStretchLastSection(false);
    listContent->setColumnWidth(0, 200);
    listContent->setColumnWidth(1, 250);
    listContent->setColumnWidth(2, 150);
    listContent->setItemDelegate(new RowCaptionDelegate(listContent, [this](const QModelIndex& index, const QString& text) {
        runCommand(this, [&] { listContentEdited(listContent->itemFromIndex(index), text); });
    }));
    listContent->setContextMenuPolicy(Qt::CustomContextMenu);
    listContent->installEventFilter(this);
    connect(listContent, &QWidget::customContextMenuRequested, this, [this](const QPoint& pos) {
        runCommand(this, [&] {
            listContentContextPopup();
            menuListView->popup(listContent->viewport()->mapToGlobal(pos));
        });
    });
    connect(listContent, &QTreeWidget::itemDoubleClicked, this,
            [this] { runCommand(this, [&] { listContentDblClick(); }); });

    Splitter1 = new QSplitter(Qt::Horizontal);
    Splitter1->setObjectName(QStringLiteral("Splitter1"));
    Splitter1->setOpaqueResize(true);
    Splitter1->setChildrenCollapsible(false);
    Splitter1->addWidget(treeCategory);
    Splitter1->addWidget(listContent);
    Splitter1->setStretchFactor(1, 1);
    Splitter1->setSizes({241, 580});
    setCentralWidget(Splitter1);
}

void TSDIAppForm::createPopups()
{
    menuCategory = new QMenu(this);
    menuCategory->setObjectName(QStringLiteral("menuCategory"));
    menuCategory->setAccessibleName(QStringLiteral("menuCategory"));
    AddCategoryItem = makeAction("AddCategoryItem", QStringLiteral("Add Category"));
    Property1 = makeAction("Property1", QStringLiteral("Property"));
    menuCategory->addActions({AddCategoryItem, Property1});
    bind(AddCategoryItem, &TSDIAppForm::AddCategoryItemClick);

    menuCategoryItem = new QMenu(this);
    menuCategoryItem->setObjectName(QStringLiteral("menuCategoryItem"));
    menuCategoryItem->setAccessibleName(QStringLiteral("menuCategoryItem"));
    AddSubCategoryItem = makeAction("AddSubCategoryItem", QStringLiteral("Add Subcategory"));
    AddNewItem2 = makeAction("AddNewItem2", QStringLiteral("Add File(s)..."));
    AddWebAddressURL2 = makeAction("AddWebAddressURL2", QStringLiteral("Add Web Address (URL)..."));
    DeleteCategory = makeAction("DeleteCategory", QStringLiteral("Delete"));
    Property2 = makeAction("Property2", QStringLiteral("Property"));
    menuCategoryItem->addActions({AddSubCategoryItem, AddNewItem2, AddWebAddressURL2});
    makeSeparator(menuCategoryItem, "N11");
    menuCategoryItem->addAction(DeleteCategory);
    makeSeparator(menuCategoryItem, "N12");
    menuCategoryItem->addAction(Property2);
    bind(AddSubCategoryItem, &TSDIAppForm::AddSubCategoryItemClick);
    bind(AddNewItem2, &TSDIAppForm::AddNewItem2Click);
    bind(AddWebAddressURL2, &TSDIAppForm::AddWebAddressURL2Click);
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
    N4 = makeSeparator(menuListView, "N4");
    menuListView->addActions({AddNewItem1, AddWebAddressURL1});
    N5 = makeSeparator(menuListView, "N5");
    menuListView->addActions({CopyTo1, MoveTo1, Delete1});
    N6 = makeSeparator(menuListView, "N6");
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
    TrayShowWindow = makeAction("TrayShowWindow", QStringLiteral("Show Window"));
    TraySettings = makeAction("TraySettings", QStringLiteral("Settings..."));
    TrayHelp = makeAction("TrayHelp", QStringLiteral("Online &Help"));
    About1 = makeAction("About1", QStringLiteral("&About"));
    Exit1 = makeAction("Exit1", QStringLiteral("&Exit"));
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
}

void TSDIAppForm::FormCreate()
{
    // An error here ends the creation steps only; the window still opens (with an empty tree).
    runCommand(this, [this] {
        LoadCatalogue();
        if (auto stored = IconList::deserialize(db.LoadIconList())) {
            ImageList2 = std::move(*stored);
            refreshCategoryIcons();
        }
        if (AppSettings.autohide || AppSettings.always || AppSettings.autorun)
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
    clearItemRows();
    {
        const QSignalBlocker blocker(treeCategory);
        treeCategory->clear();
    }
    db.Close();
    const std::string path = GetDatabasePath();
    if (path.empty()) {
        QMetaObject::invokeMethod(qApp, [] { QCoreApplication::exit(0); }, Qt::QueuedConnection);
        return;
    }
    if (!db.Open(path))
        seam::message(this, QMessageBox::Critical, QStringLiteral("Error"), QStringLiteral("Failed to open db File"),
                      QMessageBox::Ok);
    db.EnsureDefaultCategories();
    const bool loaded = db.LoadCategories();
    refuseTooDeepCatalogue();
    db.CreateIndexes();
    if (loaded)
        FillCategoryTree();
}

// The tree view lays out expanded levels recursively, so a chain of tens of thousands of levels would
// overflow the stack: such a file is refused before anything is written to it or shown.
void TSDIAppForm::refuseTooDeepCatalogue()
{
    const int depth = treeDepth(db.GetRootCategory());
    if (depth <= maxCategoryLevels)
        return;
    const std::string path = db.GetPath();
    db.Close();
    throw std::runtime_error(QStringLiteral("The catalogue \"%1\" nests its categories %2 levels deep; Varnelo "
                                            "opens catalogues of up to %3 levels. The file was not changed.")
                                 .arg(QString::fromStdString(path))
                                 .arg(depth)
                                 .arg(maxCategoryLevels)
                                 .toStdString());
}

void TSDIAppForm::FillCategoryTree()
{
    const QScopedValueRollback<bool> guard(reloading, true);
    clearItemRows();
    treeCategory->clear();
    CCategory& root = db.GetRootCategory();
    for (int i = 0; i < root.GetChildCount(); ++i) {
        CCategory* category = root.GetChild(i);
        AddChildNodes(category, addCategoryNode(category, nullptr));
    }
}

QTreeWidgetItem* TSDIAppForm::addCategoryNode(CCategory* category, QTreeWidgetItem* parentNode)
{
    auto* node = new QTreeWidgetItem(QStringList{toQ(category->GetName())});
    node->setIcon(0, ImageList2.icon(category->GetIconIndex()));
    node->setData(0, Qt::UserRole, QVariant::fromValue(static_cast<void*>(category)));
    if (parentNode)
        parentNode->addChild(node);
    else
        treeCategory->addTopLevelItem(node);
    return node;
}

void TSDIAppForm::AddChildNodes(CCategory* category, QTreeWidgetItem* node)
{
    for (int i = 0; i < category->GetChildCount(); ++i) {
        CCategory* child = category->GetChild(i);
        AddChildNodes(child, addCategoryNode(child, node));
    }
}

QTreeWidgetItem* TSDIAppForm::GetSelectedNode() const
{
    for (QTreeWidgetItemIterator it(treeCategory); *it; ++it)
        if ((*it)->isSelected())
            return *it;
    return nullptr;
}

CCategory* TSDIAppForm::GetSelectedCategory() const
{
    return categoryOf(GetSelectedNode());
}

CCategory* TSDIAppForm::categoryOf(const QTreeWidgetItem* node)
{
    return node ? static_cast<CCategory*>(node->data(0, Qt::UserRole).value<void*>()) : nullptr;
}

QTreeWidgetItem* TSDIAppForm::findCategoryNode(const std::string& categoryGuid) const
{
    for (QTreeWidgetItemIterator it(treeCategory); *it; ++it)
        if (const CCategory* category = categoryOf(*it); category && category->GetGuid() == categoryGuid)
            return *it;
    return nullptr;
}

void TSDIAppForm::refreshCategoryIcons()
{
    for (QTreeWidgetItemIterator it(treeCategory); *it; ++it)
        if (const CCategory* category = categoryOf(*it))
            (*it)->setIcon(0, ImageList2.icon(category->GetIconIndex()));
}

void TSDIAppForm::selectCategoryNode(QTreeWidgetItem* node)
{
    for (QTreeWidgetItem* parent = node->parent(); parent; parent = parent->parent())
        parent->setExpanded(true);
    treeCategory->setCurrentItem(node);
    node->setSelected(true);
}

void TSDIAppForm::treeCategoryChange()
{
    if (reloading)
        return;
    // With no selected category the rows could point at discarded items, so the list is emptied.
    QTreeWidgetItem* node = GetSelectedNode();
    if (!node) {
        clearItemRows();
        return;
    }
    runCommand(this, [&] { ShowCategoryItems(categoryOf(node)); });
}

void TSDIAppForm::treeCategoryMouseDown(Qt::MouseButton button, const QPoint& viewportPos)
{
    if (button != Qt::RightButton)
        return;
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

bool TSDIAppForm::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == treeCategory->viewport()) {
        // A right click never moves the tree's selection; the menu it opens depends on where it lands.
        if (event->type() == QEvent::MouseButtonPress || event->type() == QEvent::MouseButtonDblClick
            || event->type() == QEvent::MouseButtonRelease) {
            auto* mouse = static_cast<QMouseEvent*>(event);
            if (mouse->button() == Qt::RightButton) {
                if (event->type() != QEvent::MouseButtonRelease)
                    treeCategoryMouseDown(mouse->button(), mouse->position().toPoint());
                return true;
            }
        } else if (event->type() == QEvent::ContextMenu) {
            return true;  // already answered on the press
        }
    } else if (watched == treeCategory && event->type() == QEvent::ContextMenu) {
        // The menu key acts as a right click on the selected node's row.
        QTreeWidgetItem* node = GetSelectedNode();
        const QPoint at = node ? treeCategory->visualItemRect(node).center() : QPoint(0, 0);
        treeCategoryMouseDown(Qt::RightButton, at);
        return true;
    } else if (watched == listContent && event->type() == QEvent::KeyPress) {
        auto* key = static_cast<QKeyEvent*>(event);
        if (key->modifiers() == Qt::NoModifier) {
            switch (key->key()) {
            case Qt::Key_Delete:
                runCommand(this, [this] { Delete1Click(); });
                return true;
            case Qt::Key_F2:
                if (QTreeWidgetItem* row = GetSelectedListItem())
                    listContent->editItem(row, 0);
                return true;
            case Qt::Key_Return:
            case Qt::Key_Enter:
                runCommand(this, [this] { Open1Click(); });
                return true;
            default:
                break;
            }
        }
    }
    return QMainWindow::eventFilter(watched, event);
}

// ---- item list ---------------------------------------------------------------------------------

void TSDIAppForm::clearItemRows()
{
    if (listContent)
        listContent->clear();
}

void TSDIAppForm::ShowCategoryItems(CCategory* category)
{
    if (!category)
        return;
    // The rows go before the reload destroys the items they point at.
    clearItemRows();
    db.LoadItems(*category);
    for (int i = 0; i < category->GetItemCount(); ++i)
        AddItemRow(category->GetItem(i));
}

QTreeWidgetItem* TSDIAppForm::AddItemRow(CLinkItem* item)
{
    auto* row = new QTreeWidgetItem(listContent);
    row->setFlags(row->flags() | Qt::ItemIsEditable);
    fillItemRow(row, item);
    return row;
}

void TSDIAppForm::fillItemRow(QTreeWidgetItem* row, CLinkItem* item)
{
    row->setText(0, toQ(item->GetName()));
    row->setText(1, toQ(item->GetTarget()));
    row->setText(2, toQ(item->GetComment()));
    row->setIcon(0, itemIcon(*item));
    row->setData(0, Qt::UserRole, QVariant::fromValue(static_cast<void*>(item)));
}

QIcon TSDIAppForm::itemIcon(const CLinkItem& item) const
{
    return ::itemIcon(item.GetTarget(), item.GetType());
}

CLinkItem* TSDIAppForm::itemOf(const QTreeWidgetItem* row)
{
    return row ? static_cast<CLinkItem*>(row->data(0, Qt::UserRole).value<void*>()) : nullptr;
}

QTreeWidgetItem* TSDIAppForm::GetSelectedListItem() const
{
    for (int i = 0; i < listContent->topLevelItemCount(); ++i)
        if (listContent->topLevelItem(i)->isSelected())
            return listContent->topLevelItem(i);
    return nullptr;
}

QList<QTreeWidgetItem*> TSDIAppForm::selectedListRows() const
{
    QList<QTreeWidgetItem*> rows;
    for (int i = 0; i < listContent->topLevelItemCount(); ++i)
        if (listContent->topLevelItem(i)->isSelected())
            rows.append(listContent->topLevelItem(i));
    return rows;
}

void TSDIAppForm::listContentContextPopup()
{
    const QList<QTreeWidgetItem*> rows = selectedListRows();
    for (QAction* entry : menuListView->actions())
        entry->setEnabled(rows.size() == 1);
    if (rows.size() == 1) {
        const CLinkItem* item = itemOf(rows.first());
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
        throw std::runtime_error(QStringLiteral("The address \"%1\" cannot be opened.")
                                     .arg(toQ(item.GetTarget()))
                                     .toStdString());
}

void TSDIAppForm::Open1Click()
{
    if (const CLinkItem* item = itemOf(GetSelectedListItem())) {
        requireOpenableTarget(*item);
        Desktop::instance().openTarget(item->GetTarget(), item->GetType());
    }
}

void TSDIAppForm::OpenWith1Click()
{
    if (const CLinkItem* item = itemOf(GetSelectedListItem())) {
        requireOpenableTarget(*item);
        Desktop::instance().openWith(item->GetTarget(), item->GetType(), this);
    }
}

void TSDIAppForm::OpenContainingFolder1Click()
{
    const CLinkItem* item = itemOf(GetSelectedListItem());
    if (item && item->GetType() != CLinkItem::WebType)
        Desktop::instance().showInFolder(item->GetTarget());
}

void TSDIAppForm::listContentEdited(QTreeWidgetItem* row, const QString& text)
{
    CLinkItem* item = itemOf(row);
    if (!item)
        return;
    // The row shows the new name once it is stored; a refused rename keeps the old one everywhere.
    if (commands.renameItem(*item, keptOrEdited(text, item->GetName())))
        row->setText(0, text);
}

void TSDIAppForm::Delete1Click()
{
    const QList<QTreeWidgetItem*> rows = selectedListRows();
    if (rows.isEmpty())
        return;
    const QString question = rows.size() == 1 ? QStringLiteral("Do you want to delete selected item?")
                                               : QStringLiteral("Do you want to delete selected items");
    if (seam::message(this, QMessageBox::Question, QStringLiteral("Confirm"), question,
                      QMessageBox::Yes | QMessageBox::No)
        != QMessageBox::Yes)
        return;
    CCategory* category = GetSelectedCategory();
    if (!category)
        return;
    const auto progress = seam::progress(this, QStringLiteral("Deleting items..."), false);
    commands.deleteItems(*category, itemsOf(rows), *progress, rowRemover(rows));
}

CLinkItems TSDIAppForm::itemsOf(const QList<QTreeWidgetItem*>& rows)
{
    CLinkItems items;
    for (QTreeWidgetItem* row : rows)
        items.push_back(itemOf(row));
    return items;
}

// Each row goes just before its item, so no row ever points at a destroyed item.
CatalogueCommands::Leaving TSDIAppForm::rowRemover(const QList<QTreeWidgetItem*>& rows)
{
    QHash<const CLinkItem*, QTreeWidgetItem*> rowOf;
    for (QTreeWidgetItem* row : rows)
        rowOf.insert(itemOf(row), row);
    return [rowOf](const CLinkItem* item) { delete rowOf.value(item); };
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
    const QList<QTreeWidgetItem*> rows = selectedListRows();
    CCategory* target = chooseTargetCategory();
    if (!target || target == GetSelectedCategory())
        return;
    // The copies are only written; the target shows them when it is next selected.
    const auto progress = seam::progress(this, QStringLiteral("Copying items..."), false);
    commands.copyItems(itemsOf(rows), *target, *progress);
}

void TSDIAppForm::MoveTo1Click()
{
    const QList<QTreeWidgetItem*> rows = selectedListRows();
    CCategory* target = chooseTargetCategory();
    CCategory* current = GetSelectedCategory();
    if (!target || !current || target == current)
        return;
    const auto progress = seam::progress(this, QStringLiteral("Moving items..."), false);
    commands.moveItems(*current, itemsOf(rows), *target, *progress, rowRemover(rows));
}

void TSDIAppForm::LocateItem(const std::string& categoryGuid, const std::string& itemGuid)
{
    bool found = false;
    if (QTreeWidgetItem* node = findCategoryNode(categoryGuid)) {
        selectCategoryNode(node);
        for (int i = 0; i < listContent->topLevelItemCount(); ++i) {
            QTreeWidgetItem* row = listContent->topLevelItem(i);
            const CLinkItem* item = itemOf(row);
            const bool match = item && item->GetGuid() == itemGuid;
            row->setSelected(match);
            found = found || match;
        }
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

void TSDIAppForm::overrideTrayAvailability(std::optional<bool> available)
{
    trayAvailability = available;
}

bool TSDIAppForm::trayIsAvailable() const
{
    return trayAvailability.value_or(QSystemTrayIcon::isSystemTrayAvailable());
}

void TSDIAppForm::AddTrayIcon()
{
    if (!tray) {
        tray = new QSystemTrayIcon(windowIcon(), this);
        tray->setObjectName(QStringLiteral("TrayIcon"));
        tray->setToolTip(windowTitle());
        tray->setContextMenu(menuTray);
        connect(tray, &QSystemTrayIcon::activated, this, [this](QSystemTrayIcon::ActivationReason reason) {
            if (reason == QSystemTrayIcon::DoubleClick)
                runCommand(this, [this] { RestoreFromTray(); });
        });
    }
    tray->show();
    trayIconShown = true;
}

void TSDIAppForm::RemoveTrayIcon()
{
    if (tray)
        tray->hide();
    trayIconShown = false;
}

void TSDIAppForm::RestoreFromTray()
{
    setWindowState(windowState() & ~Qt::WindowMinimized);
    show();
    raise();
    activateWindow();
    if (!AppSettings.always)
        RemoveTrayIcon();
}

void TSDIAppForm::hideInTray()
{
    hide();
    if (!trayIconShown)
        AddTrayIcon();
}

void TSDIAppForm::wakeFromSecondInstance()
{
    if (!isVisible())
        RestoreFromTray();
    else if (isMinimized())
        showNormal();
    raise();
    activateWindow();
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
    // Without a notification area the window would vanish with no way back, so it minimizes normally.
    if (event->type() == QEvent::WindowStateChange && isMinimized() && AppSettings.minitray && trayIsAvailable()) {
        QMetaObject::invokeMethod(this, [this] {
            if (!isMinimized())
                return;
            setWindowState(windowState() & ~Qt::WindowMinimized);
            hideInTray();
        }, Qt::QueuedConnection);
    }
}

void TSDIAppForm::closeEvent(QCloseEvent* event)
{
    if (AppSettings.closetray && !exiting && trayIsAvailable()) {
        event->ignore();
        hideInTray();
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
    if (seam::exec(&dialog) == QDialog::Accepted && AppSettings.always && !trayIconShown)
        AddTrayIcon();
}
