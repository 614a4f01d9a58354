// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// Shared fixtures of the widget tests: a private home with its own catalogue, the dialog seam in test
// mode, a fake desktop that records what would have been opened, and lookups that reach the windows'
// controls by their object names, as a user reaches them by what they read.

#include "session/iconlist.h"
#include "ui/common/desktop.h"
#include "ui/window/tsdiappform.h"

#include <QIcon>
#include <QImage>
#include <QList>
#include <QObject>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>
#include <QUrl>

#include <memory>
#include <optional>
#include <string>

class CategoryTreeView;
class CCategory;
class ItemListView;
class QAction;
class QDialog;
class QMenu;
class QSystemTrayIcon;
class QTreeWidget;
class QTreeWidgetItem;

namespace testutil {

struct DesktopCall {
    QString kind;  // "open", "openWith", "showInFolder", "openUrl"
    QString target;
    int type = -1;
};

class FakeDesktop : public Desktop {
public:
    void openTarget(const std::string& target, int type) override;
    void openWith(const std::string& target, int type, QWidget* parent) override;
    void showInFolder(const std::string& path) override;
    void openUrl(const QUrl& url) override;

    QList<DesktopCall> calls;
};

// Points HOME and the XDG folders at a fresh temporary folder, resets the settings record, removes the
// settings file beside the test executable, installs the fake desktop and a fake notification area.
// Everything is put back when it goes.
class Sandbox {
public:
    explicit Sandbox(bool trayAvailable = true);
    ~Sandbox();
    Sandbox(const Sandbox&) = delete;
    Sandbox& operator=(const Sandbox&) = delete;

    QString root() const;
    QString databasePath() const;  // where the window's catalogue lies
    QString settingsPath() const;  // the settings file the program uses
    FakeDesktop desktop;

private:
    QTemporaryDir dir;
    QList<QPair<QByteArray, QByteArray>> savedEnvironment;
};

// Ends the test run with the name of the object that should be there: every later step would only
// fail for want of it.
[[noreturn]] void missingObject(const QObject* owner, const char* className, const char* name);

template <class T>
T* child(const QObject* owner, const char* name)
{
    T* found = owner->findChild<T*>(QString::fromLatin1(name));
    if (!found)
        missingObject(owner, T::staticMetaObject.className(), name);
    return found;
}

QAction* action(const QObject* window, const char* name);
QMenu* menu(const QObject* window, const char* name);
CategoryTreeView* tree(const QObject* window);
ItemListView* list(const QObject* window);
// The notification-area icon; nullptr until the window first added it.
QSystemTrayIcon* trayIcon(const QObject* window);
bool trayIconShown(const QObject* window);

// Nodes by the path of category names from the top, e.g. {"Office documents", "Word documents"}.
QTreeWidgetItem* nodeAt(QTreeWidget* tree, const QStringList& path);
QStringList topLevelTexts(QTreeWidget* tree);
QStringList childTexts(QTreeWidgetItem* node);
QStringList rowTexts(QTreeWidget* list, int column = 0);
// Makes the node of the category path current, as a click would, and returns its category.
CCategory* selectCategory(QObject* window, const QStringList& path);
// Leaves the category and selects it again, so the list shows what is stored now.
CCategory* reselectCategory(QObject* window, const QStringList& path);
// Selects exactly the rows at these indices, as clicks with Ctrl held would.
void selectRows(ItemListView* list, const QList<int>& indices);

// Renames the row in place as a user does: the editor opened on its caption, the text typed, Return.
void renameInPlace(ItemListView* list, int row, const QString& text);
// Opens the list's popup menu with the menu key, where the selection stays as it is; returns it shown.
QMenu* openListPopup(QObject* window);

// Answers the next select-category dialog by clicking the node at the path and OK (or cancels it
// when there is no such node).
void answerSelectCategory(const QStringList& path);
// The icons the icon picker offers, seen through "Add Category" and its icon button, both cancelled.
QList<QIcon> offeredIcons(QObject* window);
QImage picture(const QIcon& icon, int side = 32);

// A second program on the catalogue file: stores a new item in the category and returns its GUID.
// The window shows it once the category is selected again.
std::string storeItem(const QString& databasePath, const CCategory& category, const std::string& name,
                      const std::string& target, int type = 0, const std::string& comment = {});
// The icon list stored in the catalogue file, read with a connection of its own.
std::optional<IconList> storedIcons(const QString& databasePath);
void storeIcons(const QString& databasePath, const IconList& icons);

// One text value read with a separate connection, as a second program would see the file.
std::string queryText(const QString& databasePath, const std::string& sql);
int queryInt(const QString& databasePath, const std::string& sql);
void execute(const QString& databasePath, const std::string& sql);

// The fixture of the window command tests: every test gets a fresh home, catalogue and main window,
// and fails when a prompt came that it did not answer or an answer it queued was never asked for.
class WindowTestCase : public QObject {
    Q_OBJECT

protected:
    std::unique_ptr<Sandbox> sandbox;
    std::unique_ptr<TSDIAppForm> window;

    CCategory* select(const QStringList& path) { return selectCategory(window.get(), path); }
    CCategory* reselect(const QStringList& path) { return reselectCategory(window.get(), path); }
    // A new main window on the same catalogue, as after a restart of the program.
    void restart();

private slots:
    void initTestCase();
    void init();
    void cleanup();
};

}  // namespace testutil
