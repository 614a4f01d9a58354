// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <chrono>
#include <cstddef>
#include <exception>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <string_view>

class Progress;
struct sqlite3;
struct sqlite3_stmt;

// Code of the failures this layer detects itself; every other code is SQLite's.
constexpr int CPPSQLITE_ERROR = 1000;

// The one error type of the storage layer: a code and the message "<code name>[<code>]: <detail>".
class CppSQLite3Exception : public std::exception {
public:
    // freeDetail: the detail came from SQLite's allocator and is released here once used.
    CppSQLite3Exception(int errorCode, const char* detail, bool freeDetail);
    CppSQLite3Exception(const CppSQLite3Exception& other);
    CppSQLite3Exception& operator=(const CppSQLite3Exception& other);
    ~CppSQLite3Exception() override;

    int ErrorCode() const { return code; }
    const char* ErrorMessage() const;
    const char* what() const noexcept override;

    static const char* ErrorCodeAsString(int errorCode);

    // What kind of failure the code says, for the callers that recover from some of them.
    bool isDamagedFile() const;  // SQLite found the file corrupt or no database at all
    bool isInterrupted() const;  // a progress answer stopped the statement
    bool isLocked() const;       // another connection held the lock longer than the busy timeout
    bool isQueryError() const;   // the statement itself was refused (SQL or a full-text query it cannot read)

private:
    int code;
    char* message;
};

// One SQL text built with SQLite's formatter (%q doubles apostrophes, %Q also quotes, %s is raw).
class CppSQLite3Buffer {
public:
    CppSQLite3Buffer() = default;
    CppSQLite3Buffer(const CppSQLite3Buffer&) = delete;
    CppSQLite3Buffer& operator=(const CppSQLite3Buffer&) = delete;
    ~CppSQLite3Buffer();

    const char* Format(const char* format, ...);
    operator const char*() const { return text; }

private:
    void clear();

    char* text = nullptr;
};

// Binary data kept as text: no NUL, no apostrophe, so it passes through a quoted SQL literal.
class CppSQLite3Binary {
public:
    CppSQLite3Binary() = default;
    CppSQLite3Binary(const CppSQLite3Binary&) = delete;
    CppSQLite3Binary& operator=(const CppSQLite3Binary&) = delete;
    ~CppSQLite3Binary();

    void SetBinary(const unsigned char* data, int length);
    const char* GetEncoded();
    void SetEncoded(const char* encoded);
    const unsigned char* GetBinary();
    int GetBinaryLength();

    // Length of the text GetEncoded returned, without its terminating NUL.
    int encodedLength() const { return encodedLen; }

private:
    void clear();
    unsigned char* allocate(std::size_t size);

    unsigned char* buffer = nullptr;
    int binaryLen = 0;
    int bufferLen = 0;
    int encodedLen = 0;
    bool encoded = false;
};

// A forward-only result set. Movable, never copied: it owns its prepared statement.
class CppSQLite3Query {
public:
    CppSQLite3Query() = default;
    CppSQLite3Query(sqlite3* db, sqlite3_stmt* statement, bool eof, bool ownStatement = true);
    CppSQLite3Query(const CppSQLite3Query&) = delete;
    CppSQLite3Query& operator=(const CppSQLite3Query&) = delete;
    CppSQLite3Query(CppSQLite3Query&& other) noexcept;
    CppSQLite3Query& operator=(CppSQLite3Query&& other) noexcept;
    virtual ~CppSQLite3Query();

    bool Eof() const;
    void NextRow();
    int FieldCount() const;
    int FieldIndex(const char* field) const;
    const char* FieldValue(const char* field) const;  // nullptr for SQL NULL
    const char* FieldValue(int field) const;          // nullptr for SQL NULL
    void Finalize();

    // The field as a string, SQL NULL read as empty; as an integer converted with atol, NULL as 0.
    std::string fieldText(const char* field) const;
    int fieldInt(const char* field) const;

    // Whether the stored value is exactly this text (a TEXT value with these bytes, none beyond) or
    // exactly this integer (an INTEGER value): what an update writing that value would leave unchanged.
    bool fieldHoldsText(int field, const std::string& text) const;
    bool fieldHoldsInteger(int field, long long value) const;
    // All the bytes of a TEXT value (NULs included); nullopt for any other type.
    std::optional<std::string> fieldTextBytes(int field) const;

private:
    void checkStatement() const;
    void checkField(int field) const;
    void finalizeQuietly() noexcept;
    void takeFrom(CppSQLite3Query& other) noexcept;

    sqlite3* db = nullptr;
    sqlite3_stmt* statement = nullptr;
    bool eof = true;
    int columns = 0;
    bool ownStatement = false;
};

// The type of a stored value, numbered as SQLite numbers them.
enum class SqlType { Integer = 1, Float = 2, Text = 3, Blob = 4, Null = 5 };

// One argument of an SQL function of ours: its type and, for a text, all its bytes.
struct FunctionArgument {
    SqlType type;
    std::string_view text;
};
using ScalarFunction = std::function<long long(std::span<const FunctionArgument>)>;

// How a connection opens its file, for the connections that need more than Open's read-write-create.
struct OpenOptions {
    // Never created, changed or locked for writing.
    bool readOnly = false;
    // Made when missing; only for read-write.
    bool create = true;
    // The name may be a "file:" URI with query parameters.
    bool uri = false;
    // A symbolic link in the name's place is refused instead of followed.
    bool noFollow = false;
    // Used by one thread only: SQLite takes no lock for each call (a read of a column is one call).
    bool oneThread = false;
};

// Limits that keep a file of unknown origin from costing unbounded memory.
enum class SqlLimit { ValueLength, StatementLength };

// A connection to one database file.
class CppSQLite3DB {
public:
    CppSQLite3DB() = default;
    CppSQLite3DB(const CppSQLite3DB&) = delete;
    CppSQLite3DB& operator=(const CppSQLite3DB&) = delete;
    virtual ~CppSQLite3DB();

    void Open(const char* fileName);
    void Open(const char* fileName, const OpenOptions& options);
    // Opens an existing file for reading only: it is never created, changed or locked for writing.
    void OpenReadOnly(const char* fileName);
    void Close();
    bool IsOpen() const { return db != nullptr; }
    // True while a transaction begun on this connection is open.
    bool InTransaction() const;
    void SetBusyTimeout(int milliseconds);
    int BusyTimeout() const { return busyTimeoutMs; }
    // Runs while a statement waits (up to the busy timeout) for a lock another connection holds, so
    // a window can keep painting meanwhile.
    void SetBusyWait(std::function<void()> whileWaiting);

    int ExecuteStatement(const char* sql);  // number of rows changed
    CppSQLite3Query ExecuteQuery(const char* sql);
    int ExecuteScalar(const char* sql);
    bool TableExists(const char* table);

    // While a statement runs, progress is asked every `instructions` steps of SQLite's engine (done: how
    // many times so far, total unknown); a false answer interrupts the statement with SQLITE_INTERRUPT.
    // nullptr stops asking. The progress must outlive the connection or the next call.
    void setProgress(Progress* progress, int instructions = 1000);
    void setLimit(SqlLimit limit, int value);
    // For a file the program did not write: its schema is not trusted to run functions with side
    // effects, and writes that could damage the file on purpose are refused.
    void distrustSchema();
    // Makes another database file reachable as `schema`.table on this connection.
    void attach(const std::string& fileName, const char* schema);
    // A scalar function of ours for the statements of this connection; deterministic, integer-valued.
    void createFunction(const char* name, int arguments, ScalarFunction function);
    // Copies the whole database, as one snapshot, into the one `target` has open, replacing it.
    void copyInto(CppSQLite3DB& target);
    // The SQLite connection itself, for the storage layer's own classes.
    sqlite3* connection() const { return db; }
    // SQLite's text of the last failure on this connection.
    const char* lastErrorText() const;

private:
    void checkDB() const;

    static int onBusy(void* self, int attempt);
    static int onProgress(void* self);

    sqlite3* db = nullptr;
    int busyTimeoutMs = 60000;
    std::function<void()> busyWait;
    std::chrono::steady_clock::time_point busySince;
    Progress* progress = nullptr;
    std::size_t progressCalls = 0;
};
