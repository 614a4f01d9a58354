// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "catalogueplan.h"
#include "guidset.h"
#include "hybridclock.h"
#include "syncstore.h"

#include <functional>
#include <map>
#include <set>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

// How a catalogue that does not know the place's state meets it: a new device (its rows are new
// here, stamped now), a restored backup (what it holds comes back where it was deleted, and the later
// version of everything else stays), or a restore that makes every device exactly the backup.
enum class JoinRule { None, AsNew, BringBack, Exact };

struct MergeSettings {
    std::string device;
    std::vector<DocumentFolder> documentFolders;
    JoinRule rule = JoinRule::None;
    // Compare every row with the last synced state, not only the rows the triggers noted.
    bool wholeScan = false;
    // Now, in the time the devices share (microseconds).
    long long now = 0;
    // This device's next upload is a snapshot alone, which holds everything: nothing needs to wait
    // as a change of its own.
    bool everythingInSnapshot = false;
    // Where the records of the rows a new device adopts go as they are made, when its first upload is a
    // snapshot of them: one pass over the catalogue instead of two. It takes the record and leaves in its
    // place one to be written over.
    std::function<void(SyncRecord&)> intoSnapshot{};
    // Called once the catalogue and every record are settled, before the state goes to its table: what
    // depends only on them (the snapshot) can be finished and sent meanwhile.
    std::function<void()> settled{};
};

struct MergeOutcome {
    bool catalogueChanged = false;
    int itemsDeleted = 0;
    // Items deleted, by the device whose deletion it was.
    std::map<std::string, int> deletedBy;
    // Categories that came back to keep what was added to them elsewhere.
    std::vector<std::string> revivedCategories;
    // Objects the restored backup holds that were deleted since, brought back.
    int cameBack = 0;
    std::vector<std::string> warnings;
};

// One merge, inside the caller's transaction: the changes made here are stamped, then the records of
// the other devices are folded in one at a time, and the catalogue is written as it goes. Items are
// never all in memory; categories and icons are.
class MergeSession {
public:
    MergeSession(SyncStore& store, const MergeSettings& settings, HybridClock& clock);

    // What changed here since the last sync, from the triggers' notes (and every row, on a whole scan).
    void captureLocalChanges();
    // A record another device sent; the stamps were already held against this machine's clock.
    void merge(SyncRecord& record, const std::string& fromDevice, const RecordDigest* digest = nullptr);
    // The record merged after the one in hand: what it will look up is fetched meanwhile.
    void prefetch(const SyncRecord& next, const RecordDigest* digest = nullptr) const;
    // Categories, icons and whatever only the whole picture decides; the notes are cleared.
    void finish();

    const MergeOutcome& outcome() const { return result; }
    // The record of an object as it stands now (for the files this device writes).
    std::optional<SyncRecord> currentRecord(char kind, const std::string& guid, long long key);
    // A category's or an icon's record, every one of them, after finish().
    const RecordSet& categoryAndIconRecords() const { return records; }
    // The catalogue's categories as they stand, in the table's order.
    const std::vector<StoredCategory>& categories();
    // The icon reference of each picture of the catalogue's list.
    const std::vector<std::string>& iconReferences() const { return iconRefs; }

private:
    struct Local;
    // A change made here waits for the next upload.
    void pend(long long key, char kind, const std::string& guid);
    // Whether the key was not noted as present before.
    bool noteFirstPresence(long long key);
    Stamp fallback();
    Stamp noted(const Stamp& stamp, const Stamp& otherwise);
    void notedInto(const Stamp& stamp, const Stamp& otherwise, Stamp& into);
    void capture(char kind, const std::string& guid, const std::optional<LocalObject>& local,
                 const SyncStore::Dirty* note);
    std::optional<SyncRecord> joined(char kind, const SyncRecord& incoming, const std::optional<LocalObject>& local,
                                     long long key);
    void mergeItem(const SyncRecord& incoming, const RecordDigest* digest);
    void mergeKept(const SyncRecord& incoming);
    // The row an item's record meets, kept in `met` until the next record.
    const std::optional<StoredItem>& itemRow(const std::string& guid, bool walked);
    void holderMayGo(const std::string& category);
    void keepPresent(SyncRecord& merged, const SyncRecord& present, long long key);
    void storeItem(long long key, const SyncRecord& merged, const std::optional<StoredItem>& row);
    void landsIn(const std::string& item, const std::string& category);
    void adoptLocalOnly();
    void settleCategories();
    void settleIcons(std::map<std::string, int>& indexOfRef);
    std::optional<LocalObject> localCategory(const std::string& guid);

    SyncStore& store;
    const MergeSettings& settings;
    HybridClock& clock;
    MergeOutcome result;

    // The categories as they were at the start, and as they are once this merge wrote one.
    std::vector<StoredCategory> categoriesRead, categoriesNow;
    bool categoriesWritten = false;
    // The first row of each GUID among categoriesRead.
    std::map<std::string_view, const StoredCategory*> categoryRows;
    // Their GUIDs, for the question asked of every item.
    GuidSet rowGuids;
    // Every GUID a category goes by, here or in a record: no item may take one.
    GuidSet categoryGuids;
    std::vector<std::string> iconPictures, iconHashes, iconRefs;
    // Categories and icons: every record known, live or deleted.
    RecordSet records;
    std::set<RecordKey> touched;
    std::map<long long, SyncStore::Dirty> notes;
    // Every item a joining catalogue held, by its key (1 for each).
    KeyIndex presentAtStart;
    bool presentSized = false;
    // A category both in the catalogue and among the records: an item in it needs no placing.
    std::string lastPlacedParent;
    std::set<long long> cameBack;
    int itemsMet = 0;
    std::vector<std::string> unplaced;
    // An item now names a category that is no row here (deleted here, or not yet made).
    bool itemsLeftTheirPlace = false;
    struct Inserting {
        StoredItem row;
        Stamp created;
    };
    std::map<std::string, Inserting> inserting;
    // A joining catalogue's rows in their order: a copy of the device whose snapshot is read meets its
    // rows in the same order, so most are found without a lookup.
    std::unique_ptr<SyncStore::Walk> walk;
    // A joining catalogue's rows are walked once the first record of the place asks for one.
    bool walkWanted = false;
    // The row the record in hand meets, kept until the next record.
    std::optional<StoredItem> met;
    // That row and its content, as compared with the record: written over for each.
    StoredItem compared;
    SyncRecord mine;
    // Items to delete, with the device whose deletion it is.
    std::map<std::string, std::string> deleting;
};
