// SPDX-License-Identifier: GPL-3.0-or-later
// Runs one command of the real code on a catalogue the way the main window runs it, and writes to a
// report log what the window would report done, at that moment, synced to the disk before the command
// goes on. The crash test kills it part-way and holds the catalogue against the log.
//
//   crashdriver append    <catalogue> <log> <category guid> <count>
//   crashdriver favorites <catalogue> <log> <category guid>           (reads $HOME/Favorites)
//   crashdriver bookmarks <catalogue> <log> <category guid> <bookmark file>
//   crashdriver folder    <catalogue> <log> <category guid> <folder>
//   crashdriver restore   <catalogue> <log> <backup file>
//   crashdriver delete    <catalogue> <log> <category guid>
//   crashdriver autobackup <catalogue> <log>                          (into "backups" beside it)

#include "crashcatalogue.h"

#include "backup/automaticbackups.h"
#include "backup/backupfile.h"
#include "commands/cataloguecommands.h"
#include "commands/writebatch.h"
#include "import/bookmarkfilereader.h"
#include "import/cfavoriteengine.h"
#include "import/foldertree.h"
#include "import/importfavorites.h"
#include "import/treeimport.h"

#include <cstdio>
#include <cstdlib>
#include <exception>
#include <string>
#include <vector>

#include <fcntl.h>
#include <unistd.h>

namespace {

class ReportLog {
public:
    explicit ReportLog(const std::string& path)
        : fd(::open(path.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644))
    {
        if (fd < 0)
            throw std::runtime_error("cannot open the report log " + path);
    }
    ~ReportLog() { ::close(fd); }
    ReportLog(const ReportLog&) = delete;
    ReportLog& operator=(const ReportLog&) = delete;

    // The lines reach the disk before this returns, so a kill right after cannot lose them.
    void write(const std::vector<std::string>& lines)
    {
        std::string text;
        for (const std::string& line : lines)
            text += line + '\n';
        for (std::size_t at = 0; at < text.size();) {
            const ssize_t wrote = ::write(fd, text.data() + at, text.size() - at);
            if (wrote <= 0)
                throw std::runtime_error("cannot write the report log");
            at += static_cast<std::size_t>(wrote);
        }
        if (::fsync(fd) != 0)
            throw std::runtime_error("cannot sync the report log");
    }

private:
    int fd;
};

void announceReady()
{
    const std::string line = driverReadyLine;
    if (::write(STDOUT_FILENO, line.data(), line.size()) != static_cast<ssize_t>(line.size()))
        throw std::runtime_error("cannot tell the test that the command starts");
}

CCategory& category(CDBManager& db, const std::string& guid)
{
    CCategory* found = findCategory(db.GetRootCategory(), guid).category;
    if (!found)
        throw std::runtime_error("no category " + guid);
    return *found;
}

void append(CDBManager& db, ReportLog& log, const std::string& guid, int count)
{
    CCategory& target = category(db, guid);
    // Files are added to the category the list shows, whose items were read when it was selected.
    db.LoadItems(target);
    std::vector<ItemFields> files;
    for (int i = 0; i < count; ++i) {
        char name[32];
        std::snprintf(name, sizeof name, "new%05d", i);
        files.push_back(
            {name, std::string("/documents/") + name + ".txt", "added by the crash driver", CLinkItem::FileType});
    }
    CatalogueCommands commands(db);
    announceReady();
    commands.appendItems(target, files, Progress::none(), [&](const CLinkItems& stored) {
        std::vector<std::string> lines;
        for (const CLinkItem* item : stored)
            lines.push_back(std::string(reportStored) + ' ' + item->GetGuid() + ' ' + item->GetParentGuid());
        log.write(lines);
    });
}

void reportImport(ReportLog& log, std::size_t categories, std::size_t items)
{
    log.write({std::string(reportImported) + ' ' + std::to_string(categories) + ' ' + std::to_string(items)});
}

void importFavorites(CDBManager& db, ReportLog& log, const std::string& guid)
{
    CCategory& chosen = category(db, guid);
    CFavoriteEngine engine;
    const FavoriteNode* favorites = engine.ReadFavorites();
    if (!favorites)
        throw std::runtime_error("no Favorites folder");
    announceReady();
    std::size_t categories = 0, items = 0;
    {
        WriteBatch batch(db, Progress::none(), countFavoriteRows(favorites));
        ImportFavoriteLevel(favorites, chosen.GetLevel(), chosen.GetGuid(), db, batch);
        batch.finish();
        categories = batch.storedCategories();
        items = batch.storedItems();
    }
    CatalogueCommands(db).reloadBranch(chosen);
    reportImport(log, categories, items);
}

// The window's importTree: the batch, the branch brought into memory, then the message.
void importTree(CDBManager& db, ReportLog& log, const std::string& guid, const ImportTree& tree)
{
    CCategory& target = category(db, guid);
    std::size_t categories = 0, items = 0;
    {
        WriteBatch batch(db, Progress::none(), importRowCount(tree.root));
        storeImportTree(tree.root, target, db, batch);
        batch.finish();
        categories = batch.storedCategories();
        items = batch.storedItems();
    }
    CatalogueCommands(db).reloadBranch(target);
    reportImport(log, categories, items);
}

void restore(CDBManager& db, ReportLog& log, const std::string& path, const std::string& backup)
{
    announceReady();
    const BackupOutcome outcome = restoreBackup(
        backup, path, [&db] { db.Close(); }, [&db, &path] { openAsTheProgramDoes(db, path); });
    if (outcome.message != restoreSuccessText)
        throw std::runtime_error("the restore said: " + outcome.message);
    log.write({reportRestored});
}

void deleteCategory(CDBManager& db, ReportLog& log, const std::string& guid)
{
    const FoundCategory found = findCategory(db.GetRootCategory(), guid);
    if (!found.category)
        throw std::runtime_error("no category " + guid);
    announceReady();
    const std::unique_ptr<CCategory> detached =
        CatalogueCommands(db).deleteCategory(*found.parent, *found.category, Progress::none());
    log.write({std::string(reportDeleted) + ' ' + detached->GetGuid()});
}

void automaticBackup(ReportLog& log, const std::string& path)
{
    announceReady();
    log.write({std::string(reportBackedUp) + ' ' + autobackup::backupBeforeRiskyCommand(path, "restore")});
}

int run(const std::vector<std::string>& args)
{
    if (args.size() < 3)
        return 2;
    const std::string& command = args[0];
    const std::string& path = args[1];
    ReportLog log(args[2]);
    CDBManager db;
    openAsTheProgramDoes(db, path);
    if (command == "append" && args.size() == 5)
        append(db, log, args[3], std::atoi(args[4].c_str()));
    else if (command == "favorites" && args.size() == 4)
        importFavorites(db, log, args[3]);
    else if (command == "bookmarks" && args.size() == 5) {
        const ImportTree tree = readBookmarkFile(args[4]);
        announceReady();
        importTree(db, log, args[3], tree);
    } else if (command == "folder" && args.size() == 5) {
        const ImportTree tree = readFolderTree(args[4]);
        announceReady();
        importTree(db, log, args[3], tree);
    } else if (command == "restore" && args.size() == 4)
        restore(db, log, path, args[3]);
    else if (command == "delete" && args.size() == 4)
        deleteCategory(db, log, args[3]);
    else if (command == "autobackup" && args.size() == 3)
        automaticBackup(log, path);
    else
        return 2;
    return 0;
}

}  // namespace

int main(int argc, char** argv)
{
    try {
        const int result = run(std::vector<std::string>(argv + 1, argv + argc));
        if (result == 2)
            std::fprintf(stderr,
                         "usage: crashdriver append|favorites|bookmarks|folder|restore|delete <catalogue> <log> ...\n");
        return result;
    } catch (const std::exception& error) {
        std::fprintf(stderr, "crashdriver: %s\n", error.what());
        return 1;
    }
}
