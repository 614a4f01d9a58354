// SPDX-License-Identifier: GPL-3.0-or-later
#include "session/cataloguesession.h"

#include "commands/catalogueopening.h"
#include "model/treeassembly.h"
#include "session/cataloguewatcher.h"
#include "session/indexkeeper.h"
#include "undo/catalogueundocommands.h"

#include <QCoreApplication>
#include <QString>

CatalogueSession::CatalogueSession(QObject* parent)
    : QObject(parent), iconList(IconList::builtIn()),
      watcher(new CatalogueWatcher([this] { return db.DataVersion(); }, this)), keeper(new IndexKeeper(this))
{
    setObjectName(QStringLiteral("CatalogueSession"));
    // While another program holds the catalogue locked, the windows keep painting for the minute
    // SQLite waits; no input reaches them, so no second command starts in the middle of this one.
    db.SetBusyWait([] { QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents); });
    connect(watcher, &CatalogueWatcher::catalogueChanged, this, [this] {
        emit changed();
        emit changedElsewhere();
    });
    connect(this, &CatalogueSession::changed, keeper, &IndexKeeper::lookSoon);
    connect(keeper, &IndexKeeper::updated, this, &CatalogueSession::indexUpdated);
}

CatalogueSession::~CatalogueSession() = default;

void CatalogueSession::open(const std::string& path)
{
    // Commits made while the tree loads are found at the next look, not missed.
    openCatalogue(db, path, [this, &path] {
        watcher->setFile(QString::fromStdString(path));
        watcher->rebase();
    });
    if (auto stored = IconList::deserialize(db.LoadIconList()))
        iconList = std::move(*stored);
    keeper->follow(path);
    // Another file in the place of the one open before (a restore) is a change like any commit.
    if (std::exchange(openedBefore, true))
        emit changed();
}

void CatalogueSession::close()
{
    db.Close();
}

CCategory* CatalogueSession::categoryOfItem(const std::string& itemGuid)
{
    const std::optional<CLinkItem> stored = db.ReadItem(itemGuid);
    if (!stored)
        return nullptr;
    return findCategory(db.GetRootCategory(), stored->GetParentGuid());
}

void CatalogueSession::reloadCategories()
{
    db.GetRootCategory().ClearChildren();
    db.LoadCategories();
}

void CatalogueSession::runBatch(const QString& text, const std::function<void(CatalogueCommands&)>& body)
{
    run<ImportCommand>(text, [this, &body] { body(commands); });
}

void CatalogueSession::undo()
{
    const Announcing announcing{*this};
    history.undo();
}

void CatalogueSession::redo()
{
    const Announcing announcing{*this};
    history.redo();
}

void CatalogueSession::saveIcons()
{
    const Announcing announcing{*this};
    db.SaveIconList(iconList.serialize());
}

bool CatalogueSession::reloadIcons()
{
    auto stored = IconList::deserialize(db.LoadIconList());
    if (!stored)
        return false;
    iconList = std::move(*stored);
    return true;
}

void CatalogueSession::watchBeside(QObject* window, std::function<bool()> busy)
{
    watcher->pauseWhile(std::move(busy));
    watcher->watchBeside(window);
}

void CatalogueSession::lookNow()
{
    watcher->check();
}

bool CatalogueSession::changedSinceSeen()
{
    return watcher->changedSinceSeen();
}

bool CatalogueSession::fileWasReplaced() const
{
    return watcher->fileWasReplaced();
}

bool CatalogueSession::indexSettled() const
{
    return keeper->settled();
}

const std::string& CatalogueSession::indexPath() const
{
    return keeper->indexPath();
}
