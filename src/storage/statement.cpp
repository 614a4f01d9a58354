// SPDX-License-Identifier: GPL-3.0-or-later
#include "storage/statement.h"

#include <sqlite3.h>

Statement::Statement(CppSQLite3DB& connection, const char* sql) : db(connection.connection())
{
    if (!db)
        throw CppSQLite3Exception(CPPSQLITE_ERROR, "Database not open", false);
    check(sqlite3_prepare_v2(db, sql, -1, &statement, nullptr));
}

Statement::~Statement()
{
    sqlite3_finalize(statement);
}

void Statement::check(int result) const
{
    if (result != SQLITE_OK && result != SQLITE_ROW && result != SQLITE_DONE)
        throw CppSQLite3Exception(result, sqlite3_errmsg(db), false);
}

Statement& Statement::bind(int index, long long value)
{
    check(sqlite3_bind_int64(statement, index, value));
    return *this;
}

Statement& Statement::bind(int index, std::string_view text)
{
    check(sqlite3_bind_text64(statement, index, text.data(), text.size(), SQLITE_TRANSIENT, SQLITE_UTF8));
    return *this;
}

Statement& Statement::bindBlob(int index, const void* data, std::size_t size)
{
    check(sqlite3_bind_blob64(statement, index, size ? data : "", size, SQLITE_TRANSIENT));
    return *this;
}

bool Statement::step()
{
    const int result = sqlite3_step(statement);
    if (result == SQLITE_ROW)
        return true;
    if (result == SQLITE_DONE)
        return false;
    // The step's own code says little once the statement failed; the connection's says why.
    throw CppSQLite3Exception(sqlite3_extended_errcode(db) & 0xff, sqlite3_errmsg(db), false);
}

void Statement::run()
{
    while (step()) {
    }
}

void Statement::reset()
{
    sqlite3_reset(statement);
    sqlite3_clear_bindings(statement);
}

bool Statement::isNull(int column) const
{
    return sqlite3_column_type(statement, column) == SQLITE_NULL;
}

long long Statement::integer(int column) const
{
    return sqlite3_column_int64(statement, column);
}

std::string Statement::text(int column) const
{
    const auto* bytes = reinterpret_cast<const char*>(sqlite3_column_text(statement, column));
    return bytes ? std::string(bytes, static_cast<std::size_t>(sqlite3_column_bytes(statement, column)))
                 : std::string();
}

std::vector<unsigned char> Statement::blob(int column) const
{
    const auto* bytes = static_cast<const unsigned char*>(sqlite3_column_blob(statement, column));
    return bytes ? std::vector<unsigned char>(bytes, bytes + sqlite3_column_bytes(statement, column))
                 : std::vector<unsigned char>();
}

long long firstInteger(CppSQLite3DB& db, const char* sql, long long otherwise)
{
    Statement statement(db, sql);
    return statement.step() ? statement.integer(0) : otherwise;
}
