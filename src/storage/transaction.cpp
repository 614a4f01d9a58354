// SPDX-License-Identifier: GPL-3.0-or-later
#include "storage/transaction.h"

namespace {

const char* beginStatement(Transaction::Mode mode)
{
    switch (mode) {
    case Transaction::Mode::Deferred:
        return "begin transaction;";
    case Transaction::Mode::Exclusive:
        return "begin exclusive transaction;";
    case Transaction::Mode::Immediate:
        break;
    }
    return "begin immediate transaction;";
}

constexpr const char* commitTransaction = "commit transaction;";
constexpr const char* rollbackTransaction = "rollback transaction;";

}  // namespace

Transaction::Transaction(CppSQLite3DB& connection, Mode mode) : db(connection), began(!connection.InTransaction())
{
    if (began)
        db.ExecuteStatement(beginStatement(mode));
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
