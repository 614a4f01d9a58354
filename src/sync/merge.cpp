// SPDX-License-Identifier: GPL-3.0-or-later
#include "merge.h"

#include "storage/builtincategories.h"

#include <algorithm>
#include <set>
#include <string_view>
#include <unordered_map>
#include <unordered_set>
#include <vector>

SyncRecord mergeRecord(const SyncRecord& mine, const SyncRecord& theirs)
{
    SyncRecord merged = mine;
    if (theirs.fieldsStamp > mine.fieldsStamp) {
        merged.fields = theirs.fields;
        merged.fieldsStamp = theirs.fieldsStamp;
    }
    if (theirs.parentStamp > mine.parentStamp) {
        merged.parent = theirs.parent;
        merged.parentStamp = theirs.parentStamp;
    }
    merged.deleteStamp = std::max(mine.deleteStamp, theirs.deleteStamp);
    if (mine.created.isNull() || (!theirs.created.isNull() && theirs.created < mine.created))
        merged.created = theirs.created;
    return merged;
}

std::size_t mergeInto(RecordSet& state, const std::vector<SyncRecord>& incoming)
{
    std::size_t changed = 0;
    for (const SyncRecord& record : incoming) {
        auto [at, inserted] = state.try_emplace(keyOf(record), record);
        if (inserted) {
            ++changed;
            continue;
        }
        SyncRecord merged = mergeRecord(at->second, record);
        if (!(merged == at->second)) {
            at->second = std::move(merged);
            ++changed;
        }
    }
    return changed;
}

std::vector<RecordKey> captureChanges(RecordSet& state, std::map<RecordKey, std::string>& rows,
                                      const std::vector<LocalObject>& current, HybridClock& clock, long long wallClock)
{
    std::vector<RecordKey> changed;
    std::set<RecordKey> present;
    for (const LocalObject& object : current) {
        const RecordKey key = keyOf(object.content);
        present.insert(key);
        auto lastRow = rows.find(key);
        if (lastRow != rows.end() && lastRow->second == object.row)
            continue;
        auto known = state.find(key);
        if (known == state.end()) {
            SyncRecord record = object.content;
            if (!object.pristine) {
                const Stamp now = clock.tick(wallClock);
                record.fieldsStamp = record.parentStamp = record.created = now;
            }
            state.emplace(key, std::move(record));
        } else {
            SyncRecord& record = known->second;
            // A row that differs only in what does not travel (a path below a document folder
            // read back through this machine's mapping) is no change.
            const bool fieldsDiffer = record.fields != object.content.fields;
            const bool parentDiffers = record.parent != object.content.parent;
            const bool wasDeleted = record.deleted();
            if (!fieldsDiffer && !parentDiffers && !wasDeleted) {
                rows[key] = object.row;
                continue;
            }
            const Stamp now = clock.tick(wallClock);
            if (fieldsDiffer || wasDeleted) {
                record.fields = object.content.fields;
                record.fieldsStamp = now;
            }
            if (parentDiffers) {
                record.parent = object.content.parent;
                record.parentStamp = now;
            }
        }
        rows[key] = object.row;
        changed.push_back(key);
    }
    for (auto row = rows.begin(); row != rows.end();) {
        if (present.count(row->first)) {
            ++row;
            continue;
        }
        auto known = state.find(row->first);
        if (known != state.end() && !known->second.deleted()) {
            known->second.deleteStamp = clock.tick(wallClock);
            changed.push_back(row->first);
        }
        row = rows.erase(row);
    }
    return changed;
}

namespace {

// Two devices that each moved one category into the other make a loop; the move made last gives way
// and its category goes to the top level, so every device breaks the loop the same way.
void breakLoops(std::map<std::string, std::string>& parentOf, const RecordSet& state)
{
    // The names are parentOf's keys, which stay where they are while the loop goes round.
    std::unordered_set<std::string_view> settled, onPath;
    std::vector<std::string_view> path;
    for (const auto& [start, unused] : parentOf) {
        path.clear();
        onPath.clear();
        for (auto at = parentOf.find(start); at != parentOf.end() && !settled.count(at->first);
             at = at->second.empty() ? parentOf.end() : parentOf.find(at->second)) {
            if (!onPath.insert(at->first).second) {
                auto member = std::find(path.begin(), path.end(), std::string_view(at->first));
                std::string_view loser = at->first;
                for (; member != path.end(); ++member) {
                    const Stamp& stamp = state.at({SyncRecord::Category, std::string(*member)}).parentStamp;
                    if (stamp > state.at({SyncRecord::Category, std::string(loser)}).parentStamp)
                        loser = *member;
                }
                parentOf.find(std::string(loser))->second.clear();
                break;
            }
            path.push_back(at->first);
        }
        settled.insert(path.begin(), path.end());
    }
}

int levelOf(const std::string& guid, const std::map<std::string, std::string>& parentOf,
            std::unordered_map<std::string_view, int>& levels)
{
    std::vector<std::string_view> chain;
    auto at = parentOf.find(guid);
    while (at != parentOf.end() && !levels.count(at->first)) {
        chain.push_back(at->first);
        at = at->second.empty() ? parentOf.end() : parentOf.find(at->second);
    }
    int level = at == parentOf.end() ? -1 : levels.at(at->first);
    for (auto link = chain.rbegin(); link != chain.rend(); ++link)
        levels[*link] = ++level;
    return levels.at(guid);
}

bool madeBefore(const SyncRecord* a, const SyncRecord* b)
{
    return std::tie(a->created, a->guid) < std::tie(b->created, b->guid);
}

}  // namespace

ResolvedCatalogue resolveCategories(const RecordSet& categories, const std::set<std::string>& heldByItems)
{
    ResolvedCatalogue result;
    std::map<std::string, std::string> parentOf;
    std::vector<std::string> needed(heldByItems.begin(), heldByItems.end());
    for (const auto& [key, record] : categories)
        if (key.first == SyncRecord::Category && !record.deleted())
            parentOf[key.second] = record.parent;
    for (const auto& [guid, parent] : parentOf)
        needed.push_back(parent);

    // Whatever holds a surviving object survives with it, however it was deleted elsewhere.
    while (!needed.empty()) {
        const std::string guid = needed.back();
        needed.pop_back();
        if (guid.empty() || parentOf.count(guid))
            continue;
        auto known = categories.find({SyncRecord::Category, guid});
        if (known == categories.end())
            continue;
        parentOf[guid] = known->second.parent;
        result.revived.push_back(guid);
        needed.push_back(known->second.parent);
    }
    for (auto& [guid, parent] : parentOf)
        if (!parent.empty() && !parentOf.count(parent))
            parent.clear();
    breakLoops(parentOf, categories);

    std::unordered_map<std::string_view, int> levels;
    levels.reserve(parentOf.size());
    for (const auto& [guid, parent] : parentOf)
        result.categories.push_back(
            {&categories.at({SyncRecord::Category, guid}), parent, levelOf(guid, parentOf, levels)});
    std::sort(result.categories.begin(), result.categories.end(), [](const auto& a, const auto& b) {
        return a.level != b.level ? a.level < b.level : madeBefore(a.record, b.record);
    });
    std::sort(result.revived.begin(), result.revived.end());
    return result;
}

ResolvedCatalogue resolveCatalogue(const RecordSet& state)
{
    std::set<std::string> held;
    for (const auto& [key, record] : state)
        if (key.first == SyncRecord::Item && !record.deleted())
            held.insert(record.parent);
    ResolvedCatalogue result = resolveCategories(state, held);
    std::set<std::string> placed;
    for (const auto& category : result.categories)
        placed.insert(category.record->guid);
    for (const auto& [key, record] : state) {
        if (key.first != SyncRecord::Item || record.deleted())
            continue;
        result.items.push_back(
            {&record, placed.count(record.parent) ? record.parent : std::string(fallbackCategoryGuid)});
    }
    std::sort(result.items.begin(), result.items.end(),
              [](const auto& a, const auto& b) { return madeBefore(a.record, b.record); });
    return result;
}

bool isBuiltInCategory(const std::string& guid)
{
    return std::any_of(builtInCategories.begin(), builtInCategories.end(),
                       [&](const BuiltInCategory& b) { return guid == b.guid; });
}

void keepBuiltInCategory(SyncRecord& record)
{
    for (const BuiltInCategory& builtIn : builtInCategories) {
        if (record.guid != builtIn.guid)
            continue;
        record.fields["system"] = "1";
        record.parent = builtIn.parentGuid;
        record.deleteStamp = Stamp();
    }
}
