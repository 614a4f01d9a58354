// SPDX-License-Identifier: GPL-3.0-or-later
#include "storage/changeset.h"

#include "storage/cdbmanager.h"
#include "storage/transaction.h"

// Debian's SQLite is built with the session extension; its declarations are behind these.
#define SQLITE_ENABLE_SESSION 1
#define SQLITE_ENABLE_PREUPDATE_HOOK 1
#include <sqlite3.h>

#include <cstring>

namespace {

[[noreturn]] void raise(sqlite3* db, int code)
{
    throw CppSQLite3Exception(code, db ? sqlite3_errmsg(db) : sqlite3_errstr(code), false);
}

// The first conflicting row, described for the user: "the item "Manual" was deleted by another program since".
struct Refusal {
    std::string text;
};

// Column 1 is the name in both catalogue tables; an update's record holds it only when it changed,
// so the row as it is now is asked first.
std::string rowName(sqlite3_changeset_iter* row, int conflict, int op)
{
    sqlite3_value* value = nullptr;
    if (conflict == SQLITE_CHANGESET_DATA || conflict == SQLITE_CHANGESET_CONFLICT)
        sqlite3changeset_conflict(row, 1, &value);
    if (!value && op != SQLITE_INSERT)
        sqlite3changeset_old(row, 1, &value);
    if (!value && op != SQLITE_DELETE)
        sqlite3changeset_new(row, 1, &value);
    const unsigned char* text = value ? sqlite3_value_text(value) : nullptr;
    return text ? reinterpret_cast<const char*>(text) : std::string();
}

int onConflict(void* context, int conflict, sqlite3_changeset_iter* row)
{
    auto* refusal = static_cast<Refusal*>(context);
    if (!refusal->text.empty())
        return SQLITE_CHANGESET_ABORT;
    const char* table = nullptr;
    int columns = 0;
    int op = 0;
    int indirect = 0;
    sqlite3changeset_op(row, &table, &columns, &op, &indirect);
    const bool category = table && std::strcmp(table, category_table) == 0;
    std::string text = category ? "the category" : "the item";
    if (const std::string name = rowName(row, conflict, op); !name.empty())
        text += " \"" + name + "\"";
    switch (conflict) {
    case SQLITE_CHANGESET_NOTFOUND:
        text += " was deleted by another program since";
        break;
    case SQLITE_CHANGESET_CONFLICT:
        text += " was stored again by another program since";
        break;
    default:
        text += " was changed by another program since";
        break;
    }
    refusal->text = text;
    return SQLITE_CHANGESET_ABORT;
}

}  // namespace

struct ChangeRecorder::Session {
    sqlite3* db = nullptr;
    sqlite3_session* handle = nullptr;
    ~Session()
    {
        if (handle)
            sqlite3session_delete(handle);
    }
};

ChangeRecorder::ChangeRecorder(CppSQLite3DB& db) : session(std::make_unique<Session>())
{
    session->db = db.connection();
    if (!session->db)
        throw CppSQLite3Exception(CPPSQLITE_ERROR, "Database not open", false);
    if (const int rc = sqlite3session_create(session->db, "main", &session->handle); rc != SQLITE_OK)
        raise(session->db, rc);
    // The icon list is the window's, appended to and never taken back; only catalogue rows are recorded.
    for (const char* table : {category_table, link_table})
        if (const int rc = sqlite3session_attach(session->handle, table); rc != SQLITE_OK)
            raise(session->db, rc);
}

ChangeRecorder::~ChangeRecorder() = default;

Changeset ChangeRecorder::finish()
{
    int size = 0;
    void* bytes = nullptr;
    if (const int rc = sqlite3session_changeset(session->handle, &size, &bytes); rc != SQLITE_OK)
        raise(session->db, rc);
    const auto* first = static_cast<const unsigned char*>(bytes);
    std::vector<unsigned char> changes(first, first + size);
    sqlite3_free(bytes);
    session.reset();
    return Changeset(std::move(changes));
}

void Changeset::revert(CppSQLite3DB& db) const
{
    if (bytes.empty())
        return;
    int size = 0;
    void* inverted = nullptr;
    auto* changes = const_cast<unsigned char*>(bytes.data());
    if (const int rc = sqlite3changeset_invert(static_cast<int>(bytes.size()), changes, &size, &inverted);
        rc != SQLITE_OK)
        raise(nullptr, rc);
    const auto* first = static_cast<const unsigned char*>(inverted);
    const std::vector<unsigned char> reverse(first, first + size);
    sqlite3_free(inverted);
    apply(db, reverse);
}

void Changeset::replay(CppSQLite3DB& db) const
{
    if (!bytes.empty())
        apply(db, bytes);
}

std::vector<Changeset::DeletedRow> Changeset::deletedRows() const
{
    std::vector<DeletedRow> deleted;
    if (bytes.empty())
        return deleted;
    sqlite3_changeset_iter* row = nullptr;
    auto* changes = const_cast<unsigned char*>(bytes.data());
    if (const int rc = sqlite3changeset_start(&row, static_cast<int>(bytes.size()), changes); rc != SQLITE_OK)
        raise(nullptr, rc);
    const auto oldText = [&row](int column) {
        sqlite3_value* value = nullptr;
        sqlite3changeset_old(row, column, &value);
        const unsigned char* text = value ? sqlite3_value_text(value) : nullptr;
        return text ? std::string(reinterpret_cast<const char*>(text)) : std::string();
    };
    while (sqlite3changeset_next(row) == SQLITE_ROW) {
        const char* table = nullptr;
        int columns = 0;
        int op = 0;
        int indirect = 0;
        sqlite3changeset_op(row, &table, &columns, &op, &indirect);
        if (op != SQLITE_DELETE || !table)
            continue;
        // Column 0 is the GUID in both tables; the holder is parent_guid (3) or category (3).
        const bool category = std::strcmp(table, category_table) == 0;
        deleted.push_back({category, oldText(0), oldText(3)});
    }
    sqlite3changeset_finalize(row);
    return deleted;
}

// SQLite applies the whole set inside a savepoint; an aborted apply rolls every row of it back. The
// savepoint alone would read first and be refused at once when it came to write while another
// connection (the search index's, the command line's) writes: the write lock is taken first.
void Changeset::apply(CppSQLite3DB& db, const std::vector<unsigned char>& changes) const
{
    Transaction transaction(db);
    Refusal refusal;
    sqlite3* connection = db.connection();
    const int rc = sqlite3changeset_apply(connection, static_cast<int>(changes.size()),
                                          const_cast<unsigned char*>(changes.data()), nullptr, onConflict, &refusal);
    if (!refusal.text.empty())
        throw OutsideChange(refusal.text);
    if (rc != SQLITE_OK)
        raise(connection, rc);
    transaction.Commit();
}
