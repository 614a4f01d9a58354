// SPDX-License-Identifier: GPL-3.0-or-later
#include "backup/automaticbackups.h"

#include "backup/backupfile.h"
#include "backup/backupio.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <map>
#include <mutex>
#include <set>
#include <sstream>
#include <stdexcept>
#include <system_error>

#include <fcntl.h>
#include <signal.h>
#include <sqlite3.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace autobackup {

namespace {

constexpr const char* dailyPrefix = "daily-";
constexpr const char* beforePrefix = "before-";
constexpr const char* extension = ".mbk";
constexpr const char* temporaryPrefix = ".partial-";
constexpr const char* indexName = "backups.index";
constexpr const char* checkedKey = "#checked";
constexpr std::size_t stampLength = 19; // 2026-12-10_06-30-00
constexpr std::size_t longestReason = 60;

std::mutex settingsLock;
Settings current;
// One backup at a time per process: the index is rewritten whole.
std::mutex backupLock;
std::atomic<unsigned> temporaryCounter{0};

std::string stamp(std::int64_t time, const char* format)
{
    const std::time_t seconds = static_cast<std::time_t>(time);
    std::tm parts{};
    ::gmtime_r(&seconds, &parts);
    char text[32];
    std::strftime(text, sizeof text, format, &parts);
    return text;
}

bool digitsAt(const std::string& text, std::size_t at, std::size_t count, int& value)
{
    value = 0;
    for (std::size_t i = at; i < at + count; ++i) {
        if (i >= text.size() || text[i] < '0' || text[i] > '9')
            return false;
        value = value * 10 + (text[i] - '0');
    }
    return true;
}

std::optional<std::int64_t> parseStamp(const std::string& text, std::size_t at)
{
    std::tm parts{};
    int year, month, day, hour, minute, second;
    const char* separators = "--_--";
    const std::size_t positions[] = {4, 7, 10, 13, 16};
    for (int i = 0; i < 5; ++i)
        if (at + positions[i] >= text.size() || text[at + positions[i]] != separators[i])
            return std::nullopt;
    if (!digitsAt(text, at, 4, year) || !digitsAt(text, at + 5, 2, month) || !digitsAt(text, at + 8, 2, day)
        || !digitsAt(text, at + 11, 2, hour) || !digitsAt(text, at + 14, 2, minute)
        || !digitsAt(text, at + 17, 2, second))
        return std::nullopt;
    if (month < 1 || month > 12 || day < 1 || day > 31 || hour > 23 || minute > 59 || second > 59)
        return std::nullopt;
    parts.tm_year = year - 1900;
    parts.tm_mon = month - 1;
    parts.tm_mday = day;
    parts.tm_hour = hour;
    parts.tm_min = minute;
    parts.tm_sec = second;
    const std::time_t time = ::timegm(&parts);
    // 31 February and the like normalise to another date: not a name we made.
    if (stamp(time, "%Y-%m-%d_%H-%M-%S") != text.substr(at, stampLength))
        return std::nullopt;
    return static_cast<std::int64_t>(time);
}

bool reasonByteAllowed(unsigned char c)
{
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '.' || c == '-'
        || c == '_' || c >= 0x80;
}

// The reason as it can stand in a file name: blanks and anything a name should not hold become '_'.
std::string reasonForName(const std::string& reason)
{
    std::string slug;
    for (unsigned char c : reason)
        slug += reasonByteAllowed(c) ? static_cast<char>(c) : '_';
    if (slug.size() > longestReason) {
        std::size_t cut = longestReason;
        // Never cut a UTF-8 sequence in two.
        while (cut > 0 && (static_cast<unsigned char>(slug[cut]) & 0xC0) == 0x80)
            --cut;
        slug.resize(cut);
    }
    return slug.empty() ? std::string("command") : slug;
}

std::int64_t dayNumber(std::int64_t time)
{
    return time >= 0 ? time / secondsPerDay : (time - secondsPerDay + 1) / secondsPerDay;
}

// Weeks begin on Monday; the epoch was a Thursday.
std::int64_t weekNumber(std::int64_t time)
{
    const std::int64_t days = dayNumber(time) + 3;
    return days >= 0 ? days / 7 : (days - 6) / 7;
}

std::int64_t monthNumber(std::int64_t time)
{
    const std::time_t seconds = static_cast<std::time_t>(time);
    std::tm parts{};
    ::gmtime_r(&seconds, &parts);
    return static_cast<std::int64_t>(parts.tm_year) * 12 + parts.tm_mon;
}

// ---- SQLite connections of our own ----

struct Connection {
    sqlite3* db = nullptr;
    ~Connection() { sqlite3_close_v2(db); }
};

[[noreturn]] void fail(const std::string& reason)
{
    throw std::runtime_error(reason);
}

void openConnection(Connection& connection, const std::string& path, int flags)
{
    if (sqlite3_open_v2(path.c_str(), &connection.db, flags, nullptr) != SQLITE_OK)
        fail("Cannot open \"" + path + "\": "
             + (connection.db ? sqlite3_errmsg(connection.db) : "out of memory"));
    sqlite3_busy_timeout(connection.db, 5000);
}

// The first column of the first row, or nullopt when the statement fails or gives no row.
std::optional<std::string> firstValue(sqlite3* db, const char* sql)
{
    sqlite3_stmt* statement = nullptr;
    if (sqlite3_prepare_v2(db, sql, -1, &statement, nullptr) != SQLITE_OK) {
        sqlite3_finalize(statement);
        return std::nullopt;
    }
    std::optional<std::string> value;
    if (sqlite3_step(statement) == SQLITE_ROW) {
        const unsigned char* text = sqlite3_column_text(statement, 0);
        value = text ? reinterpret_cast<const char*>(text) : "";
    }
    sqlite3_finalize(statement);
    return value;
}

struct Counts {
    int categories = -1;
    int items = -1;
};

// The verdict of SQLite's integrity check on an open catalogue, and what it holds. Throws the reason
// when the database is damaged or no catalogue.
Counts checkedCounts(sqlite3* db, const std::string& what)
{
    const std::optional<std::string> verdict = firstValue(db, "pragma integrity_check;");
    if (!verdict)
        fail(what + " is not a database: " + sqlite3_errmsg(db));
    if (*verdict != "ok")
        fail(what + " fails the integrity check: " + *verdict);
    const auto categories = firstValue(db, "select count(*) from category_table;");
    const auto items = firstValue(db, "select count(*) from link_table;");
    if (!categories || !items)
        fail(what + " is not a catalogue.");
    return {std::atoi(categories->c_str()), std::atoi(items->c_str())};
}

// A consistent copy of the catalogue through SQLite's backup API: it reads under one read lock, so
// a commit of the window or another program is in it whole or not at all.
Counts snapshot(const std::string& dbPath, const std::string& target)
{
    Connection source;
    openConnection(source, dbPath, SQLITE_OPEN_READONLY);
    Connection copy;
    openConnection(copy, target, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE);
    // The copy is a temporary: it is flushed once, as the backup file.
    sqlite3_exec(copy.db, "pragma journal_mode=off; pragma synchronous=off;", nullptr, nullptr, nullptr);
    sqlite3_backup* backup = sqlite3_backup_init(copy.db, "main", source.db, "main");
    if (!backup)
        fail(std::string("Cannot copy the catalogue: ") + sqlite3_errmsg(copy.db));
    const int stepped = sqlite3_backup_step(backup, -1);
    sqlite3_backup_finish(backup);
    if (stepped != SQLITE_DONE)
        fail(std::string("Cannot copy the catalogue: ") + sqlite3_errstr(stepped));
    return checkedCounts(copy.db, "The catalogue");
}

// ---- files of the folder ----

std::string temporaryPath(const std::string& folder, const char* suffix)
{
    return (fs::path(folder) / (std::string(temporaryPrefix) + std::to_string(::getpid()) + "-"
                                + std::to_string(temporaryCounter++) + suffix))
        .string();
}

// Temporaries a killed backup left behind; those of a process still running are its own business.
void removeStaleTemporaries(const std::string& folder)
{
    std::error_code error;
    for (const auto& entry : fs::directory_iterator(folder, error)) {
        const std::string name = entry.path().filename().string();
        if (name.rfind(temporaryPrefix, 0) != 0)
            continue;
        const long pid = std::atol(name.c_str() + std::strlen(temporaryPrefix));
        if (pid > 0 && (::kill(static_cast<pid_t>(pid), 0) == 0 || errno != ESRCH))
            continue;
        backupio::removeRegularFile(entry.path().string());
    }
}

void syncFolder(const std::string& folder)
{
    const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd >= 0) {
        ::fsync(fd);
        ::close(fd);
    }
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
    };

    explicit Index(std::string folder) : folder(std::move(folder))
    {
        std::ifstream in(path());
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
            std::getline(fields, reason);
            entries[name] = {{std::atoi(categories.c_str()), std::atoi(items.c_str())}, reason};
        }
    }

    const Entry* find(const std::string& name) const
    {
        const auto found = entries.find(name);
        return found == entries.end() ? nullptr : &found->second;
    }
    void add(const std::string& name, const Entry& entry) { entries[name] = entry; }
    std::optional<std::int64_t> lastChecked() const { return checked; }
    void setChecked(std::int64_t time) { checked = time; }

    // Rewritten whole and renamed into place; entries of files gone are dropped. A failure only
    // costs the counts shown in the list, so it is not reported.
    void save() const
    {
        const std::string temporary = temporaryPath(folder, ".index");
        {
            std::ofstream out(temporary, std::ios::trunc);
            if (checked)
                out << checkedKey << '\t' << *checked << '\n';
            std::error_code error;
            for (const auto& [name, entry] : entries)
                if (fs::exists(fs::path(folder) / name, error))
                    out << name << '\t' << entry.counts.categories << '\t' << entry.counts.items << '\t'
                        << entry.reason << '\n';
            if (!out.flush())
                return backupio::removeRegularFile(temporary);
        }
        if (std::rename(temporary.c_str(), path().c_str()) != 0)
            backupio::removeRegularFile(temporary);
    }

private:
    std::string path() const { return (fs::path(folder) / indexName).string(); }

    std::string folder;
    std::map<std::string, Entry> entries;
    std::optional<std::int64_t> checked;
};

std::string withoutTabs(std::string text)
{
    std::replace_if(text.begin(), text.end(), [](char c) { return c == '\t' || c == '\n' || c == '\r'; }, ' ');
    return text;
}

// The snapshot, written as a backup file, read back and compared, then renamed to its name. On any
// failure nothing is left under a backup name.
void finishBackup(const std::string& snapshotPath, const std::string& target)
{
    const std::string folder = fs::path(target).parent_path().string();
    const std::string written = temporaryPath(folder, extension);
    try {
        const BackupOutcome outcome = writeBackup(snapshotPath, written);
        if (!outcome.succeeded)
            fail(outcome.message);
    } catch (...) {
        backupio::removeRegularFile(written);
        throw;
    }
    if (!backupHoldsDatabase(written, snapshotPath)) {
        backupio::removeRegularFile(written);
        fail("The backup file did not read back as written.");
    }
    if (std::rename(written.c_str(), target.c_str()) != 0) {
        const int error = errno;
        backupio::removeRegularFile(written);
        fail("Cannot name the backup \"" + target + "\": " + std::strerror(error));
    }
    syncFolder(folder);
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

void removeRotated(const std::string& folder, int keepDaily, const std::string& spare = {})
{
    std::vector<std::string> names;
    std::error_code error;
    for (const auto& entry : fs::directory_iterator(folder, error))
        if (entry.is_regular_file(error))
            names.push_back(entry.path().filename().string());
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

// Removes the temporary snapshot on every way out.
struct TemporaryFile {
    std::string path;
    ~TemporaryFile() { backupio::removeRegularFile(path); }
};

std::string makeBackup(const std::string& dbPath, const std::string& folder, const BackupName& wanted,
                       Counts& counts)
{
    const TemporaryFile snapshotFile{temporaryPath(folder, ".db")};
    counts = snapshot(dbPath, snapshotFile.path);
    const std::string target = (fs::path(folder) / freeName(folder, wanted)).string();
    finishBackup(snapshotFile.path, target);
    return target;
}

} // namespace

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

std::string backupFileName(const BackupName& name)
{
    const std::string when = stamp(name.time, "%Y-%m-%d_%H-%M-%S");
    if (name.kind == Kind::Daily)
        return dailyPrefix + when + extension;
    return beforePrefix + when + "-" + reasonForName(name.reason) + extension;
}

std::optional<BackupName> parseBackupName(const std::string& fileName)
{
    const std::size_t extensionLength = std::strlen(extension);
    if (fileName.size() <= extensionLength
        || fileName.compare(fileName.size() - extensionLength, extensionLength, extension) != 0)
        return std::nullopt;
    const std::string stem = fileName.substr(0, fileName.size() - extensionLength);
    BackupName name;
    std::size_t at = 0;
    if (stem.rfind(dailyPrefix, 0) == 0) {
        at = std::strlen(dailyPrefix);
        if (stem.size() != at + stampLength)
            return std::nullopt;
    } else if (stem.rfind(beforePrefix, 0) == 0) {
        name.kind = Kind::BeforeCommand;
        at = std::strlen(beforePrefix);
        if (stem.size() < at + stampLength + 2 || stem[at + stampLength] != '-')
            return std::nullopt;
        name.reason = stem.substr(at + stampLength + 1);
        if (!std::all_of(name.reason.begin(), name.reason.end(),
                         [](char c) { return reasonByteAllowed(static_cast<unsigned char>(c)); }))
            return std::nullopt;
    } else {
        return std::nullopt;
    }
    const std::optional<std::int64_t> time = parseStamp(stem, at);
    if (!time)
        return std::nullopt;
    name.time = *time;
    return name;
}

std::vector<std::string> rotationRemovals(const std::vector<std::string>& fileNames, int keepDaily)
{
    std::vector<std::pair<std::int64_t, std::string>> daily, before;
    for (const std::string& fileName : fileNames)
        if (const auto name = parseBackupName(fileName))
            (name->kind == Kind::Daily ? daily : before).push_back({name->time, fileName});
    const auto newestFirst = [](const auto& a, const auto& b) { return a > b; };
    std::sort(daily.begin(), daily.end(), newestFirst);
    std::sort(before.begin(), before.end(), newestFirst);

    std::set<std::string> kept;
    // Each rule keeps the newest backup of each of its periods, counting only those no earlier rule kept.
    const auto keepPerPeriod = [&](std::int64_t (*period)(std::int64_t), int wanted) {
        std::optional<std::int64_t> last;
        int count = 0;
        for (const auto& [time, fileName] : daily) {
            if (count >= wanted)
                break;
            if (last && period(time) == *last)
                continue;
            last = period(time);
            if (kept.insert(fileName).second)
                ++count;
        }
    };
    keepPerPeriod(dayNumber, keepDaily);
    keepPerPeriod(weekNumber, keptWeekly);
    keepPerPeriod(monthNumber, keptMonthly);
    for (std::size_t i = 0; i < before.size() && i < static_cast<std::size_t>(keptBeforeCommand); ++i)
        kept.insert(before[i].second);

    std::vector<std::string> removals;
    for (const auto& list : {daily, before})
        for (const auto& [time, fileName] : list)
            if (!kept.count(fileName))
                removals.push_back(fileName);
    return removals;
}

bool dailyDue(std::int64_t now, std::optional<std::int64_t> newestDaily,
              std::optional<std::int64_t> lastUnchangedCheck)
{
    const std::optional<std::int64_t> last = std::max(newestDaily, lastUnchangedCheck);
    return !last || now - *last >= secondsPerDay;
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
        if (const Index::Entry* known = index.find(fileName)) {
            info.categories = known->counts.categories;
            info.items = known->counts.items;
            if (!known->reason.empty())
                info.name.reason = known->reason;
        }
        backups.push_back(info);
    }
    // Names tell seconds; of two made in one second, the file written last is the newer.
    const auto written = [&](const BackupInfo& backup) { return fs::last_write_time(backup.path, error); };
    std::sort(backups.begin(), backups.end(), [&](const BackupInfo& a, const BackupInfo& b) {
        return a.name.time != b.name.time ? a.name.time > b.name.time : written(a) > written(b);
    });
    return backups;
}

std::optional<BackupInfo> findBackup(const std::string& dbPath, const std::string& fileName)
{
    const std::string wanted = parseBackupName(fileName) ? fileName : fileName + extension;
    for (const BackupInfo& backup : listBackups(dbPath))
        if (backup.fileName == wanted)
            return backup;
    return std::nullopt;
}

std::string describeKind(const BackupName& name)
{
    if (name.kind == Kind::Daily)
        return "daily";
    std::string reason = name.reason;
    std::replace(reason.begin(), reason.end(), '_', ' ');
    return "before " + reason;
}

std::string backupBeforeRiskyCommand(const std::string& dbPath, const std::string& reason, const std::string& spare)
{
    const Settings settings = configuration();
    if (!settings.enabled)
        return {};
    const std::lock_guard<std::mutex> guard(backupLock);
    const std::string folder = backupFolder(dbPath);
    ensureFolder(folder);
    removeStaleTemporaries(folder);
    Counts counts;
    const std::string made = makeBackup(dbPath, folder, {Kind::BeforeCommand, currentTime(), reason}, counts);
    Index index(folder);
    index.add(fs::path(made).filename().string(), {counts, withoutTabs(reason)});
    removeRotated(folder, settings.keepDaily, spare);
    index.save();
    return made;
}

int itemsInBranch(const std::string& dbPath, const std::string& categoryGuid)
{
    Connection connection;
    if (sqlite3_open_v2(dbPath.c_str(), &connection.db, SQLITE_OPEN_READONLY, nullptr) != SQLITE_OK)
        return 0;
    sqlite3_busy_timeout(connection.db, 5000);
    sqlite3_stmt* statement = nullptr;
    const char* sql = "with recursive branch(guid) as (select ?1 union select c.guid from category_table c"
                      " join branch b on c.parent_guid = b.guid)"
                      " select count(*) from link_table where category in (select guid from branch);";
    int count = 0;
    if (sqlite3_prepare_v2(connection.db, sql, -1, &statement, nullptr) == SQLITE_OK) {
        sqlite3_bind_text(statement, 1, categoryGuid.c_str(), -1, SQLITE_TRANSIENT);
        if (sqlite3_step(statement) == SQLITE_ROW)
            count = sqlite3_column_int(statement, 0);
    }
    sqlite3_finalize(statement);
    return count;
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
    removeStaleTemporaries(folder);

    const TemporaryFile snapshotFile{temporaryPath(folder, ".db")};
    const Counts counts = snapshot(dbPath, snapshotFile.path);
    Index index(folder);
    const std::string newest = newestDailyPath(dbPath);
    if (!newest.empty() && backupHoldsDatabase(newest, snapshotFile.path)) {
        index.setChecked(now);
        index.save();
        return {DailyResult::Unchanged, {}};
    }
    const std::string target = (fs::path(folder) / freeName(folder, {Kind::Daily, now, {}})).string();
    finishBackup(snapshotFile.path, target);
    index.add(fs::path(target).filename().string(), {counts, {}});
    removeRotated(folder, settings.keepDaily);
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
    std::error_code error;
    if (!fs::is_regular_file(dbPath, error))
        return false;
    Connection connection;
    if (sqlite3_open_v2(dbPath.c_str(), &connection.db, SQLITE_OPEN_READONLY, nullptr) != SQLITE_OK)
        return connection.db && sqlite3_errcode(connection.db) == SQLITE_NOTADB;
    sqlite3_busy_timeout(connection.db, 5000);
    sqlite3_stmt* statement = nullptr;
    if (sqlite3_prepare_v2(connection.db, "pragma integrity_check(1);", -1, &statement, nullptr) != SQLITE_OK) {
        sqlite3_finalize(statement);
        const int code = sqlite3_errcode(connection.db);
        return code == SQLITE_NOTADB || code == SQLITE_CORRUPT;
    }
    const int stepped = sqlite3_step(statement);
    bool damaged = stepped == SQLITE_NOTADB || stepped == SQLITE_CORRUPT;
    if (stepped == SQLITE_ROW) {
        const unsigned char* verdict = sqlite3_column_text(statement, 0);
        damaged = !verdict || std::strcmp(reinterpret_cast<const char*>(verdict), "ok") != 0;
    }
    sqlite3_finalize(statement);
    return damaged;
}

std::optional<BackupInfo> newestGoodBackup(const std::string& dbPath)
{
    const std::string folder = backupFolder(dbPath);
    for (BackupInfo backup : listBackups(dbPath)) {
        // The content is checked where SQLite can read it: in a file of its own.
        const TemporaryFile extracted{temporaryPath(folder, ".db")};
        {
            const BackupOutcome staged = restoreBackup(backup.path, extracted.path, [] {}, [] {});
            if (!staged.succeeded)
                continue;
        }
        backupio::removeRegularFile(stagingPath(extracted.path));
        try {
            Connection connection;
            openConnection(connection, extracted.path, SQLITE_OPEN_READONLY);
            const Counts counts = checkedCounts(connection.db, "The backup");
            backup.categories = counts.categories;
            backup.items = counts.items;
            return backup;
        } catch (const std::runtime_error&) {
            continue;
        }
    }
    return std::nullopt;
}

std::string damagedAsideName(const std::string& dbPath, std::int64_t now)
{
    const std::string aside = dbPath + ".damaged-" + stamp(now, "%Y-%m-%d");
    std::error_code error;
    if (fs::exists(fs::symlink_status(aside, error)))
        return dbPath + ".damaged-" + stamp(now, "%Y-%m-%d_%H-%M-%S");
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
    syncFolder(fs::path(dbPath).parent_path().string());
    return aside;
}

} // namespace autobackup
