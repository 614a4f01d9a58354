// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "storage/cppsqlite3.h"
#include "storage/transaction.h"

#include <optional>
#include <string>

// What the backups ask SQLite about a catalogue file: whether it is sound, what it holds, a snapshot
// of it and the locks that keep other programs out while it is copied or replaced. Each function opens
// a connection of its own.
namespace backupstore {

struct Counts {
    int categories = -1;
    int items = -1;
};

// A connection that reads the file for the integrity check: read-only, through reads and never a
// mapping, which another program shortening the file would turn into SIGBUS.
void openForChecking(CppSQLite3DB& db, const std::string& path);

// The verdict of SQLite's quick integrity check on an open catalogue, and what it holds. Throws
// std::runtime_error with the reason, starting with `what`, when the database is damaged or no
// catalogue. The full check also compares every index with its table, which takes twenty times longer
// on a large catalogue and finds no damage of the file that this one misses.
Counts checkedCounts(CppSQLite3DB& db, const std::string& what);

// A file SQLite does not take as a database, or that fails its quick integrity check. Beside a hot
// journal the check runs on a private copy of the pair, so the live file is never rolled back first.
// Throws std::runtime_error when that copy cannot be made.
bool isDamaged(const std::string& path);
// A file SQLite reads whole, passing the quick check, that holds a category table.
bool isCatalogue(const std::string& path);

// The items stored in the category with this GUID and in every category below it; 0 when they cannot
// be counted.
int itemsInBranch(const std::string& path, const std::string& categoryGuid);

// The catalogue as one consistent set of bytes, held under SQLite's read lock for as long as this
// lives, so that no commit lands meanwhile.
class HeldCatalogue {
public:
    explicit HeldCatalogue(const std::string& path);
    // Whether the file alone is not the whole catalogue: a write-ahead log holds commits beside it.
    bool keepsLog();
    // Copies the snapshot through SQLite's backup API into a new file, written without a journal.
    void copyInto(const std::string& copyPath);
    // The integrity check and counts of the held snapshot; safe on another thread while nothing else
    // uses this object.
    Counts check() { return checkedCounts(db, "The catalogue"); }

private:
    CppSQLite3DB db;
    std::optional<Transaction> snapshot;
};

// SQLite's lock on a catalogue file, held by a connection of its own for as long as it is copied or
// replaced: shared for a backup, so that no one writes, exclusive for a restore, so that no one else
// has it open for writing. A file SQLite cannot take as a database is left without a lock.
class FileLock {
public:
    enum class Kind { Shared, Exclusive };

    // Raises SQLite's "database is locked" when another program keeps the file longer than waitMs.
    FileLock(const std::string& path, Kind kind, int waitMs);
    FileLock(const FileLock&) = delete;
    FileLock& operator=(const FileLock&) = delete;

private:
    CppSQLite3DB connection;
    // Ends first: the transaction, which wrote nothing, and with it the lock.
    std::optional<Transaction> holding;
};

}  // namespace backupstore
