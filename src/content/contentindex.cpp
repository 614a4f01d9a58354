// SPDX-License-Identifier: GPL-3.0-or-later
#include "content/contentindex.h"

#include "base/files.h"
#include "search/searchindex.h"
#include "storage/statement.h"
#include "storage/textfolding.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <unordered_set>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace content {

namespace {

// Bumped whenever the tables change shape: an index of another shape is made again.
constexpr const char* indexFormat = "1";

constexpr const char* schemaStatements[] = {
    "create table if not exists meta(key text primary key, value);",
    "create table if not exists docs(id integer primary key, source text not null unique, file text not null, "
    "web int not null default 0, size int not null default -1, mtime int not null default -1, hash text not null "
    "default '', state int not null default 0, reason text not null default '', type text not null default '', "
    "pages int not null default 0, gone int not null default 0);",
    "create table if not exists items(guid text primary key, doc int not null) without rowid;",
    "create index if not exists items_by_doc on items(doc);",
    "create virtual table if not exists body using fts5(text, tokenize='folded unicode61 remove_diacritics 2');",
};

constexpr const char* documentColumns = "id, source, file, web, size, mtime, hash, state, reason, type, pages, gone";

Document documentFrom(const Statement& row)
{
    Document document;
    document.id = row.integer(0);
    document.source = row.text(1);
    document.file = row.text(2);
    document.web = row.integer(3) != 0;
    document.size = row.integer(4);
    document.mtime = row.integer(5);
    document.hash = row.text(6);
    document.state = static_cast<State>(row.integer(7));
    document.reason = row.text(8);
    document.contentType = row.text(9);
    document.pages = int(row.integer(10));
    document.gone = row.integer(11) != 0;
    return document;
}

// Made by us alone, for us alone: a link or another user's file in its place is moved aside, never written.
void createPrivateFile(const std::string& path)
{
    if (const std::string refusal = claimCacheFile(path); !refusal.empty())
        throw ContentIndexError("Cannot open the content index: " + refusal);
}

// FTS5's own complaint ("fts5: syntax error near "AND"") in the words of someone searching.
std::string queryMessage(const std::string& query, const std::string& detail)
{
    std::string reason = detail;
    if (const std::size_t code = reason.find("]: "); code != std::string::npos)
        reason = reason.substr(code + 3);
    if (reason.rfind("fts5: ", 0) == 0)
        reason = reason.substr(6);
    if (reason.rfind("no such column: ", 0) == 0)
        reason = "\"" + reason.substr(16) + ":\" names no field; put words with a colon in double quotes";
    else if (reason == "syntax error near \"\"")
        reason = "it ends too early (after an AND, OR, NOT or an open bracket)";
    else if (reason.rfind("syntax error near ", 0) == 0)
        reason = "a sign or an AND, OR, NOT is out of place near " + reason.substr(18)
                 + "; put words with signs in double quotes";
    else if (reason == "unterminated string")
        reason = "a double quote is not closed";
    return "The search \"" + query + "\" cannot be read: " + reason + ".";
}

// A passage shown on one line: the text's line breaks become blanks.
std::string oneLine(std::string text)
{
    std::replace(text.begin(), text.end(), '\n', ' ');
    return text;
}

}  // namespace

ContentIndex::ContentIndex(std::string path) : indexPath(std::move(path))
{
    open();
}

std::string ContentIndex::pathFor(const std::string& cataloguePath, const std::string& cacheFolder)
{
    // The quick find index's name for the catalogue, with our own prefix.
    std::filesystem::path file = search::SearchIndex::indexPathFor(cataloguePath, cacheFolder);
    std::string name = file.filename().string();
    name.replace(0, name.find('-'), "content");
    return (file.parent_path() / name).string();
}

void ContentIndex::open()
{
    for (int attempt = 0;; ++attempt) {
        createPrivateFile(indexPath);
        try {
            db.Open(indexPath.c_str(), OpenOptions{.create = false, .noFollow = true});
            db.SetBusyTimeout(10000);
            if (!registerTextFolding(db))
                throw ContentIndexError("Cannot open the content index: this SQLite has no FTS5");
            ensureSchema();
            return;
        } catch (const CppSQLite3Exception& failure) {
            db.Close();
            // A cache: a damaged file is made again, anything else is reported.
            if (!failure.isDamagedFile() || attempt > 0)
                throw ContentIndexError("Cannot open the content index " + indexPath + ": " + failure.ErrorMessage());
            std::error_code ignored;
            for (const char* suffix : {"", "-wal", "-shm", "-journal"})
                std::filesystem::remove(indexPath + suffix, ignored);
        }
    }
}

void ContentIndex::ensureSchema()
{
    // A cache: commits lost to a power cut are only read again.
    db.ExecuteStatement("pragma journal_mode=wal;");
    db.ExecuteStatement("pragma synchronous=normal;");
    auto current = [&] {
        if (!db.TableExists("meta"))
            return false;
        Statement format(db, "select value from meta where key='format';");
        return format.step() && format.text(0) == indexFormat;
    };
    if (current())
        return;
    // Two programs opening a new file at once both get here; the write lock orders them.
    db.ExecuteStatement("begin immediate;");
    try {
        if (!current()) {
            for (const char* drop : {"drop table if exists body;", "drop table if exists items;",
                                     "drop table if exists docs;", "drop table if exists meta;"})
                db.ExecuteStatement(drop);
            for (const char* create : schemaStatements)
                db.ExecuteStatement(create);
            Statement(db, "insert into meta values('format', ?1);").bind(1, indexFormat).execute();
        }
        db.ExecuteStatement("commit;");
    } catch (...) {
        db.ExecuteStatement("rollback;");
        throw;
    }
}

std::vector<ContentHit> ContentIndex::search(const std::string& query, std::size_t limit, const SnippetMarks& marks)
{
    std::vector<ContentHit> hits;
    std::unordered_set<long long> seen;
    try {
        Statement match(db, "select rowid, snippet(body, 0, ?2, ?3, ?4, ?5), bm25(body) from body "
                            "where body match ?1 order by rank;");
        match.bind(1, query).bind(2, marks.before).bind(3, marks.after).bind(4, marks.ellipsis).bind(5, marks.words);
        Statement items(db, "select guid from items where doc = ?1 order by guid;");
        while (hits.size() < limit && match.step()) {
            const long long row = match.integer(0);
            const long long document = row >> 20;
            if (!seen.insert(document).second)
                continue;
            items.bind(1, document);
            while (items.step() && hits.size() < limit)
                hits.push_back({items.text(0), int(row & 0xFFFFF), oneLine(match.text(1)), match.real(2)});
            items.reset();
        }
    } catch (const CppSQLite3Exception& failure) {
        if (failure.isQueryError())
            throw ContentQueryError(queryMessage(query, failure.ErrorMessage()));
        throw ContentIndexError(std::string("The content index cannot be searched: ") + failure.ErrorMessage());
    }
    return hits;
}

std::optional<Document> ContentIndex::documentOf(const std::string& guid)
{
    Statement select(db, (std::string("select ") + documentColumns
                          + " from docs where id = (select doc from items where guid = ?1);")
                             .c_str());
    if (!select.bind(1, guid).step())
        return std::nullopt;
    return documentFrom(select);
}

std::vector<Document> ContentIndex::documents()
{
    std::vector<Document> all;
    Statement select(db, (std::string("select ") + documentColumns + " from docs order by id;").c_str());
    while (select.step())
        all.push_back(documentFrom(select));
    return all;
}

std::unordered_map<std::string, std::string> ContentIndex::itemSources()
{
    std::unordered_map<std::string, std::string> sources;
    Statement select(db, "select items.guid, docs.source from items join docs on docs.id = items.doc;");
    while (select.step())
        sources.emplace(select.text(0), select.text(1));
    return sources;
}

void ContentIndex::mapItem(const std::string& guid, const std::string& source, const std::string& file, bool web)
{
    Statement(db, "insert or ignore into docs(source, file, web) values(?1, ?2, ?3);")
        .bind(1, source)
        .bind(2, file)
        .bind(3, web ? 1 : 0)
        .execute();
    Statement(db, "replace into items(guid, doc) select ?1, id from docs where source = ?2;")
        .bind(1, guid)
        .bind(2, source)
        .execute();
}

void ContentIndex::unmapItem(const std::string& guid)
{
    Statement(db, "delete from items where guid = ?1;").bind(1, guid).execute();
}

int ContentIndex::removeUnreferencedDocuments()
{
    std::vector<long long> unreferenced;
    Statement select(db, "select id from docs where not exists (select 1 from items where doc = docs.id);");
    while (select.step())
        unreferenced.push_back(select.integer(0));
    Statement remove(db, "delete from docs where id = ?1;");
    for (long long document : unreferenced) {
        dropText(document);
        remove.bind(1, document).execute();
    }
    return int(unreferenced.size());
}

void ContentIndex::dropText(long long document)
{
    Statement(db, "delete from body where rowid between ?1 and ?2;")
        .bind(1, textRow(document, 0))
        .bind(2, textRow(document, 0xFFFFF))
        .execute();
}

void ContentIndex::storeExtraction(long long document, const FileStamp& stamp, const Extraction& extraction)
{
    if (extraction.outcome == Extraction::Outcome::Unchanged) {
        Statement(db, "update docs set size = ?2, mtime = ?3, gone = 0 where id = ?1;")
            .bind(1, document)
            .bind(2, stamp.size)
            .bind(3, stamp.mtime)
            .execute();
        return;
    }
    dropText(document);
    Statement insert(db, "insert into body(rowid, text) values(?1, ?2);");
    int pages = 0;
    for (const auto& [page, text] : extraction.pages) {
        insert.bind(1, textRow(document, page)).bind(2, text).execute();
        pages = std::max(pages, page);
    }
    const State state = extraction.outcome == Extraction::Outcome::Text     ? State::Text
                        : extraction.outcome == Extraction::Outcome::NoText ? State::NoText
                                                                            : State::Failed;
    Statement(db, "update docs set size = ?2, mtime = ?3, hash = ?4, state = ?5, reason = ?6, type = ?7, "
                  "pages = ?8, gone = 0 where id = ?1;")
        .bind(1, document)
        .bind(2, stamp.size)
        .bind(3, stamp.mtime)
        .bind(4, state == State::Text ? extraction.hash : std::string())
        .bind(5, int(state))
        .bind(6, extraction.reason)
        .bind(7, extraction.contentType)
        .bind(8, pages)
        .execute();
}

void ContentIndex::storeState(long long document, const FileStamp& stamp, State state, const std::string& reason,
                              bool keepText)
{
    if (keepText) {
        Statement(db, "update docs set reason = ?2 where id = ?1;").bind(1, document).bind(2, reason).execute();
        return;
    }
    dropText(document);
    Statement(db, "update docs set size = ?2, mtime = ?3, hash = '', state = ?4, reason = ?5, pages = 0 "
                  "where id = ?1;")
        .bind(1, document)
        .bind(2, stamp.size)
        .bind(3, stamp.mtime)
        .bind(4, int(state))
        .bind(5, reason)
        .execute();
}

void ContentIndex::markGone(long long document, bool gone)
{
    Statement(db, "update docs set gone = ?2 where id = ?1;").bind(1, document).bind(2, gone ? 1 : 0).execute();
}

void ContentIndex::forgetStamps()
{
    db.ExecuteStatement("update docs set size = -1, mtime = -1;");
}

std::string ContentIndex::meta(const std::string& key)
{
    Statement select(db, "select value from meta where key = ?1;");
    return select.bind(1, key).step() ? select.text(0) : std::string();
}

void ContentIndex::setMeta(const std::string& key, const std::string& value)
{
    Statement(db, "replace into meta(key, value) values(?1, ?2);").bind(1, key).bind(2, value).execute();
}

}  // namespace content
