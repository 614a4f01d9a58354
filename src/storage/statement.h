// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "storage/cppsqlite3.h"

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

// One prepared statement with its parameters bound by number (?1, ?2, ...), stepped row by row and
// run again after reset(): for statements that run many times over, for values no SQL text should
// carry (blobs, texts holding a NUL) and for reading columns by position and type. Every failure
// raises CppSQLite3Exception with SQLite's code and text.
class Statement {
public:
    Statement(CppSQLite3DB& db, const char* sql);
    Statement(CppSQLite3DB& db, const std::string& sql) : Statement(db, sql.c_str()) {}
    ~Statement();
    Statement(const Statement&) = delete;
    Statement& operator=(const Statement&) = delete;

    Statement& bind(int index, long long value);
    Statement& bind(int index, int value) { return bind(index, static_cast<long long>(value)); }
    Statement& bind(int index, std::string_view text);
    Statement& bind(int index, const char* text) { return bind(index, std::string_view(text)); }
    Statement& bindBlob(int index, const void* data, std::size_t size);
    Statement& bindBlob(int index, std::string_view bytes) { return bindBlob(index, bytes.data(), bytes.size()); }
    // The bytes are read where they lie, not copied: they must stay until the statement is reset.
    Statement& bindBlobInPlace(int index, const void* data, std::size_t size);
    Statement& bindNull(int index);
    // The value a column of another statement's current row holds, whatever its type.
    Statement& bindColumn(int index, const Statement& from, int column);

    // Runs to the next row: true while there is one.
    bool step();
    // Runs to the end, for a statement whose rows nobody reads.
    void run();
    // Runs to the end and makes the statement ready again; the number of rows it changed.
    int execute();
    // Ready to run again from the start, its parameters cleared.
    void reset();

    SqlType type(int column) const;
    bool isNull(int column) const { return type(column) == SqlType::Null; }
    long long integer(int column) const;
    double real(int column) const;
    // All the bytes of the value as text (NULs included); empty for NULL.
    std::string text(int column) const;
    // The same, valid until the statement steps on or is reset.
    std::string_view textView(int column) const;
    std::vector<unsigned char> blob(int column) const;

private:
    void check(int result) const;

    sqlite3* db;
    sqlite3_stmt* statement = nullptr;
};

// The first column of the first row as an integer; `otherwise` when there is no row.
long long firstInteger(CppSQLite3DB& db, const char* sql, long long otherwise = 0);
