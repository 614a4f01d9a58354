// SPDX-License-Identifier: GPL-3.0-or-later
#include "syncmerge.h"

#include "merge.h"

#include "storage/iconlistblob.h"

#include <QByteArray>
#include <QCryptographicHash>

#include <algorithm>
#include <array>
#include <tuple>
#include <unordered_map>
#include <unordered_set>

namespace {

constexpr int BuiltInIconCount = 23;
// A picture of the icon list is 32 by 32 pixels: far less than this, whatever a device sends.
constexpr qsizetype IconBytesLimit = 256 * 1024;
constexpr long long PlaceBits = (1LL << 23) - 1;

std::string sha256(const std::string& bytes)
{
    return QCryptographicHash::hash(QByteArray::fromStdString(bytes), QCryptographicHash::Sha256).toHex().toStdString();
}

bool sameContent(long long a, long long b)
{
    return (a >> 23) == (b >> 23);
}

bool samePlace(long long a, long long b)
{
    return (a & PlaceBits) == (b & PlaceBits);
}

SyncRecord withStamps(SyncRecord record, const SyncStore::Entry& entry)
{
    record.fieldsStamp = entry.fields;
    record.parentStamp = entry.parent;
    record.deleteStamp = entry.deleted;
    record.created = entry.created;
    return record;
}

bool isPicture(const std::string& base64)
{
    if (base64.size() > std::size_t(IconBytesLimit) * 4 / 3 + 4)
        return false;
    const QByteArray png = QByteArray::fromBase64(QByteArray::fromStdString(base64));
    return png.size() <= IconBytesLimit && isIconPicture(png.toStdString());
}

}  // namespace

MergeSession::MergeSession(SyncStore& store, const MergeSettings& settings, HybridClock& clock)
    : store(store), settings(settings), clock(clock)
{
    store.forgetUnwritten();
    categoriesRead = store.categories();
    for (const StoredCategory& row : categoriesRead) {
        categoryGuids.insert(row.guid);
        rowGuids.insert(row.guid);
        categoryRows.emplace(row.guid, &row);
    }
    if (const auto pictures = splitIconList(store.catalogue().LoadIconList())) {
        iconPictures = *pictures;
        for (std::size_t i = 0; i < iconPictures.size(); ++i) {
            iconHashes.push_back(sha256(iconPictures[i]));
            iconRefs.push_back(iconRef(static_cast<int>(i), iconHashes.back(), BuiltInIconCount));
        }
    }
    for (SyncStore::Dirty& note : store.dirty(settings.device))
        notes.emplace(objectKey(note.kind, note.guid), std::move(note));
    if (settings.rule != JoinRule::None) {
        store.clearState();
        store.clearPending();
        walkWanted = true;
        return;
    }
    const auto categories = store.stateOfKind(SyncRecord::Category);
    std::unordered_set<long long> placed;
    for (const auto& [unused, row] : categoryRows) {
        const long long key = objectKey(SyncRecord::Category, row->guid);
        auto entry = categories.find(key);
        if (entry == categories.end())
            continue;
        placed.insert(key);
        records[{SyncRecord::Category, row->guid}] = withStamps(
            entry->second.record ? *entry->second.record : localObject(*row, iconRefs).content, entry->second);
    }
    for (const auto& [key, entry] : categories)
        if (!placed.count(key) && entry.record) {
            records[{SyncRecord::Category, entry.record->guid}] = withStamps(*entry.record, entry);
            categoryGuids.insert(entry.record->guid);
        }
    for (const auto& [key, entry] : store.stateOfKind(SyncRecord::Icon))
        if (entry.record)
            records[{SyncRecord::Icon, entry.record->guid}] = withStamps(*entry.record, entry);
}

void MergeSession::pend(long long key, char kind, const std::string& guid)
{
    if (!settings.everythingInSnapshot)
        store.addPending(key, kind, guid);
}

bool MergeSession::noteFirstPresence(long long key)
{
    // Sized for every row once a record meets one: a new device with nothing to read needs none.
    if (!presentSized) {
        presentAtStart.reserve(store.itemCount());
        presentSized = true;
    }
    std::size_t& present = presentAtStart.at(key);
    if (present != 0)
        return false;
    present = 1;
    return true;
}

Stamp MergeSession::fallback()
{
    return clock.tick(settings.now);
}

// A trigger's stamp, unless this machine's clock ran far ahead when it was taken.
Stamp MergeSession::noted(const Stamp& stamp, const Stamp& otherwise)
{
    Stamp chosen;
    notedInto(stamp, otherwise, chosen);
    return chosen;
}

void MergeSession::notedInto(const Stamp& stamp, const Stamp& otherwise, Stamp& into)
{
    const Stamp* chosen = stamp.isNull() ? (otherwise.isNull() ? nullptr : &otherwise)
                                         : (stamp.clock > settings.now + clockTolerance ? nullptr : &stamp);
    if (!chosen)
        clock.tick(settings.now, into);
    else
        into = *chosen;
}

std::optional<LocalObject> MergeSession::localCategory(const std::string& guid)
{
    auto row = categoryRows.find(guid);
    if (row == categoryRows.end())
        return std::nullopt;
    return localObject(*row->second, iconRefs);
}

void MergeSession::captureLocalChanges()
{
    if (settings.rule != JoinRule::None)
        return;
    const long long iconsKey = objectKey(SyncRecord::Icon, "*");
    if (settings.wholeScan || notes.count(iconsKey)) {
        const SyncStore::Dirty* note = notes.count(iconsKey) ? &notes.at(iconsKey) : nullptr;
        for (std::size_t i = 0; i < iconHashes.size(); ++i) {
            const RecordKey key{SyncRecord::Icon, iconHashes[i]};
            if (records.count(key))
                continue;
            SyncRecord icon =
                iconObject(iconHashes[i], QByteArray::fromStdString(iconPictures[i]).toBase64().toStdString(),
                           static_cast<int>(i))
                    .content;
            icon.fieldsStamp = icon.created = noted(note ? note->content : Stamp(), {});
            records[key] = icon;
            touched.insert(key);
            pend(objectKey(SyncRecord::Icon, icon.guid), SyncRecord::Icon, icon.guid);
        }
    }
    std::set<std::string> categoriesToCapture, itemGuids;
    for (const auto& [key, note] : notes)
        (note.kind == SyncRecord::Category ? categoriesToCapture : itemGuids).insert(note.guid);
    if (settings.wholeScan)
        for (const auto& [unused, row] : categoryRows)
            categoriesToCapture.insert(row->guid);
    for (const std::string& guid : categoriesToCapture) {
        auto note = notes.find(objectKey(SyncRecord::Category, guid));
        capture(SyncRecord::Category, guid, localCategory(guid), note == notes.end() ? nullptr : &note->second);
    }
    if (settings.wholeScan) {
        const auto known = store.itemHashes();
        store.forEachItem([&](const StoredItem& row) {
            auto hash = known.find(objectKey(SyncRecord::Item, row.guid));
            if (hash == known.end() || hash->second != objectHash(localObject(row, settings.documentFolders).content))
                itemGuids.insert(row.guid);
        });
    }
    for (const std::string& guid : itemGuids) {
        auto note = notes.find(objectKey(SyncRecord::Item, guid));
        const auto row = store.item(guid);
        capture(SyncRecord::Item, guid,
                row ? std::optional<LocalObject>(localObject(*row, settings.documentFolders)) : std::nullopt,
                note == notes.end() ? nullptr : &note->second);
    }
}

// Stamps what changed of one object since the last sync: a part whose hash is as synced did not change,
// whatever was written; the stamp is the trigger's, or now for a change no trigger saw.
void MergeSession::capture(char kind, const std::string& guid, const std::optional<LocalObject>& local,
                           const SyncStore::Dirty* note)
{
    const long long key = objectKey(kind, guid);
    const auto entry = store.state(key);
    // A category deleted elsewhere that stays for what it holds keeps its row and that row's hash: only
    // a change of the row itself undoes the deletion.
    const bool wasDeleted = entry && entry->record && entry->record->deleted() && (entry->hash == 0 || note);
    SyncRecord record;
    long long hash = 0;
    if (local) {
        record = local->content;
        hash = objectHash(record);
        if (!entry) {
            if (!local->pristine) {
                record.fieldsStamp = noted(note ? note->content : Stamp(), {});
                record.parentStamp = noted(note ? note->place : Stamp(), record.fieldsStamp);
                record.created = std::min(record.fieldsStamp, record.parentStamp);
            }
        } else {
            const bool contentChanged = wasDeleted || !sameContent(hash, entry->hash);
            const bool placeChanged =
                wasDeleted ? entry->record->parent != record.parent : !samePlace(hash, entry->hash);
            if (!contentChanged && !placeChanged)
                return;
            record = withStamps(record, *entry);
            if (contentChanged) {
                record.fieldsStamp = noted(note ? note->content : Stamp(), note ? note->place : Stamp());
                if (record.fieldsStamp <= entry->deleted)
                    record.fieldsStamp = fallback();
            }
            if (placeChanged)
                record.parentStamp = noted(note ? note->place : Stamp(), note ? note->content : Stamp());
        }
    } else {
        if (!entry || wasDeleted)
            return;
        if (note && note->wasItem)
            record = localObject(*note->wasItem, settings.documentFolders).content;
        else if (note && note->wasCategory)
            record = localObject(*note->wasCategory, iconRefs).content;
        else if (auto known = records.find({kind, guid}); known != records.end())
            record = known->second;
        record.kind = kind;
        record.guid = guid;
        record = withStamps(record, *entry);
        record.deleteStamp = noted(note ? note->gone : Stamp(), {});
        if (record.deleteStamp <= record.newestChange())
            record.deleteStamp = fallback();
    }
    store.setState(key, record, hash);
    pend(key, kind, guid);
    if (kind == SyncRecord::Item && record.deleted())
        holderMayGo(record.parent);
    if (kind != SyncRecord::Item) {
        records[{kind, guid}] = record;
        touched.insert({kind, guid});
    }
}

// The local side of an object for a catalogue that meets the place's state for the first time.
std::optional<SyncRecord> MergeSession::joined(char kind, const SyncRecord& incoming,
                                               const std::optional<LocalObject>& local, long long key)
{
    auto found = notes.find(key);
    const SyncStore::Dirty* note = found == notes.end() ? nullptr : &found->second;
    if (local) {
        if (noteFirstPresence(key) && kind == SyncRecord::Item)
            ++itemsMet;
        SyncRecord record = local->content;
        if (local->pristine && !note)
            return record;
        // Both are at hand: compared whole, not by their hashes, which two categories can share.
        const bool sameFields = record.fields == incoming.fields, sameParent = record.parent == incoming.parent;
        // What the backup holds was the place's state once: it gives way to any version there. An exact
        // restore's rows win over every version there, whatever file brings it.
        const auto unknown = [&] { return settings.rule == JoinRule::BringBack ? Stamp() : fallback(); };
        const bool exact = settings.rule == JoinRule::Exact;
        record.fieldsStamp = note && !note->content.isNull() ? noted(note->content, {})
                             : sameFields && !exact          ? incoming.fieldsStamp
                                                             : unknown();
        record.parentStamp = note && !note->place.isNull() ? noted(note->place, {})
                             : sameParent && !exact        ? incoming.parentStamp
                                                           : unknown();
        record.created = incoming.created;
        return record;
    }
    if (note && !note->gone.isNull()) {
        SyncRecord record = note->wasItem       ? localObject(*note->wasItem, settings.documentFolders).content
                            : note->wasCategory ? localObject(*note->wasCategory, iconRefs).content
                                                : incoming;
        record.kind = kind;
        record.fieldsStamp = record.parentStamp = Stamp();
        record.created = incoming.created;
        record.deleteStamp = noted(note->gone, {});
        return record;
    }
    if (settings.rule == JoinRule::Exact) {
        SyncRecord record = incoming;
        record.deleteStamp = fallback();
        return record;
    }
    return std::nullopt;
}

void MergeSession::merge(SyncRecord& record, const std::string& fromDevice, const RecordDigest* digest)
{
    const auto refuse = [&](const std::string& why) {
        const std::string warning = "A record from the device \"" + fromDevice + "\" was refused: " + why;
        if (std::find(result.warnings.begin(), result.warnings.end(), warning) == result.warnings.end())
            result.warnings.push_back(warning);
    };
    // A GUID is one object's, whatever a device sends.
    if (record.kind == SyncRecord::Item && (isBuiltInCategory(record.guid) || categoryGuids.contains(record.guid)))
        return refuse("an item cannot take the GUID of a category.");
    if (record.kind == SyncRecord::Category && store.hasItem(record.guid))
        return refuse("a category cannot take the GUID of an item.");
    if (record.kind == SyncRecord::Icon && !isPicture(record.fields["png"]))
        return refuse("an icon that is not a small PNG picture.");
    if (record.kind == SyncRecord::Category)
        keepBuiltInCategory(record);
    if (record.kind == SyncRecord::Item)
        mergeItem(record, digest);
    else
        mergeKept(record);
}

void MergeSession::prefetch(const SyncRecord& next, const RecordDigest* digest) const
{
    if (next.kind != SyncRecord::Item)
        return;
    const long long key = digest ? digest->key : objectKey(SyncRecord::Item, next.guid);
    store.prefetchState(key);
    presentAtStart.prefetch(key);
}

void MergeSession::mergeKept(const SyncRecord& incoming)
{
    const RecordKey key = keyOf(incoming);
    const long long number = objectKey(incoming.kind, incoming.guid);
    std::optional<SyncRecord> local;
    if (auto known = records.find(key); known != records.end())
        local = known->second;
    else if (settings.rule != JoinRule::None && incoming.kind == SyncRecord::Category)
        local = joined(incoming.kind, incoming, localCategory(incoming.guid), number);
    SyncRecord merged = local ? mergeRecord(*local, incoming) : incoming;
    if (merged.deleted() && presentAtStart.find(number) != 0)
        if (auto row = localCategory(incoming.guid))
            keepPresent(merged, row->content, number);
    if (local && merged == *local && !(settings.rule != JoinRule::None && !records.count(key)))
        return;
    records[key] = merged;
    touched.insert(key);
    if (key.first == SyncRecord::Category)
        categoryGuids.insert(key.second);
    if (settings.rule != JoinRule::None && !(merged == incoming))
        pend(number, incoming.kind, incoming.guid);
}

// Nothing a joining catalogue holds is deleted by what the place deleted before: a new device's rows
// are new, a restored backup's come back, an exact restore's stay.
// A category deleted elsewhere stays only while it holds something: the item that leaves it may be
// its last.
void MergeSession::holderMayGo(const std::string& category)
{
    if (auto holder = records.find({SyncRecord::Category, category});
        holder != records.end() && holder->second.deleted())
        itemsLeftTheirPlace = true;
}

void MergeSession::keepPresent(SyncRecord& merged, const SyncRecord& present, long long key)
{
    merged.fields = present.fields;
    merged.parent = present.parent;
    merged.fieldsStamp = merged.parentStamp = fallback();
    if (settings.rule == JoinRule::BringBack && cameBack.insert(key).second)
        result.cameBack = static_cast<int>(cameBack.size());
}

const std::optional<StoredItem>& MergeSession::itemRow(const std::string& guid, bool walked)
{
    if (auto waiting = inserting.find(guid); waiting != inserting.end())
        return met = waiting->second.row;
    if (deleting.count(guid))
        return met = std::nullopt;
    if (walkWanted) {
        walk = store.walkItems();
        walkWanted = false;
    }
    if (walk && walked) {
        if (!met)
            met.emplace();
        if (walk->take(guid, *met))
            return met;
    }
    return met = store.item(guid);
}

void MergeSession::mergeItem(const SyncRecord& incoming, const RecordDigest* digest)
{
    const long long key = digest ? digest->key : objectKey(SyncRecord::Item, incoming.guid);
    const auto entry = store.state(key);
    // A record of a GUID met before in this merge may find a later row of that GUID in the walk.
    const std::optional<StoredItem>& row = itemRow(incoming.guid, !entry);
    // A joining catalogue that holds the object as the place has it takes the place's stamps: the most
    // common case of a join, and the one worth doing in few steps.
    if (!entry && row && settings.rule != JoinRule::None && settings.rule != JoinRule::Exact && !incoming.deleted()
        && !notes.count(key)) {
        // Copied into texts kept from the row before, which mostly have the room already.
        compared = *row;
        itemContentInto(compared, settings.documentFolders, mine);
        if (mine.parent == incoming.parent && mine.fields == incoming.fields) {
            // The same content has the same hash: the reader's, when it worked it out.
            const long long hash = digest ? digest->hash : objectHash(mine);
            if (noteFirstPresence(key))
                ++itemsMet;
            store.setState(key, incoming, hash);
            landsIn(incoming.guid, incoming.parent);
            return;
        }
    }
    std::optional<SyncRecord> local;
    if (entry && entry->record)
        local = withStamps(*entry->record, *entry);
    else if (entry && row)
        local = withStamps(localObject(*row, settings.documentFolders).content, *entry);
    else if (!entry && settings.rule != JoinRule::None)
        local =
            joined(SyncRecord::Item, incoming,
                   row ? std::optional<LocalObject>(localObject(*row, settings.documentFolders)) : std::nullopt, key);
    SyncRecord merged = local ? mergeRecord(*local, incoming) : incoming;
    if (merged.deleted() && row && presentAtStart.find(key) != 0)
        keepPresent(merged, localObject(*row, settings.documentFolders).content, key);
    if (entry && local && merged == *local)
        return;
    storeItem(key, merged, row);
    if (settings.rule != JoinRule::None && !(merged == incoming))
        pend(key, SyncRecord::Item, incoming.guid);
}

// An item in a category that is no row here leaves the categories to be settled again, and one in a
// category no record names either needs a place. Items often come category by category: the last
// category found a row is found again.
void MergeSession::landsIn(const std::string& item, const std::string& category)
{
    if (!category.empty() && category == lastPlacedParent)
        return;
    if (rowGuids.contains(category)) {
        lastPlacedParent = category;
        return;
    }
    if (!categoryGuids.contains(category))
        unplaced.push_back(item);
    itemsLeftTheirPlace = true;
}

// Rows are deleted and new ones appended once the merge has seen every record: an item deleted by one
// device and brought back by another keeps its place, in whichever order their files are read.
void MergeSession::storeItem(long long key, const SyncRecord& merged, const std::optional<StoredItem>& row)
{
    if (merged.deleted()) {
        if (!inserting.erase(merged.guid) && row)
            deleting[merged.guid] = merged.deleteStamp.device;
        holderMayGo(merged.parent);
        store.setState(key, merged, 0);
        return;
    }
    const StoredItem wanted = itemRowOf({&merged, merged.parent}, settings.documentFolders);
    if (inserting.count(merged.guid) || (!row && !deleting.count(merged.guid))) {
        inserting[merged.guid] = {wanted, merged.created};
    } else {
        const auto stored = deleting.erase(merged.guid) ? store.item(merged.guid) : row;
        if (!stored || !(*stored == wanted)) {
            store.writeItem(wanted, stored.has_value());
            result.catalogueChanged = true;
        }
    }
    landsIn(merged.guid, merged.parent);
    store.setState(key, merged, objectHash(itemContent(wanted, settings.documentFolders)));
}

// Rows of a joining catalogue that the place never knew: new objects, stamped as their notes say.
void MergeSession::adoptLocalOnly()
{
    for (const auto& [unused, row] : categoryRows) {
        const std::string& guid = row->guid;
        const RecordKey key{SyncRecord::Category, guid};
        if (records.count(key))
            continue;
        const LocalObject local = localObject(*row, iconRefs);
        SyncRecord record = local.content;
        auto note = notes.find(objectKey(SyncRecord::Category, guid));
        if (!local.pristine || note != notes.end()) {
            record.fieldsStamp = noted(note != notes.end() ? note->second.content : Stamp(), {});
            record.parentStamp = noted(note != notes.end() ? note->second.place : Stamp(), record.fieldsStamp);
            record.created = std::min(record.fieldsStamp, record.parentStamp);
        }
        records[key] = record;
        touched.insert(key);
        pend(objectKey(SyncRecord::Category, guid), SyncRecord::Category, guid);
    }
    for (std::size_t i = 0; i < iconHashes.size(); ++i) {
        const RecordKey key{SyncRecord::Icon, iconHashes[i]};
        if (records.count(key))
            continue;
        SyncRecord icon = iconObject(iconHashes[i], QByteArray::fromStdString(iconPictures[i]).toBase64().toStdString(),
                                     static_cast<int>(i))
                              .content;
        icon.fieldsStamp = icon.created = fallback();
        records[key] = icon;
        touched.insert(key);
        pend(objectKey(SyncRecord::Icon, icon.guid), SyncRecord::Icon, icon.guid);
    }
    // Every row was met by a record: none is left to adopt.
    if (itemsMet > 0 && itemsMet == store.itemCount())
        return;
    // One record made again and again, and passed on in exchange for one written before: in a catalogue
    // of many items, most texts find the room they need.
    SyncRecord record;
    const Stamp none;
    const auto adopt = [&](StoredItem& row, long long key) {
        if (store.knows(key))
            return;
        itemContentInto(row, settings.documentFolders, record);
        auto note = notes.find(key);
        notedInto(note != notes.end() ? note->second.content : none, none, record.fieldsStamp);
        notedInto(note != notes.end() ? note->second.place : none, record.fieldsStamp, record.parentStamp);
        record.created = std::min(record.fieldsStamp, record.parentStamp);
        record.deleteStamp = none;
        store.setState(key, record, objectHash(record));
        pend(key, SyncRecord::Item, record.guid);
        if (settings.intoSnapshot)
            settings.intoSnapshot(record);
    };
    // Each row's state is looked up by a key that lands anywhere in a table the size of the catalogue:
    // rows wait in a short queue, in their order, while the slots of their keys are fetched.
    constexpr std::size_t Ahead = 8;
    std::array<StoredItem, Ahead> waiting;
    std::array<long long, Ahead> keys{};
    std::size_t queued = 0, next = 0;
    store.forEachItem([&](StoredItem& row) {
        const long long key = objectKey(SyncRecord::Item, row.guid);
        store.prefetchState(key);
        const std::size_t at = next;
        next = (next + 1) % Ahead;
        if (queued == Ahead)
            adopt(waiting[at], keys[at]);
        else
            ++queued;
        std::swap(waiting[at], row);
        keys[at] = key;
    });
    for (std::size_t i = 0; i < queued; ++i) {
        const std::size_t at = (next + Ahead - queued + i) % Ahead;
        adopt(waiting[at], keys[at]);
    }
}

void MergeSession::settleIcons(std::map<std::string, int>& indexOfRef)
{
    std::set<std::string> needed;
    for (const auto& [key, record] : records)
        if (auto icon = record.fields.find("icon"); key.first == SyncRecord::Category && icon != record.fields.end())
            needed.insert(icon->second);
    const IconPlan plan =
        planIcons(iconPictures.empty() ? std::vector<std::string>() : iconHashes, needed, records, BuiltInIconCount);
    indexOfRef = plan.indexOfRef;
    for (const auto& [key, record] : records)
        if (key.first == SyncRecord::Icon && touched.count(key))
            store.setState(objectKey(SyncRecord::Icon, key.second), record, 0);
    if (plan.seed.empty() && plan.append.empty())
        return;
    std::vector<std::string> list = plan.seed.empty() ? iconPictures : std::vector<std::string>();
    for (const auto* added : {&plan.seed, &plan.append})
        for (const std::string& hash : *added)
            list.push_back(
                QByteArray::fromBase64(QByteArray::fromStdString(records.at({SyncRecord::Icon, hash}).fields.at("png")))
                    .toStdString());
    store.catalogue().SaveIconList(joinIconList(list));
    iconPictures = list;
    iconHashes.clear();
    iconRefs.clear();
    for (std::size_t i = 0; i < iconPictures.size(); ++i) {
        iconHashes.push_back(sha256(iconPictures[i]));
        iconRefs.push_back(iconRef(static_cast<int>(i), iconHashes.back(), BuiltInIconCount));
    }
    result.catalogueChanged = true;
}

void MergeSession::settleCategories()
{
    std::map<std::string, int> indexOfRef;
    settleIcons(indexOfRef);
    std::set<std::string> held;
    for (const auto& [key, record] : records)
        if (key.first == SyncRecord::Category && record.deleted() && store.holdsAnything(key.second))
            held.insert(key.second);
    // The records of every kind: the categories are picked out there.
    const ResolvedCatalogue resolved = resolveCategories(records, held);
    std::vector<StoredCategory> wanted;
    wanted.reserve(resolved.categories.size());
    std::unordered_map<std::string_view, const StoredCategory*> live;
    live.reserve(resolved.categories.size());
    for (const auto& category : resolved.categories) {
        wanted.push_back(categoryRowOf(category, indexOfRef));
        live.emplace(wanted.back().guid, &wanted.back());
    }
    const CataloguePlan plan = planCatalogue(categories(), {}, wanted, {});
    categoriesWritten = categoriesWritten || !plan.categoriesToWrite.empty() || !plan.categoriesToDelete.empty();
    for (const StoredCategory& row : plan.categoriesToWrite) {
        store.writeCategory(row, categoryRows.count(row.guid) != 0);
        touched.insert({SyncRecord::Category, row.guid});
        if (std::binary_search(resolved.revived.begin(), resolved.revived.end(), row.guid))
            result.revivedCategories.push_back(row.name);
    }
    for (const std::string& guid : plan.categoriesToDelete) {
        store.deleteCategory(guid);
        touched.insert({SyncRecord::Category, guid});
    }
    result.catalogueChanged = result.catalogueChanged || !plan.empty();
    // Both in the order of their keys: each touched key's record is met on the way.
    auto record = records.begin();
    for (const RecordKey& key : touched) {
        if (key.first != SyncRecord::Category)
            continue;
        while (record != records.end() && record->first < key)
            ++record;
        if (record == records.end() || record->first != key)
            continue;
        auto row = live.find(key.second);
        const long long hash = row == live.end() ? 0 : objectHash(localObject(*row->second, iconRefs).content);
        store.setState(objectKey(SyncRecord::Category, key.second), record->second, hash);
    }
    for (const std::string& guid : unplaced) {
        auto row = store.item(guid);
        if (!row || live.count(row->category))
            continue;
        const auto entry = store.state(objectKey(SyncRecord::Item, guid));
        row->category = fallbackCategoryGuid;
        store.writeItem(*row, true);
        if (entry) {
            SyncStore::Entry placed = *entry;
            placed.hash = objectHash(localObject(*row, settings.documentFolders).content);
            store.setState(objectKey(SyncRecord::Item, guid), SyncRecord::Item, placed);
        }
    }
}

void MergeSession::finish()
{
    // No category or icon changed on either side and every item stayed where a category is: the
    // categories stand as they are.
    const bool categoriesStand = settings.rule == JoinRule::None && touched.empty() && !itemsLeftTheirPlace;
    // Rows are deleted and inserted from here on: no walk may go on over them.
    walk.reset();
    walkWanted = false;
    for (const auto& [guid, device] : deleting) {
        store.deleteItem(guid);
        ++result.itemsDeleted;
        ++result.deletedBy[device];
        result.catalogueChanged = true;
    }
    deleting.clear();
    std::vector<const Inserting*> order;
    for (const auto& [guid, waiting] : inserting)
        order.push_back(&waiting);
    std::sort(order.begin(), order.end(), [](const Inserting* a, const Inserting* b) {
        return std::tie(a->created, a->row.guid) < std::tie(b->created, b->row.guid);
    });
    for (const Inserting* waiting : order)
        store.writeItem(waiting->row, false);
    result.catalogueChanged = result.catalogueChanged || !inserting.empty();
    inserting.clear();
    if (settings.rule != JoinRule::None)
        adoptLocalOnly();
    if (!categoriesStand)
        settleCategories();
    store.clearDirty();
    if (settings.settled)
        settings.settled();
    store.flushState();
}

const std::vector<StoredCategory>& MergeSession::categories()
{
    if (!categoriesWritten)
        return categoriesRead;
    categoriesNow = store.categories();
    return categoriesNow;
}

std::optional<SyncRecord> MergeSession::currentRecord(char kind, const std::string& guid, long long key)
{
    if (kind != SyncRecord::Item) {
        auto known = records.find({kind, guid});
        return known == records.end() ? std::nullopt : std::optional<SyncRecord>(known->second);
    }
    const auto entry = store.state(key);
    if (!entry)
        return std::nullopt;
    if (entry->record)
        return withStamps(*entry->record, *entry);
    const auto row = store.item(guid);
    if (!row)
        return std::nullopt;
    return withStamps(localObject(*row, settings.documentFolders).content, *entry);
}
