// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "check/finding.h"
#include "storage/cppsqlite3.h"

#include <cstdint>
#include <optional>
#include <string>
#include <unordered_map>
#include <unordered_set>
#include <vector>

namespace check {

// A finding as stored: when the item was last checked, and since when it has been in this state.
struct StoredFinding : Finding {
    std::int64_t checked = 0;
    std::int64_t since = 0;
    bool ignored = false;
    // First found by the last check; else it persists since `since`.
    bool isNew() const { return since >= checked; }
};

// The last result of each item per aspect, in a table of its own beside the catalogue's three
// (which keep their exact columns). A result belongs to the target it was found for: once the
// item's target changes (relinked, edited), the old result no longer shows.
class CheckStore {
public:
    explicit CheckStore(CppSQLite3DB& db);

    static constexpr const char* table = "health_table";

    void ensureTable();
    bool hasTable();

    // Reads what is stored so that record() can tell a repeated failure from a new one.
    void loadPrevious();
    // Writes the result; the same kind for the same target as last time keeps its first date,
    // anything else starts anew. A file's known size survives a miss. A result the same as last time
    // is not written again: the date of the finished run (finishRun) stands for it.
    StoredFinding record(const Finding& finding, std::int64_t now);
    // A check of one aspect over the branch below scope (the whole catalogue when empty) ran to its end.
    void finishRun(Aspect aspect, const std::string& scope, std::int64_t now);
    // Forgets the duplicate results of these items (all when whole), before they are found again.
    void clearDuplicates(const std::vector<std::string>& guids, bool whole);
    // Forgets results of items that are no longer in the catalogue.
    void prune();

    // Results that still apply to the items' current targets, problems only (not Ok).
    std::vector<StoredFinding> current(bool withIgnored = false);
    // Every still-applying result of one item, Ok included, dated by the last check that covered it.
    std::vector<StoredFinding> forItem(const std::string& guid);
    // Items of the category with a current, not ignored, missing or dead result: the reason by GUID.
    std::unordered_map<std::string, StoredFinding> brokenItems(const std::string& categoryGuid);
    // Hides the result until the item's target changes.
    void ignore(const std::string& guid, Aspect aspect);
    std::int64_t knownSize(const std::string& guid);

private:
    struct Previous {
        std::string kind;
        std::string target;
        int code = 0;
        std::string detail;
        std::int64_t since = 0;
        std::int64_t size = -1;
        std::string ignoredTarget;
    };
    std::vector<StoredFinding> query(const char* sql);
    // Dates each result by the newest finished run over its item's category.
    void dateByRuns(std::vector<StoredFinding>& found, const std::vector<std::string>& categories);

    CppSQLite3DB& db;
    std::unordered_map<std::string, Previous> previous;
};

}  // namespace check
