// SPDX-License-Identifier: GPL-3.0-or-later
#include "backup/backupstore.h"

#include "storage/statement.h"

#include <filesystem>
#include <stdexcept>

namespace backupstore {

namespace {

// How long a connection of the backups waits for another program's lock before it gives up.
constexpr int lockWaitMs = 5000;
// As much of the file as SQLite maps at most: a whole large catalogue.
constexpr long long mappedBytes = 2147418112;

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

}  // namespace

void openForChecking(CppSQLite3DB& db, const std::string& path)
{
    db.OpenReadOnly(path.c_str());
    db.SetBusyTimeout(lockWaitMs);
    try {
        db.setMappedSize(mappedBytes);
    } catch (const CppSQLite3Exception&) {
        // Only costs speed.
    }
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
    CppSQLite3DB db;
    try {
        db.OpenReadOnly(path.c_str());
        db.SetBusyTimeout(lockWaitMs);
        Statement check(db, "pragma quick_check(1);");
        return check.step() && check.text(0) != "ok";
    } catch (const CppSQLite3Exception& failure) {
        return failure.isDamagedFile();
    }
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
