#pragma once

// Shared fixtures of the widget tests: a private home with its own catalogue, the dialog seam in test
// mode, a fake desktop that records what would have been opened, and helpers to reach tree nodes.

#include "ui/desktop.h"
#include "ui/tsdiappform.h"

#include <QList>
#include <QObject>
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

// The fixture of the window command tests: every test gets a fresh home, catalogue and main window,
// and fails when a prompt came that it did not answer or an answer it queued was never asked for.
class WindowTestCase : public QObject {
    Q_OBJECT

protected:
    std::unique_ptr<Sandbox> sandbox;
    std::unique_ptr<TSDIAppForm> window;

    // Makes the node of the category path current, as a click would, and returns its category.
    CCategory* select(const QStringList& path);
    // A new main window on the same catalogue, as after a restart of the program.
    void restart();

private slots:
    void initTestCase();
    void init();
    void cleanup();
};

}  // namespace testutil
