// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "catalogueplan.h"
#include "syncrecord.h"

#include "storage/cdbmanager.h"

#include <map>
#include <optional>
#include <set>
#include <string>
#include <vector>

// The catalogue as sync sees it, on a connection of its own: the two catalogue tables read and
// written as rows, and sync's own bookkeeping in tables beside them (the catalogue's tables keep
// their columns): sync_meta (this device, its settings, its clock), sync_object (the last synced
// state of every object with its stamps), sync_peer (how far each other device was read) and
// sync_dirty (the rows written since the last sync).
class SyncStore {
public:
    explicit SyncStore(const std::string& dbPath);

    CDBManager& catalogue() { return db; }
    const std::string& path() const { return dbPath; }

    std::string meta(const std::string& key, const std::string& fallback = {});
    void setMeta(const std::string& key, const std::string& value);

    void readCatalogue(std::vector<StoredCategory>& categories, std::vector<StoredItem>& items);
    void apply(const CataloguePlan& plan);
    // The GUIDs of the rows (items or categories) written since the last sync, by any program;
    // nothing while this catalogue has not synced since it started counting them.
    std::optional<std::vector<std::string>> writtenRows(char kind);
    // The catalogue now matches the last synced state: counting starts afresh.
    void forgetWrittenRows();
    // The first row of the GUID, as every reader of the catalogue takes it.
    std::optional<StoredItem> readItem(const std::string& guid);
    std::set<std::string> categoryGuids();
    // The content hashes of the icons of the list at the last sync.
    std::set<std::string> iconRows();
    int itemCount();

    struct State {
        RecordSet records;
        std::map<RecordKey, std::string> rows;
        std::set<RecordKey> pending;
    };
    // Everything, or only the records waiting to be sent (rows left out).
    State loadState(bool pendingOnly = false);
    State loadState(const std::set<RecordKey>& keys);
    // Writes the records, rows and pending marks of the given keys.
    void saveState(const State& state, const std::set<RecordKey>& keys);
    void clearPending(const std::set<RecordKey>& keys);

    long long peerProgress(const std::string& device);
    void setPeerProgress(const std::string& device, long long upTo, const std::string& machineName);
    std::string peerName(const std::string& device);
    void forgetPeers();

    // "begin immediate": the window's writes wait while a merge compares and applies.
    void begin();
    void commit();
    void rollback();

private:
    void addToState(State& state, CppSQLite3Query& query);

    std::string dbPath;
    CDBManager db;
};
