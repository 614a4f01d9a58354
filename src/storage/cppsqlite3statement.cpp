// SPDX-License-Identifier: GPL-3.0-or-later
#include "storage/cppsqlite3statement.h"

#include "storage/cppsqlite3.h"

#include <sqlite3.h>

CppSQLite3Statement::CppSQLite3Statement(CppSQLite3DB& database, const char* sql) : db(database.connection())
{
    if (!db)
        throw CppSQLite3Exception(CPPSQLITE_ERROR, "Database not open", false);
    check(sqlite3_prepare_v2(db, sql, -1, &statement, nullptr));
}

CppSQLite3Statement::~CppSQLite3Statement()
{
    sqlite3_finalize(statement);
}

void CppSQLite3Statement::check(int result) const
{
    if (result != SQLITE_OK)
        throw CppSQLite3Exception(result, sqlite3_errmsg(db), false);
}

CppSQLite3Statement& CppSQLite3Statement::bind(int parameter, std::string_view text)
{
    check(sqlite3_bind_text64(statement, parameter, text.data(), text.size(), SQLITE_TRANSIENT, SQLITE_UTF8));
    return *this;
}

CppSQLite3Statement& CppSQLite3Statement::bind(int parameter, long long value)
{
    check(sqlite3_bind_int64(statement, parameter, value));
    return *this;
}

CppSQLite3Statement& CppSQLite3Statement::bindBlob(int parameter, std::string_view bytes)
{
    check(sqlite3_bind_blob64(statement, parameter, bytes.data(), bytes.size(), SQLITE_TRANSIENT));
    return *this;
}

CppSQLite3Statement& CppSQLite3Statement::bindNull(int parameter)
{
    check(sqlite3_bind_null(statement, parameter));
    return *this;
}

bool CppSQLite3Statement::step()
{
    const int result = sqlite3_step(statement);
    if (result == SQLITE_ROW)
        return true;
    if (result == SQLITE_DONE)
        return false;
    // The statement keeps its failure until reset; the message is read first.
    const CppSQLite3Exception failure(result, sqlite3_errmsg(db), false);
    sqlite3_reset(statement);
    throw failure;
}

int CppSQLite3Statement::execute()
{
    while (step()) {
    }
    const int changed = sqlite3_changes(db);
    reset();
    return changed;
}

void CppSQLite3Statement::reset()
{
    sqlite3_reset(statement);
    sqlite3_clear_bindings(statement);
}

bool CppSQLite3Statement::isNull(int column) const
{
    return sqlite3_column_type(statement, column) == SQLITE_NULL;
}

long long CppSQLite3Statement::integer(int column) const
{
    return sqlite3_column_int64(statement, column);
}

double CppSQLite3Statement::real(int column) const
{
    return sqlite3_column_double(statement, column);
}

std::string CppSQLite3Statement::text(int column) const
{
    const void* bytes = sqlite3_column_type(statement, column) == SQLITE_BLOB ? sqlite3_column_blob(statement, column)
                                                                              : sqlite3_column_text(statement, column);
    if (!bytes)
        return {};
    return std::string(static_cast<const char*>(bytes), std::size_t(sqlite3_column_bytes(statement, column)));
}
