// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "sync/syncengine.h"

#include "storage/cdbmanager.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

// One device of a sync test: a catalogue file of its own, changed the way any writer of the file
// would, and synced through a place.
class SyncDevice {
public:
    SyncDevice(const std::string& dbPath, const std::string& machineName) : path(dbPath)
    {
        options.machineName = machineName;
        CDBManager db;
        db.Open(path);
        db.EnsureDefaultCategories();
    }

    void execute(const std::string& sql)
    {
        CppSQLite3DB db;
        db.Open(path.c_str());
        db.ExecuteStatement(sql.c_str());
    }
    void addItem(const std::string& guid, const std::string& name, const std::string& category,
                 const std::string& target = "https://example.org")
    {
        CppSQLite3Buffer sql;
        sql.Format("insert into link_table (guid,name,target,category,star,comment,type) values(%Q,%Q,%Q,%Q,0,'',1);",
                   guid.c_str(), name.c_str(), target.c_str(), category.c_str());
        execute(static_cast<const char*>(sql));
    }
    // Items "g0".."g<count-1>" in one write.
    void addItems(int count, const std::string& category)
    {
        CppSQLite3Buffer sql;
        sql.Format("with recursive n(i) as (select 0 union all select i+1 from n where i+1<%d) "
                   "insert into link_table (guid,name,target,category,star,comment,type) "
                   "select 'g'||i, 'item '||i, 'https://example.org/'||i, %Q, 0, '', 1 from n;",
                   count, category.c_str());
        execute(static_cast<const char*>(sql));
    }
    void addCategory(const std::string& guid, const std::string& name, const std::string& parent = "")
    {
        CppSQLite3Buffer sql;
        sql.Format("insert into category_table (guid,name,level,parent_guid,system,iconIndex) values(%Q,%Q,%d,%Q,0,0);",
                   guid.c_str(), name.c_str(), parent.empty() ? 0 : 1, parent.c_str());
        execute(static_cast<const char*>(sql));
    }
    // Items and a category whose parent is nowhere, which the first merge gives a place: a change of the
    // catalogue, so that merge is worked out again after its backup (counted in `backups`).
    void addItemsAndALostCategory(int count, const std::string& category)
    {
        options.backup = [this](const std::string&) {
            ++backups;
            return std::string("copy");
        };
        addItems(count, category);
        addCategory("lost", "Lost", "nowhere");
    }
    // "name@category" of every item, in the catalogue's order.
    std::vector<std::string> items()
    {
        return column("select name || '@' || category from link_table order by itemorder;");
    }
    std::vector<std::string> column(const std::string& sql)
    {
        CppSQLite3DB db;
        db.Open(path.c_str());
        std::vector<std::string> values;
        for (CppSQLite3Query query = db.ExecuteQuery(sql.c_str()); !query.Eof(); query.NextRow())
            values.push_back(query.FieldValue(0) ? query.FieldValue(0) : "");
        return values;
    }
    // Its id on the place ("" before its first sync).
    std::string device()
    {
        const auto id = column("select value from sync_meta where key='device';");
        return id.empty() ? std::string() : id.front();
    }
    // Its next change is stamped as made this much later than its clock says (within what counts as
    // a right clock): "later" without waiting.
    void later(long long microseconds)
    {
        execute("update sync_clock set shift = shift + " + std::to_string(microseconds) + ";");
    }
    SyncReport sync(SyncTransport& transport)
    {
        SyncReport report = synchronize(path, transport, options);
        if (!report.ok && !report.needsConfirmation)
            ADD_FAILURE() << options.machineName << ": " << report.error;
        return report;
    }

    std::string path;
    SyncOptions options;
    int backups = 0;
};
