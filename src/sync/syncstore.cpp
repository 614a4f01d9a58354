// SPDX-License-Identifier: GPL-3.0-or-later
#include "syncstore.h"

#include "syncfiles.h"

#include "storage/transaction.h"

#include <QJsonDocument>

#include <QJsonObject>
#include <algorithm>

#include <sodium.h>

#include <cstring>
#include <unordered_set>
#include <utility>

namespace {

constexpr const char* createTableStatements[] = {
    "create table if not exists sync_meta (key text primary key, value text);",
    "create table if not exists sync_clock (id integer primary key check (id = 1), last integer not null,"
    " shift integer not null);",
    "insert or ignore into sync_clock values (1, 0, 0);",
    "create table if not exists sync_dirty (kind text not null, guid text not null, content integer, place integer,"
    " gone integer, was text, primary key (kind, guid)) without rowid;",
    "create table if not exists sync_state (key integer primary key, kind integer, hash integer, stamps blob,"
    " record text);",
    "create table if not exists sync_pending (key integer primary key, kind text, guid text, batch integer);",
    // Categories and icons are few beside the items: they are found without reading every entry.
    "create index if not exists sync_state_kept on sync_state(kind) where kind <> 0;",
    "create table if not exists sync_peer (device text primary key, upto integer, name text, ahead integer,"
    " sees integer);",
    "create table if not exists sync_device (id integer primary key, device text unique);",
};

// The hybrid logical clock as SQL: never behind the last stamp, otherwise the wall clock in
// microseconds moved by this machine's shift to the time the devices share.
constexpr const char* tick = "update sync_clock set last = max(last + 1, cast((julianday('now') - 2440587.5) * "
                             "86400000000.0 as integer) + shift);";

struct Watched {
    const char* table;
    char kind;
    const char* contentChanged;
    const char* placeColumn;
    const char* was;
};

// What each table's rows carry: their content, their place, and the row as kept once deleted. A
// value of any type is kept as text, so no row a user writes is ever refused for our sake.
const Watched watched[] = {
    {"link_table", 'i',
     "old.name is not new.name or old.target is not new.target or old.star is not new.star or "
     "old.comment is not new.comment or old.type is not new.type",
     "category",
     "json_object('name', cast(old.name as text), 'target', cast(old.target as text), 'category', "
     "cast(old.category as text), 'star', cast(old.star as text), 'comment', cast(old.comment as text), 'type', "
     "cast(old.type as text))"},
    {"category_table", 'c',
     "old.name is not new.name or old.system is not new.system or old.iconIndex is not new.iconIndex", "parent_guid",
     "json_object('name', cast(old.name as text), 'level', cast(old.level as text), 'parent', cast(old.parent_guid as "
     "text), 'system', cast(old.system as text), 'icon', cast(old.iconIndex as text))"},
};

constexpr const char* triggerNames[] = {"sync_note_link_table_insert",     "sync_note_link_table_update",
                                        "sync_note_link_table_delete",     "sync_note_category_table_insert",
                                        "sync_note_category_table_update", "sync_note_category_table_delete",
                                        "sync_note_imagelist_table"};

constexpr long long StampBase = 1704067200000000LL;

void putVarint(std::string& out, unsigned long long value)
{
    do {
        unsigned char byte = value & 0x7f;
        value >>= 7;
        out.push_back(static_cast<char>(byte | (value ? 0x80 : 0)));
    } while (value);
}

unsigned long long getVarint(const unsigned char* in, std::size_t size, std::size_t& at)
{
    unsigned long long value = 0;
    for (int shift = 0; at < size && shift < 64; shift += 7) {
        const unsigned char byte = in[at++];
        value |= static_cast<unsigned long long>(byte & 0x7f) << shift;
        if (!(byte & 0x80))
            break;
    }
    return value;
}

unsigned long long zigzag(long long value)
{
    return (static_cast<unsigned long long>(value) << 1) ^ static_cast<unsigned long long>(value >> 63);
}

long long unzigzag(unsigned long long value)
{
    return static_cast<long long>(value >> 1) ^ -static_cast<long long>(value & 1);
}

int kindNumber(char kind)
{
    return kind == SyncRecord::Item ? 0 : kind == SyncRecord::Category ? 1 : 2;
}

// SipHash with a key of our own: stable from run to run and machine to machine, and fast on short texts.
long long hash64(const std::string& bytes)
{
    static const unsigned char key[crypto_shorthash_KEYBYTES] = {'v', 'a', 'r', 'n', 'e', 'l', 'o', ' ',
                                                                 's', 'y', 'n', 'c', ' ', 'k', 'e', 'y'};
    unsigned char out[crypto_shorthash_BYTES];
    crypto_shorthash(out, reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size(), key);
    long long value = 0;
    std::memcpy(&value, out, sizeof value);
    return value;
}

// Into the texts the item holds, which keep their room.
void readItemRow(const Statement& row, StoredItem& item)
{
    item.guid.assign(row.textView(0));
    item.name.assign(row.textView(1));
    item.target.assign(row.textView(2));
    item.category.assign(row.textView(3));
    item.star = static_cast<int>(row.integer(4));
    item.comment.assign(row.textView(5));
    item.type = static_cast<int>(row.integer(6));
}

StoredItem itemRow(const Statement& row)
{
    StoredItem item;
    readItemRow(row, item);
    return item;
}

StoredCategory categoryRow(const Statement& row)
{
    return {row.text(0),
            row.text(1),
            static_cast<int>(row.integer(2)),
            row.text(3),
            static_cast<int>(row.integer(4)),
            static_cast<int>(row.integer(5))};
}

std::string jsonText(const QJsonObject& object, const char* name)
{
    return object.value(name).toString().toStdString();
}

// Keys are hashes, spread over the whole range: sorted sixteen bits a pass, the lowest first, in a
// quarter of what comparing them takes.
template <typename Value>
void sortByKey(std::vector<std::pair<long long, Value>>& rows)
{
    std::vector<std::pair<long long, Value>> spare(rows.size());
    const auto digit = [](long long key, int pass) {
        // The sign bit flipped: negative keys sort before positive ones.
        return static_cast<std::size_t>(((static_cast<unsigned long long>(key) ^ (1ULL << 63)) >> (16 * pass))
                                        & 0xFFFF);
    };
    std::vector<std::size_t> start(1 << 16);
    for (int pass = 0; pass < 4; ++pass) {
        std::fill(start.begin(), start.end(), 0);
        for (const auto& row : rows)
            ++start[digit(row.first, pass)];
        std::size_t at = 0;
        for (std::size_t& first : start)
            at += std::exchange(first, at);
        for (const auto& row : rows)
            spare[start[digit(row.first, pass)]++] = row;
        rows.swap(spare);
    }
}

}  // namespace

long long objectKey(char kind, const std::string& guid)
{
    thread_local std::string text;
    text.assign(1, kind);
    text += '\x1f';
    text += guid;
    return hash64(text);
}

long long objectHash(const SyncRecord& content)
{
    thread_local std::string fields;
    fields.clear();
    for (const auto& [name, value] : content.fields) {
        fields += name;
        fields += '\x1e';
        fields += value;
        fields += '\x1f';
    }
    // 40 bits for the content and 23 for the place: a change of either changes the number.
    const unsigned long long contentBits = static_cast<unsigned long long>(hash64(fields)) >> 24;
    const unsigned long long placeBits = static_cast<unsigned long long>(hash64(content.parent)) >> 41;
    return static_cast<long long>((contentBits << 23) | placeBits);
}

SyncStore::SyncStore(const std::string& dbPath) : dbPath(dbPath)
{
    if (sodium_init() < 0)
        throw std::runtime_error("The encryption library (libsodium) cannot start on this machine.");
    // A merge reads columns of every row: two hundred thousand rows, a dozen calls each.
    db.Open(dbPath, OpenOptions{.oneThread = true});
    // A merge reads the catalogue front to back and looks up few rows on their own: SQLite's page
    // cache of 2 MB, whose pages stay in the processor's cache as they are read into again, reads a
    // catalogue faster than one that holds all of it (a tenth off a first sync of 200,000 items).
    db.ExecuteStatement("pragma cache_size = -2000;");
    db.EnsureDefaultCategories();
    db.CreateIndexes();
    Transaction transaction(db);
    if (db.TableExists("sync_object"))
        upgradeFirstFormat();
    createTables();
    createTriggers();
    transaction.Commit();
    for (Statement row(db, "select id, device from sync_device;"); row.step();) {
        const auto number = static_cast<std::size_t>(row.integer(0));
        if (devices.size() <= number)
            devices.resize(number + 1);
        devices[number] = row.text(1);
        deviceNumbers[row.text(1)] = static_cast<int>(number);
    }
}

SyncStore::~SyncStore() = default;

Statement& SyncStore::prepared(const char* sql)
{
    auto& statement = statements[sql];
    if (!statement)
        statement = std::make_unique<Statement>(db, sql);
    statement->reset();
    return *statement;
}

void SyncStore::createTables()
{
    for (const char* statement : createTableStatements)
        db.ExecuteStatement(statement);
    // The first format's table of other devices had neither clock column.
    bool hasAhead = false;
    for (Statement column(db, "pragma table_info(sync_peer);"); column.step();)
        hasAhead = hasAhead || column.text(1) == "ahead";
    if (!hasAhead) {
        db.ExecuteStatement("alter table sync_peer add column ahead integer;");
        db.ExecuteStatement("alter table sync_peer add column sees integer;");
    }
    if (firstInteger(db, "select count(*) from sync_device where id = 0;") == 0)
        db.ExecuteStatement("insert into sync_device values (0, '');");
}

void SyncStore::createTriggers()
{
    int present = 0;
    {
        Statement exists(db, "select count(*) from sqlite_master where type = 'trigger' and name = ?1;");
        for (const char* name : triggerNames) {
            exists.reset();
            exists.bind(1, std::string_view(name));
            present += exists.step() && exists.integer(0) > 0;
        }
    }
    missingTriggers = meta("tracking") == "2" && present < static_cast<int>(std::size(triggerNames));
    for (const Watched& w : watched) {
        const std::string table = w.table, kind = std::string("'") + w.kind + "'";
        const std::string prefix = "create trigger if not exists sync_note_" + table + "_";
        db.ExecuteStatement((prefix + "insert after insert on " + table + " when new.guid is not null begin " + tick
                             + " insert into sync_dirty (kind, guid, content, place) select " + kind
                             + ", new.guid, last, last from sync_clock where true on conflict (kind, guid) do update "
                               "set content = excluded.content, place = excluded.place; end;")
                                .c_str());
        db.ExecuteStatement(
            (prefix + "update after update on " + table + " begin " + tick
             + " insert into sync_dirty (kind, guid, content) select " + kind
             + ", new.guid, last from sync_clock where new.guid is not null and (old.guid is not new.guid or "
             + w.contentChanged
             + ") on conflict (kind, guid) do update set content = excluded.content;"
               " insert into sync_dirty (kind, guid, place) select "
             + kind
             + ", new.guid, last from sync_clock where new.guid is not null and (old.guid is not new.guid or old."
             + w.placeColumn + " is not new." + w.placeColumn
             + ") on conflict (kind, guid) do update set place = excluded.place;"
               " insert into sync_dirty (kind, guid, gone, was) select "
             + kind + ", old.guid, last, " + w.was
             + " from sync_clock where old.guid is not null and old.guid is not new.guid on conflict (kind, guid) do "
               "update set gone = excluded.gone, was = excluded.was; end;")
                .c_str());
        db.ExecuteStatement((prefix + "delete after delete on " + table + " when old.guid is not null begin " + tick
                             + " insert into sync_dirty (kind, guid, gone, was) select " + kind + ", old.guid, last, "
                             + w.was
                             + " from sync_clock where true on conflict (kind, guid) do update set gone = "
                               "excluded.gone, was = excluded.was; end;")
                                .c_str());
    }
    for (const char* event : {"insert", "update", "delete"})
        db.ExecuteStatement((std::string("drop trigger if exists sync_note_imagelist_table_") + event + ";").c_str());
    db.ExecuteStatement((std::string("create trigger if not exists sync_note_imagelist_table after ")
                         + "update on imagelist_table begin " + tick
                         + " insert into sync_dirty (kind, guid, content) select 'n', '*', last from sync_clock where "
                           "true on conflict (kind, guid) do update set content = excluded.content; end;")
                            .c_str());
    for (const char* event : {"insert", "delete"})
        db.ExecuteStatement((std::string("create trigger if not exists sync_note_imagelist_table_") + event + " after "
                             + event + " on imagelist_table begin " + tick
                             + " insert into sync_dirty (kind, guid, content) select 'n', '*', last from sync_clock "
                               "where true on conflict (kind, guid) do update set content = excluded.content; end;")
                                .c_str());
    setMeta("tracking", "2");
}

// The first format kept every object's whole record and its stored row; what the merge needs of it is
// its stamps and hashes, and the record only of what was deleted.
void SyncStore::upgradeFirstFormat()
{
    for (const char* table : {category_table, link_table, imagelist_table})
        for (const char* event : {"insert", "update", "delete"})
            for (const char* prefix : {"sync_", "sync_dirty_"})
                db.ExecuteStatement(
                    (std::string("drop trigger if exists ") + prefix + table + "_" + event + ";").c_str());
    std::vector<std::pair<char, std::string>> written;
    if (db.TableExists("sync_dirty"))
        for (Statement row(db, "select kind, guid from sync_dirty;"); row.step();)
            written.emplace_back(row.text(0).empty() ? 'i' : row.text(0)[0], row.text(1));
    db.ExecuteStatement("drop table if exists sync_dirty;");
    createTables();
    std::string device = meta("device");
    for (Statement row(db, "select record, pending from sync_object;"); row.step();) {
        auto record = recordFromText(row.text(0));
        if (!record)
            continue;
        Entry entry{objectHash(*record), record->fieldsStamp, record->parentStamp,
                    record->deleteStamp, record->created,     std::nullopt};
        if (record->deleted() || record->kind == SyncRecord::Icon)
            entry.record = *record;
        const long long key = objectKey(record->kind, record->guid);
        setState(key, record->kind, entry);
        if (row.integer(1))
            addPending(key, record->kind, record->guid);
    }
    // Rows written since the last sync of the first format were not stamped when written: now.
    for (const auto& [kind, guid] : written) {
        db.ExecuteStatement(tick);
        Statement note(db, "insert or ignore into sync_dirty (kind, guid, content, place) select ?1, ?2, last, last "
                           "from sync_clock;");
        note.bind(1, std::string(1, kind)).bind(2, guid).run();
    }
    db.ExecuteStatement("drop table sync_object;");
    eraseMeta("edits");
    eraseMeta("edits-synced");
    eraseMeta("written-tracked");
    setMeta("joined", "1");
    db.ExecuteStatement(
        ("update sync_clock set last = max(last, " + std::to_string(std::atoll(meta("clock").c_str())) + ");").c_str());
    eraseMeta("clock");
    flushState();
    upgradedTables = true;
}

std::string SyncStore::meta(const std::string& key, const std::string& fallback)
{
    Statement& query = prepared("select value from sync_meta where key = ?1;");
    query.bind(1, key);
    const std::string value = query.step() ? query.text(0) : fallback;
    // A statement left on a row would keep a DROP or a checkpoint waiting.
    query.reset();
    return value;
}

void SyncStore::setMeta(const std::string& key, const std::string& value)
{
    prepared("replace into sync_meta (key, value) values (?1, ?2);").bind(1, key).bind(2, value).run();
}

void SyncStore::eraseMeta(const std::string& key)
{
    prepared("delete from sync_meta where key = ?1;").bind(1, key).run();
}

long long SyncStore::clockLast()
{
    return firstInteger(db, "select last from sync_clock;");
}

void SyncStore::setClock(long long last, long long shift)
{
    prepared("update sync_clock set last = ?1, shift = ?2;").bind(1, last).bind(2, shift).run();
}

std::vector<SyncStore::Dirty> SyncStore::dirty(const std::string& device)
{
    std::vector<Dirty> changes;
    const auto stamp = [&](const Statement& row, int column) {
        return row.isNull(column) ? Stamp() : Stamp{row.integer(column), device};
    };
    for (Statement row(db, "select kind, guid, content, place, gone, was from sync_dirty;"); row.step();) {
        Dirty change;
        change.kind = row.text(0).empty() ? SyncRecord::Item : row.text(0)[0];
        change.guid = row.text(1);
        change.content = stamp(row, 2);
        change.place = stamp(row, 3);
        change.gone = stamp(row, 4);
        if (!row.isNull(5)) {
            const QJsonObject was = QJsonDocument::fromJson(QByteArray::fromStdString(row.text(5))).object();
            const auto number = [&](const char* name) { return std::atoi(jsonText(was, name).c_str()); };
            if (change.kind == SyncRecord::Item)
                change.wasItem = StoredItem{
                    change.guid,    jsonText(was, "name"),    jsonText(was, "target"), jsonText(was, "category"),
                    number("star"), jsonText(was, "comment"), number("type")};
            else
                change.wasCategory =
                    StoredCategory{change.guid,      jsonText(was, "name"), number("level"), jsonText(was, "parent"),
                                   number("system"), number("icon")};
        }
        changes.push_back(std::move(change));
    }
    return changes;
}

void SyncStore::clearDirty()
{
    db.ExecuteStatement("delete from sync_dirty;");
}

int SyncStore::deviceNumber(const std::string& device)
{
    // Stamps come in runs of one device: the last one found is most often the next.
    if (lastDevice >= 0 && devices[static_cast<std::size_t>(lastDevice)] == device)
        return lastDevice;
    if (auto at = deviceNumbers.find(device); at != deviceNumbers.end())
        return lastDevice = at->second;
    const int number = static_cast<int>(std::max<std::size_t>(devices.size(), 1));
    prepared("insert into sync_device (id, device) values (?1, ?2);").bind(1, number).bind(2, device).run();
    devices.resize(static_cast<std::size_t>(number) + 1);
    devices[static_cast<std::size_t>(number)] = device;
    deviceNumbers[device] = number;
    return lastDevice = number;
}

std::string SyncStore::deviceOf(int number)
{
    return number >= 0 && static_cast<std::size_t>(number) < devices.size() ? devices[static_cast<std::size_t>(number)]
                                                                            : std::string();
}

// Flags, then the stamps as varints: a stamp equal to the created one is left out.
std::string SyncStore::packStamps(const Entry& entry)
{
    return packStamps(entry.created, entry.fields, entry.parent, entry.deleted);
}

std::string SyncStore::packStamps(const Stamp& created, const Stamp& fields, const Stamp& parent, const Stamp& deleted)
{
    std::string out;
    const bool fieldsOwn = fields != created, parentOwn = parent != created, deletedOwn = !deleted.isNull();
    out.push_back(static_cast<char>(fieldsOwn | parentOwn << 1 | deletedOwn << 2));
    const auto put = [&](const Stamp& stamp) {
        putVarint(out, zigzag(stamp.isNull() ? 0 : stamp.clock - StampBase + 1));
        putVarint(out, static_cast<unsigned long long>(deviceNumber(stamp.device)));
    };
    put(created);
    if (fieldsOwn)
        put(fields);
    if (parentOwn)
        put(parent);
    if (deletedOwn)
        put(deleted);
    return out;
}

void SyncStore::unpackStamps(const unsigned char* bytes, std::size_t size, Entry& entry)
{
    if (size == 0)
        return;
    std::size_t at = 1;
    const auto get = [&] {
        const long long offset = unzigzag(getVarint(bytes, size, at));
        Stamp stamp;
        stamp.device = deviceOf(static_cast<int>(getVarint(bytes, size, at)));
        stamp.clock = offset == 0 ? 0 : offset + StampBase - 1;
        return stamp;
    };
    entry.created = get();
    entry.fields = bytes[0] & 1 ? get() : entry.created;
    entry.parent = bytes[0] & 2 ? get() : entry.created;
    entry.deleted = bytes[0] & 4 ? get() : Stamp();
}

const SyncStore::Unwritten* SyncStore::unwrittenOf(long long key) const
{
    const std::size_t at = unwrittenAt.find(key);
    return at == 0 ? nullptr : &unwritten[at - 1];
}

void SyncStore::keep(Unwritten row)
{
    // One past the row's place: a key new to the index finds 0 there.
    std::size_t& at = unwrittenAt.at(row.key);
    if (at != 0) {
        unwritten[at - 1] = std::move(row);
        return;
    }
    unwritten.push_back(std::move(row));
    at = unwritten.size();
}

std::optional<SyncStore::Entry> SyncStore::state(long long key)
{
    if (const Unwritten* kept = unwrittenOf(key)) {
        Entry entry;
        entry.hash = kept->hash;
        const auto* stamps = reinterpret_cast<const unsigned char*>(kept->stamps.data());
        unpackStamps(stamps, kept->stamps.size(), entry);
        if (kept->record)
            entry.record = recordFromText(*kept->record);
        return entry;
    }
    if (onlyUnwritten)
        return std::nullopt;
    Statement& row = prepared("select hash, stamps, record from sync_state where key = ?1;");
    row.bind(1, key);
    if (!row.step())
        return std::nullopt;
    Entry entry;
    entry.hash = row.integer(0);
    const auto stamps = row.blob(1);
    unpackStamps(stamps.data(), stamps.size(), entry);
    if (!row.isNull(2))
        entry.record = recordFromText(row.text(2));
    row.reset();
    return entry;
}

void SyncStore::setState(long long key, char kind, const Entry& entry)
{
    keep({key, kindNumber(kind), entry.hash, packStamps(entry),
          entry.record ? std::optional<std::string>(recordText(*entry.record)) : std::nullopt});
}

void SyncStore::setState(long long key, const SyncRecord& record, long long hash)
{
    // What nothing else holds is kept whole: a deleted object, an icon.
    const bool whole = record.deleted() || record.kind == SyncRecord::Icon;
    keep({key, kindNumber(record.kind), hash,
          packStamps(record.created, record.fieldsStamp, record.parentStamp, record.deleteStamp),
          whole ? std::optional<std::string>(recordText(record)) : std::nullopt});
}

void SyncStore::forgetUnwritten()
{
    unwritten.clear();
    unwrittenAt.clear();
    onlyUnwritten = false;
    items.reset();
}

void SyncStore::flushState()
{
    // In the table's order: each row then lands beside the last one instead of in a random page.
    std::vector<std::pair<long long, const Unwritten*>> rows;
    rows.reserve(unwritten.size());
    for (const Unwritten& row : unwritten)
        rows.emplace_back(row.key, &row);
    sortByKey(rows);
    // Many rows a statement: a statement's run costs more than a row's insert. Into an emptied table
    // nothing is replaced, and a plain insert needs no statement journal.
    constexpr std::size_t Many = 64;
    const auto sql = [](const char* verb, std::size_t count) {
        std::string text = std::string(verb) + " into sync_state (key, kind, hash, stamps, record) values ";
        for (std::size_t i = 0; i < count; ++i)
            text += i == 0 ? "(?,?,?,?,?)" : ",(?,?,?,?,?)";
        return text + ";";
    };
    static const std::string insertMany = sql("insert", Many), insertOne = sql("insert", 1),
                             replaceMany = sql("replace", Many), replaceOne = sql("replace", 1);
    std::size_t done = 0;
    while (done < rows.size()) {
        const std::size_t count = rows.size() - done >= Many ? Many : 1;
        Statement& write = prepared(
            (onlyUnwritten ? (count == Many ? insertMany : insertOne) : (count == Many ? replaceMany : replaceOne))
                .c_str());
        // The rows lie in memory in the order they were set, not in this one: those of the next
        // statement are fetched while this one runs.
        for (std::size_t i = done + count; i < std::min(rows.size(), done + 2 * count); ++i) {
            __builtin_prefetch(rows[i].second);
            __builtin_prefetch(reinterpret_cast<const char*>(rows[i].second) + 64);
        }
        for (std::size_t i = 0; i < count; ++i) {
            const auto& [key, row] = rows[done + i];
            const int at = static_cast<int>(i) * 5;
            write.bind(at + 1, key).bind(at + 2, row->kind).bind(at + 3, row->hash);
            write.bindBlobInPlace(at + 4, row->stamps.data(), row->stamps.size());
            if (row->record)
                write.bind(at + 5, *row->record);
        }
        write.run();
        done += count;
    }
    forgetUnwritten();
}

std::unordered_map<long long, SyncStore::Entry> SyncStore::stateOfKind(char kind)
{
    flushState();
    std::unordered_map<long long, Entry> entries;
    Statement row(db, kind == SyncRecord::Item
                          ? "select key, hash, stamps, record from sync_state where kind = ?1;"
                          : "select key, hash, stamps, record from sync_state where kind = ?1 and kind <> 0;");
    row.bind(1, kindNumber(kind));
    while (row.step()) {
        Entry& entry = entries[row.integer(0)];
        entry.hash = row.integer(1);
        const auto stamps = row.blob(2);
        unpackStamps(stamps.data(), stamps.size(), entry);
        if (!row.isNull(3))
            entry.record = recordFromText(row.text(3));
    }
    return entries;
}

std::unordered_map<long long, std::string> SyncStore::packedItems()
{
    // hash, then the record's length and text (if any), then the stamps.
    flushState();
    std::unordered_map<long long, std::string> items;
    for (Statement row(db, "select key, hash, record, stamps from sync_state where kind = 0;"); row.step();) {
        std::string packed;
        putVarint(packed, static_cast<unsigned long long>(row.integer(1)));
        const std::string record = row.isNull(2) ? std::string() : row.text(2);
        putVarint(packed, record.size());
        packed += record;
        const auto stamps = row.blob(3);
        packed.append(stamps.begin(), stamps.end());
        items.emplace(row.integer(0), std::move(packed));
    }
    return items;
}

SyncStore::Entry SyncStore::unpack(const std::string& packed)
{
    const auto* bytes = reinterpret_cast<const unsigned char*>(packed.data());
    std::size_t at = 0;
    Entry entry;
    entry.hash = static_cast<long long>(getVarint(bytes, packed.size(), at));
    const std::size_t length = getVarint(bytes, packed.size(), at);
    if (length > 0 && at + length <= packed.size())
        entry.record = recordFromText(packed.substr(at, length));
    at = std::min(at + length, packed.size());
    unpackStamps(bytes + at, packed.size() - at, entry);
    return entry;
}

std::unordered_map<long long, long long> SyncStore::itemHashes()
{
    flushState();
    std::unordered_map<long long, long long> hashes;
    for (Statement row(db, "select key, case when record is null then hash else 0 end from sync_state where kind = 0;");
         row.step();)
        hashes.emplace(row.integer(0), row.integer(1));
    return hashes;
}

bool SyncStore::knows(long long key)
{
    if (unwrittenAt.find(key) != 0)
        return true;
    if (onlyUnwritten)
        return false;
    Statement& row = prepared("select 1 from sync_state where key = ?1;");
    row.bind(1, key);
    const bool found = row.step();
    row.reset();
    return found;
}

void SyncStore::clearState()
{
    forgetUnwritten();
    db.ExecuteStatement("delete from sync_state;");
    onlyUnwritten = true;
    // Every row is written again before the state goes to the table.
    const auto rows = static_cast<std::size_t>(itemCount())
                      + static_cast<std::size_t>(firstInteger(db, "select count(*) from category_table;")) + 1024;
    unwritten.reserve(rows);
    unwrittenAt.reserve(rows);
}

void SyncStore::addPending(long long key, char kind, const std::string& guid)
{
    prepared("insert into sync_pending (key, kind, guid) values (?1, ?2, ?3) on conflict (key) do update set "
             "batch = null;")
        .bind(1, key)
        .bind(2, std::string(1, kind))
        .bind(3, guid)
        .run();
}

std::vector<SyncStore::Pending> SyncStore::pendingFor(long long batch)
{
    prepared("update sync_pending set batch = ?1;").bind(1, batch).run();
    std::vector<Pending> pending;
    std::unordered_set<long long> seen;
    // Categories first, parents before children; then icons; then items in the catalogue's order.
    Statement row(db, "select p.key, p.kind, p.guid from sync_pending p"
                      " left join category_table c on p.kind = 'c' and c.guid = p.guid"
                      " left join link_table l on p.kind = 'i' and l.guid = p.guid"
                      " order by case p.kind when 'c' then 0 when 'n' then 1 else 2 end, c.level, c.itemorder,"
                      " l.itemorder, p.key;");
    while (row.step())
        if (seen.insert(row.integer(0)).second)
            pending.push_back({row.integer(0), row.text(1).empty() ? SyncRecord::Item : row.text(1)[0], row.text(2)});
    return pending;
}

void SyncStore::clearBatch(long long batch)
{
    prepared("delete from sync_pending where batch = ?1;").bind(1, batch).run();
}

bool SyncStore::hasPending()
{
    return firstInteger(db, "select exists (select 1 from sync_pending);") != 0;
}

void SyncStore::clearPending()
{
    db.ExecuteStatement("delete from sync_pending;");
}

std::vector<SyncStore::Peer> SyncStore::peers()
{
    std::vector<Peer> all;
    for (Statement row(db, "select device, upto, name, ahead, sees from sync_peer;"); row.step();)
        all.push_back({row.text(0), row.integer(1), row.text(2), row.integer(3), row.integer(4)});
    return all;
}

void SyncStore::setPeer(const Peer& peer)
{
    prepared("replace into sync_peer (device, upto, name, ahead, sees) values (?1, ?2, ?3, ?4, ?5);")
        .bind(1, peer.device)
        .bind(2, peer.upTo)
        .bind(3, peer.name)
        .bind(4, peer.ahead)
        .bind(5, peer.seesUsAhead)
        .run();
}

void SyncStore::forgetPeers()
{
    db.ExecuteStatement("delete from sync_peer;");
}

bool SyncStore::hasItem(const std::string& guid)
{
    // The GUID's index answers alone: no row is read.
    Statement& query = prepared("select exists (select 1 from link_table where guid = ?1);");
    query.bind(1, guid);
    const bool has = query.step() && query.integer(0) != 0;
    query.reset();
    return has;
}

std::optional<StoredItem> SyncStore::item(const std::string& guid)
{
    Statement& row = prepared("select guid, name, target, category, star, comment, type from link_table where guid = "
                              "?1 order by itemorder limit 1;");
    row.bind(1, guid);
    if (!row.step())
        return std::nullopt;
    StoredItem found = itemRow(row);
    row.reset();
    return found;
}

std::vector<StoredCategory> SyncStore::categories()
{
    std::vector<StoredCategory> rows;
    std::unordered_set<std::string> seen;
    // Only the first row of a GUID counts, as for every reader of the catalogue.
    for (Statement row(db, "select guid, name, level, parent_guid, system, iconIndex from category_table order by "
                           "itemorder;");
         row.step();)
        if (StoredCategory category = categoryRow(row); seen.insert(category.guid).second)
            rows.push_back(std::move(category));
    return rows;
}

void SyncStore::forEachItem(const std::function<void(StoredItem&)>& visit)
{
    // One item read into again and again: the texts a visitor leaves in it are written over.
    StoredItem item;
    for (Statement row(db, "select guid, name, target, category, star, comment, type from link_table order by "
                           "itemorder;");
         row.step();) {
        readItemRow(row, item);
        visit(item);
    }
}

SyncStore::Walk::Walk(CppSQLite3DB& db)
    : rows(db, "select guid, name, target, category, star, comment, type from link_table order by itemorder;")
{
    if ((more = rows.step()))
        readItemRow(rows, next);
}

bool SyncStore::Walk::take(const std::string& guid, StoredItem& into)
{
    if (!more || next.guid != guid)
        return false;
    std::swap(next, into);
    if ((more = rows.step()))
        readItemRow(rows, next);
    return true;
}

std::unique_ptr<SyncStore::Walk> SyncStore::walkItems()
{
    return std::make_unique<Walk>(db);
}

void SyncStore::writeItem(const StoredItem& row, bool exists)
{
    Statement& write =
        exists ? prepared("update link_table set name = ?2, target = ?3, category = ?4, star = ?5, comment = ?6, type "
                          "= ?7 where guid = ?1;")
               : prepared("insert into link_table (guid, name, target, category, star, comment, type) values (?1, ?2, "
                          "?3, ?4, ?5, ?6, ?7);");
    write.bind(1, row.guid).bind(2, row.name).bind(3, row.target).bind(4, row.category).bind(5, row.star);
    write.bind(6, row.comment).bind(7, row.type).run();
    if (!exists && items)
        ++*items;
}

void SyncStore::deleteItem(const std::string& guid)
{
    const int gone = prepared("delete from link_table where guid = ?1;").bind(1, guid).execute();
    if (items)
        *items -= gone;
}

void SyncStore::writeCategory(const StoredCategory& row, bool exists)
{
    Statement& write = exists ? prepared("update category_table set name = ?2, level = ?3, parent_guid = ?4, system = "
                                         "?5, iconIndex = ?6 where guid = ?1;")
                              : prepared("insert into category_table (guid, name, level, parent_guid, system, "
                                         "iconIndex) values (?1, ?2, ?3, ?4, ?5, ?6);");
    write.bind(1, row.guid).bind(2, row.name).bind(3, row.level).bind(4, row.parent).bind(5, row.system);
    write.bind(6, row.iconIndex).run();
}

void SyncStore::deleteCategory(const std::string& guid)
{
    prepared("delete from category_table where guid = ?1;").bind(1, guid).run();
}

bool SyncStore::holdsAnything(const std::string& categoryGuid)
{
    Statement& query = prepared("select exists (select 1 from link_table where category = ?1) or exists (select 1 "
                                "from category_table where parent_guid = ?1);");
    query.bind(1, categoryGuid);
    const bool holds = query.step() && query.integer(0) != 0;
    query.reset();
    return holds;
}

int SyncStore::itemCount()
{
    // Every row, as the window shows them: no GUID is compared to count them.
    if (!items)
        items = static_cast<int>(firstInteger(db, "select count(*) from link_table;"));
    return *items;
}
