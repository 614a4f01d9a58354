// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "storage/cppsqlite3.h"

// One unit of work, begun when made and ended with Commit(); whatever ends it otherwise rolls back.
// Inside a transaction that is already open the work joins it, and whoever began it decides the outcome.
class Transaction {
public:
    enum class Mode {
        // Reads one snapshot of the file. Only for readers: a write inside it would have to take the
        // write lock late, and SQLite refuses that at once while another connection writes, where it
        // cannot wait without a deadlock.
        Deferred,
        // Takes the write lock at the begin, waiting out another writer within the busy timeout: the
        // mode of every writer.
        Immediate,
        // Keeps every other connection out, readers too, until the end (a file about to be replaced).
        Exclusive,
    };

    explicit Transaction(CppSQLite3DB& db, Mode mode = Mode::Immediate);
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
