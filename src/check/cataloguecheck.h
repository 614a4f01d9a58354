// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "check/checkstore.h"
#include "check/linkchecker.h"
#include "model/progress.h"
#include "storage/cataloguerows.h"
#include "storage/transaction.h"

#include <QObject>

#include <cstdint>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

namespace check {

struct CheckOptions {
    bool files = true;
    bool links = true;
    bool duplicates = true;
    // Empty: the whole catalogue; else this category and everything below it.
    std::string categoryGuid;
    LinkCheckLimits limits;
};

// An item as the check reads it from the catalogue.
using CheckedItem = ItemRow;

struct CheckSummary {
    std::size_t items = 0;
    std::size_t checked = 0;
    std::size_t problems = 0;
    bool cancelled = false;
    std::string error;  // the check itself failed
};

// The items of the catalogue, or of one category's branch, in stored order.
std::vector<CheckedItem> readItems(CppSQLite3DB& db, const std::string& categoryGuid);
// "Parent/Child" names of every category, by GUID.
std::unordered_map<std::string, std::string> categoryPaths(CppSQLite3DB& db);

// One run of the catalogue check on a connection of its own, so it may run on a worker thread while
// the window goes on with its own. Each result is stored as it comes in (a cancelled check keeps
// what it found); the catalogue's own tables are only read.
class CatalogueCheck : public QObject {
    Q_OBJECT
public:
    CatalogueCheck(std::string databasePath, CheckOptions options, QObject* parent = nullptr);

    // Runs to the end in the calling thread (link checks in an event loop of their own); never
    // raises: a failure of the check itself comes back in the summary. Progress hears the items
    // checked of all there are to check after each one (and is asked while links are fetched); when it
    // says stop, the check ends there, keeping what was stored.
    CheckSummary run(Progress& progress = Progress::none());

signals:
    // Every stored result that is not Ok, as it is stored.
    void found(const check::StoredFinding& finding);
    void finished(const check::CheckSummary& summary);

private:
    void runChecks(CheckSummary& summary);
    void checkFiles(const std::vector<const CheckedItem*>& files, CheckSummary& summary);
    void checkLinks(const std::vector<const CheckedItem*>& links, CheckSummary& summary);
    void checkDuplicates(const std::vector<CheckedItem>& items, CheckSummary& summary);
    void store(const Finding& finding, CheckSummary& summary);
    void step(CheckSummary& summary);
    bool keepGoing();
    void commitNow();

    std::string databasePath;
    CheckOptions options;
    Progress* progress = nullptr;
    bool stopped = false;
    CppSQLite3DB* db = nullptr;
    CheckStore* results = nullptr;
    // Results are written in groups, each in a transaction of its own.
    std::optional<Transaction> batch;
    std::int64_t now = 0;
    std::size_t done = 0;
    std::size_t total = 0;
    std::size_t uncommitted = 0;
    qint64 lastCommit = 0;
};

}  // namespace check

Q_DECLARE_METATYPE(check::StoredFinding)
Q_DECLARE_METATYPE(check::CheckSummary)
