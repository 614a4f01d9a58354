// SPDX-License-Identifier: GPL-3.0-or-later
#include "storage/cppsqlite3.h"

#include "model/progress.h"

#include <sqlite3.h>

#include <array>
#include <cstdarg>
#include <cstdlib>
#include <cstring>
#include <utility>
#include <vector>

namespace {

constexpr const char* notOpenText = "Database not open";
constexpr const char* noStatementText = "Null Virtual Machine pointer";

[[noreturn]] void raise(const char* detail)
{
    throw CppSQLite3Exception(CPPSQLITE_ERROR, detail, false);
}

}  // namespace

// --- CppSQLite3Exception ---------------------------------------------------------------

CppSQLite3Exception::CppSQLite3Exception(int errorCode, const char* detail, bool freeDetail) : code(errorCode)
{
    message = sqlite3_mprintf("%s[%d]: %s", ErrorCodeAsString(errorCode), errorCode, detail ? detail : "");
    if (freeDetail && detail)
        sqlite3_free(const_cast<char*>(detail));
}

CppSQLite3Exception::CppSQLite3Exception(const CppSQLite3Exception& other)
    : std::exception(other), code(other.code), message(sqlite3_mprintf("%s", other.message ? other.message : ""))
{
}

CppSQLite3Exception& CppSQLite3Exception::operator=(const CppSQLite3Exception& other)
{
    if (this != &other) {
        char* copy = sqlite3_mprintf("%s", other.message ? other.message : "");
        sqlite3_free(message);
        message = copy;
        code = other.code;
    }
    return *this;
}

CppSQLite3Exception::~CppSQLite3Exception()
{
    sqlite3_free(message);
}

const char* CppSQLite3Exception::ErrorMessage() const
{
    return message ? message : "";
}

const char* CppSQLite3Exception::what() const noexcept
{
    return message ? message : "";
}

const char* CppSQLite3Exception::ErrorCodeAsString(int errorCode)
{
    static constexpr std::array<const char*, 26> names = {
        "SQLITE_OK",       "SQLITE_ERROR",      "SQLITE_INTERNAL", "SQLITE_PERM",      "SQLITE_ABORT", "SQLITE_BUSY",
        "SQLITE_LOCKED",   "SQLITE_NOMEM",      "SQLITE_READONLY", "SQLITE_INTERRUPT", "SQLITE_IOERR", "SQLITE_CORRUPT",
        "SQLITE_NOTFOUND", "SQLITE_FULL",       "SQLITE_CANTOPEN", "SQLITE_PROTOCOL",  "SQLITE_EMPTY", "SQLITE_SCHEMA",
        "SQLITE_TOOBIG",   "SQLITE_CONSTRAINT", "SQLITE_MISMATCH", "SQLITE_MISUSE",    "SQLITE_NOLFS", "SQLITE_AUTH",
        "SQLITE_FORMAT",   "SQLITE_RANGE"};
    if (errorCode >= 0 && errorCode < static_cast<int>(names.size()))
        return names[static_cast<std::size_t>(errorCode)];
    switch (errorCode) {
    case 100:
        return "SQLITE_ROW";
    case 101:
        return "SQLITE_DONE";
    case CPPSQLITE_ERROR:
        return "CPPSQLITE_ERROR";
    default:
        return "UNKNOWN_ERROR";
    }
}

bool CppSQLite3Exception::isDamagedFile() const
{
    const int primary = code & 0xFF;
    return primary == SQLITE_CORRUPT || primary == SQLITE_NOTADB;
}

bool CppSQLite3Exception::isInterrupted() const
{
    return (code & 0xFF) == SQLITE_INTERRUPT;
}

bool CppSQLite3Exception::isQueryError() const
{
    return (code & 0xFF) == SQLITE_ERROR;
}

bool CppSQLite3Exception::isLocked() const
{
    const int primary = code & 0xFF;
    return primary == SQLITE_BUSY || primary == SQLITE_LOCKED;
}

// --- CppSQLite3Buffer ------------------------------------------------------------------

CppSQLite3Buffer::~CppSQLite3Buffer()
{
    clear();
}

void CppSQLite3Buffer::clear()
{
    sqlite3_free(text);
    text = nullptr;
}

const char* CppSQLite3Buffer::Format(const char* format, ...)
{
    clear();
    va_list args;
    va_start(args, format);
    text = sqlite3_vmprintf(format, args);
    va_end(args);
    return text;
}

// --- CppSQLite3Binary ------------------------------------------------------------------

namespace {

// Escapes after the offset is subtracted: 0 (NUL), 1 (the escape itself) and 39 (apostrophe).
constexpr unsigned char escapeMark = 0x01;

int chooseOffset(const unsigned char* data, int length)
{
    std::array<int, 256> counts{};
    for (int i = 0; i < length; ++i)
        ++counts[data[i]];
    int best = length;
    int offset = 1;
    for (int i = 1; i < 256; ++i) {
        if (i == '\'')
            continue;
        int sum = counts[static_cast<std::size_t>(i)] + counts[static_cast<std::size_t>((i + 1) & 0xFF)]
                  + counts[static_cast<std::size_t>((i + '\'') & 0xFF)];
        if (sum < best) {
            best = sum;
            offset = i;
            if (best == 0)
                break;
        }
    }
    return offset;
}

// Writes the encoded text with its NUL into out, which must hold 3 + 257 * length / 254 bytes.
int encodeBinary(const unsigned char* data, int length, unsigned char* out)
{
    if (length <= 0) {
        out[0] = 'x';
        out[1] = 0;
        return 1;
    }
    int offset = chooseOffset(data, length);
    int written = 0;
    out[written++] = static_cast<unsigned char>(offset);
    for (int i = 0; i < length; ++i) {
        auto c = static_cast<unsigned char>((data[i] - offset) & 0xFF);
        if (c == 0 || c == 1 || c == '\'') {
            out[written++] = escapeMark;
            c = c == 0 ? 1 : c == 1 ? 2 : 3;
        }
        out[written++] = c;
    }
    out[written] = 0;
    return written;
}

// Decodes NUL-terminated text; false when an escape is malformed.
bool decodeBinary(const unsigned char* in, std::vector<unsigned char>& out)
{
    out.clear();
    if (*in == 0)
        return true;
    int offset = *in++;
    while (unsigned char c = *in++) {
        if (c == escapeMark) {
            unsigned char code = *in++;
            if (code == 1)
                c = 0;
            else if (code == 2)
                c = 1;
            else if (code == 3)
                c = '\'';
            else
                return false;
        }
        out.push_back(static_cast<unsigned char>((c + offset) & 0xFF));
    }
    return true;
}

}  // namespace

CppSQLite3Binary::~CppSQLite3Binary()
{
    clear();
}

void CppSQLite3Binary::clear()
{
    std::free(buffer);
    buffer = nullptr;
    binaryLen = bufferLen = encodedLen = 0;
    encoded = false;
}

unsigned char* CppSQLite3Binary::allocate(std::size_t size)
{
    auto* memory = static_cast<unsigned char*>(std::malloc(size));
    if (!memory)
        raise("Cannot allocate memory");
    return memory;
}

void CppSQLite3Binary::SetBinary(const unsigned char* data, int length)
{
    clear();
    if (length < 0 || !data)
        length = 0;
    std::size_t size = 3 + (257 * static_cast<std::size_t>(length)) / 254;
    buffer = allocate(size);
    if (length > 0)
        std::memcpy(buffer, data, static_cast<std::size_t>(length));
    bufferLen = static_cast<int>(size);
    binaryLen = length;
    encoded = false;
}

const char* CppSQLite3Binary::GetEncoded()
{
    if (!buffer)
        SetBinary(nullptr, 0);
    if (!encoded) {
        // Encoding writes ahead of the bytes still to be read, so it reads from a copy.
        std::vector<unsigned char> raw(buffer, buffer + binaryLen);
        encodedLen = encodeBinary(raw.data(), binaryLen, buffer);
        encoded = true;
    }
    return reinterpret_cast<const char*>(buffer);
}

void CppSQLite3Binary::SetEncoded(const char* text)
{
    clear();
    std::size_t length = text ? std::strlen(text) : 0;
    buffer = allocate(length + 1);
    if (length > 0)
        std::memcpy(buffer, text, length);
    buffer[length] = 0;
    bufferLen = static_cast<int>(length + 1);
    encodedLen = static_cast<int>(length);
    encoded = true;
}

const unsigned char* CppSQLite3Binary::GetBinary()
{
    if (buffer && encoded) {
        // Decoded aside so that a malformed text leaves the buffer as it was.
        std::vector<unsigned char> decoded;
        if (!decodeBinary(buffer, decoded))
            raise("Cannot decode binary");
        if (!decoded.empty())
            std::memcpy(buffer, decoded.data(), decoded.size());
        binaryLen = static_cast<int>(decoded.size());
        encoded = false;
    }
    return buffer;
}

int CppSQLite3Binary::GetBinaryLength()
{
    GetBinary();
    return binaryLen;
}

// --- CppSQLite3Query -------------------------------------------------------------------

CppSQLite3Query::CppSQLite3Query(sqlite3* database, sqlite3_stmt* vm, bool atEnd, bool owns)
    : db(database), statement(vm), eof(atEnd), columns(vm ? sqlite3_column_count(vm) : 0), ownStatement(owns)
{
}

CppSQLite3Query::CppSQLite3Query(CppSQLite3Query&& other) noexcept
{
    takeFrom(other);
}

CppSQLite3Query& CppSQLite3Query::operator=(CppSQLite3Query&& other) noexcept
{
    if (this != &other) {
        finalizeQuietly();
        takeFrom(other);
    }
    return *this;
}

CppSQLite3Query::~CppSQLite3Query()
{
    finalizeQuietly();
}

void CppSQLite3Query::takeFrom(CppSQLite3Query& other) noexcept
{
    db = other.db;
    statement = std::exchange(other.statement, nullptr);
    eof = other.eof;
    columns = other.columns;
    ownStatement = std::exchange(other.ownStatement, false);
}

void CppSQLite3Query::finalizeQuietly() noexcept
{
    try {
        Finalize();
    } catch (...) {
    }
}

void CppSQLite3Query::checkStatement() const
{
    if (!statement)
        raise(noStatementText);
}

bool CppSQLite3Query::Eof() const
{
    checkStatement();
    return eof;
}

void CppSQLite3Query::NextRow()
{
    checkStatement();
    int result = sqlite3_step(statement);
    if (result == SQLITE_DONE) {
        eof = true;
    } else if (result == SQLITE_ROW) {
        eof = false;
    } else {
        result = sqlite3_finalize(statement);
        statement = nullptr;
        throw CppSQLite3Exception(result, sqlite3_errmsg(db), false);
    }
}

int CppSQLite3Query::FieldCount() const
{
    checkStatement();
    return columns;
}

int CppSQLite3Query::FieldIndex(const char* field) const
{
    checkStatement();
    if (field) {
        for (int i = 0; i < columns; ++i) {
            const char* name = sqlite3_column_name(statement, i);
            if (name && std::strcmp(name, field) == 0)
                return i;
        }
    }
    raise("Invalid field name requested");
}

const char* CppSQLite3Query::FieldValue(const char* field) const
{
    return FieldValue(FieldIndex(field));
}

void CppSQLite3Query::checkField(int field) const
{
    checkStatement();
    if (field < 0 || field >= columns)
        raise("Invalid field index requested");
}

const char* CppSQLite3Query::FieldValue(int field) const
{
    checkField(field);
    return reinterpret_cast<const char*>(sqlite3_column_text(statement, field));
}

std::string CppSQLite3Query::fieldText(const char* field) const
{
    const char* value = FieldValue(field);
    return value ? std::string(value) : std::string();
}

int CppSQLite3Query::fieldInt(const char* field) const
{
    const char* value = FieldValue(field);
    return value ? static_cast<int>(std::atol(value)) : 0;
}

bool CppSQLite3Query::fieldHoldsText(int field, const std::string& text) const
{
    checkField(field);
    // The type is asked first: reading the value as text could convert it.
    if (sqlite3_column_type(statement, field) != SQLITE_TEXT)
        return false;
    // Statements take texts up to their first NUL, so that is all an update would write.
    const std::size_t length = std::strlen(text.c_str());
    const auto* stored = sqlite3_column_text(statement, field);
    return static_cast<std::size_t>(sqlite3_column_bytes(statement, field)) == length
           && std::memcmp(stored, text.data(), length) == 0;
}

bool CppSQLite3Query::fieldHoldsInteger(int field, long long value) const
{
    checkField(field);
    return sqlite3_column_type(statement, field) == SQLITE_INTEGER && sqlite3_column_int64(statement, field) == value;
}

std::optional<std::string> CppSQLite3Query::fieldTextBytes(int field) const
{
    checkField(field);
    if (sqlite3_column_type(statement, field) != SQLITE_TEXT)
        return std::nullopt;
    const auto* stored = reinterpret_cast<const char*>(sqlite3_column_text(statement, field));
    if (!stored)
        return std::string();
    return std::string(stored, static_cast<std::size_t>(sqlite3_column_bytes(statement, field)));
}

void CppSQLite3Query::Finalize()
{
    if (statement && ownStatement) {
        int result = sqlite3_finalize(statement);
        statement = nullptr;
        if (result != SQLITE_OK)
            throw CppSQLite3Exception(result, sqlite3_errmsg(db), false);
    }
}

// --- CppSQLite3DB ----------------------------------------------------------------------

CppSQLite3DB::~CppSQLite3DB()
{
    Close();
}

void CppSQLite3DB::Open(const char* fileName)
{
    Close();
    int result = sqlite3_open(fileName, &db);
    if (result != SQLITE_OK)
        throw CppSQLite3Exception(result, sqlite3_errmsg(db), false);
    SetBusyTimeout(busyTimeoutMs);
}

void CppSQLite3DB::Open(const char* fileName, const OpenOptions& options)
{
    Close();
    int flags =
        options.readOnly ? SQLITE_OPEN_READONLY : SQLITE_OPEN_READWRITE | (options.create ? SQLITE_OPEN_CREATE : 0);
    if (options.uri)
        flags |= SQLITE_OPEN_URI;
    if (options.noFollow)
        flags |= SQLITE_OPEN_NOFOLLOW;
    if (options.oneThread)
        flags |= SQLITE_OPEN_NOMUTEX;
    int result = sqlite3_open_v2(fileName, &db, flags, nullptr);
    if (result != SQLITE_OK)
        throw CppSQLite3Exception(result, db ? sqlite3_errmsg(db) : sqlite3_errstr(result), false);
    SetBusyTimeout(busyTimeoutMs);
}

void CppSQLite3DB::OpenReadOnly(const char* fileName)
{
    Open(fileName, OpenOptions{.readOnly = true});
}

void CppSQLite3DB::Close()
{
    if (db) {
        // A query still alive keeps the connection until it is finalized, instead of leaking it.
        sqlite3_close_v2(db);
        db = nullptr;
    }
}

bool CppSQLite3DB::InTransaction() const
{
    return db && sqlite3_get_autocommit(db) == 0;
}

void CppSQLite3DB::SetBusyTimeout(int milliseconds)
{
    busyTimeoutMs = milliseconds;
    if (db)
        sqlite3_busy_handler(db, &CppSQLite3DB::onBusy, this);
}

void CppSQLite3DB::SetBusyWait(std::function<void()> whileWaiting)
{
    busyWait = std::move(whileWaiting);
}

// The busy timeout, waited in short steps so that whoever waits can do something in between.
int CppSQLite3DB::onBusy(void* self, int attempt)
{
    auto& connection = *static_cast<CppSQLite3DB*>(self);
    const auto now = std::chrono::steady_clock::now();
    if (attempt == 0)
        connection.busySince = now;
    if (now - connection.busySince >= std::chrono::milliseconds(connection.busyTimeoutMs))
        return 0;
    sqlite3_sleep(20);
    if (connection.busyWait)
        connection.busyWait();
    return 1;
}

void CppSQLite3DB::setProgress(Progress* watcher, int instructions)
{
    checkDB();
    progress = watcher;
    progressCalls = 0;
    if (progress)
        sqlite3_progress_handler(db, instructions, &CppSQLite3DB::onProgress, this);
    else
        sqlite3_progress_handler(db, 0, nullptr, nullptr);
}

int CppSQLite3DB::onProgress(void* self)
{
    auto& connection = *static_cast<CppSQLite3DB*>(self);
    return connection.progress->advance(++connection.progressCalls, 0) ? 0 : 1;
}

void CppSQLite3DB::setLimit(SqlLimit limit, int value)
{
    checkDB();
    sqlite3_limit(db, limit == SqlLimit::ValueLength ? SQLITE_LIMIT_LENGTH : SQLITE_LIMIT_SQL_LENGTH, value);
}

void CppSQLite3DB::distrustSchema()
{
    checkDB();
    sqlite3_db_config(db, SQLITE_DBCONFIG_TRUSTED_SCHEMA, 0, nullptr);
    sqlite3_db_config(db, SQLITE_DBCONFIG_DEFENSIVE, 1, nullptr);
}

void CppSQLite3DB::attach(const std::string& fileName, const char* schema)
{
    CppSQLite3Buffer sql;
    sql.Format("attach database %Q as \"%w\";", fileName.c_str(), schema);
    ExecuteStatement(sql);
}

namespace {

void callFunction(sqlite3_context* context, int count, sqlite3_value** values)
{
    // No function of ours takes more arguments than this.
    constexpr int mostArguments = 8;
    if (count > mostArguments) {
        sqlite3_result_error(context, "too many arguments", -1);
        return;
    }
    std::array<FunctionArgument, mostArguments> arguments{};
    for (int i = 0; i < count; ++i) {
        const auto type = static_cast<SqlType>(sqlite3_value_type(values[i]));
        std::string_view text;
        if (type == SqlType::Text)
            text = {reinterpret_cast<const char*>(sqlite3_value_text(values[i])),
                    static_cast<std::size_t>(sqlite3_value_bytes(values[i]))};
        arguments[static_cast<std::size_t>(i)] = {type, text};
    }
    const auto& function = *static_cast<const ScalarFunction*>(sqlite3_user_data(context));
    sqlite3_result_int64(context, function(std::span(arguments.data(), static_cast<std::size_t>(count))));
}

}  // namespace

void CppSQLite3DB::createFunction(const char* name, int arguments, ScalarFunction function)
{
    checkDB();
    auto* held = new ScalarFunction(std::move(function));
    const int result =
        sqlite3_create_function_v2(db, name, arguments, SQLITE_UTF8 | SQLITE_DETERMINISTIC, held, callFunction, nullptr,
                                   nullptr, [](void* owned) { delete static_cast<ScalarFunction*>(owned); });
    if (result != SQLITE_OK)
        throw CppSQLite3Exception(result, sqlite3_errmsg(db), false);
}

void CppSQLite3DB::copyInto(CppSQLite3DB& target)
{
    checkDB();
    target.checkDB();
    sqlite3_backup* copy = sqlite3_backup_init(target.db, "main", db, "main");
    if (!copy)
        throw CppSQLite3Exception(sqlite3_errcode(target.db), sqlite3_errmsg(target.db), false);
    const int stepped = sqlite3_backup_step(copy, -1);
    sqlite3_backup_finish(copy);
    if (stepped != SQLITE_DONE)
        throw CppSQLite3Exception(stepped, sqlite3_errstr(stepped), false);
}

const char* CppSQLite3DB::lastErrorText() const
{
    return db ? sqlite3_errmsg(db) : notOpenText;
}

void CppSQLite3DB::checkDB() const
{
    if (!db)
        raise(notOpenText);
}

int CppSQLite3DB::ExecuteStatement(const char* sql)
{
    checkDB();
    char* error = nullptr;
    int result = sqlite3_exec(db, sql, nullptr, nullptr, &error);
    if (result != SQLITE_OK)
        throw CppSQLite3Exception(result, error, true);
    return sqlite3_changes(db);
}

CppSQLite3Query CppSQLite3DB::ExecuteQuery(const char* sql)
{
    checkDB();
    // A statement prepared the legacy way fails once with SQLITE_SCHEMA after another connection
    // (the command line, a check on a worker) changed the schema; prepared again, it runs.
    for (int attempt = 0;; ++attempt) {
        sqlite3_stmt* statement = nullptr;
        const char* tail = nullptr;
        int result = sqlite3_prepare(db, sql, -1, &statement, &tail);
        // SQLite's own text says what was refused (no such table, not a database); without it the
        // message would end in a bare code.
        if (result != SQLITE_OK)
            throw CppSQLite3Exception(result, sqlite3_errmsg(db), false);
        if (!statement)
            return CppSQLite3Query(db, nullptr, true);  // nothing but blanks or comments
        result = sqlite3_step(statement);
        if (result == SQLITE_DONE)
            return CppSQLite3Query(db, statement, true);
        if (result == SQLITE_ROW)
            return CppSQLite3Query(db, statement, false);
        result = sqlite3_finalize(statement);
        if (result != SQLITE_SCHEMA || attempt > 0)
            throw CppSQLite3Exception(result, sqlite3_errmsg(db), false);
    }
}

int CppSQLite3DB::ExecuteScalar(const char* sql)
{
    CppSQLite3Query query = ExecuteQuery(sql);
    if (query.Eof() || query.FieldCount() < 1)
        raise("Invalid scalar query");
    const char* value = query.FieldValue(0);
    return value ? static_cast<int>(std::atol(value)) : 0;
}

bool CppSQLite3DB::TableExists(const char* table)
{
    CppSQLite3Buffer sql;
    sql.Format("select count(*) from sqlite_master where type='table' and name='%q'", table);
    return ExecuteScalar(sql) > 0;
}
