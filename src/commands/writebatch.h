// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "model/progress.h"
#include "storage/cppsqlite3.h"

#include <cstddef>
#include <memory>

class Transaction;

// Many small writes in few transactions: a commit after every `size` rows and when the work ends, so
// work that stops part-way, by a failure or at the user's request, keeps what it has stored. A
// crash loses at most the rows since the last commit, and those were never reported.
class WriteBatch {
public:
    WriteBatch(CppSQLite3DB& db, Progress& progress, std::size_t total, std::size_t size = 1000);
    WriteBatch(const WriteBatch&) = delete;
    WriteBatch& operator=(const WriteBatch&) = delete;
    // Commits what is open; on the way out of a failure, a commit that fails as well only loses
    // the open rows.
    ~WriteBatch();

    // One category or item row written. False once the user asked to stop; what was written up to
    // then is committed.
    bool wroteCategory();
    bool wroteItem();
    // Commits the open rows, raising a failure.
    void finish();

    // Rows known to be stored: committed, or in the transaction of an outer owner.
    std::size_t storedCategories() const { return categories; }
    std::size_t storedItems() const { return items; }

private:
    bool wrote(std::size_t& pendingCount);
    void commit();

    CppSQLite3DB& db;
    Progress& progress;
    std::size_t total;
    std::size_t size;
    std::unique_ptr<Transaction> open;
    std::size_t pendingCategories = 0;
    std::size_t pendingItems = 0;
    std::size_t categories = 0;
    std::size_t items = 0;
};
