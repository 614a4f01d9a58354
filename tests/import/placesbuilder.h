// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "storage/cppsqlite3.h"

#include <string>

inline constexpr const char* placesSchema =
    "create table moz_places (id integer primary key, url longvarchar, title longvarchar, rev_host longvarchar,"
    " visit_count integer default 0, hidden integer default 0 not null, typed integer default 0 not null,"
    " frecency integer default -1 not null, last_visit_date integer, guid text,"
    " foreign_count integer default 0 not null, url_hash integer default 0 not null);"
    "create table moz_bookmarks (id integer primary key, type integer, fk integer default null, parent integer,"
    " position integer, title longvarchar, keyword_id integer, folder_type text, dateAdded integer,"
    " lastModified integer, guid text, syncStatus integer not null default 0,"
    " syncChangeCounter integer not null default 1);"
    "insert into moz_bookmarks (id, type, parent, position, title, guid) values"
    " (1, 2, 0, 0, '', 'root________'), (2, 2, 1, 0, 'menu', 'menu________'),"
    " (3, 2, 1, 1, 'toolbar', 'toolbar_____'), (4, 2, 1, 2, 'tags', 'tags________'),"
    " (5, 2, 1, 3, 'unfiled', 'unfiled_____'), (6, 2, 1, 4, 'mobile', 'mobile______');";

inline constexpr int menuRoot = 2, toolbarRoot = 3, tagsRoot = 4, unfiledRoot = 5, mobileRoot = 6;

// A places.sqlite made the way Firefox lays it out, with the four roots and the tags root.
class Places {
public:
    enum class Open { NewFile, NewFileWithLog, Existing };

    explicit Places(const std::string& path, Open how = Open::NewFile)
    {
        db.Open(path.c_str());
        db.ExecuteStatement("pragma synchronous=off;");
        if (how == Open::NewFileWithLog)
            db.ExecuteStatement("pragma journal_mode=wal;");
        if (how != Open::Existing)
            db.ExecuteStatement(placesSchema);
    }

    int folder(int parent, int position, const std::string& title) { return add(2, "null", parent, position, title); }

    int bookmark(int parent, int position, const std::string& title, const std::string& url)
    {
        CppSQLite3Buffer sql;
        db.ExecuteStatement(sql.Format("insert into moz_places (url, title) values (%Q, 'page title');", url.c_str()));
        return add(1, std::to_string(db.ExecuteScalar("select max(id) from moz_places")), parent, position, title);
    }

    int separator(int parent, int position) { return add(3, "null", parent, position, ""); }

    CppSQLite3DB db;

private:
    int add(int type, const std::string& fk, int parent, int position, const std::string& title)
    {
        CppSQLite3Buffer sql;
        db.ExecuteStatement(sql.Format("insert into moz_bookmarks (type, fk, parent, position, title, guid) "
                                       "values (%d, %s, %d, %d, %Q, hex(randomblob(6)));",
                                       type, fk.c_str(), parent, position, title.c_str()));
        return db.ExecuteScalar("select max(id) from moz_bookmarks");
    }
};
