// SPDX-License-Identifier: GPL-3.0-or-later
#include "session/cataloguesession.h"

#include "commands/catalogueopening.h"
#include "model/treeassembly.h"
#include "session/cataloguewatcher.h"
#include "session/indexkeeper.h"
#include "undo/catalogueundocommands.h"

#include "base/files.h"

#include <QCoreApplication>
#include <QEvent>
#include <QString>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <stdexcept>

#include <unistd.h>

CatalogueSession::CatalogueSession(QObject* parent)
    : QObject(parent), iconList(IconList::builtIn()),
      watcher(new CatalogueWatcher([this] { return db.DataVersion(); }, this)), keeper(new IndexKeeper(this))
{
    setObjectName(QStringLiteral("CatalogueSession"));
    // While another program holds the catalogue locked, SQLite waits up to a minute, and the windows
    // do the painting already asked for. Nothing else runs meanwhile: a queued slot or a timer run
    // here would use this connection from inside its own busy handler, which SQLite does not allow
    // (it kept a lock and stalled every writer until the wait gave up).
    db.SetBusyWait([] {
        QCoreApplication::sendPostedEvents(nullptr, QEvent::LayoutRequest);
        QCoreApplication::sendPostedEvents(nullptr, QEvent::UpdateRequest);
    });
    followWatcher();
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
    lostFile = false;
    if (auto stored = IconList::deserialize(db.LoadIconList()))
        iconList = std::move(*stored);
    keeper->follow(path);
    // Another file in the place of the one open before (a restore) is a change like any commit.
    if (std::exchange(openedBefore, true))
        emit changed();
}

namespace {

// What another program put in the catalogue's place is opened only when it is a catalogue: opening
// anything else would make it an empty one where the user's was.
bool holdsCatalogue(const std::string& path)
{
    try {
        CppSQLite3DB file;
        file.OpenReadOnly(path.c_str());
        return file.TableExists("category_table");
    } catch (const CppSQLite3Exception&) {
        return false;
    }
}

}  // namespace

void CatalogueSession::followWatcher()
{
    connect(watcher, &CatalogueWatcher::catalogueChanged, this, [this] {
        if (watcher->fileWasReplaced()) {
            if (!holdsCatalogue(path())) {
                if (!std::exchange(lostFile, true))
                    emit lostElsewhere();
                return;
            }
            // Commands of the history name rows of the file that was here; against another they
            // would undo what was never done.
            history.clear();
            lostFile = false;
            emit replacedElsewhere();
        }
        emit changed();
        emit changedElsewhere();
    });
    connect(watcher, &CatalogueWatcher::fileGone, this, [this] {
        if (!std::exchange(lostFile, true))
            emit lostElsewhere();
    });
}

void CatalogueSession::refuseWhileDetached() const
{
    if (lostFile)
        throw std::runtime_error("The catalogue file \"" + path()
                                 + "\" is no longer in its place, so nothing can be changed. Put a catalogue "
                                   "back there, or let Varnelo write this one back.");
}

void CatalogueSession::writeBack()
{
    const std::string target = path();
    const std::string written = processTemporaryName(target + ".");
    try {
        CppSQLite3DB copy;
        copy.Open(written.c_str());
        db.copyInto(copy);
    } catch (const CppSQLite3Exception& failure) {
        std::filesystem::remove(written);
        throw std::runtime_error("Cannot write the catalogue back to \"" + target + "\": " + failure.ErrorMessage());
    }
    // A link, not a rename: a file another program put there meanwhile is never overwritten.
    const bool placed = ::link(written.c_str(), target.c_str()) == 0;
    const int error = errno;
    std::filesystem::remove(written);
    if (!placed)
        throw std::runtime_error("Cannot write the catalogue back to \"" + target + "\": " + std::strerror(error));
    syncFolderOf(target);
    open(target);
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
    refuseWhileDetached();
    const Announcing announcing{*this};
    history.undo();
}

void CatalogueSession::redo()
{
    refuseWhileDetached();
    const Announcing announcing{*this};
    history.redo();
}

void CatalogueSession::saveIcons()
{
    refuseWhileDetached();
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
