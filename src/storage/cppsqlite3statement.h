// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

class CppSQLite3DB;
struct sqlite3;
struct sqlite3_stmt;

// One prepared statement with bound parameters, run as often as needed: values of any bytes (NULs,
// quotes, megabytes of text) reach SQLite without being formatted into the SQL. Every failure
// raises CppSQLite3Exception with SQLite's code and text.
class CppSQLite3Statement {
public:
    CppSQLite3Statement(CppSQLite3DB& db, const char* sql);
    CppSQLite3Statement(const CppSQLite3Statement&) = delete;
    CppSQLite3Statement& operator=(const CppSQLite3Statement&) = delete;
    ~CppSQLite3Statement();

    // Parameters count from 1, as in the SQL's ?1, ?2...
    CppSQLite3Statement& bind(int parameter, std::string_view text);
    CppSQLite3Statement& bind(int parameter, const char* text) { return bind(parameter, std::string_view(text)); }
    CppSQLite3Statement& bind(int parameter, long long value);
    CppSQLite3Statement& bind(int parameter, int value) { return bind(parameter, static_cast<long long>(value)); }
    CppSQLite3Statement& bindBlob(int parameter, std::string_view bytes);
    CppSQLite3Statement& bindNull(int parameter);

    // Runs the statement to its next row: true while there is one.
    bool step();
    // Runs a statement that returns no rows; the number of rows it changed.
    int execute();
    // Makes the statement ready to run again, its parameters cleared.
    void reset();

    bool isNull(int column) const;
    long long integer(int column) const;
    double real(int column) const;
    // All the bytes of the value as text (a blob's bytes), "" for NULL.
    std::string text(int column) const;

private:
    void check(int result) const;

    sqlite3* db;
    sqlite3_stmt* statement = nullptr;
};
