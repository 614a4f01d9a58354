// SPDX-License-Identifier: GPL-3.0-or-later
#include "commands/writebatch.h"

#include "storage/transaction.h"

WriteBatch::WriteBatch(CppSQLite3DB& database, Progress& report, std::size_t totalRows, std::size_t rowsPerCommit)
    : db(database), progress(report), total(totalRows), size(rowsPerCommit == 0 ? 1 : rowsPerCommit),
      open(std::make_unique<Transaction>(database))
{
}

WriteBatch::~WriteBatch()
{
    try {
        commit();
    } catch (const CppSQLite3Exception&) {
    }
}

bool WriteBatch::wroteCategory()
{
    return wrote(pendingCategories);
}

bool WriteBatch::wroteItem()
{
    return wrote(pendingItems);
}

bool WriteBatch::wrote(std::size_t& pendingCount)
{
    ++pendingCount;
    if (pendingCategories + pendingItems >= size) {
        commit();
        open = std::make_unique<Transaction>(db);
    }
    const std::size_t done = categories + items + pendingCategories + pendingItems;
    if (progress.advance(done, total))
        return true;
    commit();
    return false;
}

void WriteBatch::finish()
{
    commit();
}

void WriteBatch::commit()
{
    if (open) {
        std::unique_ptr<Transaction> ending = std::move(open);
        ending->Commit();
    }
    categories += pendingCategories;
    items += pendingItems;
    pendingCategories = pendingItems = 0;
}
