#pragma once

// Shared fixtures of the widget tests: a private home with its own catalogue, the dialog seam in test
// mode, a fake desktop that records what would have been opened, and helpers to reach tree nodes.

#include "ui/desktop.h"

#include <QList>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>
#include <QUrl>

#include <memory>
#include <string>

class CCategory;
class CLinkItem;
class QTreeWidget;
class QTreeWidgetItem;
class TSDIAppForm;

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

// Nodes by the path of category names from the top, e.g. {"Office documents", "Word documents"}.
QTreeWidgetItem* nodeAt(QTreeWidget* tree, const QStringList& path);
QStringList topLevelTexts(QTreeWidget* tree);
QStringList childTexts(QTreeWidgetItem* node);
QStringList rowTexts(QTreeWidget* list, int column = 0);

// Stores a new item in the category through the window's catalogue and returns its GUID.
std::string storeItem(TSDIAppForm& window, CCategory& category, const std::string& name,
                      const std::string& target, int type = 0, const std::string& comment = {});

// One text value read with a separate connection, as a second program would see the file.
std::string queryText(const QString& databasePath, const std::string& sql);
int queryInt(const QString& databasePath, const std::string& sql);
void execute(const QString& databasePath, const std::string& sql);

}  // namespace testutil
