// SPDX-License-Identifier: GPL-3.0-or-later
#include "check/checkstore.h"

#include <algorithm>
#include <cstdlib>
#include <map>

namespace check {

namespace {

const char* const createTable =
    "create table if not exists health_table (guid text not null, aspect text not null, kind text, code int,"
    " detail text, target text, new_target text, other_guid text, size int, checked int, since int,"
    " ignored_target text, primary key (guid, aspect));";

// Rows that still describe the item: same guid, and the target they were found for.
const char* const currentRows = "select h.*, l.category as item_category from health_table h"
                                " join link_table l on l.guid = h.guid and l.target = h.target";

std::string previousKey(const std::string& guid, Aspect aspect)
{
    return guid + '\n' + aspectName(aspect);
}

Aspect aspectFromName(const std::string& name)
{
    if (name == "link")
        return Aspect::Link;
    if (name == "duplicate")
        return Aspect::Duplicate;
    return Aspect::File;
}

std::int64_t int64Field(const CppSQLite3Query& row, const char* field, std::int64_t fallback)
{
    const char* value = row.FieldValue(field);
    return value ? std::strtoll(value, nullptr, 10) : fallback;
}

}  // namespace

CheckStore::CheckStore(CppSQLite3DB& database) : db(database)
{
}

void CheckStore::ensureTable()
{
    db.ExecuteStatement(createTable);
    db.ExecuteStatement("create table if not exists health_runs (aspect text not null, scope text not null,"
                        " checked int, primary key (aspect, scope));");
    db.ExecuteStatement("create index if not exists health_group on health_table (new_target);");
}

bool CheckStore::hasTable()
{
    return db.TableExists(table);
}

void CheckStore::loadPrevious()
{
    previous.clear();
    CppSQLite3Query row = db.ExecuteQuery(
        "select guid, aspect, kind, code, detail, target, since, size, ignored_target from health_table;");
    for (; !row.Eof(); row.NextRow()) {
        Previous& entry = previous[row.fieldText("guid") + '\n' + row.fieldText("aspect")];
        entry.kind = row.fieldText("kind");
        entry.target = row.fieldText("target");
        entry.code = row.fieldInt("code");
        entry.detail = row.fieldText("detail");
        entry.since = int64Field(row, "since", 0);
        entry.size = int64Field(row, "size", -1);
        entry.ignoredTarget = row.fieldText("ignored_target");
    }
}

StoredFinding CheckStore::record(const Finding& finding, std::int64_t now)
{
    StoredFinding stored;
    static_cast<Finding&>(stored) = finding;
    stored.checked = now;
    stored.since = now;
    std::string ignoredTarget;
    Previous& last = previous[previousKey(finding.guid, finding.aspect)];
    const bool sameState = last.kind == kindName(finding.kind) && last.target == finding.target && last.since > 0;
    if (sameState)
        stored.since = last.since;
    if (stored.size < 0 && last.target == finding.target)
        stored.size = last.size;
    if (last.ignoredTarget == finding.target)
        ignoredTarget = last.ignoredTarget;
    stored.ignored = !ignoredTarget.empty();
    // 200,000 files that were fine, or missing, and still are cost no writes. Duplicate rows are
    // cleared before each search, so they are always written.
    const bool unchanged = sameState && finding.aspect != Aspect::Duplicate && last.code == finding.code
                           && last.detail == finding.detail && last.size == stored.size;
    last = {kindName(finding.kind), finding.target, finding.code, finding.detail,
            stored.since,           stored.size,    ignoredTarget};
    if (unchanged)
        return stored;

    CppSQLite3Buffer sql;
    sql.Format("replace into health_table (guid, aspect, kind, code, detail, target, new_target, other_guid, size,"
               " checked, since, ignored_target) values (%Q, %Q, %Q, %d, %Q, %Q, %Q, %Q, %lld, %lld, %lld, %Q);",
               finding.guid.c_str(), aspectName(finding.aspect), kindName(finding.kind), finding.code,
               finding.detail.c_str(), finding.target.c_str(), finding.newTarget.c_str(), finding.otherGuid.c_str(),
               static_cast<long long>(stored.size), static_cast<long long>(now), static_cast<long long>(stored.since),
               ignoredTarget.empty() ? nullptr : ignoredTarget.c_str());
    db.ExecuteStatement(sql);
    return stored;
}

void CheckStore::finishRun(Aspect aspect, const std::string& scope, std::int64_t now)
{
    CppSQLite3Buffer sql;
    sql.Format("replace into health_runs (aspect, scope, checked) values (%Q, %Q, %lld);", aspectName(aspect),
               scope.c_str(), static_cast<long long>(now));
    db.ExecuteStatement(sql);
}

void CheckStore::clearDuplicates(const std::vector<std::string>& guids, bool whole)
{
    if (whole) {
        db.ExecuteStatement("delete from health_table where aspect = 'duplicate';");
        return;
    }
    for (const std::string& guid : guids) {
        CppSQLite3Buffer sql;
        sql.Format("delete from health_table where aspect = 'duplicate' and guid = %Q;", guid.c_str());
        db.ExecuteStatement(sql);
    }
}

void CheckStore::prune()
{
    db.ExecuteStatement("delete from health_table where guid not in (select guid from link_table);");
}

std::vector<StoredFinding> CheckStore::query(const char* sql)
{
    std::vector<StoredFinding> found;
    if (!hasTable())
        return found;
    std::vector<std::string> categories;
    CppSQLite3Query row = db.ExecuteQuery(sql);
    for (; !row.Eof(); row.NextRow()) {
        categories.push_back(row.fieldText("item_category"));
        StoredFinding finding;
        finding.guid = row.fieldText("guid");
        finding.aspect = aspectFromName(row.fieldText("aspect"));
        finding.kind = kindFromName(row.fieldText("kind"));
        finding.code = row.fieldInt("code");
        finding.detail = row.fieldText("detail");
        finding.target = row.fieldText("target");
        finding.newTarget = row.fieldText("new_target");
        finding.otherGuid = row.fieldText("other_guid");
        finding.size = int64Field(row, "size", -1);
        finding.checked = int64Field(row, "checked", 0);
        finding.since = int64Field(row, "since", 0);
        finding.ignored =
            row.FieldValue("ignored_target") != nullptr && row.fieldText("ignored_target") == finding.target;
        found.push_back(std::move(finding));
    }
    row.Finalize();
    dateByRuns(found, categories);
    return found;
}

// A result that did not change was not written again; the newest finished run over the whole
// catalogue, or over a category above the item, is when it was last seen.
void CheckStore::dateByRuns(std::vector<StoredFinding>& found, const std::vector<std::string>& categories)
{
    if (found.empty() || !db.TableExists("health_runs"))
        return;
    std::map<std::pair<std::string, std::string>, std::int64_t> runs;
    for (CppSQLite3Query run = db.ExecuteQuery("select aspect, scope, checked from health_runs;"); !run.Eof();
         run.NextRow())
        runs[{run.fieldText("aspect"), run.fieldText("scope")}] = int64Field(run, "checked", 0);
    std::unordered_map<std::string, std::string> parents;
    for (CppSQLite3Query category = db.ExecuteQuery("select guid, parent_guid from category_table;"); !category.Eof();
         category.NextRow())
        parents.emplace(category.fieldText("guid"), category.fieldText("parent_guid"));
    for (std::size_t i = 0; i < found.size(); ++i) {
        const std::string aspect = aspectName(found[i].aspect);
        std::string scope = categories[i];
        std::unordered_set<std::string> seen;
        for (;;) {
            const auto run = runs.find({aspect, scope});
            if (run != runs.end())
                found[i].checked = std::max(found[i].checked, run->second);
            if (scope.empty() || !seen.insert(scope).second)
                break;
            const auto parent = parents.find(scope);
            scope = parent == parents.end() ? std::string() : parent->second;
        }
    }
}

std::vector<StoredFinding> CheckStore::current(bool withIgnored)
{
    // A duplicate whose group lost its other members (deleted, relinked) is one no longer.
    const std::string sql = std::string(currentRows) + " where h.kind <> 'ok'"
                            + (withIgnored ? "" : " and (h.ignored_target is null or h.ignored_target <> h.target)")
                            + " and (h.aspect <> 'duplicate' or exists (select 1 from health_table o join link_table ol"
                              " on ol.guid = o.guid and ol.target = o.target where o.aspect = 'duplicate'"
                              " and o.new_target = h.new_target and o.guid <> h.guid))"
                              " order by l.itemorder;";
    return query(sql.c_str());
}

std::vector<StoredFinding> CheckStore::forItem(const std::string& guid)
{
    CppSQLite3Buffer sql;
    sql.Format("%s where h.guid = %Q order by h.aspect;", currentRows, guid.c_str());
    return query(sql);
}

std::unordered_map<std::string, StoredFinding> CheckStore::brokenItems(const std::string& categoryGuid)
{
    std::unordered_map<std::string, StoredFinding> broken;
    CppSQLite3Buffer sql;
    sql.Format("%s where l.category = %Q and h.kind in ('missing', 'dead')"
               " and (h.ignored_target is null or h.ignored_target <> h.target);",
               currentRows, categoryGuid.c_str());
    for (StoredFinding& finding : query(sql))
        broken.emplace(finding.guid, std::move(finding));
    return broken;
}

void CheckStore::ignore(const std::string& guid, Aspect aspect)
{
    CppSQLite3Buffer sql;
    sql.Format("update health_table set ignored_target = target where guid = %Q and aspect = %Q;", guid.c_str(),
               aspectName(aspect));
    db.ExecuteStatement(sql);
    previous.erase(previousKey(guid, aspect));
}

std::int64_t CheckStore::knownSize(const std::string& guid)
{
    for (const StoredFinding& finding : forItem(guid))
        if (finding.aspect == Aspect::File)
            return finding.size;
    return -1;
}

}  // namespace check
