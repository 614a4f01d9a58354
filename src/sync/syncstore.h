// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "catalogueplan.h"
#include "syncrecord.h"

#include "storage/cdbmanager.h"

#include <map>
#include <set>
#include <string>
#include <vector>

// The catalogue as sync sees it, on a connection of its own: the two catalogue tables read and
// written as rows, and sync's own bookkeeping in tables beside them (the catalogue's tables keep
// their columns): sync_meta (this device, its settings, its clock), sync_object (the last synced
// state of every object with its stamps) and sync_peer (how far each other device was read).
class SyncStore {
public:
    explicit SyncStore(const std::string& dbPath);

    CDBManager& catalogue() { return db; }
    const std::string& path() const { return dbPath; }

    std::string meta(const std::string& key, const std::string& fallback = {});
    void setMeta(const std::string& key, const std::string& value);

    void readCatalogue(std::vector<StoredCategory>& categories, std::vector<StoredItem>& items);
    void apply(const CataloguePlan& plan);

    struct State {
        RecordSet records;
        std::map<RecordKey, std::string> rows;
        std::set<RecordKey> pending;
    };
    // Everything, or only the records waiting to be sent (rows left out).
    State loadState(bool pendingOnly = false);
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
    std::string dbPath;
    CDBManager db;
};
