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
    if (result != SQLITE_OK)
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
    check(sqlite3_bind_blob64(statement, index, data, size, SQLITE_TRANSIENT));
    return *this;
}

Statement& Statement::bindBlobInPlace(int index, const void* data, std::size_t size)
{
    check(sqlite3_bind_blob64(statement, index, data, size, SQLITE_STATIC));
    return *this;
}

Statement& Statement::bindNull(int index)
{
    check(sqlite3_bind_null(statement, index));
    return *this;
}

Statement& Statement::bindColumn(int index, const Statement& from, int column)
{
    check(sqlite3_bind_value(statement, index, sqlite3_column_value(from.statement, column)));
    return *this;
}

bool Statement::step()
{
    const int result = sqlite3_step(statement);
    if (result == SQLITE_ROW)
        return true;
    if (result == SQLITE_DONE)
        return false;
    // The statement keeps its failure until reset, which would fail its next run too; the message is
    // read first.
    const CppSQLite3Exception failure(result, sqlite3_errmsg(db), false);
    sqlite3_reset(statement);
    throw failure;
}

void Statement::run()
{
    while (step()) {
    }
}

int Statement::execute()
{
    run();
    const int changed = sqlite3_changes(db);
    reset();
    return changed;
}

void Statement::reset()
{
    sqlite3_reset(statement);
    sqlite3_clear_bindings(statement);
}

SqlType Statement::type(int column) const
{
    return static_cast<SqlType>(sqlite3_column_type(statement, column));
}

long long Statement::integer(int column) const
{
    return sqlite3_column_int64(statement, column);
}

double Statement::real(int column) const
{
    return sqlite3_column_double(statement, column);
}

std::string Statement::text(int column) const
{
    const auto* bytes = reinterpret_cast<const char*>(sqlite3_column_text(statement, column));
    return bytes ? std::string(bytes, static_cast<std::size_t>(sqlite3_column_bytes(statement, column)))
                 : std::string();
}

std::string_view Statement::textView(int column) const
{
    const auto* bytes = reinterpret_cast<const char*>(sqlite3_column_text(statement, column));
    return bytes ? std::string_view(bytes, static_cast<std::size_t>(sqlite3_column_bytes(statement, column)))
                 : std::string_view();
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
