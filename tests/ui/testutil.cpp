// SPDX-License-Identifier: GPL-3.0-or-later
#include "testutil.h"

#include "testseam.h"

#include "model/ccategory.h"
#include "model/clinkitem.h"
#include "model/newguid.h"
#include "shell/appsettings.h"
#include "shell/paths.h"
#include "storage/cdbmanager.h"
#include "storage/cppsqlite3.h"
#include "ui/views/categorytreeview.h"
#include "ui/views/itemlistview.h"

#include <QAction>
#include <QContextMenuEvent>
#include <QCoreApplication>
#include <QDialog>
#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QPointer>
#include <QPushButton>
#include <QSystemTrayIcon>
#include <QTest>
#include <QToolButton>
#include <QTreeWidget>
#include <QTreeWidgetItem>

namespace testutil {

void FakeDesktop::openTarget(const std::string& target, int type)
{
    calls.append({QStringLiteral("open"), QString::fromStdString(target), type});
}

void FakeDesktop::openWith(const std::string& target, int type, QWidget*)
{
    calls.append({QStringLiteral("openWith"), QString::fromStdString(target), type});
}

void FakeDesktop::showInFolder(const std::string& path)
{
    calls.append({QStringLiteral("showInFolder"), QString::fromStdString(path), -1});
}

void FakeDesktop::openUrl(const QUrl& url)
{
    calls.append({QStringLiteral("openUrl"), url.toString(), -1});
}

namespace {

const char* const sandboxVariables[] = {"HOME", "XDG_DATA_HOME", "XDG_CONFIG_HOME", "XDG_CACHE_HOME", "XDG_STATE_HOME"};

}  // namespace

Sandbox::Sandbox(bool trayAvailable)
{
    for (const char* name : sandboxVariables) {
        savedEnvironment.append({name, qgetenv(name)});
        const QString folder = dir.filePath(QString::fromLatin1(name).toLower());
        QDir().mkpath(folder);
        qputenv(name, QFile::encodeName(folder));
    }
    QFile::remove(settingsPath());
    AppSettings = SettingsRecord{};
    Desktop::setInstance(&desktop);
    seam::setTrayAvailable(trayAvailable);
}

Sandbox::~Sandbox()
{
    Desktop::setInstance(nullptr);
    seam::setTrayAvailable(true);
    QFile::remove(settingsPath());
    QDir().rmdir(settingsPath());
    AppSettings = SettingsRecord{};
    for (const auto& [name, value] : savedEnvironment)
        qputenv(name.constData(), value);
}

QString Sandbox::root() const
{
    return dir.path();
}

QString Sandbox::databasePath() const
{
    return dir.filePath(QStringLiteral("xdg_data_home/Varnelo/FavoritesDB.db"));
}

QString Sandbox::settingsPath() const
{
    return QString::fromStdString(settingsFilePath());
}

void missingObject(const QObject* owner, const char* className, const char* name)
{
    qFatal("no %s \"%s\" in %s \"%s\"", className, name, owner->metaObject()->className(),
           qPrintable(owner->objectName()));
}

QAction* action(const QObject* window, const char* name)
{
    return child<QAction>(window, name);
}

QMenu* menu(const QObject* window, const char* name)
{
    return child<QMenu>(window, name);
}

CategoryTreeView* tree(const QObject* window)
{
    return child<CategoryTreeView>(window, "treeCategory");
}

ItemListView* list(const QObject* window)
{
    return child<ItemListView>(window, "listContent");
}

QSystemTrayIcon* trayIcon(const QObject* window)
{
    return window->findChild<QSystemTrayIcon*>(QStringLiteral("TrayIcon"));
}

bool trayIconShown(const QObject* window)
{
    const QSystemTrayIcon* icon = trayIcon(window);
    return icon && icon->isVisible();
}

QTreeWidgetItem* nodeAt(QTreeWidget* tree, const QStringList& path)
{
    QTreeWidgetItem* found = nullptr;
    for (const QString& name : path) {
        const int count = found ? found->childCount() : tree->topLevelItemCount();
        QTreeWidgetItem* next = nullptr;
        for (int i = 0; i < count && !next; ++i) {
            QTreeWidgetItem* node = found ? found->child(i) : tree->topLevelItem(i);
            if (node->text(0) == name)
                next = node;
        }
        if (!next)
            return nullptr;
        found = next;
    }
    return found;
}

QStringList topLevelTexts(QTreeWidget* tree)
{
    QStringList texts;
    for (int i = 0; i < tree->topLevelItemCount(); ++i)
        texts.append(tree->topLevelItem(i)->text(0));
    return texts;
}

QStringList childTexts(QTreeWidgetItem* node)
{
    QStringList texts;
    for (int i = 0; i < node->childCount(); ++i)
        texts.append(node->child(i)->text(0));
    return texts;
}

QStringList rowTexts(QTreeWidget* list, int column)
{
    QStringList texts;
    for (int i = 0; i < list->topLevelItemCount(); ++i)
        texts.append(list->topLevelItem(i)->text(column));
    return texts;
}

CCategory* selectCategory(QObject* window, const QStringList& path)
{
    CategoryTreeView* categories = tree(window);
    QTreeWidgetItem* node = nodeAt(categories, path);
    categories->setCurrentItem(node);
    return categories->categoryOf(node);
}

CCategory* reselectCategory(QObject* window, const QStringList& path)
{
    tree(window)->clearSelection();
    return selectCategory(window, path);
}

void selectRows(ItemListView* list, const QList<int>& indices)
{
    list->clearSelection();
    for (int index : indices)
        list->topLevelItem(index)->setSelected(true);
}

void renameInPlace(ItemListView* list, int row, const QString& text)
{
    list->editItem(list->topLevelItem(row), 0);
    // An editor closed before lingers hidden until it is deleted later.
    QLineEdit* editor = nullptr;
    for (QLineEdit* line : list->viewport()->findChildren<QLineEdit*>())
        if (!line->isHidden())
            editor = line;
    if (!editor)
        missingObject(list->viewport(), "QLineEdit", "caption editor");
    editor->selectAll();
    if (text.isEmpty())
        QTest::keyClick(editor, Qt::Key_Backspace);
    else
        QTest::keyClicks(editor, text);
    QTest::keyClick(editor, Qt::Key_Return);
    // The editor hands its text over once the key press is done with.
    const QPointer<QLineEdit> open(editor);
    if (!QTest::qWaitFor([open] { return !open || open->isHidden(); }))
        QTest::qFail("the caption editor did not close", __FILE__, __LINE__);
}

QMenu* openListPopup(QObject* window)
{
    QWidget* viewport = list(window)->viewport();
    const QPoint at = viewport->rect().center();
    QContextMenuEvent key(QContextMenuEvent::Keyboard, at, viewport->mapToGlobal(at));
    QCoreApplication::sendEvent(viewport, &key);
    return menu(window, "menuListView");
}

void answerSelectCategory(const QStringList& path)
{
    seam::pushDialogHandler([path](QDialog* dialog) {
        auto* categories = child<QTreeWidget>(dialog, "treeCategory");
        QTreeWidgetItem* node = nodeAt(categories, path);
        if (!node)
            return int(QDialog::Rejected);
        categories->setCurrentItem(node);
        child<QPushButton>(dialog, "OKBtn")->click();
        return dialog->result();
    });
}

QList<QIcon> offeredIcons(QObject* window)
{
    QList<QIcon> icons;
    seam::pushDialogHandler([&icons](QDialog* form) {
        seam::pushDialogHandler([&icons](QDialog* picker) {
            const auto* view = child<QListWidget>(picker, "ListView1");
            for (int i = 0; i < view->count(); ++i)
                icons.append(view->item(i)->icon());
            return int(QDialog::Rejected);
        });
        child<QToolButton>(form, "imageIcon")->click();
        return int(QDialog::Rejected);
    });
    action(window, "AddCategoryItem")->trigger();
    return icons;
}

QImage picture(const QIcon& icon, int side)
{
    return icon.pixmap(side, side).toImage().convertToFormat(QImage::Format_ARGB32);
}

std::string storeItem(const QString& databasePath, const CCategory& category, const std::string& name,
                      const std::string& target, int type, const std::string& comment)
{
    CLinkItem item;
    item.SetGuid(NewGuid());
    item.SetName(name);
    item.SetTarget(target);
    item.SetComment(comment);
    item.SetType(type);
    item.SetParentGuid(category.GetGuid());
    CDBManager other;
    other.Open(QFile::encodeName(databasePath).toStdString());
    other.StoreItem(item);
    return item.GetGuid();
}

std::optional<IconList> storedIcons(const QString& databasePath)
{
    CDBManager other;
    other.Open(QFile::encodeName(databasePath).toStdString());
    return IconList::deserialize(other.LoadIconList());
}

void storeIcons(const QString& databasePath, const IconList& icons)
{
    CDBManager other;
    other.Open(QFile::encodeName(databasePath).toStdString());
    other.SaveIconList(icons.serialize());
}

std::string queryText(const QString& databasePath, const std::string& sql)
{
    CppSQLite3DB db;
    db.Open(QFile::encodeName(databasePath).constData());
    CppSQLite3Query query = db.ExecuteQuery(sql.c_str());
    if (query.Eof())
        return "<no row>";
    const char* value = query.FieldValue(0);
    return value ? value : "<null>";
}

int queryInt(const QString& databasePath, const std::string& sql)
{
    CppSQLite3DB db;
    db.Open(QFile::encodeName(databasePath).constData());
    return db.ExecuteScalar(sql.c_str());
}

void execute(const QString& databasePath, const std::string& sql)
{
    CppSQLite3DB db;
    db.Open(QFile::encodeName(databasePath).constData());
    db.ExecuteStatement(sql.c_str());
}

void WindowTestCase::restart()
{
    window.reset();
    window = std::make_unique<TSDIAppForm>();
}

void WindowTestCase::initTestCase()
{
    seam::enableTestMode();
}

void WindowTestCase::init()
{
    seam::clearTestState();
    sandbox = std::make_unique<Sandbox>();
    window = std::make_unique<TSDIAppForm>();
}

void WindowTestCase::cleanup()
{
    window.reset();
    sandbox.reset();
    QCOMPARE(seam::unexpectedPrompts(), QStringList());
    QCOMPARE(seam::pendingAnswerCount(), 0);
}

}  // namespace testutil
