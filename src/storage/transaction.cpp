// SPDX-License-Identifier: GPL-3.0-or-later
#include "storage/transaction.h"

namespace {

// The write lock is taken at the begin, waiting out another writer within the busy timeout; a
// deferred begin would read first and then be refused at once when it came to write while another
// connection writes (SQLite cannot wait there without a deadlock).
constexpr const char* beginTransaction = "begin immediate transaction;";
constexpr const char* commitTransaction = "commit transaction;";
constexpr const char* rollbackTransaction = "rollback transaction;";

}  // namespace

Transaction::Transaction(CppSQLite3DB& connection) : db(connection), began(!connection.InTransaction())
{
    if (began)
        db.ExecuteStatement(beginTransaction);
}

Transaction::~Transaction()
{
    // SQLite may already have rolled back by itself (a full disk); then there is nothing left to end.
    if (began && db.InTransaction()) {
        try {
            db.ExecuteStatement(rollbackTransaction);
        } catch (const CppSQLite3Exception&) {
        }
    }
}

void Transaction::Commit()
{
    if (!began)
        return;
    db.ExecuteStatement(commitTransaction);
    began = false;
}
