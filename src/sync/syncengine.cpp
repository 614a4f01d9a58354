// SPDX-License-Identifier: GPL-3.0-or-later
#include "syncengine.h"

#include "hybridclock.h"
#include "merge.h"
#include "syncfiles.h"
#include "syncstore.h"

#include "model/newguid.h"
#include "storage/iconlistblob.h"

#include <QCryptographicHash>
#include <QDateTime>
#include <QJsonArray>
#include <QJsonDocument>
#include <QSysInfo>

#include <algorithm>
#include <chrono>
#include <filesystem>

#include <cerrno>
#include <fcntl.h>
#include <map>
#include <optional>
#include <sys/file.h>
#include <thread>
#include <tuple>
#include <unistd.h>

namespace {

constexpr long long Day = 86400LL * 1000000;
// Deletions are remembered this long; a device away for longer could bring back what was deleted.
constexpr long long TombstoneLife = 366 * Day;
constexpr long long FarAhead = Day;
// Own change files kept before they are compacted into a snapshot.
constexpr int CompactAfterFiles = 64;
// Sending this many records at once is sending the catalogue: a snapshot then replaces the changes.
constexpr std::size_t SnapshotAbovePending = 5000;
constexpr int BuiltInIconCount = 23;
// Up to this many changed objects are merged one by one; more are compared with the whole catalogue.
constexpr std::size_t FewChanges = 5000;

std::string folderOf(const std::string& device)
{
    return std::string(syncFolder) + "/" + device;
}

std::string sha256(const std::string& bytes)
{
    return QCryptographicHash::hash(QByteArray::fromStdString(bytes), QCryptographicHash::Sha256).toHex().toStdString();
}

std::string timeText(long long clock)
{
    return QDateTime::fromMSecsSinceEpoch(clock / 1000).toString("yyyy-MM-dd hh:mm").toStdString();
}

long long number(const std::string& text)
{
    try {
        return text.empty() ? 0 : std::stoll(text);
    } catch (const std::exception&) {
        return 0;
    }
}

// What the other devices wrote since this one last read them.
struct Incoming {
    std::string device;
    std::string machineName;
    long long upTo = 0;
    std::vector<SyncRecord> records;
};

struct OwnFolder {
    std::vector<std::string> names;
    long long newest = 0;
    int changeFiles = 0;
    bool missing = false;
};

OwnFolder readOwnFolder(SyncTransport& transport, const std::string& device)
{
    OwnFolder own;
    auto entries = transport.list(folderOf(device));
    if (!entries) {
        own.missing = true;
        return own;
    }
    for (const RemoteEntry& entry : *entries)
        own.names.push_back(entry.name);
    const ReadPlan plan = planReading(own.names, 0);
    own.newest = plan.empty ? 0 : plan.upTo;
    for (const std::string& name : own.names)
        own.changeFiles += name.starts_with("changes-") ? 1 : 0;
    return own;
}

class Sync {
public:
    Sync(const std::string& dbPath, SyncTransport& transport, const SyncOptions& options)
        : store(dbPath), transport(transport), options(options), wall(HybridClock::wallClockNow())
    {
    }

    void run();
    SyncReport report;

private:
    void settleIdentity();
    void readPeers(const std::vector<RemoteEntry>& devices);
    // What a merge works out before it writes anything.
    struct Merged {
        SyncStore::State state;
        std::set<RecordKey> touched;
        CataloguePlan plan;
        // Counted when needed.
        int itemCount = -1;
        // The new icon list, when it changes.
        std::optional<std::vector<std::string>> iconList;
        std::vector<std::string> revived;
    };
    bool mergeAndApply();
    void mergeChanges(Merged& merged, std::map<RecordKey, std::string>& rows, const std::vector<LocalObject>& objects,
                      HybridClock& clock);
    void mergeAll(HybridClock& clock, Merged& merged);
    bool mergeFew(HybridClock& clock, Merged& merged);
    void upload();
    void startNewDevice(const std::string& why);

    SyncStore store;
    SyncTransport& transport;
    const SyncOptions& options;
    long long wall;
    std::string device;
    long long sequence = 0;
    bool afresh = false;
    bool forceSnapshot = false;
    bool backedUp = false;
    OwnFolder own;
    std::vector<Incoming> incoming;
};

void Sync::startNewDevice(const std::string& why)
{
    if (!why.empty())
        report.warnings.push_back(why);
    device = NewGuid();
    sequence = 0;
    store.setMeta("device", device);
    store.setMeta("machine", machineIdentity());
    store.setMeta("path", std::filesystem::weakly_canonical(store.path()).string());
    store.setMeta("sequence", "0");
}

// A device is one catalogue file on one machine: a copy on another machine, or the same file
// moved, goes on as a new device, or two catalogues would write the same files.
void Sync::settleIdentity()
{
    device = store.meta("device");
    sequence = number(store.meta("sequence"));
    const long long lastSync = number(store.meta("last-sync"));
    if (device.empty() || store.meta("machine") != machineIdentity()
        || store.meta("path") != std::filesystem::weakly_canonical(store.path()).string()) {
        startNewDevice("");
    } else if (lastSync > 0 && wall - lastSync > TombstoneLife) {
        afresh = true;
        store.forgetPeers();
        startNewDevice("This catalogue has not synced for more than a year, longer than deletions are remembered: "
                       "it starts afresh, its items are merged as new and nothing is deleted.");
    }
}

void Sync::readPeers(const std::vector<RemoteEntry>& devices)
{
    for (const RemoteEntry& entry : devices) {
        if (!entry.folder || entry.name == device || entry.name.starts_with('.'))
            continue;
        Incoming peer;
        peer.device = entry.name;
        try {
            auto names = transport.list(folderOf(entry.name));
            // A device folder that vanished, or holds nothing, tells nothing: it deletes nothing.
            if (!names)
                continue;
            std::vector<std::string> files;
            for (const RemoteEntry& file : *names)
                files.push_back(file.name);
            const ReadPlan plan = planReading(files, store.peerProgress(entry.name));
            if (plan.empty || plan.files.empty())
                continue;
            bool readable = true;
            for (const std::string& name : plan.files) {
                auto file = readSyncFile(transport.get(folderOf(entry.name) + "/" + name));
                if (!file || file->header.device != entry.name) {
                    report.warnings.push_back(
                        "The sync file \"" + folderOf(entry.name) + "/" + name
                        + "\" cannot be read; that device's changes wait until it is written again.");
                    readable = false;
                    break;
                }
                peer.machineName = file->header.machineName;
                peer.records.insert(peer.records.end(), std::make_move_iterator(file->records.begin()),
                                    std::make_move_iterator(file->records.end()));
            }
            if (!readable)
                continue;
            peer.upTo = plan.upTo;
        } catch (const SyncError& error) {
            report.warnings.push_back(error.what());
            continue;
        }
        long long newest = 0;
        for (const SyncRecord& record : peer.records)
            newest = std::max(newest, record.newest().clock);
        if (newest > wall + FarAhead)
            report.warnings.push_back("The clock of \"" + (peer.machineName.empty() ? peer.device : peer.machineName)
                                      + "\" is far ahead: its changes are stamped " + timeText(newest)
                                      + ". Check that machine's date and time.");
        report.changesReceived += static_cast<int>(peer.records.size());
        incoming.push_back(std::move(peer));
    }
}

// Compares, merges and applies in one transaction; false when it stopped for the user's consent.
bool Sync::mergeAndApply()
{
    for (;;) {
        store.begin();
        HybridClock clock(device, number(store.meta("clock")));
        for (const Incoming& peer : incoming)
            for (const SyncRecord& record : peer.records)
                clock.witness(record.newest().clock);
        Merged merged;
        if (!mergeFew(clock, merged))
            mergeAll(clock, merged);
        SyncStore::State& state = merged.state;
        std::set<RecordKey>& touched = merged.touched;
        const CataloguePlan& plan = merged.plan;
        const bool iconsChange = merged.iconList.has_value();

        const int deleting = static_cast<int>(plan.itemsToDelete.size());
        const int itemCount = deleting > 20 ? (merged.itemCount >= 0 ? merged.itemCount : store.itemCount()) : 0;
        if (deleting > 20 && deleting * 4 > itemCount && !options.allowMassDelete) {
            std::map<std::string, int> byDevice;
            for (const std::string& guid : plan.itemsToDelete)
                ++byDevice[state.records.at({SyncRecord::Item, guid}).deleteStamp.device];
            auto most = std::max_element(byDevice.begin(), byDevice.end(),
                                         [](const auto& a, const auto& b) { return a.second < b.second; });
            std::string name = store.peerName(most->first);
            for (const Incoming& peer : incoming)
                if (peer.device == most->first && !peer.machineName.empty())
                    name = peer.machineName;
            store.rollback();
            report.needsConfirmation = true;
            report.deletingDevice = name.empty() ? most->first : name;
            report.itemsToDelete = deleting;
            report.itemCount = itemCount;
            report.error = "The changes from \"" + report.deletingDevice + "\" would delete " + std::to_string(deleting)
                           + " of the " + std::to_string(itemCount) + " items here; nothing was changed.";
            return false;
        }
        if ((!plan.empty() || iconsChange) && !backedUp && options.backup) {
            // The backup reads the catalogue as it is; the merge is worked out again after it.
            store.rollback();
            report.backupPath = options.backup(store.path());
            backedUp = true;
            continue;
        }

        store.apply(plan);
        if (iconsChange)
            store.catalogue().SaveIconList(joinIconList(*merged.iconList));
        for (const StoredCategory& row : plan.categoriesToWrite) {
            state.rows[{SyncRecord::Category, row.guid}] = rowText(row);
            touched.insert({SyncRecord::Category, row.guid});
        }
        for (const StoredItem& row : plan.itemsToWrite) {
            state.rows[{SyncRecord::Item, row.guid}] = rowText(row);
            touched.insert({SyncRecord::Item, row.guid});
        }
        for (const std::string& guid : plan.categoriesToDelete) {
            state.rows.erase({SyncRecord::Category, guid});
            touched.insert({SyncRecord::Category, guid});
        }
        for (const std::string& guid : plan.itemsToDelete) {
            state.rows.erase({SyncRecord::Item, guid});
            touched.insert({SyncRecord::Item, guid});
        }
        store.saveState(state, touched);
        for (const Incoming& peer : incoming)
            store.setPeerProgress(peer.device, peer.upTo, peer.machineName);
        store.setMeta("clock", std::to_string(clock.last()));
        store.setMeta("edits-synced", store.meta("edits"));
        store.forgetWrittenRows();
        store.commit();
        report.catalogueChanged = !plan.empty() || iconsChange;
        for (const std::string& guid : merged.revived)
            if (std::any_of(plan.categoriesToWrite.begin(), plan.categoriesToWrite.end(),
                            [&](const StoredCategory& row) { return row.guid == guid; }))
                report.warnings.push_back(
                    "A category deleted on another device came back to keep what was added to it since: \""
                    + state.records.at({SyncRecord::Category, guid}).fields["name"] + "\".");
        return true;
    }
}

// Stamps what changed here since the last sync and folds in what the other devices sent.
void Sync::mergeChanges(Merged& merged, std::map<RecordKey, std::string>& rows, const std::vector<LocalObject>& objects,
                        HybridClock& clock)
{
    for (const RecordKey& key : captureChanges(merged.state.records, rows, objects, clock, wall)) {
        merged.touched.insert(key);
        merged.state.pending.insert(key);
    }
    for (const Incoming& peer : incoming) {
        mergeInto(merged.state.records, peer.records);
        for (const SyncRecord& record : peer.records)
            merged.touched.insert(keyOf(record));
    }
}

// The whole catalogue against the whole last synced state.
void Sync::mergeAll(HybridClock& clock, Merged& merged)
{
    merged = Merged();
    SyncStore::State& state = merged.state;
    state = store.loadState();
    std::vector<StoredCategory> categories;
    std::vector<StoredItem> items;
    store.readCatalogue(categories, items);
    merged.itemCount = static_cast<int>(items.size());
    const auto pngs = splitIconList(store.catalogue().LoadIconList());
    std::vector<std::string> hashes, refs;
    std::vector<LocalObject> objects;
    if (pngs) {
        for (std::size_t i = 0; i < pngs->size(); ++i) {
            hashes.push_back(sha256((*pngs)[i]));
            refs.push_back(iconRef(static_cast<int>(i), hashes.back(), BuiltInIconCount));
            const QByteArray png = QByteArray::fromStdString((*pngs)[i]);
            objects.push_back(iconObject(hashes.back(), png.toBase64().toStdString(), static_cast<int>(i)));
        }
    }
    for (const StoredCategory& row : categories)
        objects.push_back(localObject(row, refs));
    for (const StoredItem& row : items)
        objects.push_back(localObject(row, options.documentFolders));

    mergeChanges(merged, state.rows, objects, clock);
    if (afresh) {
        for (const auto& [key, row] : state.rows) {
            SyncRecord& record = state.records.at(key);
            if (record.deleted()) {
                record.fieldsStamp = clock.tick(wall);
                state.pending.insert(key);
                merged.touched.insert(key);
            }
        }
    }

    const ResolvedCatalogue resolved = resolveCatalogue(state.records);
    merged.revived = resolved.revived;
    std::set<std::string> neededIcons;
    for (const auto& category : resolved.categories)
        if (auto icon = category.record->fields.find("icon"); icon != category.record->fields.end())
            neededIcons.insert(icon->second);
    const IconPlan icons =
        planIcons(pngs ? hashes : std::vector<std::string>(), neededIcons, state.records, BuiltInIconCount);
    std::vector<StoredCategory> wantedCategories;
    std::vector<StoredItem> wantedItems;
    for (const auto& category : resolved.categories)
        wantedCategories.push_back(categoryRowOf(category, icons.indexOfRef));
    for (const auto& item : resolved.items)
        wantedItems.push_back(itemRowOf(item, options.documentFolders));
    merged.plan = planCatalogue(categories, items, wantedCategories, wantedItems);
    if (icons.seed.empty() && icons.append.empty())
        return;
    std::vector<std::string> list = icons.seed.empty() ? *pngs : std::vector<std::string>();
    for (const std::string& hash : icons.seed)
        list.push_back(QByteArray::fromBase64(
                           QByteArray::fromStdString(state.records.at({SyncRecord::Icon, hash}).fields.at("png")))
                           .toStdString());
    for (const std::string& hash : icons.append)
        list.push_back(QByteArray::fromBase64(
                           QByteArray::fromStdString(state.records.at({SyncRecord::Icon, hash}).fields.at("png")))
                           .toStdString());
    for (const auto* added : {&icons.seed, &icons.append})
        for (const std::string& hash : *added) {
            state.rows[{SyncRecord::Icon, hash}] = hash;
            merged.touched.insert({SyncRecord::Icon, hash});
        }
    merged.iconList = std::move(list);
}

// While no category and no icon changed on either side, only the items changed here or sent by the
// others are read, merged and written, so a sync costs what changed, not what the catalogue holds.
// False leaves the merge to mergeAll.
bool Sync::mergeFew(HybridClock& clock, Merged& merged)
{
    if (afresh || sequence == 0)
        return false;
    std::set<RecordKey> keys;
    for (const Incoming& peer : incoming)
        for (const SyncRecord& record : peer.records) {
            if (record.kind != SyncRecord::Item)
                return false;
            keys.insert(keyOf(record));
        }
    const auto written = store.writtenRows(SyncRecord::Item);
    const auto writtenCategories = store.writtenRows(SyncRecord::Category);
    if (!written || !writtenCategories || !writtenCategories->empty() || keys.size() + written->size() > FewChanges)
        return false;
    std::set<std::string> hashes;
    if (const auto pngs = splitIconList(store.catalogue().LoadIconList()))
        for (const std::string& png : *pngs)
            hashes.insert(sha256(png));
    if (hashes != store.iconRows())
        return false;
    const std::vector<std::string>& changed = *written;
    for (const std::string& guid : changed)
        keys.insert({SyncRecord::Item, guid});

    SyncStore::State& state = merged.state;
    state = store.loadState(keys);
    std::map<std::string, StoredItem> current;
    for (const RecordKey& key : keys)
        if (auto row = store.readItem(key.second))
            current.emplace(key.second, std::move(*row));
    std::map<RecordKey, std::string> rows;
    std::vector<LocalObject> objects;
    for (const std::string& guid : changed) {
        if (auto row = state.rows.extract({SyncRecord::Item, guid}))
            rows.insert(std::move(row));
        if (auto row = current.find(guid); row != current.end())
            objects.push_back(localObject(row->second, options.documentFolders));
    }
    mergeChanges(merged, rows, objects, clock);
    state.rows.merge(rows);

    // A category deleted elsewhere that stays for what it holds is settled over the whole catalogue.
    std::set<RecordKey> holders;
    for (const RecordKey& key : merged.touched)
        if (auto record = state.records.find(key); record != state.records.end())
            holders.insert({SyncRecord::Category, record->second.parent});
    for (const auto& [guid, row] : current)
        holders.insert({SyncRecord::Category, row.category});
    const SyncStore::State parents = store.loadState(holders);
    if (std::any_of(parents.records.begin(), parents.records.end(), [](const auto& at) { return at.second.deleted(); }))
        return false;
    const std::set<std::string> categories = store.categoryGuids();

    std::vector<const SyncRecord*> records;
    for (const RecordKey& key : merged.touched)
        if (auto record = state.records.find(key); record != state.records.end())
            records.push_back(&record->second);
    // Items new here are appended in the order they were made, as the whole merge writes them.
    std::sort(records.begin(), records.end(), [](const SyncRecord* a, const SyncRecord* b) {
        return std::tie(a->created, a->guid) < std::tie(b->created, b->guid);
    });
    for (const SyncRecord* record : records) {
        auto row = current.find(record->guid);
        if (record->deleted()) {
            if (row != current.end())
                merged.plan.itemsToDelete.push_back(record->guid);
            continue;
        }
        std::string category = record->parent;
        if (!categories.count(category)) {
            if (parents.records.count({SyncRecord::Category, category}))
                return false;
            category = fallbackCategoryGuid;
        }
        const StoredItem wanted = itemRowOf({record, category}, options.documentFolders);
        if (row == current.end() || !(row->second == wanted))
            merged.plan.itemsToWrite.push_back(wanted);
    }
    return true;
}

void Sync::upload()
{
    const int pending = store.catalogue().ExecuteScalar("select count(*) from sync_object where pending=1;");
    if (pending == 0 && !forceSnapshot && sequence > 0)
        return;
    const bool snapshot = sequence == 0 || forceSnapshot || pending > static_cast<int>(SnapshotAbovePending)
                          || own.changeFiles >= CompactAfterFiles;
    const SyncStore::State state = store.loadState(!snapshot);
    std::vector<SyncRecord> records;
    for (const auto& [key, record] : state.records) {
        if (!snapshot && !state.pending.count(key))
            continue;
        // A deletion older than anyone must remember is left out of a snapshot.
        if (snapshot && record.deleted() && wall - record.deleteStamp.clock > TombstoneLife)
            continue;
        records.push_back(record);
    }
    const long long next = sequence + 1;
    const QByteArray file = writeSyncFile({device, options.machineName, next, snapshot}, records);
    if (own.missing)
        transport.makeFolder(folderOf(device));
    transport.put(folderOf(device) + "/" + syncFileName(next, snapshot), file);
    report.changesSent = static_cast<int>(records.size());

    store.begin();
    store.clearPending(state.pending);
    store.setMeta("sequence", std::to_string(next));
    store.commit();
    sequence = next;
    if (snapshot) {
        // Older files are covered by the snapshot; a reader still on them re-reads the snapshot.
        for (const std::string& name : own.names) {
            const ReadPlan mine = planReading({name}, 0);
            if (!mine.empty && mine.upTo < next) {
                try {
                    transport.remove(folderOf(device) + "/" + name);
                } catch (const SyncError&) {
                    // Left for the next compaction.
                }
            }
        }
    }
}

void Sync::run()
{
    settleIdentity();
    auto top = transport.list(syncFolder);
    if (!top) {
        // A WebDAV place whose folder is not there yet is made; a missing local folder raised above.
        if (!transport.list(""))
            transport.makeFolder("");
        transport.makeFolder(syncFolder);
        top.emplace();
    }
    own = readOwnFolder(transport, device);
    if (own.newest > sequence) {
        // Files of ours that we do not remember writing: this catalogue is a restored backup, or a
        // copy; its folder belongs to the catalogue that wrote them, which we read as another device.
        const std::string old = device;
        startNewDevice("This catalogue was restored or copied from another one: it goes on as a new device.");
        top->push_back({old, true});
        own = readOwnFolder(transport, device);
    } else if (own.missing && sequence > 0) {
        report.warnings.push_back("This device's folder on the sync place was gone: it is written again.");
        forceSnapshot = true;
    }
    readPeers(*top);
    const bool nothingNew =
        std::all_of(incoming.begin(), incoming.end(), [](const Incoming& peer) { return peer.records.empty(); });
    const bool unchanged = nothingNew && !afresh && !forceSnapshot && sequence > 0
                           && store.meta("edits") == store.meta("edits-synced")
                           && store.catalogue().ExecuteScalar("select count(*) from sync_object where pending=1;") == 0;
    if (!unchanged) {
        if (!mergeAndApply())
            return;
        upload();
    }
    store.setMeta("last-sync", std::to_string(wall));
    report.ok = true;
}

}  // namespace

namespace {

// One sync of a catalogue at a time, whichever program starts it (the window's worker, varnelo-cli):
// two at once would upload under the same numbers of the same device. The second waits a few seconds
// for the first, then gives up with syncRunningText: a quit or a script never hangs on another sync.
class SyncLock {
public:
    SyncLock(const std::string& dbPath, const std::function<bool()>& keepWaiting)
        : fd(::open((dbPath + ".sync-lock").c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600))
    {
        // A folder where no lock file can be made holds no catalogue another sync could write either.
        if (fd < 0)
            return;
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(lockWaitSeconds);
        while (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
            if (errno == EINTR)
                continue;
            if (errno != EWOULDBLOCK)
                return;
            if (std::chrono::steady_clock::now() >= deadline || (keepWaiting && !keepWaiting())) {
                ::close(fd);
                throw SyncError(syncRunningText);
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        }
    }
    ~SyncLock()
    {
        if (fd >= 0)
            ::close(fd);
    }
    SyncLock(const SyncLock&) = delete;
    SyncLock& operator=(const SyncLock&) = delete;

private:
    int fd;
};

}  // namespace

SyncReport synchronize(const std::string& dbPath, SyncTransport& transport, const SyncOptions& options)
{
    SyncReport report;
    try {
        const SyncLock lock(dbPath, options.keepWaiting);
        Sync sync(dbPath, transport, options);
        try {
            sync.run();
        } catch (...) {
            sync.report.bytesSent = transport.bytesSent();
            sync.report.bytesReceived = transport.bytesReceived();
            report = sync.report;
            throw;
        }
        report = sync.report;
    } catch (const SyncError& error) {
        report.error = error.what();
    } catch (const CppSQLite3Exception& error) {
        report.error = std::string("The catalogue could not be read or written: ") + error.what();
    } catch (const std::exception& error) {
        report.error = error.what();
    }
    report.bytesSent = transport.bytesSent();
    report.bytesReceived = transport.bytesReceived();
    return report;
}

std::string SyncReport::summary() const
{
    if (!ok)
        return error;
    std::string text =
        "Synced: " + std::to_string(changesReceived) + " changes received, " + std::to_string(changesSent) + " sent.";
    for (const std::string& warning : warnings)
        text += " " + warning;
    return text;
}

std::string machineIdentity()
{
    const QByteArray id = QSysInfo::machineUniqueId();
    return id.isEmpty() ? QSysInfo::machineHostName().toStdString() : id.toStdString();
}

SyncSettings loadSyncSettings(const std::string& dbPath)
{
    // Only read: a catalogue that never synced gets no tables of ours for being asked.
    CppSQLite3DB db;
    db.Open(dbPath.c_str());
    std::map<std::string, std::string> meta;
    if (db.TableExists("sync_meta"))
        for (CppSQLite3Query query = db.ExecuteQuery("select key, value from sync_meta;"); !query.Eof();
             query.NextRow())
            meta[query.fieldText("key")] = query.fieldText("value");
    SyncSettings settings{meta["place"], meta["user"], meta["machine-name"], {}};
    const QJsonArray folders = QJsonDocument::fromJson(QByteArray::fromStdString(meta["document-folders"])).array();
    for (const QJsonValue& folder : folders) {
        const QJsonArray pair = folder.toArray();
        if (pair.size() == 2)
            settings.documentFolders.push_back({pair[0].toString().toStdString(), pair[1].toString().toStdString()});
    }
    if (settings.machineName.empty())
        settings.machineName = QSysInfo::machineHostName().toStdString();
    return settings;
}

void saveSyncSettings(const std::string& dbPath, const SyncSettings& settings)
{
    SyncStore store(dbPath);
    QJsonArray folders;
    for (const DocumentFolder& folder : settings.documentFolders)
        folders.append(QJsonArray{QString::fromStdString(folder.name), QString::fromStdString(folder.path)});
    store.setMeta("place", settings.place);
    store.setMeta("user", settings.user);
    store.setMeta("machine-name", settings.machineName);
    store.setMeta("document-folders", QJsonDocument(folders).toJson(QJsonDocument::Compact).toStdString());
}
