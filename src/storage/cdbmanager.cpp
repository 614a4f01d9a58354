// SPDX-License-Identifier: GPL-3.0-or-later
#include "storage/cdbmanager.h"

#include "model/treeassembly.h"
#include "storage/builtincategories.h"
#include "storage/transaction.h"

#include <array>
#include <memory>
#include <string>
#include <unordered_map>
#include <unordered_set>
#include <utility>

namespace {

// Text values go in through %q, which doubles every apostrophe, so each value stays one
// literal and is stored exactly as held.
constexpr const char* createCategoryTable =
    "create table %s (guid text,name text,level int,parent_guid text,system int,iconIndex int,"
    "itemorder integer primary key AUTOINCREMENT);";
constexpr const char* createLinkTable =
    "create table %s (guid text,name text,target text,category text,star int,comment text,type int,"
    "itemorder integer primary key AUTOINCREMENT);";
constexpr const char* createImageListTable = "create table %s (id int primary key,data blob);";

// Lookups by GUID, by category and by parent scan whole tables without these.
constexpr std::array<const char*, 4> createIndexStatements = {
    "create index if not exists link_table_guid on link_table(guid);",
    "create index if not exists link_table_category on link_table(category);",
    "create index if not exists category_table_guid on category_table(guid);",
    "create index if not exists category_table_parent_guid on category_table(parent_guid);",
};

constexpr const char* selectAllCategories = "select * from %s  order by itemorder";
constexpr const char* selectChildCategories = "select * from %s where parent_guid='%q' order by itemorder";
constexpr const char* selectItemsOfCategory = "select * from %s where category='%q' order by itemorder;";
constexpr const char* selectRowByGuid = "select * from %s where guid='%q'";
constexpr const char* insertCategory =
    "insert into %s (guid,name,level,parent_guid,system,iconIndex) values('%q','%q',%d,'%q',%d,%d);";
constexpr const char* updateCategory =
    "update %s set name='%q',level=%d,parent_guid='%q',system=%d,iconIndex=%d where guid='%q';";
constexpr const char* updateIndexedCategory =
    "update %s set name='%q',level=%d,parent_guid='%q',system=%d, iconIndex=%d where guid='%q';";
constexpr const char* insertItem =
    "insert into %s (guid,name,target,category,star,comment,type) values('%q','%q','%q','%q',%d,'%q',%d);";
constexpr const char* updateItem =
    "update %s set name='%q',target='%q',category='%q',star=%d,comment='%q',type=%d where guid='%q';";
constexpr const char* deleteByGuid = "delete from '%s' where guid='%q';";
constexpr const char* deleteItemsOfCategory = "delete from '%s' where category='%q';";
// The category's rows with the columns an item write sets, and how many rows carry each one's GUID.
constexpr const char* selectRowsWithCopies =
    "select guid,name,target,category,star,comment,type,"
    "(select count(*) from %s copy where copy.guid=row.guid) from %s row where row.category='%q';";

constexpr const char* nameClause = "'%s'.name LIKE '%%%q%%'";
constexpr const char* targetClause = "'%s'.target LIKE '%%%q%%'";
constexpr const char* commentClause = "'%s'.comment LIKE '%%%q%%'";
constexpr const char* searchStatement = "select * from '%s' where %s;";

constexpr const char* selectIconList = "select * from %s;";
constexpr const char* replaceIconList = "replace into %s (id, data) values(0,%Q);";

std::unique_ptr<CCategory> categoryFromRow(const CppSQLite3Query& row)
{
    auto category = std::make_unique<CCategory>();
    category->SetGuid(row.fieldText("guid"));
    category->SetName(row.fieldText("name"));
    category->SetLevel(row.fieldInt("level"));
    category->SetParentGuid(row.fieldText("parent_guid"));
    category->SetSystem(row.fieldInt("system") == 1);
    category->SetIconIndex(row.fieldInt("iconIndex"));
    return category;
}

std::unique_ptr<CLinkItem> itemFromRow(const CppSQLite3Query& row)
{
    auto item = std::make_unique<CLinkItem>();
    item->SetGuid(row.fieldText("guid"));
    item->SetName(row.fieldText("name"));
    item->SetTarget(row.fieldText("target"));
    item->SetParentGuid(row.fieldText("category"));
    item->SetStar(row.fieldInt("star"));
    item->SetComment(row.fieldText("comment"));
    item->SetType(row.fieldInt("type"));
    return item;
}

LoadedCategories readCategories(CppSQLite3Query query)
{
    LoadedCategories loaded;
    while (!query.Eof()) {
        loaded.push_back(categoryFromRow(query));
        query.NextRow();
    }
    return loaded;
}

bool rowExists(CppSQLite3DB& db, const char* table, const std::string& guid)
{
    CppSQLite3Buffer sql;
    sql.Format(selectRowByGuid, table, guid.c_str());
    return !db.ExecuteQuery(sql).Eof();
}

void formatCategoryWrite(CppSQLite3Buffer& sql, const char* updateText, bool exists, const CCategory& category)
{
    const char* guid = category.GetGuid().c_str();
    const char* name = category.GetName().c_str();
    const char* parent = category.GetParentGuid().c_str();
    int system = category.IsSystem() ? 1 : 0;
    if (exists)
        sql.Format(updateText, category_table, name, category.GetLevel(), parent, system, category.GetIconIndex(),
                   guid);
    else
        sql.Format(insertCategory, category_table, guid, name, category.GetLevel(), parent, system,
                   category.GetIconIndex());
}

void formatItemWrite(CppSQLite3Buffer& sql, bool exists, const CLinkItem& item)
{
    const char* guid = item.GetGuid().c_str();
    const char* name = item.GetName().c_str();
    const char* target = item.GetTarget().c_str();
    const char* category = item.GetParentGuid().c_str();
    const char* comment = item.GetComment().c_str();
    if (exists)
        sql.Format(updateItem, link_table, name, target, category, item.GetStar(), comment, item.GetType(), guid);
    else
        sql.Format(insertItem, link_table, guid, name, target, category, item.GetStar(), comment, item.GetType());
}

void writeItemRow(CppSQLite3DB& db, const CLinkItem& item, bool exists)
{
    CppSQLite3Buffer sql;
    formatItemWrite(sql, exists, item);
    db.ExecuteStatement(sql);
}

void writeItemRow(CppSQLite3DB& db, const CLinkItem& item)
{
    writeItemRow(db, item, rowExists(db, link_table, item.GetGuid()));
}

// What the category's stored rows hold compared with its items in memory: an item whose one row
// already holds its values needs no write, since an update would change nothing.
class StoredItemRows {
public:
    enum class State { Unread, Same, Differs };

    StoredItemRows(CppSQLite3DB& db, const CCategory& category)
    {
        for (int i = 0; i < category.GetItemCount(); ++i)
            firstWithGuid.try_emplace(category.GetItem(i)->GetGuid(), category.GetItem(i));
        CppSQLite3Buffer sql;
        sql.Format(selectRowsWithCopies, link_table, link_table, category.GetGuid().c_str());
        for (CppSQLite3Query row = db.ExecuteQuery(sql); !row.Eof(); row.NextRow())
            compare(row);
    }

    // Unread: none of the category's rows has the item's GUID.
    State stateOf(const CLinkItem& item) const
    {
        auto found = states.find(item.GetGuid());
        return found == states.end() ? State::Unread : found->second;
    }

private:
    enum Column { Guid, Name, Target, Category, Star, Comment, Type, Copies };

    void compare(const CppSQLite3Query& row)
    {
        // Only a text GUID is matched by the statements' guid='...'.
        const std::optional<std::string> guid = row.fieldTextBytes(Guid);
        auto item = guid ? firstWithGuid.find(*guid) : firstWithGuid.end();
        if (item == firstWithGuid.end())
            return;
        State& state = states[*guid];
        // Rows of the GUID outside the category are written by an update too: never skipped.
        const bool alone = row.fieldHoldsInteger(Copies, 1);
        if (state != State::Differs)
            state = alone && holds(row, *item->second) ? State::Same : State::Differs;
    }

    static bool holds(const CppSQLite3Query& row, const CLinkItem& item)
    {
        return row.fieldHoldsText(Name, item.GetName()) && row.fieldHoldsText(Target, item.GetTarget())
               && row.fieldHoldsText(Category, item.GetParentGuid()) && row.fieldHoldsInteger(Star, item.GetStar())
               && row.fieldHoldsText(Comment, item.GetComment()) && row.fieldHoldsInteger(Type, item.GetType());
    }

    std::unordered_map<std::string, const CLinkItem*> firstWithGuid;
    std::unordered_map<std::string, State> states;
};

// Categories below the given one, each after all of its descendants, siblings in order.
std::vector<CCategory*> descendantsDepthFirst(CCategory& category)
{
    std::vector<CCategory*> order;
    std::vector<std::pair<CCategory*, int>> path{{&category, 0}};
    while (!path.empty()) {
        auto& [at, next] = path.back();
        if (CCategory* child = at->GetChild(next)) {
            ++next;
            path.push_back({child, 0});
            continue;
        }
        if (at != &category)
            order.push_back(at);
        path.pop_back();
    }
    return order;
}

}  // namespace

CDBManager::~CDBManager()
{
    Close();
}

bool CDBManager::Open(const std::string& newPath, const std::optional<OpenOptions>& options)
{
    path = newPath;
    if (path.empty())
        return false;
    // Paths are held as UTF-8 already, which is what SQLite expects.
    if (options)
        CppSQLite3DB::Open(path.c_str(), *options);
    else
        CppSQLite3DB::Open(path.c_str());
    // A large category's rows lie on pages of their own all over the file; a page cache that holds
    // them lets the save right after showing the category compare without reading the file again.
    ExecuteStatement("pragma cache_size=-32768;");
    return IsOpen();
}

void CDBManager::Close()
{
    root.ClearChildren();
    CppSQLite3DB::Close();
}

bool CDBManager::CreateTables()
{
    const std::array<std::pair<const char*, const char*>, 3> tables = {{
        {category_table, createCategoryTable},
        {link_table, createLinkTable},
        {imagelist_table, createImageListTable},
    }};
    for (const auto& [table, statement] : tables) {
        if (TableExists(table))
            continue;
        try {
            CppSQLite3Buffer sql;
            sql.Format(statement, table);
            ExecuteStatement(sql);
        } catch (const CppSQLite3Exception&) {
            // The next operation that needs the table reports the failure.
        }
    }
    return true;
}

void CDBManager::CreateIndexes()
{
    for (const char* statement : createIndexStatements) {
        try {
            ExecuteStatement(statement);
        } catch (const CppSQLite3Exception&) {
            // A missing table or a read-only file only costs speed.
        }
    }
}

std::string CDBManager::MissingDesignedColumn()
{
    if (!TableExists(category_table))
        return {};
    static const std::array<std::pair<const char*, std::array<const char*, 7>>, 2> designed = {{
        {category_table, {"guid", "name", "level", "parent_guid", "system", "iconIndex", "itemorder"}},
        {link_table, {"guid", "name", "target", "category", "star", "comment", "type"}},
    }};
    for (const auto& [table, columns] : designed) {
        if (!TableExists(table))
            return std::string("it has no table ") + table;
        std::unordered_set<std::string> present;
        CppSQLite3Buffer sql;
        for (CppSQLite3Query row = ExecuteQuery(sql.Format("pragma table_info(%s);", table)); !row.Eof(); row.NextRow())
            present.insert(row.fieldText("name"));
        for (const char* column : columns)
            if (!present.count(column))
                return std::string("the table ") + table + " has no column " + column;
    }
    return {};
}

bool CDBManager::EnsureDefaultCategories()
{
    if (TableExists(category_table))
        return true;
    CreateTables();

    std::vector<std::unique_ptr<CCategory>> categories;
    CCategoryManager manager;
    for (const BuiltInCategory& builtIn : builtInCategories) {
        auto category = std::make_unique<CCategory>();
        category->SetGuid(builtIn.guid);
        category->SetName(builtIn.name);
        category->SetLevel(builtIn.level);
        category->SetParentGuid(builtIn.parentGuid);
        category->SetSystem(true);
        manager.Add(category.get());
        categories.push_back(std::move(category));
    }
    return SaveCategoryIndex(manager);
}

bool CDBManager::SaveCategoryIndex(CCategoryManager& manager)
{
    requireConnection();
    Transaction transaction(*this);
    for (const auto& [level, categories] : manager) {
        for (CCategory* category : categories) {
            bool exists = rowExists(*this, category_table, category->GetGuid());
            CppSQLite3Buffer sql;
            formatCategoryWrite(sql, updateIndexedCategory, exists, *category);
            ExecuteStatement(sql);
        }
    }
    transaction.Commit();
    return true;
}

void CDBManager::requireConnection()
{
    // Without a connection the table test raises "Database not open".
    if (!IsOpen())
        CreateTables();
}

bool CDBManager::LoadCategories()
{
    if (path.empty())
        return false;
    requireConnection();
    CppSQLite3Buffer sql;
    sql.Format(selectAllCategories, category_table);
    assembleCategoryTree(readCategories(ExecuteQuery(sql)), root);
    return true;
}

void CDBManager::ReadCategoryTree(CCategory& into)
{
    requireConnection();
    CppSQLite3Buffer sql;
    sql.Format(selectAllCategories, category_table);
    assembleCategoryTree(readCategories(ExecuteQuery(sql)), into);
}

bool CDBManager::LoadChildCategories(CCategory& parent)
{
    if (path.empty())
        return false;
    requireConnection();
    CppSQLite3Buffer sql;
    sql.Format(selectChildCategories, category_table, parent.GetGuid().c_str());
    CCategoryList attached = assembleChildCategories(readCategories(ExecuteQuery(sql)), parent);
    for (CCategory* category : attached)
        LoadItems(*category);
    return true;
}

bool CDBManager::LoadItems(CCategory& category)
{
    requireConnection();
    CppSQLite3Buffer sql;
    sql.Format(selectItemsOfCategory, link_table, category.GetGuid().c_str());
    CppSQLite3Query query = ExecuteQuery(sql);
    category.ClearItems();
    while (!query.Eof()) {
        category.AddItem(itemFromRow(query));
        query.NextRow();
    }
    return true;
}

std::vector<CLinkItem> CDBManager::ReadItems(const CCategory& category)
{
    requireConnection();
    CppSQLite3Buffer sql;
    sql.Format(selectItemsOfCategory, link_table, category.GetGuid().c_str());
    std::vector<CLinkItem> items;
    for (CppSQLite3Query query = ExecuteQuery(sql); !query.Eof(); query.NextRow())
        items.push_back(*itemFromRow(query));
    return items;
}

std::optional<CLinkItem> CDBManager::ReadItem(const std::string& guid)
{
    requireConnection();
    CppSQLite3Buffer sql;
    sql.Format("select * from %s where guid='%q' order by itemorder limit 1;", link_table, guid.c_str());
    CppSQLite3Query row = ExecuteQuery(sql);
    if (row.Eof())
        return std::nullopt;
    return std::move(*itemFromRow(row));
}

std::vector<CLinkItem> CDBManager::ReadItemsWithGuid(const std::string& guid)
{
    requireConnection();
    CppSQLite3Buffer sql;
    sql.Format("select * from %s where guid='%q' order by itemorder;", link_table, guid.c_str());
    std::vector<CLinkItem> items;
    for (CppSQLite3Query query = ExecuteQuery(sql); !query.Eof(); query.NextRow())
        items.push_back(*itemFromRow(query));
    return items;
}

bool CDBManager::HasCategory(const std::string& guid)
{
    requireConnection();
    return rowExists(*this, category_table, guid);
}

bool CDBManager::SaveCategory(CCategory& category, bool writeRow, std::vector<RefusedItem>* refused)
{
    requireConnection();
    Transaction transaction(*this);
    if (writeRow) {
        bool exists = rowExists(*this, category_table, category.GetGuid());
        CppSQLite3Buffer sql;
        formatCategoryWrite(sql, updateCategory, exists, category);
        ExecuteStatement(sql);
    }
    writeChangedItems(category, refused);
    transaction.Commit();
    return true;
}

// Every item the category holds ends with its stored rows holding its values, as if each were written
// in turn; the ones whose rows hold them already are left alone, which makes a save of a large
// category cost one read of its rows instead of a lookup and a write per item.
void CDBManager::writeChangedItems(const CCategory& category, std::vector<RefusedItem>* refused)
{
    const StoredItemRows stored(*this, category);
    std::unordered_set<std::string> written;
    for (int i = 0; i < category.GetItemCount(); ++i) {
        const CLinkItem& item = *category.GetItem(i);
        // A second item with a GUID already handled here meets rows that may have changed since they were read.
        const bool firstOfGuid = written.insert(item.GetGuid()).second;
        const auto state = firstOfGuid ? stored.stateOf(item) : StoredItemRows::State::Unread;
        if (state == StoredItemRows::State::Same)
            continue;
        writeRefusable(item, state == StoredItemRows::State::Differs || rowExists(*this, link_table, item.GetGuid()),
                       refused);
    }
}

void CDBManager::writeRefusable(const CLinkItem& item, bool exists, std::vector<RefusedItem>* refused)
{
    try {
        writeItemRow(*this, item, exists);
    } catch (const CppSQLite3Exception& error) {
        // A full disk or an I/O error makes SQLite roll the whole transaction back; writing on
        // would store the rest one statement at a time, outside any transaction.
        if (!InTransaction())
            throw;
        // One item that cannot be written does not keep the others out.
        if (refused)
            refused->push_back({&item, error});
    }
}

void CDBManager::SaveItems(const CLinkItems& items, std::vector<RefusedItem>* refused)
{
    requireConnection();
    Transaction transaction(*this);
    for (const CLinkItem* item : items)
        writeRefusable(*item, rowExists(*this, link_table, item->GetGuid()), refused);
    transaction.Commit();
}

bool CDBManager::SaveItem(const CLinkItem& item)
{
    requireConnection();
    const bool exists = rowExists(*this, link_table, item.GetGuid());
    try {
        writeItemRow(*this, item, exists);
    } catch (const CppSQLite3Exception&) {
        return false;
    }
    return true;
}

void CDBManager::StoreItem(const CLinkItem& item)
{
    requireConnection();
    writeItemRow(*this, item);
}

void CDBManager::StoreCategoryRow(const CCategory& category)
{
    requireConnection();
    CppSQLite3Buffer sql;
    formatCategoryWrite(sql, updateCategory, rowExists(*this, category_table, category.GetGuid()), category);
    ExecuteStatement(sql);
}

std::vector<std::string> CDBManager::StoredChildOrder(const CCategory& parent)
{
    requireConnection();
    CppSQLite3Buffer sql;
    sql.Format(selectChildCategories, category_table, parent.GetGuid().c_str());
    std::vector<std::string> guids;
    for (CppSQLite3Query row = ExecuteQuery(sql); !row.Eof(); row.NextRow())
        guids.push_back(row.fieldText("guid"));
    return guids;
}

void CDBManager::DeleteCategory(CCategory& category, Progress& progress)
{
    // Depth first: each category's row goes after those of all its descendants.
    std::vector<CCategory*> order = descendantsDepthFirst(category);
    order.push_back(&category);
    // One transaction: a subtree is gone as a whole or not at all.
    Transaction transaction(*this);
    for (std::size_t i = 0; i < order.size(); ++i) {
        CppSQLite3Buffer sql;
        sql.Format(deleteByGuid, category_table, order[i]->GetGuid().c_str());
        ExecuteStatement(sql);
        sql.Format(deleteItemsOfCategory, link_table, order[i]->GetGuid().c_str());
        ExecuteStatement(sql);
        progress.advance(i + 1, order.size());
    }
    transaction.Commit();
    while (CCategory* child = category.GetChild(0))
        category.RemoveChild(child);
}

CDBManager::SubtreeSize CDBManager::MeasureSubtree(CCategory& category)
{
    requireConnection();
    std::vector<CCategory*> order = descendantsDepthFirst(category);
    SubtreeSize size{static_cast<int>(order.size()), 0};
    order.push_back(&category);
    for (const CCategory* each : order) {
        CppSQLite3Buffer sql;
        sql.Format("select count(*) from %s where category='%q';", link_table, each->GetGuid().c_str());
        size.items += ExecuteScalar(sql);
    }
    return size;
}

bool CDBManager::DeleteItem(const CLinkItem& item)
{
    try {
        DeleteItemRow(item);
    } catch (const CppSQLite3Exception&) {
        return false;
    }
    return true;
}

void CDBManager::DeleteItemRow(const CLinkItem& item)
{
    CppSQLite3Buffer sql;
    sql.Format(deleteByGuid, link_table, item.GetGuid().c_str());
    ExecuteStatement(sql);
}

bool CDBManager::Checkpoint()
{
    // One row: busy, log frames, frames written back; busy is 0 once the log is empty, and also
    // for a catalogue that keeps no log at all.
    CppSQLite3Query result = ExecuteQuery("pragma wal_checkpoint(TRUNCATE);");
    return !result.Eof() && result.FieldValue(0) && std::string(result.FieldValue(0)) == "0";
}

std::optional<long long> CDBManager::DataVersion()
{
    if (!IsOpen())
        return std::nullopt;
    // A look between the user's actions must never wait out another program's write.
    const int timeout = BusyTimeout();
    SetBusyTimeout(0);
    std::optional<long long> version;
    try {
        version = ExecuteScalar("pragma data_version;");
    } catch (const CppSQLite3Exception&) {
        // Locked for a moment: the next look tells.
    }
    SetBusyTimeout(timeout);
    return version;
}

std::vector<CSearchItem> CDBManager::SearchItems(bool byName, bool byTarget, bool byComment, const std::string& keyword)
{
    std::string condition;
    const std::array<std::pair<bool, const char*>, 3> clauses = {
        {{byName, nameClause}, {byTarget, targetClause}, {byComment, commentClause}}};
    for (const auto& [selected, clause] : clauses) {
        if (!selected)
            continue;
        CppSQLite3Buffer text;
        text.Format(clause, link_table, keyword.c_str());
        if (!condition.empty())
            condition += " OR ";
        condition += text;
    }
    std::vector<CSearchItem> found;
    if (condition.empty())
        return found;
    try {
        CppSQLite3Buffer sql;
        sql.Format(searchStatement, link_table, condition.c_str());
        CppSQLite3Query query = ExecuteQuery(sql);
        while (!query.Eof()) {
            found.push_back({query.fieldText("category"), query.fieldText("guid"), query.fieldText("name")});
            query.NextRow();
        }
    } catch (const CppSQLite3Exception&) {
        // The hits read before the failure are still worth showing.
    }
    return found;
}

std::vector<unsigned char> CDBManager::LoadIconList()
{
    try {
        CppSQLite3Buffer sql;
        sql.Format(selectIconList, imagelist_table);
        CppSQLite3Query query = ExecuteQuery(sql);
        if (query.Eof())
            return {};
        CppSQLite3Binary binary;
        binary.SetEncoded(query.FieldValue("data"));
        int length = binary.GetBinaryLength();
        const unsigned char* bytes = binary.GetBinary();
        if (length <= 0 || !bytes)
            return {};
        return std::vector<unsigned char>(bytes, bytes + length);
    } catch (const CppSQLite3Exception&) {
        return {};
    }
}

bool CDBManager::SaveIconList(const std::vector<unsigned char>& blob)
{
    if (blob.empty())
        return true;
    try {
        CppSQLite3Binary binary;
        binary.SetBinary(blob.data(), static_cast<int>(blob.size()));
        CppSQLite3Buffer sql;
        sql.Format(replaceIconList, imagelist_table, binary.GetEncoded());
        ExecuteStatement(sql);
    } catch (const CppSQLite3Exception&) {
        // The list stays in memory; only its survival past this run is lost.
    }
    return true;
}
