// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "commands/cataloguecommands.h"
#include "session/iconlist.h"
#include "storage/cdbmanager.h"
#include "undo/undohistory.h"

#include <QObject>

#include <functional>
#include <memory>
#include <string>
#include <type_traits>
#include <utility>

class CatalogueWatcher;
class IndexKeeper;

// The one owner of the open catalogue for the window and all it composes: the connection and the
// categories loaded from it, the commands that change it and their history, the category icon list,
// the one watch for other programs' commits, and the search index that follows the catalogue.
// Views and controllers read through it; every change of the catalogue's tables goes through run()
// and so can be taken back. Every commit is announced once: changed() for all of them, and
// changedElsewhere() besides for those the window did not make. The sync, the search index and the
// window listen; none of them watches the file on its own.
class CatalogueSession : public QObject {
    Q_OBJECT
public:
    explicit CatalogueSession(QObject* parent = nullptr);
    ~CatalogueSession() override;

    // Opens the catalogue file as every front end does (openCatalogue) with its stored icon list;
    // the watch and the search index follow it. Raises as openCatalogue does.
    void open(const std::string& path);
    // Closes the file and discards the loaded categories: whatever points into them goes first.
    void close();
    // Where the catalogue lies; workers open their own connection from it. Empty when none is open.
    const std::string& path() const { return db.GetPath(); }

    // ---- reading

    const CDBManager& catalogue() const { return db; }
    CCategory& root() { return db.GetRootCategory(); }
    // The select-category and search dialogs take the database object itself, and the capabilities'
    // stores keep their own tables in the file; the catalogue's three tables change only through run().
    CDBManager& database() { return db; }
    // The category's items read afresh into memory (what is stored is not changed).
    void loadItems(CCategory& category) { db.LoadItems(category); }
    // The loaded category that holds the item's stored row (its items as they were last loaded);
    // nullptr when the item or its category is gone.
    CCategory* categoryOfItem(const std::string& itemGuid);
    CCategory* parentOf(const CCategory& category) { return commands.parentOf(category); }
    // Takes into memory the stored children of the category it does not hold yet.
    CCategoryList reloadBranch(CCategory& category) { return commands.reloadBranch(category); }
    // The whole category tree read afresh; whatever points into the loaded one goes first.
    void reloadCategories();

    // ---- changing

    // Runs one command of the history (AddItemsCommand, ..., built on this catalogue's commands)
    // and announces what it wrote, also when it failed part-way. nullptr when it changed nothing.
    template <class Command, class... Args>
    Command* run(Args&&... args);
    // Several changes the user made with one command (an import, a relink of a moved folder), as
    // one command of the history named text: whatever body stores through the commands it is given.
    void runBatch(const QString& text, const std::function<void(CatalogueCommands&)>& body);
    // Take back, or make again, the last command; a refusal is raised with nothing changed.
    void undo();
    void redo();
    QUndoStack& undoStack() { return history.stack(); }
    // Forgets every command (after the file was replaced); true when there was one.
    bool clearHistory() { return history.clear(); }

    IconList& icons() { return iconList; }
    // Writes the icon list as it is now.
    void saveIcons();
    // Reads the stored icon list again (a sync may bring icons); true when one is stored.
    bool reloadIcons();

    // ---- watching

    // Looks for other programs' commits often while the window is visible and seldom while it is
    // hidden; never while busy says a command of the window holds the catalogue's objects.
    void watchBeside(QObject* window, std::function<bool()> busy);
    // Looks now, announcing what it finds.
    void lookNow();
    // Whether another program committed since the last look; nothing is announced.
    bool changedSinceSeen();
    // Whether a change announced since the file was opened replaced the file itself.
    bool fileWasReplaced() const;
    // Whether the open catalogue is no longer at its path (deleted, moved away, or something that is
    // no catalogue in its place): it is still shown, but nothing can be stored until a catalogue is
    // back there or this one is written back.
    bool detached() const { return lostFile; }
    // Writes the open catalogue to its path, which must be free, and opens it there; whatever points
    // into the loaded categories goes first. Raises std::runtime_error with the reason.
    void writeBack();

    // True while the search index holds every commit announced; its file, empty when none.
    bool indexSettled() const;
    const std::string& indexPath() const;

signals:
    // Any commit the session knows of: the window's own commands and other programs' commits.
    void changed();
    // Another program committed to the catalogue, or another file took its place.
    void changedElsewhere();
    // Another catalogue took the open one's place; the history was cleared and the window reloads
    // from the new file (changedElsewhere follows).
    void replacedElsewhere();
    // The catalogue's path has no catalogue any more; the open one is kept, detached().
    void lostElsewhere();
    // The search index took in a commit.
    void indexUpdated();

private:
    // Announces the window's own change as it goes, also on the way out of a failure: what was
    // stored before it stays stored.
    struct Announcing {
        CatalogueSession& session;
        ~Announcing() { emit session.changed(); }
    };

    void followWatcher();
    void refuseWhileDetached() const;

    CDBManager db;
    CatalogueCommands commands{db};
    UndoHistory history;
    IconList iconList;
    CatalogueWatcher* watcher;
    IndexKeeper* keeper;
    bool openedBefore = false;
    bool lostFile = false;
};

template <class Command, class... Args>
Command* CatalogueSession::run(Args&&... args)
{
    std::unique_ptr<Command> command;
    if constexpr (std::is_constructible_v<Command, CatalogueCommands&, Args&&...>)
        command = std::make_unique<Command>(commands, std::forward<Args>(args)...);
    else
        command = std::make_unique<Command>(db, std::forward<Args>(args)...);
    refuseWhileDetached();
    const Announcing announcing{*this};
    return history.record(std::move(command));
}
