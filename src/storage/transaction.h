// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "storage/cppsqlite3.h"

// One unit of writes, begun with "begin transaction;" and ended with "commit transaction;". Inside a
// transaction that is already open the work joins it, and whoever began it decides the outcome.
class Transaction {
public:
    explicit Transaction(CppSQLite3DB& db);
    Transaction(const Transaction&) = delete;
    Transaction& operator=(const Transaction&) = delete;
    // Rolls back what it began and did not commit, so a failure leaves nothing half-written and no
    // transaction open for the next begin to trip over.
    ~Transaction();

    void Commit();

private:
    CppSQLite3DB& db;
    bool began;
};
