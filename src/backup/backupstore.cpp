// SPDX-License-Identifier: GPL-3.0-or-later
#include "backup/backupstore.h"

#include "base/files.h"
#include "storage/statement.h"

#include <cerrno>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <stdexcept>
#include <thread>
#include <vector>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace backupstore {

namespace {

// How long a connection of the backups waits for another program's lock before it gives up.
constexpr int lockWaitMs = 5000;

// The first column of the first row as text, or nullopt when the statement fails or gives no row.
std::optional<std::string> firstValue(CppSQLite3DB& db, const char* sql)
{
    try {
        Statement statement(db, sql);
        if (statement.step())
            return statement.text(0);
    } catch (const CppSQLite3Exception&) {
    }
    return std::nullopt;
}

// Takes the read lock that the transaction keeps until it ends.
void pinSnapshot(CppSQLite3DB& db)
{
    db.ExecuteScalar("select count(*) from sqlite_master;");
}

// The bytes SQLite locks in a rollback-journal database file (os_unix.c), past any page a catalogue uses.
constexpr off_t pendingByte = 0x40000000;
constexpr off_t reservedByte = pendingByte + 1;
constexpr off_t sharedFirst = pendingByte + 2;
constexpr off_t sharedSize = 510;

bool setLock(int fd, short type, off_t start, off_t length)
{
    struct flock lock {};
    lock.l_type = type;
    lock.l_whence = SEEK_SET;
    lock.l_start = start;
    lock.l_len = length;
    return ::fcntl(fd, F_SETLK, &lock) == 0;
}

// SQLite's shared lock on a database file, taken as SQLite takes it, without a connection: no
// connection rolls back a hot journal here, and no writer changes the file while this lives. Closing
// any other descriptor of the file in this process would drop it, so nothing else opens it meanwhile.
class SharedFileLock {
public:
    explicit SharedFileLock(const std::string& path) : fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK)) {}

    // Waits up to lockWaitMs for a writer that holds the file; false when it keeps it.
    bool acquire()
    {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(lockWaitMs);
        while (fd.get() >= 0) {
            if (setLock(fd.get(), F_RDLCK, pendingByte, 1)) {
                const bool shared = setLock(fd.get(), F_RDLCK, sharedFirst, sharedSize);
                setLock(fd.get(), F_UNLCK, pendingByte, 1);
                if (shared)
                    return true;
            }
            if (std::chrono::steady_clock::now() > deadline)
                return false;
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
        return false;
    }

    int descriptor() const { return fd.get(); }

    // Whether a writer holds the file's reserved lock: its journal is then its own, not left by a crash.
    bool writerActive() const
    {
        struct flock lock {};
        lock.l_type = F_WRLCK;
        lock.l_whence = SEEK_SET;
        lock.l_start = reservedByte;
        lock.l_len = 1;
        return ::fcntl(fd.get(), F_GETLK, &lock) != 0 || lock.l_type != F_UNLCK;
    }

private:
    FileDescriptor fd;
};

// A journal that a killed writer left: SQLite plays it back into the file at the next open for writing.
bool hasHotJournal(const std::string& path, const SharedFileLock& lock)
{
    std::error_code error;
    const auto size = std::filesystem::file_size(path + "-journal", error);
    return !error && size > 0 && !lock.writerActive();
}

// The quick check of a connection's file: damaged when it fails, or when SQLite cannot read the file.
bool failsQuickCheck(CppSQLite3DB& db)
{
    try {
        Statement check(db, "pragma quick_check(1);");
        return check.step() && check.text(0) != "ok";
    } catch (const CppSQLite3Exception& failure) {
        return failure.isDamagedFile();
    }
}

// A private copy of a catalogue and its hot journal in a folder of this process beside the catalogue
// (the same disk, room for it), removed when the object goes.
class PrivateCopy {
public:
    // The catalogue is read through the locked descriptor: opening and closing it again would drop the lock.
    PrivateCopy(const std::string& path, const SharedFileLock& lock)
        : folder((std::filesystem::path(path).parent_path() / processTemporaryName(copyPrefix)).string())
    {
        removeOrphanedTemporaries(std::filesystem::path(path).parent_path().string(), copyPrefix);
        if (::mkdir(folder.c_str(), 0700) != 0)
            throw std::runtime_error("Cannot make \"" + folder + "\": " + std::strerror(errno));
        database = folder + "/catalogue.db";
        if (!copyFrom(lock.descriptor(), database))
            throw std::runtime_error("Cannot copy \"" + path + "\": " + std::strerror(errno));
        std::error_code error;
        std::filesystem::copy_file(path + "-journal", database + "-journal", error);
        if (error)
            throw std::runtime_error("Cannot copy \"" + path + "-journal\": " + error.message());
    }
    ~PrivateCopy()
    {
        std::error_code error;
        std::filesystem::remove_all(folder, error);
    }
    PrivateCopy(const PrivateCopy&) = delete;
    PrivateCopy& operator=(const PrivateCopy&) = delete;
    const std::string& path() const { return database; }

private:
    static bool copyFrom(int source, const std::string& target)
    {
        const FileDescriptor out(::open(target.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600));
        if (out.get() < 0)
            return false;
        std::vector<char> buffer(1 << 20);
        for (off_t at = 0;;) {
            const ssize_t got = ::pread(source, buffer.data(), buffer.size(), at);
            if (got < 0 && errno == EINTR)
                continue;
            if (got <= 0)
                return got == 0;
            for (ssize_t written = 0; written < got;) {
                const ssize_t put =
                    ::write(out.get(), buffer.data() + written, static_cast<std::size_t>(got - written));
                if (put < 0 && errno != EINTR)
                    return false;
                written += put > 0 ? put : 0;
            }
            at += got;
        }
    }

    static constexpr const char* copyPrefix = ".varnelo-check-";
    std::string folder;
    std::string database;
};

// The verdict on a copy of the pair: SQLite plays the journal back into the copy, then checks it.
bool copyIsDamaged(const PrivateCopy& copy)
{
    CppSQLite3DB db;
    try {
        db.Open(copy.path().c_str());
    } catch (const CppSQLite3Exception& failure) {
        return failure.isDamagedFile();
    }
    return failsQuickCheck(db);
}

}  // namespace

void openForChecking(CppSQLite3DB& db, const std::string& path)
{
    db.OpenReadOnly(path.c_str());
    db.SetBusyTimeout(lockWaitMs);
}

Counts checkedCounts(CppSQLite3DB& db, const std::string& what)
{
    const std::optional<std::string> verdict = firstValue(db, "pragma quick_check;");
    if (!verdict)
        throw std::runtime_error(what + " is not a database: " + db.lastErrorText());
    if (*verdict != "ok")
        throw std::runtime_error(what + " fails the integrity check: " + *verdict);
    const auto categories = firstValue(db, "select count(*) from category_table;");
    const auto items = firstValue(db, "select count(*) from link_table;");
    if (!categories || !items)
        throw std::runtime_error(what + " is not a catalogue.");
    return {std::atoi(categories->c_str()), std::atoi(items->c_str())};
}

bool isDamaged(const std::string& path)
{
    std::error_code error;
    if (!std::filesystem::is_regular_file(path, error))
        return false;
    // A connection would play a hot journal back into the live file, damaged pages and all, before
    // anyone could keep the pair: such a pair is copied under SQLite's shared lock and checked there.
    std::optional<PrivateCopy> copy;
    {
        SharedFileLock lock(path);
        if (lock.acquire() && hasHotJournal(path, lock))
            copy.emplace(path, lock);
    }
    if (copy)
        return copyIsDamaged(*copy);
    CppSQLite3DB db;
    try {
        db.OpenReadOnly(path.c_str());
        db.SetBusyTimeout(lockWaitMs);
    } catch (const CppSQLite3Exception& failure) {
        return failure.isDamagedFile();
    }
    return failsQuickCheck(db);
}

bool isCatalogue(const std::string& path)
{
    try {
        CppSQLite3DB db;
        db.Open(path.c_str());
        const std::optional<std::string> verdict = firstValue(db, "pragma quick_check;");
        return verdict == "ok" && db.TableExists("category_table");
    } catch (const CppSQLite3Exception&) {
        return false;
    }
}

int itemsInBranch(const std::string& path, const std::string& categoryGuid)
{
    try {
        CppSQLite3DB db;
        db.OpenReadOnly(path.c_str());
        db.SetBusyTimeout(lockWaitMs);
        Statement count(db, "with recursive branch(guid) as (select ?1 union select c.guid from category_table c"
                            " join branch b on c.parent_guid = b.guid)"
                            " select count(*) from link_table where category in (select guid from branch);");
        count.bind(1, categoryGuid);
        return count.step() ? static_cast<int>(count.integer(0)) : 0;
    } catch (const CppSQLite3Exception&) {
        return 0;
    }
}

HeldCatalogue::HeldCatalogue(const std::string& path)
{
    try {
        openForChecking(db, path);
    } catch (const CppSQLite3Exception&) {
        throw std::runtime_error("Cannot open \"" + path + "\": " + db.lastErrorText());
    }
    try {
        snapshot.emplace(db, Transaction::Mode::Deferred);
        pinSnapshot(db);
    } catch (const CppSQLite3Exception&) {
        throw std::runtime_error("Cannot read the catalogue \"" + path + "\": " + db.lastErrorText());
    }
}

bool HeldCatalogue::keepsLog()
{
    return firstValue(db, "pragma journal_mode;").value_or("") == "wal";
}

void HeldCatalogue::copyInto(const std::string& copyPath)
{
    CppSQLite3DB copy;
    try {
        copy.Open(copyPath.c_str());
        copy.SetBusyTimeout(lockWaitMs);
        copy.ExecuteStatement("pragma journal_mode=off; pragma synchronous=off;");
        db.copyInto(copy);
    } catch (const CppSQLite3Exception& failure) {
        throw std::runtime_error(std::string("Cannot copy the catalogue: ") + failure.ErrorMessage());
    }
}

FileLock::FileLock(const std::string& path, Kind kind, int waitMs)
{
    std::error_code error;
    if (!std::filesystem::is_regular_file(path, error))
        return;
    try {
        if (kind == Kind::Shared)
            connection.OpenReadOnly(path.c_str());
        else
            connection.Open(path.c_str());
        connection.SetBusyTimeout(waitMs);
        holding.emplace(connection, kind == Kind::Shared ? Transaction::Mode::Deferred : Transaction::Mode::Exclusive);
        if (kind == Kind::Shared)
            pinSnapshot(connection);
    } catch (const CppSQLite3Exception& refusal) {
        holding.reset();
        connection.Close();
        if (refusal.isLocked())
            throw;
    }
}

}  // namespace backupstore
