// SPDX-License-Identifier: GPL-3.0-or-later
#include "syncengine.h"

#include "hybridclock.h"
#include "merge.h"
#include "syncfiles.h"
#include "syncmerge.h"
#include "syncstore.h"

#include "model/newguid.h"
#include "storage/transaction.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSysInfo>
#include <QTemporaryFile>

#include <algorithm>
#include <chrono>
#include <filesystem>

#include <cerrno>
#include <fcntl.h>
#include <future>
#include <map>
#include <optional>
#include <string_view>
#include <sys/file.h>
#include <thread>
#include <tuple>
#include <unistd.h>
#include <unordered_map>

namespace {

constexpr long long Day = 86400LL * 1000000;
// Deletions are remembered this long; a device away for longer could bring back what was deleted.
constexpr long long TombstoneLife = 366 * Day;
// A device folder nobody wrote to for this long, and that every device has read, is compacted away.
constexpr long long RetiredAfter = 30 * Day;
constexpr std::size_t DeviceFolderLimit = 1000;
constexpr long long MarkerLimit = 64 * 1024;

std::string folderOf(const std::string& device)
{
    return std::string(syncFolder) + "/" + device;
}

long long number(const std::string& text)
{
    try {
        return text.empty() ? 0 : std::stoll(text);
    } catch (const std::exception&) {
        return 0;
    }
}

std::string canonicalPath(const std::string& path)
{
    return std::filesystem::weakly_canonical(path).string();
}

std::string span(long long microseconds)
{
    const long long minutes = (std::llabs(microseconds) + 30'000'000) / 60'000'000;
    if (minutes >= 36 * 60)
        return std::to_string((minutes + 12 * 60) / (24 * 60)) + " days";
    if (minutes >= 90)
        return std::to_string((minutes + 30) / 60) + " hours";
    return std::to_string(minutes) + " minutes";
}

QJsonObject jsonOf(const std::string& text)
{
    return QJsonDocument::fromJson(QByteArray::fromStdString(text)).object();
}

std::string textOf(const QJsonObject& object)
{
    return QJsonDocument(object).toJson(QJsonDocument::Compact).toStdString();
}

std::map<std::string, long long> numbersOf(const QJsonObject& object)
{
    std::map<std::string, long long> numbers;
    for (auto entry = object.begin(); entry != object.end(); ++entry)
        numbers[entry.key().toStdString()] = entry.value().toInteger();
    return numbers;
}

QJsonObject jsonOf(const std::map<std::string, long long>& numbers)
{
    QJsonObject object;
    for (const auto& [name, value] : numbers)
        object.insert(QString::fromStdString(name), static_cast<qint64>(value));
    return object;
}

JoinRule ruleOf(const std::string& restore)
{
    return restore == "exact" ? JoinRule::Exact : JoinRule::BringBack;
}

// What a device's folder holds, as its names and sizes say.
struct Folder {
    std::vector<RemoteEntry> entries;
    bool missing = false;
    long long newest = 0;
    long long newestSnapshot = 0;
    long long snapshotBytes = 0;
    long long changeBytesSinceSnapshot = 0;
    long long newestModified = 0;
    bool legacy = false;

    std::vector<std::string> names() const
    {
        std::vector<std::string> all;
        for (const RemoteEntry& entry : entries)
            all.push_back(entry.name);
        return all;
    }
};

Folder folderFrom(std::optional<std::vector<RemoteEntry>> entries)
{
    Folder folder;
    if (!entries) {
        folder.missing = true;
        return folder;
    }
    folder.entries = std::move(*entries);
    for (const RemoteEntry& entry : folder.entries) {
        const auto name = parseSyncFileName(entry.name);
        if (!name)
            continue;
        folder.legacy = folder.legacy || name->legacy;
        folder.newest = std::max(folder.newest, name->sequence);
        folder.newestModified = std::max(folder.newestModified, entry.modified);
        if (name->snapshot && name->sequence >= folder.newestSnapshot) {
            folder.newestSnapshot = name->sequence;
            folder.snapshotBytes = std::max(entry.size, 0LL);
        }
    }
    for (const RemoteEntry& entry : folder.entries)
        if (const auto name = parseSyncFileName(entry.name);
            name && !name->snapshot && name->sequence > folder.newestSnapshot)
            folder.changeBytesSinceSnapshot += std::max(entry.size, 0LL);
    return folder;
}

// A file of another device to merge, fetched before anything is written.
struct Source {
    std::string device;
    std::string name;
    SyncFileName parsed;
    std::unique_ptr<QIODevice> bytes;
};

// A file of this device's upload, written before the upload and kept until it is confirmed; sent
// already while the merge's state was written, when it was ready by then.
struct Prepared {
    std::string name;
    std::unique_ptr<QTemporaryFile> file;
    std::unique_ptr<SyncTransport::Sending> sending;
};

class Sync {
public:
    Sync(const std::string& dbPath, SyncTransport& transport, const SyncOptions& options)
        : store(dbPath), transport(transport), options(options), raw(HybridClock::wallClockNow())
    {
    }

    void run();
    SyncReport report;

private:
    void settleIdentity();
    void startNewDevice();
    void becomeCopy(const std::string& why);
    void openPlace();
    void settleKey(bool markerThere);
    void useMarker();
    const SyncKey* fileKey();
    void readOwnFolder();
    void recogniseOwnFiles();
    void settleClock();
    void planSources();
    void openSource(const std::string& device, const std::string& name);
    std::string nameOf(const std::string& device) const;
    bool mergeAndPrepare();
    void mergeSources(MergeSession& session);
    void prepareUpload(MergeSession& session);
    std::unique_ptr<QTemporaryFile> temporary();
    bool expired(const SyncRecord& record) const;
    void writeSnapshotCategories(MergeSession& session, SyncFileWriter& writer);
    void writeSnapshotItems(SyncFileWriter& writer);
    void sendDraft(MergeSession& session);
    SyncFileHeader uploadHeader(bool snapshot) const;
    void makeOwnFolder();
    void upload();
    void compactRetired();
    void remember();
    long long nowShared() const { return raw + shift; }
    // A device's first upload is one snapshot holding everything when the place holds none, or when it
    // must write one anyway.
    bool snapshotOnly() const;
    bool placeHasSnapshot() const;

    SyncStore store;
    SyncTransport& transport;
    const SyncOptions& options;
    const long long raw;
    long long shift = 0;
    std::string device;
    long long sequence = 0;
    JoinRule rule = JoinRule::None;
    bool restored = false;
    bool forceSnapshot = false;
    bool backedUp = false;
    std::optional<SyncKey> key;
    // A new marker's key while it is derived, and its salt.
    std::shared_future<SyncKey> comingKey;
    QByteArray comingSalt;
    bool draftOnComingKey = false;
    std::vector<RemoteEntry> top;
    std::map<std::string, Folder> folders;
    Folder own;
    std::vector<Source> sources;
    std::map<std::string, long long> progress;
    std::map<std::string, SyncStore::Peer> peers;
    std::map<std::string, std::map<std::string, long long>> peerSeen;
    std::vector<Prepared> prepared;
    std::optional<Prepared> draft;
    std::unique_ptr<SyncFileWriter> draftWriter;
    long long draftRecords = 0;
    long long preparedSequence = 0;
    bool preparedSnapshot = false;
};

void Sync::startNewDevice()
{
    device = NewGuid();
    sequence = 0;
    store.setMeta("device", device);
    store.setMeta("machine", machineIdentity());
    store.setMeta("path", canonicalPath(store.path()));
    store.setMeta("sequence", "0");
    store.eraseMeta("upload");
}

// A copy knows what the catalogue it was copied from knew; only its name on the place is new, or two
// catalogues would write the same files. The files its original wrote later are read as another's.
void Sync::becomeCopy(const std::string& why)
{
    const std::string old = device;
    const long long oldSequence = sequence;
    startNewDevice();
    store.setPeer({old, oldSequence, store.meta("machine-name"), 0, 0});
    if (!why.empty())
        report.warnings.push_back(why);
}

// A device is one catalogue file on one machine. A file at another place or on another machine is a
// copy; the same file older than its own uploads is a restore, and goes on as the same device.
void Sync::settleIdentity()
{
    // Whatever it notes is written at once, not a write of the file each.
    Transaction transaction(store.catalogue());
    device = store.meta("device");
    sequence = number(store.meta("sequence"));
    const long long lastSync = number(store.meta("last-sync"));
    const std::string path = canonicalPath(store.path());
    const auto record = readDeviceRecord(store.path());
    const bool recordIsOurs =
        record && !record->device.empty() && record->machine == machineIdentity() && record->path == path;
    if (device.empty()) {
        if (recordIsOurs) {
            // A backup from before the first sync, or a catalogue whose bookkeeping is gone.
            device = record->device;
            sequence = record->sequence;
            restored = true;
            rule = ruleOf(record->restore);
            store.setMeta("device", device);
            store.setMeta("machine", machineIdentity());
            store.setMeta("path", path);
            store.setMeta("sequence", std::to_string(sequence));
        } else {
            startNewDevice();
            rule = JoinRule::AsNew;
        }
    } else if (store.meta("machine") != machineIdentity() || store.meta("path") != path) {
        becomeCopy("");
    } else if (lastSync > 0 && raw - lastSync > TombstoneLife) {
        store.forgetPeers();
        startNewDevice();
        rule = JoinRule::AsNew;
        report.warnings.push_back("This catalogue has not synced for more than a year, longer than deletions are "
                                  "remembered: it starts afresh, its items are merged as new and nothing is deleted.");
    } else if (recordIsOurs && record->device == device && (record->sequence > sequence || !record->restore.empty())) {
        restored = true;
        rule = ruleOf(record->restore);
        sequence = std::max(sequence, record->sequence);
    }
    // Until its first merge is stored, a device meets the place as a new one: rows written before the
    // triggers were there were never noted.
    if (rule == JoinRule::None && store.meta("joined") != "1")
        rule = JoinRule::AsNew;
    if (store.triggersWereMissing() && rule == JoinRule::None && sequence > 0) {
        // Rows were written by a program that took our triggers away: the catalogue as it is now is
        // what the user has, and it goes to every device as it is.
        rule = JoinRule::Exact;
        restored = true;
    }
    if (rule != JoinRule::None)
        store.forgetPeers();
    transaction.Commit();
}

void Sync::openPlace()
{
    auto listed = transport.list(syncFolder);
    if (!listed) {
        // A WebDAV place whose folder is not there yet is made; a missing local folder raised above.
        if (!transport.list(""))
            transport.makeFolder("");
        transport.makeFolder(syncFolder);
        listed.emplace();
    }
    top = std::move(*listed);
    bool marker = false;
    std::size_t deviceFolders = 0;
    for (const RemoteEntry& entry : top) {
        marker = marker || (!entry.folder && entry.name == encryptionMarkerName);
        deviceFolders += entry.folder && !entry.name.starts_with('.');
        if (entry.name == encryptionMarkerName && entry.size > MarkerLimit)
            throw SyncError("The place's encryption marker \"Varnelo/encryption\" is not one Varnelo can use.");
    }
    if (deviceFolders > DeviceFolderLimit)
        throw SyncError("The place holds more than " + std::to_string(DeviceFolderLimit)
                        + " device folders in \"Varnelo\": that is no place Varnelo made; nothing was read.");
    settleKey(marker);
}

// Once a place is encrypted, no device writes a plain file there again: a device without the key stops.
// A new marker's key is derived on a thread of its own while the merge goes on; the marker goes to the
// place when the key is first needed (fileKey()).
void Sync::settleKey(bool markerThere)
{
    if (!markerThere && !options.passphrase.empty()) {
        comingSalt = newEncryptionSalt();
        comingKey = std::async(std::launch::async, [passphrase = options.passphrase, salt = comingSalt] {
                        return newEncryptionKey(passphrase, salt);
                    }).share();
        forceSnapshot = true;
        return;
    }
    if (!markerThere && options.key)
        throw SyncError("This place holds no encrypted files any more: enter the sync passphrase in Sync Settings "
                        "to encrypt them again. Nothing was sent.");
    if (markerThere)
        useMarker();
}

void Sync::useMarker()
{
    const QByteArray marker = transport.fetchSmall(std::string(syncFolder) + "/" + encryptionMarkerName);
    if (options.key && keyFitsMarker(marker, *options.key))
        key = options.key;
    else if (!options.passphrase.empty()) {
        key = keyFromMarker(marker, options.passphrase);
        if (!key)
            throw SyncError("The sync passphrase is not the one this place's files were encrypted with: nothing "
                            "was read or changed.");
    } else if (options.key) {
        throw SyncError("The sync key kept for this place does not open its files: enter the sync passphrase "
                        "again. Nothing was read or changed.");
    } else {
        throw SyncError("The files at this place are encrypted: set the sync passphrase (in Sync Settings, or "
                        "with --passphrase-file) to sync.");
    }
    if (store.meta("encrypted") != "1")
        forceSnapshot = true;
    report.encryptionKey = key->toBase64();
}

// The key files are read and written with; a new marker goes to the place first. One another device
// put there meanwhile wins, as it would have at the start, unless a file was written with ours.
const SyncKey* Sync::fileKey()
{
    if (comingKey.valid()) {
        const SyncKey made = comingKey.get();
        comingKey = {};
        if (transport.create(std::string(syncFolder) + "/" + encryptionMarkerName,
                             newEncryptionMarker(comingSalt, made))) {
            key = made;
            report.warnings.push_back(
                "Sync encryption is on for this place now: every device needs the passphrase to sync.");
            report.encryptionKey = key->toBase64();
        } else if (draftOnComingKey) {
            throw SyncError("Another device turned sync encryption on for this place meanwhile: sync again to use "
                            "its passphrase. Nothing was sent.");
        } else {
            useMarker();
        }
    }
    return key ? &*key : nullptr;
}

void Sync::readOwnFolder()
{
    own = folderFrom(transport.list(folderOf(device)));
    // Temporaries of an upload that was cut off; nobody else writes in this folder.
    for (const RemoteEntry& entry : own.entries)
        if (entry.name.starts_with(".upload-") || entry.name.starts_with(".create-")) {
            try {
                transport.remove(folderOf(device) + "/" + entry.name);
            } catch (const SyncError&) {
                // Left for the next sync.
            }
        }
}

// An upload that reached the place before this catalogue recorded it is this device's own; files
// of ours that this catalogue neither wrote nor remembers belong to another catalogue.
void Sync::recogniseOwnFiles()
{
    const QJsonObject intent = jsonOf(store.meta("upload"));
    const long long intended = intent.value("sequence").toInteger();
    bool landed = intended > 0 && intended == own.newest;
    for (const QJsonValue& file : intent.value("files").toArray()) {
        const QJsonObject wanted = file.toObject();
        landed = landed && std::any_of(own.entries.begin(), own.entries.end(), [&](const RemoteEntry& entry) {
                     return entry.name == wanted.value("name").toString().toStdString()
                            && (entry.size < 0 || entry.size == wanted.value("size").toInteger());
                 });
    }
    if (own.newest > sequence && landed) {
        Transaction transaction(store.catalogue());
        sequence = intended;
        store.setMeta("sequence", std::to_string(sequence));
        store.clearBatch(intended);
        store.eraseMeta("upload");
        if (intent.value("encrypted").toBool())
            store.setMeta("encrypted", "1");
        transaction.Commit();
    } else if (own.newest > sequence && restored) {
        sequence = own.newest;
    } else if (own.newest > sequence) {
        becomeCopy("This catalogue was restored or copied from another one: it goes on as a new device.");
        readOwnFolder();
    } else {
        // What a snapshot that never landed held was noted nowhere else: it is written again.
        for (const QJsonValue& file : intent.value("files").toArray())
            if (const auto name = parseSyncFileName(file.toObject().value("name").toString().toStdString()))
                forceSnapshot = forceSnapshot || name->snapshot;
        if (intended > 0)
            store.eraseMeta("upload");
        if (own.missing && sequence > 0 && !restored) {
            report.warnings.push_back("This device's folder on the sync place was gone: it is written again.");
            forceSnapshot = true;
        }
    }
    forceSnapshot = forceSnapshot || own.legacy || store.upgraded() || !store.meta("cover").empty();
}

// Stamps are taken in the time the devices share: the WebDAV server's, or in a folder the clock most
// devices agree on, each device's clock judged by what the others saw of it.
void Sync::settleClock()
{
    for (SyncStore::Peer& peer : store.peers())
        peers[peer.device] = peer;
    const std::string against = transport.clockOffset() ? "the WebDAV server's" : "the other devices'";
    if (auto offset = transport.clockOffset()) {
        shift = std::llabs(*offset) > clockTolerance ? *offset : 0;
    } else {
        std::vector<long long> estimates{0};
        for (const auto& [name, peer] : peers) {
            if (peer.ahead > clockTolerance)
                estimates.push_back(peer.ahead);
            else if (peer.seesUsAhead > clockTolerance)
                estimates.push_back(-peer.seesUsAhead);
            else
                estimates.push_back(0);
        }
        std::sort(estimates.begin(), estimates.end());
        // Of two devices that disagree, the one ahead is taken to be wrong.
        const long long median = estimates[(estimates.size() - 1) / 2];
        shift = std::llabs(median) > clockTolerance ? median : 0;
    }
    long long last = store.clockLast();
    if (last > nowShared() + clockTolerance)
        last = nowShared();
    store.setClock(last, shift);
    if (shift != 0)
        report.warnings.push_back("This machine's clock is " + span(shift) + (shift < 0 ? " ahead of " : " behind ")
                                  + against
                                  + ": its changes are stamped in that time until the clock is set right. "
                                    "Check this machine's date and time.");
}

std::string Sync::nameOf(const std::string& other) const
{
    auto peer = peers.find(other);
    return peer == peers.end() || peer->second.name.empty() ? other : peer->second.name;
}

void Sync::openSource(const std::string& from, const std::string& name)
{
    Source source{from, name, *parseSyncFileName(name), nullptr};
    try {
        source.bytes = transport.open(folderOf(from) + "/" + name);
    } catch (const SyncError& error) {
        throw SyncError("Cannot read the changes of \"" + nameOf(from) + "\" (" + folderOf(from) + "/" + name
                        + "): " + error.what() + " Nothing was merged.");
    }
    sources.push_back(std::move(source));
}

// Which files of which devices to read: on from where each was read last, or, for a catalogue that
// meets the place's state for the first time, the newest snapshot of one device and the changes
// after it.
void Sync::planSources()
{
    if (rule == JoinRule::None)
        for (const auto& [name, peer] : peers)
            progress[name] = peer.upTo;
    std::vector<std::string> devices;
    for (const RemoteEntry& entry : top)
        if (entry.folder && !entry.name.starts_with('.') && (entry.name != device || rule != JoinRule::None))
            devices.push_back(entry.name);
    std::sort(devices.begin(), devices.end());
    for (const std::string& name : devices)
        folders[name] = name == device ? own : folderFrom(transport.list(folderOf(name)));
    std::string baseDevice, baseName;
    if (rule != JoinRule::None) {
        long long newest = -1;
        for (const auto& [name, folder] : folders)
            for (const RemoteEntry& entry : folder.entries)
                if (const auto file = parseSyncFileName(entry.name);
                    file && file->snapshot && file->sequence == folder.newestSnapshot && entry.modified > newest) {
                    newest = entry.modified;
                    baseDevice = name;
                    baseName = entry.name;
                }
        if (!baseDevice.empty()) {
            openSource(baseDevice, baseName);
            try {
                const SyncFileReader header(*sources.back().bytes, fileKey(), folderOf(baseDevice) + "/" + baseName);
                for (const auto& [name, upTo] : header.header().seen)
                    progress[name] = upTo;
            } catch (const SyncFileError&) {
                // Said with the file's name when the merge reads it.
            }
            progress[baseDevice] = sources.back().parsed.sequence;
        }
    }
    for (const auto& [name, folder] : folders) {
        if (folder.missing)
            continue;
        const ReadPlan plan = planReading(folder.names(), progress[name]);
        if (plan.empty)
            continue;
        for (const std::string& file : plan.files)
            if (!(name == baseDevice && file == baseName))
                openSource(name, file);
        progress[name] = plan.upTo;
    }
    // The base snapshot is read first; the others by device, each in its order.
    std::stable_sort(sources.begin(), sources.end(), [&](const Source& a, const Source& b) {
        return (a.device == baseDevice && a.name == baseName) > (b.device == baseDevice && b.name == baseName);
    });
}

void Sync::mergeSources(MergeSession& session)
{
    report.changesReceived = 0;
    const long long previous = number(store.meta("last-look"));
    const long long lastLook = previous > 0 && previous < nowShared() ? previous : nowShared();
    for (Source& source : sources) {
        const std::string path = folderOf(source.device) + "/" + source.name;
        const SyncKey* readKey = fileKey();
        try {
            source.bytes->seek(0);
            SyncFileReader reader(*source.bytes, readKey, path);
            const SyncFileHeader& header = reader.header();
            if (header.device != source.device || header.sequence != source.parsed.sequence
                || header.snapshot != source.parsed.snapshot)
                throw SyncFileError(SyncFileError::Damaged, "does not belong where it is");
            SyncStore::Peer& peer = peers[source.device];
            peer.device = source.device;
            if (!header.machineName.empty())
                peer.name = header.machineName;
            if (header.clock > 0) {
                peer.ahead = header.clock - raw;
                auto seesUs = header.observed.find(device);
                peer.seesUsAhead = seesUs == header.observed.end() ? 0 : seesUs->second;
            }
            if (!header.seen.empty())
                peerSeen[source.device] = header.seen;
            const std::string from = peer.name.empty() ? source.device : peer.name;
            SyncRecord record;
            RecordDigest digest;
            while (reader.next(record, &digest)) {
                // A stamp ahead of this machine's clock was made by a clock that is wrong: it counts as
                // made when this device last looked before the file could be there, so that no change
                // made meanwhile loses to it, on whichever device reads it later.
                for (Stamp* stamp : {&record.fieldsStamp, &record.parentStamp, &record.deleteStamp, &record.created})
                    if (stamp->clock > nowShared() + clockTolerance)
                        stamp->clock = lastLook;
                if (const SyncRecord* after = reader.peek())
                    session.prefetch(*after, reader.peekDigest());
                session.merge(record, from, &digest);
                ++report.changesReceived;
            }
        } catch (const SyncFileError& error) {
            throw SyncError("The sync file \"" + path + "\" of \"" + nameOf(source.device) + "\" " + error.what()
                            + "; nothing was merged.");
        }
    }
}

// Merges and applies in one transaction, and writes what this device uploads in the same one; false
// when it stopped for the user's consent.
bool Sync::mergeAndPrepare()
{
    for (;;) {
        std::optional<Transaction> transaction(std::in_place, store.catalogue());
        HybridClock clock(device, store.clockLast());
        MergeSettings settings{device,      options.documentFolders, rule, options.wholeMerge || store.upgraded(),
                               nowShared(), snapshotOnly()};
        // A first device's snapshot is written as its rows are adopted. A draft of a merge worked out
        // again goes, its writer first: that may still be writing to it.
        draftWriter.reset();
        draft.reset();
        if (snapshotOnly() && sources.empty() && rule != JoinRule::None) {
            draft.emplace(Prepared{syncFileName(sequence + 1, true), temporary(), {}});
            const std::string bound = folderOf(device) + "/" + draft->name;
            draftOnComingKey = comingKey.valid();
            draftWriter = draftOnComingKey
                              ? std::make_unique<SyncFileWriter>(*draft->file, comingKey, bound, uploadHeader(true))
                              : std::make_unique<SyncFileWriter>(*draft->file, fileKey(), bound, uploadHeader(true));
            settings.intoSnapshot = [this](SyncRecord& record) { draftWriter->take(record); };
        }
        MergeSession session(store, settings, clock);
        if (draft)
            settings.settled = [this, &session] { sendDraft(session); };
        session.captureLocalChanges();
        mergeSources(session);
        session.finish();
        const MergeOutcome& outcome = session.outcome();

        const int deleting = outcome.itemsDeleted;
        const int itemCount = deleting > 20 ? store.itemCount() + deleting : 0;
        if (deleting > 20 && deleting * 4 > itemCount && !options.allowMassDelete && rule != JoinRule::Exact) {
            auto most = std::max_element(outcome.deletedBy.begin(), outcome.deletedBy.end(),
                                         [](const auto& a, const auto& b) { return a.second < b.second; });
            report.needsConfirmation = true;
            report.deletingDevice = nameOf(most->first);
            report.itemsToDelete = deleting;
            report.itemCount = itemCount;
            report.error = "The changes from \"" + report.deletingDevice + "\" would delete " + std::to_string(deleting)
                           + " of the " + std::to_string(itemCount) + " items here; nothing was changed.";
            return false;
        }
        if (outcome.catalogueChanged && !backedUp && options.backup) {
            // The backup reads the catalogue as it is: the merge is undone and worked out again after it.
            transaction.reset();
            report.backupPath = options.backup(store.path());
            backedUp = true;
            continue;
        }
        for (const auto& [name, peer] : peers) {
            SyncStore::Peer saved = peer;
            if (auto read = progress.find(name); read != progress.end())
                saved.upTo = read->second;
            store.setPeer(saved);
        }
        store.setClock(std::max(clock.last(), store.clockLast()), shift);
        store.setMeta("peer-seen", [&] {
            QJsonObject all = jsonOf(store.meta("peer-seen"));
            for (const auto& [name, seen] : peerSeen)
                all.insert(QString::fromStdString(name), jsonOf(seen));
            return textOf(all);
        }());
        store.setMeta("joined", "1");
        prepareUpload(session);
        transaction->Commit();
        report.catalogueChanged = outcome.catalogueChanged;
        report.cameBack = outcome.cameBack;
        report.warnings.insert(report.warnings.end(), outcome.warnings.begin(), outcome.warnings.end());
        for (const std::string& name : outcome.revivedCategories)
            report.warnings.push_back("A category deleted on another device came back to keep what was added to it "
                                      "since: \""
                                      + name + "\".");
        return true;
    }
}

SyncFileHeader Sync::uploadHeader(bool snapshot) const
{
    std::map<std::string, long long> observed;
    for (const auto& [name, peer] : peers)
        if (peer.ahead > clockTolerance)
            observed[name] = peer.ahead;
    SyncFileHeader header{device, options.machineName, sequence + 1, snapshot, raw, observed, progress};
    header.seen[device] = sequence + 1;
    return header;
}

bool Sync::placeHasSnapshot() const
{
    return own.newestSnapshot > 0 || std::any_of(folders.begin(), folders.end(), [](const auto& folder) {
               return folder.second.newestSnapshot > 0;
           });
}

bool Sync::snapshotOnly() const
{
    return sequence == 0 && (forceSnapshot || !placeHasSnapshot());
}

std::unique_ptr<QTemporaryFile> Sync::temporary()
{
    auto file = std::make_unique<QTemporaryFile>();
    if (!file->open())
        throw SyncError("Cannot make a temporary file for the upload: " + file->errorString().toStdString());
    return file;
}

bool Sync::expired(const SyncRecord& record) const
{
    return record.deleted() && nowShared() - record.deleteStamp.clock > TombstoneLife;
}

void Sync::writeSnapshotCategories(MergeSession& session, SyncFileWriter& writer)
{
    std::vector<const StoredCategory*> categories;
    for (const StoredCategory& row : session.categories())
        categories.push_back(&row);
    std::stable_sort(categories.begin(), categories.end(),
                     [](const StoredCategory* a, const StoredCategory* b) { return a->level < b->level; });
    const RecordSet& records = session.categoryAndIconRecords();
    // Each category's record, and whether it was written.
    std::unordered_map<std::string_view, std::pair<const SyncRecord*, bool>> recordOf;
    for (const auto& [key, known] : records)
        if (key.first == SyncRecord::Category)
            recordOf.emplace(key.second, std::pair(&known, false));
    // Copied into one record the writer hands back written: its texts keep their room.
    SyncRecord record;
    const auto write = [&](const SyncRecord& known) {
        record = known;
        writer.take(record);
    };
    for (const StoredCategory* row : categories)
        if (auto known = recordOf.find(row->guid); known != recordOf.end() && !known->second.second) {
            known->second.second = true;
            write(*known->second.first);
        }
    for (const auto& [key, known] : records)
        if ((key.first != SyncRecord::Category || !recordOf.at(key.second).second) && !expired(known))
            write(known);
}

// The first device's snapshot is whole once the merge settled: it is sent while the state is written,
// and moved into place after the commit.
void Sync::sendDraft(MergeSession& session)
{
    writeSnapshotCategories(session, *draftWriter);
    draftWriter->finish();
    draftRecords = draftWriter->count();
    draftWriter.reset();
    if (!draft->file->flush())
        throw SyncError("Cannot write the file to upload: " + draft->file->errorString().toStdString());
    // A new marker goes to the place before the file it opens.
    fileKey();
    makeOwnFolder();
    draft->sending = transport.startPut(folderOf(device) + "/" + draft->name, *draft->file);
}

void Sync::writeSnapshotItems(SyncFileWriter& writer)
{
    std::unordered_map<long long, std::string> items = store.packedItems();
    const auto withStamps = [](SyncRecord record, const SyncStore::Entry& entry) {
        record.fieldsStamp = entry.fields;
        record.parentStamp = entry.parent;
        record.deleteStamp = entry.deleted;
        record.created = entry.created;
        return record;
    };
    store.forEachItem([&](const StoredItem& row) {
        auto packed = items.find(objectKey(SyncRecord::Item, row.guid));
        if (packed == items.end())
            return;
        writer.add(withStamps(localObject(row, options.documentFolders).content, store.unpack(packed->second)));
        items.erase(packed);
    });
    for (const auto& [unused, packed] : items) {
        const SyncStore::Entry entry = store.unpack(packed);
        if (entry.record && entry.record->deleted() && !expired(withStamps(*entry.record, entry)))
            writer.add(withStamps(*entry.record, entry));
    }
}

// The files of this device's next upload, written while the merge's transaction holds the catalogue
// still, and the intent to upload them recorded with the merge.
void Sync::prepareUpload(MergeSession& session)
{
    const long long next = sequence + 1;
    std::vector<SyncStore::Pending> pending = store.pendingFor(next);
    const std::map<std::string, long long> observed = uploadHeader(false).observed;
    const std::map<std::string, long long> published = numbersOf(jsonOf(store.meta("observed")));
    const auto minutes = [](const std::map<std::string, long long>& map) {
        std::map<std::string, long long> rounded;
        for (const auto& [name, value] : map)
            rounded[name] = value / (clockTolerance / 2);
        return rounded;
    };
    const bool publish = minutes(observed) != minutes(published);
    long long reference = own.snapshotBytes;
    for (const auto& [name, folder] : folders)
        if (reference == 0)
            reference = folder.snapshotBytes;
    if (pending.empty() && !publish && !forceSnapshot && !snapshotOnly())
        return;

    const SyncKey* writeKey = fileKey();
    if (!snapshotOnly()) {
        Prepared changes{syncFileName(next, false), temporary(), {}};
        SyncFileWriter writer(*changes.file, writeKey, folderOf(device) + "/" + changes.name, uploadHeader(false));
        for (const SyncStore::Pending& change : pending)
            if (auto record = session.currentRecord(change.kind, change.guid, change.key))
                writer.add(*record);
        writer.finish();
        report.changesSent = static_cast<int>(writer.count());
        changes.file->flush();
        prepared.push_back(std::move(changes));
    }
    const long long changeBytes = own.changeBytesSinceSnapshot + (prepared.empty() ? 0 : prepared.back().file->size());
    preparedSnapshot =
        snapshotOnly() || forceSnapshot || (reference > 0 && changeBytes > reference) || !placeHasSnapshot();
    if (preparedSnapshot && draft) {
        report.changesSent = static_cast<int>(draftRecords);
        prepared.push_back(std::move(*draft));
    } else if (preparedSnapshot) {
        Prepared snapshot{syncFileName(next, true), temporary(), {}};
        SyncFileWriter writer(*snapshot.file, writeKey, folderOf(device) + "/" + snapshot.name, uploadHeader(true));
        writeSnapshotItems(writer);
        writeSnapshotCategories(session, writer);
        writer.finish();
        if (snapshotOnly())
            report.changesSent = static_cast<int>(writer.count());
        snapshot.file->flush();
        prepared.push_back(std::move(snapshot));
    }
    if (preparedSnapshot) {
        store.setMeta("snapshot-seen", textOf(jsonOf(uploadHeader(true).seen)));
        store.eraseMeta("cover");
    }
    draft.reset();
    QJsonArray files;
    for (const Prepared& file : prepared)
        files.append(QJsonObject{{"name", QString::fromStdString(file.name)}, {"size", file.file->size()}});
    store.setMeta("upload", textOf(QJsonObject{{"sequence", next}, {"files", files}, {"encrypted", key.has_value()}}));
    store.setMeta("observed", textOf(jsonOf(observed)));
    preparedSequence = next;
}

void Sync::makeOwnFolder()
{
    if (!own.missing)
        return;
    transport.makeFolder(folderOf(device));
    own.missing = false;
}

void Sync::upload()
{
    if (prepared.empty())
        return;
    makeOwnFolder();
    for (Prepared& file : prepared)
        if (file.sending)
            file.sending->place();
        else
            transport.put(folderOf(device) + "/" + file.name, *file.file);
    {
        Transaction transaction(store.catalogue());
        store.setMeta("sequence", std::to_string(preparedSequence));
        store.clearBatch(preparedSequence);
        store.eraseMeta("upload");
        if (key)
            store.setMeta("encrypted", "1");
        transaction.Commit();
    }
    sequence = preparedSequence;
    if (!preparedSnapshot)
        return;
    // Older files are covered by the snapshot; a reader still on them reads the snapshot instead.
    for (const RemoteEntry& entry : own.entries) {
        const auto name = parseSyncFileName(entry.name);
        if (name && name->sequence < sequence) {
            try {
                transport.remove(folderOf(device) + "/" + entry.name);
            } catch (const SyncError&) {
                // Left for the next compaction.
            }
        }
    }
}

// A device folder nobody wrote to for a month goes once every device that still writes has read it
// all, and this device's snapshot holds what it knew; without such a snapshot, the next sync writes one.
void Sync::compactRetired()
{
    const long long nowMs = nowShared() / 1000;
    const auto retired = [&](const Folder& folder) {
        return folder.newestModified > 0 && nowMs - folder.newestModified > RetiredAfter / 1000;
    };
    const QJsonObject allSeen = jsonOf(store.meta("peer-seen"));
    const auto ownSeen = numbersOf(jsonOf(store.meta("snapshot-seen")));
    for (const auto& [name, folder] : folders) {
        if (name == device || folder.missing || folder.newest == 0 || !retired(folder)
            || progress[name] < folder.newest)
            continue;
        bool absorbed = true;
        for (const auto& [other, live] : folders)
            if (other != name && other != device && !live.missing && !retired(live)) {
                const auto seen = numbersOf(allSeen.value(QString::fromStdString(other)).toObject());
                auto upTo = seen.find(name);
                absorbed = absorbed && upTo != seen.end() && upTo->second >= folder.newest;
            }
        if (!absorbed)
            continue;
        if (auto upTo = ownSeen.find(name); upTo == ownSeen.end() || upTo->second < folder.newest) {
            store.setMeta("cover", "1");
            continue;
        }
        try {
            transport.removeFolder(folderOf(name));
        } catch (const SyncError&) {
            // Tried again at the next sync.
        }
    }
}

void Sync::remember()
{
    Transaction transaction(store.catalogue());
    store.setMeta("last-sync", std::to_string(raw));
    store.setMeta("last-look", std::to_string(nowShared()));
    transaction.Commit();
    writeDeviceRecord(store.path(), {device, machineIdentity(), canonicalPath(store.path()), sequence, ""});
    // The first format kept a copy of every row: the pages it took are given back once. Another program
    // holding the file open only leaves them for the next time.
    if (store.upgraded()) {
        try {
            store.catalogue().SetBusyTimeout(2000);
            store.catalogue().ExecuteStatement("vacuum;");
        } catch (const CppSQLite3Exception&) {
        }
    }
}

void Sync::run()
{
    settleIdentity();
    openPlace();
    readOwnFolder();
    recogniseOwnFiles();
    settleClock();
    planSources();
    const bool localChanges = !store.dirty(device).empty() || store.hasPending();
    const bool nothingNew = sources.empty() && rule == JoinRule::None && !forceSnapshot && !localChanges
                            && !options.wholeMerge && sequence > 0;
    if (!nothingNew) {
        if (!mergeAndPrepare())
            return;
        upload();
    }
    compactRetired();
    remember();
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
            report = sync.report;
            throw;
        }
        report = sync.report;
    } catch (const SyncCredentialsError& error) {
        report.ok = false;
        report.credentialsRefused = true;
        report.error = error.what();
    } catch (const SyncError& error) {
        report.ok = false;
        report.error = error.what();
    } catch (const CppSQLite3Exception& error) {
        report.ok = false;
        report.error = std::string("The catalogue could not be read or written: ") + error.what();
    } catch (const std::exception& error) {
        report.ok = false;
        report.error = error.what();
    }
    report.bytesSent = transport.bytesSent();
    report.bytesReceived = transport.bytesReceived();
    return report;
}

bool placeHasNews(const std::string& dbPath, SyncTransport& transport)
{
    std::string device;
    std::map<std::string, long long> read;
    {
        CppSQLite3DB db;
        db.OpenReadOnly(dbPath.c_str());
        if (!db.TableExists("sync_meta") || !db.TableExists("sync_peer"))
            return true;
        for (CppSQLite3Query row = db.ExecuteQuery("select value from sync_meta where key = 'device';"); !row.Eof();
             row.NextRow())
            device = row.fieldText("value");
        for (CppSQLite3Query row = db.ExecuteQuery("select device, upto from sync_peer;"); !row.Eof(); row.NextRow())
            read[row.fieldText("device")] = std::atoll(row.fieldText("upto").c_str());
    }
    const auto listed = transport.list(syncFolder);
    if (!listed)
        return true;
    for (const RemoteEntry& entry : *listed) {
        if (!entry.folder || entry.name == device || entry.name.starts_with('.'))
            continue;
        const Folder folder = folderFrom(transport.list(folderOf(entry.name)));
        if (!folder.missing && !planReading(folder.names(), read[entry.name]).files.empty())
            return true;
    }
    return false;
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
