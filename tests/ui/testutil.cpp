#include "testutil.h"

#include "model/ccategory.h"
#include "model/clinkitem.h"
#include "model/newguid.h"
#include "shell/appsettings.h"
#include "shell/paths.h"
#include "storage/cppsqlite3.h"
#include "ui/dialogseam.h"
#include "ui/tsdiappform.h"

#include <QDir>
#include <QFile>
#include <QTreeWidget>
#include <QTreeWidgetItem>
#include <QTest>

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

const char* const sandboxVariables[] = {"HOME", "XDG_DATA_HOME", "XDG_CONFIG_HOME"};

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
    TSDIAppForm::overrideTrayAvailability(trayAvailable);
}

Sandbox::~Sandbox()
{
    Desktop::setInstance(nullptr);
    TSDIAppForm::overrideTrayAvailability(std::nullopt);
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

std::string storeItem(TSDIAppForm& window, CCategory& category, const std::string& name,
                      const std::string& target, int type, const std::string& comment)
{
    CLinkItem item;
    item.SetGuid(NewGuid());
    item.SetName(name);
    item.SetTarget(target);
    item.SetComment(comment);
    item.SetType(type);
    item.SetParentGuid(category.GetGuid());
    window.db.SaveItem(item);
    return item.GetGuid();
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

CCategory* WindowTestCase::select(const QStringList& path)
{
    QTreeWidgetItem* node = nodeAt(window->treeCategory, path);
    window->treeCategory->setCurrentItem(node);
    return TSDIAppForm::categoryOf(node);
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

