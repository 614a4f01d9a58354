// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "catalogueplan.h"
#include "keyindex.h"
#include "syncrecord.h"

#include "storage/cdbmanager.h"
#include "storage/statement.h"

#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <unordered_map>
#include <unordered_set>
#include <vector>

// The catalogue as sync sees it, on a connection of its own, and sync's bookkeeping in tables beside
// the catalogue's (whose columns stay as they are):
//   sync_meta     this device, its settings, its upload in flight
//   sync_clock    the hybrid logical clock and this machine's shift to the time the devices share
//   sync_dirty    what changed since the last sync, stamped by triggers at the moment of the change,
//                 whichever program made it (a part's stamp per content, place and deletion)
//   sync_state    per object of the last synced state: hashes of its content and place and its
//                 stamps (a deleted object, a category and an icon keep their whole record)
//   sync_pending  the changes made here and not yet uploaded, by upload batch
//   sync_peer     how far each other device was read, and what its clock looked like
//   sync_device   the device ids stamps name, by number
class SyncStore {
public:
    explicit SyncStore(const std::string& dbPath);
    ~SyncStore();

    CDBManager& catalogue() { return db; }
    const std::string& path() const { return dbPath; }

    std::string meta(const std::string& key, const std::string& fallback = {});
    void setMeta(const std::string& key, const std::string& value);
    void eraseMeta(const std::string& key);

    // The change-noting triggers were made by an earlier sync and are gone now: changes were made that
    // nobody noted.
    bool triggersWereMissing() const { return missingTriggers; }
    // The catalogue kept the first format's bookkeeping, converted now.
    bool upgraded() const { return upgradedTables; }

    // ---- the clock ----
    long long clockLast();
    void setClock(long long last, long long shift);

    // ---- what changed here ----
    struct Dirty {
        char kind = SyncRecord::Item;
        std::string guid;
        // Null when the part did not change.
        Stamp content, place, gone;
        // The row as it was when it was deleted.
        std::optional<StoredItem> wasItem;
        std::optional<StoredCategory> wasCategory;
    };
    // Stamped as this device's.
    std::vector<Dirty> dirty(const std::string& device);
    void clearDirty();

    // ---- the last synced state ----
    struct Entry {
        long long hash = 0;
        Stamp fields, parent, deleted, created;
        // A deleted object's, a category's deletion and an icon's whole record.
        std::optional<SyncRecord> record;
    };
    std::optional<Entry> state(long long key);
    // Fetches what state() of the key will read first into the cache.
    void prefetchState(long long key) const { unwrittenAt.prefetch(key); }
    // Kept in memory and written in the order of their keys at flushState() (or before any read of
    // the whole state), so that a merge of every object writes the table front to back.
    void setState(long long key, char kind, const Entry& entry);
    // The state of a record as it stands: its hash, its stamps, and itself where nothing else holds it.
    void setState(long long key, const SyncRecord& record, long long hash);
    void flushState();
    // What a merge that is undone kept in memory goes with it.
    void forgetUnwritten();
    // The entries of one kind, whole (categories and icons are few).
    std::unordered_map<long long, Entry> stateOfKind(char kind);
    // The stamps of every item as stored, for writing a snapshot (unpack each as needed).
    std::unordered_map<long long, std::string> packedItems();
    Entry unpack(const std::string& packed);
    // The hash of every item (0 for a deleted one), for comparing every row.
    std::unordered_map<long long, long long> itemHashes();
    // Whether the last synced state holds the object.
    bool knows(long long key);
    void clearState();

    // ---- changes waiting to be uploaded ----
    void addPending(long long key, char kind, const std::string& guid);
    struct Pending {
        long long key;
        char kind;
        std::string guid;
    };
    // Every waiting change now belongs to the upload numbered batch; in catalogue order.
    std::vector<Pending> pendingFor(long long batch);
    void clearBatch(long long batch);
    bool hasPending();
    void clearPending();

    // ---- other devices ----
    struct Peer {
        std::string device;
        long long upTo = 0;
        std::string name;
        // How far ahead of ours its clock was when its newest file was read (its writing time
        // against our reading time), and how far ahead it found ours.
        long long ahead = 0;
        long long seesUsAhead = 0;
    };
    std::vector<Peer> peers();
    void setPeer(const Peer& peer);
    void forgetPeers();

    // ---- the catalogue's rows ----
    std::optional<StoredItem> item(const std::string& guid);
    bool hasItem(const std::string& guid);
    std::vector<StoredCategory> categories();
    // The visitor may take the row's texts. Rows that share a GUID are each visited: the first of
    // them is the object, the visitor passes over the others.
    void forEachItem(const std::function<void(StoredItem&)>& visit);
    // The rows in the catalogue's order, read one at a time while other rows are looked up and
    // updated in place. A walk only moves on past a row it gave: the row it gives is the first of its
    // GUID unless the GUID was asked for before.
    class Walk {
    public:
        explicit Walk(CppSQLite3DB& db);
        // The row of the GUID when it is the next one, exchanged with `into`, whose texts the walk
        // reads the row after into; false when the next row is another one.
        bool take(const std::string& guid, StoredItem& into);

    private:
        Statement rows;
        StoredItem next;
        bool more = false;
    };
    std::unique_ptr<Walk> walkItems();
    void writeItem(const StoredItem& row, bool exists);
    void deleteItem(const std::string& guid);
    void writeCategory(const StoredCategory& row, bool exists);
    void deleteCategory(const std::string& guid);
    // Whether a row of the category table holds the category (items or categories inside it).
    bool holdsAnything(const std::string& categoryGuid);
    int itemCount();

private:
    void createTables();
    void createTriggers();
    void upgradeFirstFormat();
    int deviceNumber(const std::string& device);
    std::string deviceOf(int number);
    std::string packStamps(const Entry& entry);
    std::string packStamps(const Stamp& created, const Stamp& fields, const Stamp& parent, const Stamp& deleted);
    void unpackStamps(const unsigned char* bytes, std::size_t size, Entry& entry);
    Statement& prepared(const char* sql);

    std::string dbPath;
    CDBManager db;
    bool missingTriggers = false;
    bool upgradedTables = false;
    std::unordered_map<std::string, int> deviceNumbers;
    std::vector<std::string> devices;
    int lastDevice = -1;
    std::map<const char*, std::unique_ptr<Statement>> statements;
    struct Unwritten {
        long long key;
        int kind;
        long long hash;
        std::string stamps;
        std::optional<std::string> record;
    };
    // The state set since the last flush, in the order it was set (a first sync notes every row of the
    // catalogue here), and where each key's is.
    std::vector<Unwritten> unwritten;
    // One past the place of each key's.
    KeyIndex unwrittenAt;
    const Unwritten* unwrittenOf(long long key) const;
    void keep(Unwritten row);
    // The table was emptied in this transaction: what is not unwritten is not there.
    bool onlyUnwritten = false;
    // The catalogue's items, counted once and kept up to date by the writes made here; counted again
    // after a flush, which is also where a merge worked out again starts.
    std::optional<int> items;
};

// The number an object goes by in the bookkeeping.
long long objectKey(char kind, const std::string& guid);
// Hashes of what travels of an object: its content (its record's fields) and its place (parent).
long long objectHash(const SyncRecord& content);
