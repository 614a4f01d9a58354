// SPDX-License-Identifier: GPL-3.0-or-later
#include "storage/transaction.h"

namespace {

constexpr const char* beginTransaction = "begin transaction;";
constexpr const char* commitTransaction = "commit transaction;";
constexpr const char* rollbackTransaction = "rollback transaction;";

} // namespace

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
