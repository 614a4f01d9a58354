// SPDX-License-Identifier: GPL-3.0-or-later
#include "backup/automaticbackups.h"

#include "backup/backupfile.h"
#include "backup/backupio.h"
#include "backup/backupstore.h"
#include "base/files.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <sstream>
#include <stdexcept>
#include <system_error>
#include <thread>

#include <unistd.h>

namespace fs = std::filesystem;

namespace autobackup {

namespace {

constexpr const char* temporaryPrefix = ".partial-";
constexpr std::size_t largestIndex = 4 * 1024 * 1024;
constexpr const char* indexName = "backups.index";
constexpr const char* checkedKey = "#checked";
constexpr const char* madeKey = "#made";

std::mutex settingsLock;
Settings current;
// One backup at a time per process: the index is rewritten whole.
std::mutex backupLock;

using backupstore::Counts;

[[noreturn]] void fail(const std::string& reason)
{
    throw std::runtime_error(reason);
}

// ---- files of the folder ----

std::string temporaryPath(const std::string& folder, const char* suffix)
{
    return (fs::path(folder) / processTemporaryName(temporaryPrefix, suffix)).string();
}

void ensureFolder(const std::string& folder)
{
    std::error_code error;
    fs::create_directories(folder, error);
    if (!fs::is_directory(folder, error))
        fail("Cannot create the backup folder \"" + folder + "\".");
}

class Index {
public:
    struct Entry {
        Counts counts;
        std::string reason;
        long long made = 0;
    };

    explicit Index(std::string folder) : folder(std::move(folder))
    {
        // Our own bookkeeping, a line per backup: anything far larger is not ours and reads as empty.
        std::istringstream in(readRegularFile(path(), largestIndex).value_or(std::string()));
        std::string line;
        while (std::getline(in, line)) {
            std::istringstream fields(line);
            std::string name, categories, items, reason;
            std::getline(fields, name, '\t');
            std::getline(fields, categories, '\t');
            if (name == checkedKey) {
                checked = std::atoll(categories.c_str());
                continue;
            }
            std::getline(fields, items, '\t');
            // "#made <file name> <order>": a line of its own, which an older reader drops.
            if (name == madeKey) {
                made[categories] = std::atoll(items.c_str());
                continue;
            }
            std::getline(fields, reason);
            entries[name] = {{std::atoi(categories.c_str()), std::atoi(items.c_str())}, reason};
        }
    }

    const Entry* find(const std::string& name) const
    {
        const auto found = entries.find(name);
        return found == entries.end() ? nullptr : &found->second;
    }
    long long madeOf(const std::string& name) const
    {
        const auto found = made.find(name);
        return found == made.end() ? 0 : found->second;
    }
    // The backup is the newest made, whatever its name says.
    void add(const std::string& name, const Entry& entry)
    {
        entries[name] = entry;
        long long newest = 0;
        for (const auto& [other, order] : made)
            newest = std::max(newest, order);
        made[name] = newest + 1;
    }
    std::optional<std::int64_t> lastChecked() const { return checked; }
    void setChecked(std::int64_t time) { checked = time; }

    // Rewritten whole and put in place; entries of files gone are dropped. A failure only costs the
    // counts shown in the list, so it is not reported.
    void save() const
    {
        std::ostringstream out;
        if (checked)
            out << checkedKey << '\t' << *checked << '\n';
        std::error_code error;
        for (const auto& [name, entry] : entries)
            if (fs::exists(fs::path(folder) / name, error))
                out << name << '\t' << entry.counts.categories << '\t' << entry.counts.items << '\t' << entry.reason
                    << '\n';
        for (const auto& [name, order] : made)
            if (fs::exists(fs::path(folder) / name, error))
                out << madeKey << '\t' << name << '\t' << order << '\n';
        replaceFileContents(path(), out.str(), NewFileMode::Private, temporaryPath(folder, ".index"));
    }

private:
    std::string path() const { return (fs::path(folder) / indexName).string(); }

    std::string folder;
    std::map<std::string, Entry> entries;
    std::map<std::string, long long> made;
    std::optional<std::int64_t> checked;
};

std::string withoutTabs(std::string text)
{
    std::replace_if(
        text.begin(), text.end(), [](char c) { return c == '\t' || c == '\n' || c == '\r'; }, ' ');
    return text;
}

// A free name for a backup of this kind: a second one in the same second takes the next second.
std::string freeName(const std::string& folder, BackupName name)
{
    std::error_code error;
    for (int tries = 0; tries < 600; ++tries, ++name.time) {
        const std::string fileName = backupFileName(name);
        if (!fs::exists(fs::symlink_status(fs::path(folder) / fileName, error)))
            return fileName;
    }
    fail("No free backup name in \"" + folder + "\".");
}

void removeRotated(const std::string& folder, const Index& index, int keepDaily, const std::string& spare = {})
{
    std::vector<MadeBackup> names;
    std::error_code error;
    for (const auto& entry : fs::directory_iterator(folder, error))
        if (entry.is_regular_file(error))
            names.push_back({entry.path().filename().string(), index.madeOf(entry.path().filename().string())});
    for (const std::string& name : rotationRemovals(names, keepDaily))
        if (!backupio::sameFile((fs::path(folder) / name).string(), spare))
            backupio::removeRegularFile((fs::path(folder) / name).string());
}

std::optional<std::int64_t> newestDailyTime(const std::string& dbPath)
{
    for (const BackupInfo& backup : listBackups(dbPath))
        if (backup.name.kind == Kind::Daily)
            return backup.name.time;
    return std::nullopt;
}

std::string newestDailyPath(const std::string& dbPath)
{
    for (const BackupInfo& backup : listBackups(dbPath))
        if (backup.name.kind == Kind::Daily)
            return backup.path;
    return {};
}

// Removes the temporary on every way out.
struct TemporaryFile {
    std::string path;
    ~TemporaryFile() { backupio::removeRegularFile(path); }
};

// The catalogue as one consistent set of bytes. Mostly the file itself, held under SQLite's read lock
// for as long as it is backed up, so that no commit lands meanwhile and the bytes reach the disk once.
// A catalogue that keeps a write-ahead log is not whole in its file: it is copied through SQLite's
// backup API into a temporary file beside the backups instead.
class Snapshot {
public:
    Snapshot(const std::string& dbPath, const std::string& folder)
        : held(std::make_unique<backupstore::HeldCatalogue>(dbPath))
    {
        if (!held->keepsLog()) {
            bytes = dbPath;
            return;
        }
        copied.path = temporaryPath(folder, ".db");
        held->copyInto(copied.path);
        bytes = copied.path;
        held = std::make_unique<backupstore::HeldCatalogue>(copied.path);
    }

    const std::string& path() const { return bytes; }
    // Safe on another thread while the bytes are copied: the connection is used by nothing else.
    Counts check() const { return held->check(); }

private:
    std::unique_ptr<backupstore::HeldCatalogue> held;
    TemporaryFile copied;
    std::string bytes;
};

struct Joined {
    std::thread& thread;
    ~Joined()
    {
        if (thread.joinable())
            thread.join();
    }
};

// The snapshot written as a backup file beside the target while SQLite checks it, read back and
// compared, then renamed to its name. On any failure nothing is left under a backup name.
Counts writeVerified(const Snapshot& snapshot, const std::string& target)
{
    const std::string folder = fs::path(target).parent_path().string();
    const TemporaryFile written{temporaryPath(folder, backupExtension)};
    Counts counts;
    std::string refusal;
    std::thread checker([&] {
        try {
            counts = snapshot.check();
        } catch (const std::exception& error) {
            refusal = error.what();
        }
    });
    {
        const Joined joined{checker};
        const BackupOutcome outcome = writeBackupUnderLock(snapshot.path(), written.path, [&] {
            return backupHoldsDatabase(written.path, snapshot.path())
                       ? std::string()
                       : std::string("The backup file did not read back as written.");
        });
        if (!outcome.succeeded)
            fail(outcome.message);
    }
    if (!refusal.empty())
        fail(refusal);
    if (!putInPlace(written.path, target, NewFileMode::Private))
        fail("Cannot name the backup \"" + target + "\": " + std::strerror(errno));
    return counts;
}

}  // namespace

void configure(const Settings& settings)
{
    const std::lock_guard<std::mutex> guard(settingsLock);
    current = settings;
}

Settings configuration()
{
    const std::lock_guard<std::mutex> guard(settingsLock);
    return current;
}

std::string backupFolder(const std::string& dbPath)
{
    const Settings settings = configuration();
    return settings.folder.empty() ? defaultBackupFolder(dbPath) : settings.folder;
}

std::string defaultBackupFolder(const std::string& dbPath)
{
    return (fs::path(dbPath).parent_path() / "backups").string();
}

std::vector<BackupInfo> listBackups(const std::string& dbPath)
{
    const std::string folder = backupFolder(dbPath);
    const Index index(folder);
    std::vector<BackupInfo> backups;
    std::error_code error;
    for (const auto& entry : fs::directory_iterator(folder, error)) {
        const std::string fileName = entry.path().filename().string();
        const auto name = parseBackupName(fileName);
        if (!name || !entry.is_regular_file(error))
            continue;
        BackupInfo info{entry.path().string(), fileName, *name};
        info.made = index.madeOf(fileName);
        if (const Index::Entry* known = index.find(fileName)) {
            info.categories = known->counts.categories;
            info.items = known->counts.items;
            if (!known->reason.empty())
                info.name.reason = known->reason;
        }
        backups.push_back(info);
    }
    // The folder's record of the order they were made first; names tell seconds, and of two made in
    // one second the file written last is the newer.
    const auto written = [&](const BackupInfo& backup) { return fs::last_write_time(backup.path, error); };
    std::sort(backups.begin(), backups.end(), [&](const BackupInfo& a, const BackupInfo& b) {
        if (a.made != b.made)
            return a.made > b.made;
        return a.name.time != b.name.time ? a.name.time > b.name.time : written(a) > written(b);
    });
    return backups;
}

std::optional<BackupInfo> findBackup(const std::string& dbPath, const std::string& fileName)
{
    const std::string wanted = parseBackupName(fileName) ? fileName : fileName + backupExtension;
    for (const BackupInfo& backup : listBackups(dbPath))
        if (backup.fileName == wanted)
            return backup;
    return std::nullopt;
}

std::string backupBeforeRiskyCommand(const std::string& dbPath, const std::string& reason, const std::string& spare)
{
    const Settings settings = configuration();
    if (!settings.enabled)
        return {};
    const std::lock_guard<std::mutex> guard(backupLock);
    const std::string folder = backupFolder(dbPath);
    ensureFolder(folder);
    removeOrphanedTemporaries(folder, temporaryPrefix);
    const Snapshot snapshot(dbPath, folder);
    const std::string made =
        (fs::path(folder) / freeName(folder, {Kind::BeforeCommand, currentTime(), reason})).string();
    const Counts counts = writeVerified(snapshot, made);
    Index index(folder);
    index.add(fs::path(made).filename().string(), {counts, withoutTabs(reason)});
    removeRotated(folder, index, settings.keepDaily, spare);
    index.save();
    return made;
}

int itemsInBranch(const std::string& dbPath, const std::string& categoryGuid)
{
    return backupstore::itemsInBranch(dbPath, categoryGuid);
}

bool dailyBackupDue(const std::string& dbPath, std::int64_t now)
{
    const Settings settings = configuration();
    if (!settings.enabled)
        return false;
    return dailyDue(now, newestDailyTime(dbPath), Index(backupFolder(dbPath)).lastChecked());
}

DailyResult makeDailyBackup(const std::string& dbPath, std::int64_t now)
{
    const Settings settings = configuration();
    if (!settings.enabled)
        return {DailyResult::Disabled, {}};
    const std::lock_guard<std::mutex> guard(backupLock);
    if (!dailyBackupDue(dbPath, now))
        return {DailyResult::NotDue, {}};
    const std::string folder = backupFolder(dbPath);
    ensureFolder(folder);
    removeOrphanedTemporaries(folder, temporaryPrefix);

    const Snapshot snapshot(dbPath, folder);
    Index index(folder);
    const std::string newest = newestDailyPath(dbPath);
    if (!newest.empty() && backupHoldsDatabase(newest, snapshot.path())) {
        index.setChecked(now);
        index.save();
        return {DailyResult::Unchanged, {}};
    }
    const std::string target = (fs::path(folder) / freeName(folder, {Kind::Daily, now, {}})).string();
    const Counts counts = writeVerified(snapshot, target);
    index.add(fs::path(target).filename().string(), {counts, {}});
    removeRotated(folder, index, settings.keepDaily);
    index.save();
    return {DailyResult::Made, target};
}

std::int64_t currentTime()
{
    return std::chrono::duration_cast<std::chrono::seconds>(std::chrono::system_clock::now().time_since_epoch())
        .count();
}

bool catalogueIsDamaged(const std::string& dbPath)
{
    return backupstore::isDamaged(dbPath);
}

std::optional<BackupInfo> newestGoodBackup(const std::string& dbPath)
{
    const std::string folder = backupFolder(dbPath);
    for (BackupInfo backup : listBackups(dbPath)) {
        // The content is checked where SQLite can read it: in a file of its own.
        const TemporaryFile extracted{temporaryPath(folder, ".db")};
        {
            const BackupOutcome staged = restoreBackup(
                backup.path, extracted.path, [] {}, [] {});
            if (!staged.succeeded)
                continue;
        }
        backupio::removeRegularFile(stagingPath(extracted.path));
        try {
            CppSQLite3DB connection;
            backupstore::openForChecking(connection, extracted.path);
            const Counts counts = backupstore::checkedCounts(connection, "The backup");
            backup.categories = counts.categories;
            backup.items = counts.items;
            return backup;
        } catch (const std::exception&) {
            continue;
        }
    }
    return std::nullopt;
}

std::string damagedAsideName(const std::string& dbPath, std::int64_t now)
{
    const std::string aside = dbPath + ".damaged-" + utcStamp(now, "%Y-%m-%d");
    std::error_code error;
    if (fs::exists(fs::symlink_status(aside, error)))
        return dbPath + ".damaged-" + utcStamp(now, "%Y-%m-%d_%H-%M-%S");
    return aside;
}

std::string setDamagedAside(const std::string& dbPath, std::int64_t now)
{
    const std::string aside = damagedAsideName(dbPath, now);
    std::error_code error;
    if (std::rename(dbPath.c_str(), aside.c_str()) != 0)
        fail("Cannot rename \"" + dbPath + "\" to \"" + aside + "\": " + std::strerror(errno));
    // A journal left beside the damaged file belongs to it: played into a restored catalogue it
    // would damage that one too.
    for (const char* companion : {"-journal", "-wal", "-shm"})
        if (fs::exists(fs::symlink_status(dbPath + companion, error)))
            std::rename((dbPath + companion).c_str(), (aside + companion).c_str());
    syncFolderOf(dbPath);
    return aside;
}

std::optional<std::string> categoryDeleteRisk(const std::string& dbPath, const std::string& categoryGuid,
                                              const std::string& categoryName)
{
    if (itemsInBranch(dbPath, categoryGuid) <= riskyDeleteItems)
        return std::nullopt;
    return "delete of category " + categoryName;
}

}  // namespace autobackup
