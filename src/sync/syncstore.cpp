// SPDX-License-Identifier: GPL-3.0-or-later
#include "syncstore.h"

#include "syncfiles.h"

namespace {

constexpr const char* createTables[] = {
    "create table if not exists sync_meta (key text primary key, value text);",
    "create table if not exists sync_object (kind text, guid text, record text, row text, pending int,"
    " primary key (kind, guid));",
    "create table if not exists sync_peer (device text primary key, upto int, name text);",
    "create index if not exists sync_object_pending on sync_object(pending) where pending=1;",
    "create table if not exists sync_dirty (kind text, guid text, primary key (kind, guid)) without rowid;",
    "insert or ignore into sync_meta (key, value) values ('edits', '0');",
};

// Every write to the catalogue's tables, by any program, counts in sync_meta; a sync with nothing
// incoming and an unchanged count has nothing to compare. The tables themselves stay as they are.
constexpr const char* touchTrigger =
    "create trigger if not exists sync_%s_%s after %s on %s begin "
    "update sync_meta set value = cast(value as integer) + 1 where key = 'edits'; end;";

// And the GUIDs written, so that a sync compares only those rows with the last synced state.
constexpr const char* dirtyTrigger = "create trigger if not exists sync_dirty_%s_%s after %s on %s begin "
                                     "insert or ignore into sync_dirty (kind, guid) values %s; end;";

std::string kindText(char kind)
{
    return std::string(1, kind);
}

StoredCategory categoryOf(CppSQLite3Query& query)
{
    return {query.fieldText("guid"),        query.fieldText("name"),  query.fieldInt("level"),
            query.fieldText("parent_guid"), query.fieldInt("system"), query.fieldInt("iconIndex")};
}

StoredItem itemOf(CppSQLite3Query& query)
{
    return {query.fieldText("guid"), query.fieldText("name"),    query.fieldText("target"), query.fieldText("category"),
            query.fieldInt("star"),  query.fieldText("comment"), query.fieldInt("type")};
}

}  // namespace

SyncStore::SyncStore(const std::string& dbPath) : dbPath(dbPath)
{
    db.Open(dbPath);
    db.EnsureDefaultCategories();
    db.CreateIndexes();
    for (const char* statement : createTables)
        db.ExecuteStatement(statement);
    CppSQLite3Buffer sql;
    for (const char* table : {category_table, link_table, imagelist_table})
        for (const char* event : {"insert", "update", "delete"}) {
            sql.Format(touchTrigger, table, event, event, table);
            db.ExecuteStatement(sql);
        }
    for (const auto& [table, kind] :
         {std::pair{link_table, SyncRecord::Item}, std::pair{category_table, SyncRecord::Category}})
        for (const char* event : {"insert", "update", "delete"}) {
            const std::string k = kindText(kind);
            const std::string values = std::string(event) == "insert" ? "('" + k + "', new.guid)"
                                       : std::string(event) == "delete"
                                           ? "('" + k + "', old.guid)"
                                           : "('" + k + "', old.guid), ('" + k + "', new.guid)";
            sql.Format(dirtyTrigger, table, event, event, table, values.c_str());
            db.ExecuteStatement(sql);
        }
}

std::string SyncStore::meta(const std::string& key, const std::string& fallback)
{
    CppSQLite3Buffer sql;
    sql.Format("select value from sync_meta where key=%Q;", key.c_str());
    CppSQLite3Query query = db.ExecuteQuery(sql);
    return query.Eof() ? fallback : query.fieldText("value");
}

void SyncStore::setMeta(const std::string& key, const std::string& value)
{
    CppSQLite3Buffer sql;
    sql.Format("replace into sync_meta (key, value) values (%Q, %Q);", key.c_str(), value.c_str());
    db.ExecuteStatement(sql);
}

void SyncStore::readCatalogue(std::vector<StoredCategory>& categories, std::vector<StoredItem>& items)
{
    std::set<std::string> seen;
    CppSQLite3Query query = db.ExecuteQuery("select * from category_table order by itemorder;");
    for (; !query.Eof(); query.NextRow()) {
        StoredCategory row = categoryOf(query);
        // Only the first row of a GUID counts, as for every reader of the catalogue.
        if (seen.insert(row.guid).second)
            categories.push_back(std::move(row));
    }
    seen.clear();
    query = db.ExecuteQuery("select * from link_table order by itemorder;");
    for (; !query.Eof(); query.NextRow()) {
        StoredItem row = itemOf(query);
        if (seen.insert(row.guid).second)
            items.push_back(std::move(row));
    }
}

std::optional<std::vector<std::string>> SyncStore::writtenRows(char kind)
{
    if (meta("written-tracked") != "1")
        return std::nullopt;
    CppSQLite3Buffer sql;
    sql.Format("select guid from sync_dirty where kind=%Q and guid is not null;", kindText(kind).c_str());
    std::vector<std::string> guids;
    for (CppSQLite3Query query = db.ExecuteQuery(sql); !query.Eof(); query.NextRow())
        guids.push_back(query.fieldText("guid"));
    return guids;
}

void SyncStore::forgetWrittenRows()
{
    db.ExecuteStatement("delete from sync_dirty;");
    setMeta("written-tracked", "1");
}

std::optional<StoredItem> SyncStore::readItem(const std::string& guid)
{
    CppSQLite3Buffer sql;
    sql.Format("select * from link_table where guid=%Q order by itemorder limit 1;", guid.c_str());
    CppSQLite3Query query = db.ExecuteQuery(sql);
    if (query.Eof())
        return std::nullopt;
    return itemOf(query);
}

std::set<std::string> SyncStore::categoryGuids()
{
    std::set<std::string> guids;
    for (CppSQLite3Query query = db.ExecuteQuery("select guid from category_table;"); !query.Eof(); query.NextRow())
        guids.insert(query.fieldText("guid"));
    return guids;
}

std::set<std::string> SyncStore::iconRows()
{
    std::set<std::string> rows;
    CppSQLite3Query query = db.ExecuteQuery("select row from sync_object where kind='n' and row is not null;");
    for (; !query.Eof(); query.NextRow())
        rows.insert(query.fieldText("row"));
    return rows;
}

int SyncStore::itemCount()
{
    return db.ExecuteScalar("select count(distinct guid) from link_table;");
}

void SyncStore::apply(const CataloguePlan& plan)
{
    CppSQLite3Buffer sql;
    for (const std::string& guid : plan.itemsToDelete) {
        sql.Format("delete from link_table where guid=%Q;", guid.c_str());
        db.ExecuteStatement(sql);
    }
    for (const std::string& guid : plan.categoriesToDelete) {
        sql.Format("delete from category_table where guid=%Q;", guid.c_str());
        db.ExecuteStatement(sql);
    }
    for (const StoredCategory& row : plan.categoriesToWrite) {
        sql.Format("update category_table set name=%Q,level=%d,parent_guid=%Q,system=%d, iconIndex=%d where guid=%Q;",
                   row.name.c_str(), row.level, row.parent.c_str(), row.system, row.iconIndex, row.guid.c_str());
        if (db.ExecuteStatement(sql) == 0) {
            sql.Format("insert into category_table (guid,name,level,parent_guid,system,iconIndex) "
                       "values(%Q,%Q,%d,%Q,%d,%d);",
                       row.guid.c_str(), row.name.c_str(), row.level, row.parent.c_str(), row.system, row.iconIndex);
            db.ExecuteStatement(sql);
        }
    }
    for (const StoredItem& row : plan.itemsToWrite) {
        sql.Format("update link_table set name=%Q,target=%Q,category=%Q,star=%d,comment=%Q,type=%d where guid=%Q;",
                   row.name.c_str(), row.target.c_str(), row.category.c_str(), row.star, row.comment.c_str(), row.type,
                   row.guid.c_str());
        if (db.ExecuteStatement(sql) == 0) {
            sql.Format("insert into link_table (guid,name,target,category,star,comment,type) "
                       "values(%Q,%Q,%Q,%Q,%d,%Q,%d);",
                       row.guid.c_str(), row.name.c_str(), row.target.c_str(), row.category.c_str(), row.star,
                       row.comment.c_str(), row.type);
            db.ExecuteStatement(sql);
        }
    }
}

SyncStore::State SyncStore::loadState(bool pendingOnly)
{
    State state;
    CppSQLite3Query query =
        db.ExecuteQuery(pendingOnly ? "select * from sync_object where pending=1;" : "select * from sync_object;");
    addToState(state, query);
    return state;
}

SyncStore::State SyncStore::loadState(const std::set<RecordKey>& keys)
{
    State state;
    CppSQLite3Buffer sql;
    for (const RecordKey& key : keys) {
        sql.Format("select * from sync_object where kind=%Q and guid=%Q;", kindText(key.first).c_str(),
                   key.second.c_str());
        CppSQLite3Query query = db.ExecuteQuery(sql);
        addToState(state, query);
    }
    return state;
}

void SyncStore::addToState(State& state, CppSQLite3Query& query)
{
    for (; !query.Eof(); query.NextRow()) {
        auto record = recordFromText(query.fieldText("record"));
        if (!record)
            continue;
        const RecordKey key = keyOf(*record);
        if (query.FieldValue("row"))
            state.rows[key] = query.fieldText("row");
        if (query.fieldInt("pending"))
            state.pending.insert(key);
        state.records.emplace(key, std::move(*record));
    }
}

void SyncStore::saveState(const State& state, const std::set<RecordKey>& keys)
{
    CppSQLite3Buffer sql;
    for (const RecordKey& key : keys) {
        auto record = state.records.find(key);
        if (record == state.records.end())
            continue;
        auto row = state.rows.find(key);
        sql.Format("replace into sync_object (kind, guid, record, row, pending) values (%Q, %Q, %Q, %Q, %d);",
                   kindText(key.first).c_str(), key.second.c_str(), recordText(record->second).c_str(),
                   row == state.rows.end() ? nullptr : row->second.c_str(), state.pending.count(key) ? 1 : 0);
        db.ExecuteStatement(sql);
    }
}

void SyncStore::clearPending(const std::set<RecordKey>& keys)
{
    CppSQLite3Buffer sql;
    for (const RecordKey& key : keys) {
        sql.Format("update sync_object set pending=0 where kind=%Q and guid=%Q;", kindText(key.first).c_str(),
                   key.second.c_str());
        db.ExecuteStatement(sql);
    }
}

long long SyncStore::peerProgress(const std::string& device)
{
    CppSQLite3Buffer sql;
    sql.Format("select upto from sync_peer where device=%Q;", device.c_str());
    CppSQLite3Query query = db.ExecuteQuery(sql);
    return query.Eof() ? 0 : std::atoll(query.fieldText("upto").c_str());
}

void SyncStore::setPeerProgress(const std::string& device, long long upTo, const std::string& machineName)
{
    CppSQLite3Buffer sql;
    sql.Format("replace into sync_peer (device, upto, name) values (%Q, %lld, %Q);", device.c_str(), upTo,
               machineName.c_str());
    db.ExecuteStatement(sql);
}

std::string SyncStore::peerName(const std::string& device)
{
    CppSQLite3Buffer sql;
    sql.Format("select name from sync_peer where device=%Q;", device.c_str());
    CppSQLite3Query query = db.ExecuteQuery(sql);
    return query.Eof() ? std::string() : query.fieldText("name");
}

void SyncStore::forgetPeers()
{
    db.ExecuteStatement("delete from sync_peer;");
}

void SyncStore::begin()
{
    db.ExecuteStatement("begin immediate transaction;");
}

void SyncStore::commit()
{
    db.ExecuteStatement("commit transaction;");
}

void SyncStore::rollback()
{
    if (db.InTransaction())
        db.ExecuteStatement("rollback transaction;");
}
