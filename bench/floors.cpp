// SPDX-License-Identifier: GPL-3.0-or-later
#include "floors.h"

#include "benchsupport.h"

#include <sqlite3.h>

#include <functional>
#include <memory>
#include <stdexcept>

namespace fs = std::filesystem;

namespace {

constexpr const char* insertCategory =
    "insert into category_table (guid,name,level,parent_guid,system,iconIndex) values(?,?,?,?,0,0);";
constexpr const char* insertItem =
    "insert into link_table (guid,name,target,category,star,comment,type) values(?,?,?,?,0,?,?);";
constexpr const char* deleteCategory = "delete from 'category_table' where guid=?;";
constexpr const char* deleteItemsOfCategory = "delete from 'link_table' where category=?;";
constexpr const char* selectItemsOfCategory = "select * from link_table where category=? order by itemorder;";
constexpr const char* selectChildren = "select guid from category_table where parent_guid=? order by itemorder";

struct Finalizer {
    void operator()(sqlite3_stmt* statement) const { sqlite3_finalize(statement); }
};
using Statement = std::unique_ptr<sqlite3_stmt, Finalizer>;

void bindText(sqlite3_stmt* statement, int column, const std::string& text)
{
    sqlite3_bind_text(statement, column, text.c_str(), static_cast<int>(text.size()), SQLITE_STATIC);
}

std::string columnText(sqlite3_stmt* statement, int column)
{
    const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(statement, column));
    return text ? std::string(text, static_cast<std::size_t>(sqlite3_column_bytes(statement, column))) : std::string();
}

}  // namespace

BareCatalogue::BareCatalogue(const fs::path& path)
{
    if (sqlite3_open(path.c_str(), &db) != SQLITE_OK)
        fail("open " + path.string());
    // As the program's own connections do: a reader elsewhere makes a writer wait, not fail.
    sqlite3_busy_timeout(db, 10000);
}

BareCatalogue::~BareCatalogue()
{
    sqlite3_close(db);
}

void BareCatalogue::execute(const char* sql)
{
    if (sqlite3_exec(db, sql, nullptr, nullptr, nullptr) != SQLITE_OK)
        fail(sql);
}

void BareCatalogue::fail(const std::string& what)
{
    throw std::runtime_error("floor: " + what + ": " + sqlite3_errmsg(db));
}

double BareCatalogue::insertRows(const std::vector<CategoryRow>& categories, const std::vector<ItemRow>& items)
{
    const auto prepare = [this](const char* sql) {
        sqlite3_stmt* statement = nullptr;
        if (sqlite3_prepare_v2(db, sql, -1, &statement, nullptr) != SQLITE_OK)
            fail(sql);
        return Statement(statement);
    };
    const auto step = [this](sqlite3_stmt* statement) {
        if (sqlite3_step(statement) != SQLITE_DONE)
            fail("insert");
        sqlite3_reset(statement);
    };
    const Clock::time_point start = Clock::now();
    execute("begin transaction;");
    Statement category = prepare(insertCategory);
    for (const CategoryRow& row : categories) {
        bindText(category.get(), 1, row.guid);
        bindText(category.get(), 2, row.name);
        sqlite3_bind_int(category.get(), 3, row.level);
        bindText(category.get(), 4, row.parentGuid);
        step(category.get());
    }
    Statement item = prepare(insertItem);
    for (const ItemRow& row : items) {
        bindText(item.get(), 1, row.guid);
        bindText(item.get(), 2, row.name);
        bindText(item.get(), 3, row.target);
        bindText(item.get(), 4, row.category);
        bindText(item.get(), 5, row.comment);
        sqlite3_bind_int(item.get(), 6, row.type);
        step(item.get());
    }
    execute("commit transaction;");
    return millisecondsSince(start);
}

std::vector<CategoryRow> BareCatalogue::categories()
{
    constexpr const char* sql = "select guid,name,level,parent_guid from category_table order by itemorder";
    sqlite3_stmt* raw = nullptr;
    if (sqlite3_prepare_v2(db, sql, -1, &raw, nullptr) != SQLITE_OK)
        fail(sql);
    Statement query(raw);
    std::vector<CategoryRow> rows;
    while (sqlite3_step(query.get()) == SQLITE_ROW)
        rows.push_back({columnText(query.get(), 0), columnText(query.get(), 1), sqlite3_column_int(query.get(), 2),
                        columnText(query.get(), 3)});
    return rows;
}

std::vector<std::string> BareCatalogue::subtreeDepthFirst(const std::string& topGuid)
{
    sqlite3_stmt* raw = nullptr;
    if (sqlite3_prepare_v2(db, selectChildren, -1, &raw, nullptr) != SQLITE_OK)
        fail(selectChildren);
    Statement children(raw);
    std::vector<std::string> order;
    const std::function<void(const std::string&)> visit = [&](const std::string& guid) {
        std::vector<std::string> below;
        bindText(children.get(), 1, guid);
        while (sqlite3_step(children.get()) == SQLITE_ROW)
            below.push_back(columnText(children.get(), 0));
        sqlite3_reset(children.get());
        for (const std::string& child : below)
            visit(child);
        order.push_back(guid);
    };
    visit(topGuid);
    return order;
}

double BareCatalogue::deleteSubtree(const std::string& topGuid)
{
    const std::vector<std::string> order = subtreeDepthFirst(topGuid);
    sqlite3_stmt* rawCategory = nullptr;
    sqlite3_stmt* rawItems = nullptr;
    if (sqlite3_prepare_v2(db, deleteCategory, -1, &rawCategory, nullptr) != SQLITE_OK)
        fail(deleteCategory);
    Statement category(rawCategory);
    if (sqlite3_prepare_v2(db, deleteItemsOfCategory, -1, &rawItems, nullptr) != SQLITE_OK)
        fail(deleteItemsOfCategory);
    Statement items(rawItems);

    const Clock::time_point start = Clock::now();
    execute("begin transaction;");
    for (const std::string& guid : order) {
        for (sqlite3_stmt* statement : {category.get(), items.get()}) {
            bindText(statement, 1, guid);
            if (sqlite3_step(statement) != SQLITE_DONE)
                fail("delete");
            sqlite3_reset(statement);
        }
    }
    execute("commit transaction;");
    return millisecondsSince(start);
}

double BareCatalogue::moveSubtree(const std::string& topGuid, const std::string& newParentGuid, int levelChange)
{
    constexpr const char* sql =
        "update category_table set level=level+?, parent_guid=coalesce(?, parent_guid) where guid=?;";
    const std::vector<std::string> rows = subtreeDepthFirst(topGuid);
    sqlite3_stmt* raw = nullptr;
    if (sqlite3_prepare_v2(db, sql, -1, &raw, nullptr) != SQLITE_OK)
        fail(sql);
    Statement update(raw);
    const Clock::time_point start = Clock::now();
    execute("begin transaction;");
    for (const std::string& guid : rows) {
        sqlite3_bind_int(update.get(), 1, levelChange);
        if (guid == topGuid)
            bindText(update.get(), 2, newParentGuid);
        else
            sqlite3_bind_null(update.get(), 2);
        bindText(update.get(), 3, guid);
        if (sqlite3_step(update.get()) != SQLITE_DONE)
            fail("update");
        sqlite3_reset(update.get());
    }
    execute("commit transaction;");
    return millisecondsSince(start);
}

std::vector<ItemRow> BareCatalogue::items(const std::string& categoryGuid)
{
    constexpr const char* sql =
        "select guid,name,target,category,comment,type from link_table where category=? order by itemorder";
    sqlite3_stmt* raw = nullptr;
    if (sqlite3_prepare_v2(db, sql, -1, &raw, nullptr) != SQLITE_OK)
        fail(sql);
    Statement query(raw);
    bindText(query.get(), 1, categoryGuid);
    std::vector<ItemRow> rows;
    while (sqlite3_step(query.get()) == SQLITE_ROW)
        rows.push_back({columnText(query.get(), 0), columnText(query.get(), 1), columnText(query.get(), 2),
                        columnText(query.get(), 3), columnText(query.get(), 4), sqlite3_column_int(query.get(), 5)});
    return rows;
}

double BareCatalogue::readItems(const std::string& categoryGuid, int& rows)
{
    const Clock::time_point start = Clock::now();
    sqlite3_stmt* raw = nullptr;
    if (sqlite3_prepare_v2(db, selectItemsOfCategory, -1, &raw, nullptr) != SQLITE_OK)
        fail(selectItemsOfCategory);
    Statement query(raw);
    bindText(query.get(), 1, categoryGuid);
    rows = 0;
    std::size_t bytes = 0;
    const int columns = sqlite3_column_count(query.get());
    while (sqlite3_step(query.get()) == SQLITE_ROW) {
        for (int column = 0; column < columns; ++column) {
            sqlite3_column_text(query.get(), column);
            bytes += static_cast<std::size_t>(sqlite3_column_bytes(query.get(), column));
        }
        ++rows;
    }
    const double elapsed = millisecondsSince(start);
    if (bytes == 0 && rows > 0)
        fail("rows without text");
    return elapsed;
}

double BareCatalogue::search(const std::string& sql, std::vector<SearchHit>& hits)
{
    const Clock::time_point start = Clock::now();
    sqlite3_stmt* raw = nullptr;
    if (sqlite3_prepare_v2(db, sql.c_str(), -1, &raw, nullptr) != SQLITE_OK)
        fail(sql);
    Statement query(raw);
    // Columns by name, as the program reads them: category, guid, name.
    int category = -1, guid = -1, name = -1;
    for (int column = 0; column < sqlite3_column_count(query.get()); ++column) {
        const std::string columnName = sqlite3_column_name(query.get(), column);
        if (columnName == "category")
            category = column;
        else if (columnName == "guid")
            guid = column;
        else if (columnName == "name")
            name = column;
    }
    hits.clear();
    while (sqlite3_step(query.get()) == SQLITE_ROW)
        hits.push_back(
            {columnText(query.get(), category), columnText(query.get(), guid), columnText(query.get(), name)});
    return millisecondsSince(start);
}

long long BareCatalogue::scalar(const std::string& sql)
{
    sqlite3_stmt* raw = nullptr;
    if (sqlite3_prepare_v2(db, sql.c_str(), -1, &raw, nullptr) != SQLITE_OK)
        fail(sql);
    Statement query(raw);
    return sqlite3_step(query.get()) == SQLITE_ROW ? sqlite3_column_int64(query.get(), 0) : -1;
}

std::string BareCatalogue::text(const std::string& sql)
{
    sqlite3_stmt* raw = nullptr;
    if (sqlite3_prepare_v2(db, sql.c_str(), -1, &raw, nullptr) != SQLITE_OK)
        fail(sql);
    Statement query(raw);
    return sqlite3_step(query.get()) == SQLITE_ROW ? columnText(query.get(), 0) : std::string();
}

std::string searchStatement(const std::string& keyword)
{
    char* sql = sqlite3_mprintf(
        "select * from 'link_table' where 'link_table'.name LIKE '%%%q%%' OR 'link_table'.target LIKE '%%%q%%'"
        " OR 'link_table'.comment LIKE '%%%q%%';",
        keyword.c_str(), keyword.c_str(), keyword.c_str());
    std::string text = sql;
    sqlite3_free(sql);
    return text;
}

double copyAndSync(const fs::path& from, const fs::path& to)
{
    const Clock::time_point start = Clock::now();
    copySynced(from, to);
    return millisecondsSince(start);
}
