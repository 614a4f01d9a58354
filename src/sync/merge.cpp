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

// The categories a resolution works over, in the order of their GUIDs, each with the place of its
// parent among them.
struct CategoryNode {
    std::string_view guid;
    const SyncRecord* record;
    std::string_view parentGuid;
    std::size_t parent = None;
    int level = -1;
    static constexpr std::size_t None = static_cast<std::size_t>(-1);
};

// Two devices that each moved one category into the other make a loop; the move made last gives way
// and its category goes to the top level, so every device breaks the loop the same way.
void breakLoops(std::vector<CategoryNode>& nodes)
{
    std::vector<char> settled(nodes.size()), onPath(nodes.size());
    std::vector<std::size_t> path;
    for (std::size_t start = 0; start < nodes.size(); ++start) {
        path.clear();
        for (std::size_t at = start; at != CategoryNode::None && !settled[at]; at = nodes[at].parent) {
            if (onPath[at]) {
                std::size_t loser = at;
                for (auto member = std::find(path.begin(), path.end(), at); member != path.end(); ++member)
                    if (nodes[*member].record->parentStamp > nodes[loser].record->parentStamp)
                        loser = *member;
                nodes[loser].parent = CategoryNode::None;
                nodes[loser].parentGuid = {};
                break;
            }
            onPath[at] = 1;
            path.push_back(at);
        }
        for (std::size_t member : path) {
            settled[member] = 1;
            onPath[member] = 0;
        }
    }
}

int levelOf(std::size_t node, std::vector<CategoryNode>& nodes)
{
    std::vector<std::size_t> chain;
    std::size_t at = node;
    while (at != CategoryNode::None && nodes[at].level < 0) {
        chain.push_back(at);
        at = nodes[at].parent;
    }
    int level = at == CategoryNode::None ? -1 : nodes[at].level;
    for (auto link = chain.rbegin(); link != chain.rend(); ++link)
        nodes[*link].level = ++level;
    return nodes[node].level;
}

bool madeBefore(const SyncRecord* a, const SyncRecord* b)
{
    return std::tie(a->created, a->guid) < std::tie(b->created, b->guid);
}

}  // namespace

ResolvedCatalogue resolveCategories(const RecordSet& categories, const std::set<std::string>& heldByItems)
{
    ResolvedCatalogue result;
    std::vector<CategoryNode> nodes;
    std::unordered_map<std::string_view, std::size_t> placeOf;
    const auto add = [&](const SyncRecord& record) {
        placeOf.emplace(record.guid, nodes.size());
        nodes.push_back({record.guid, &record, record.parent});
    };
    for (auto at = categories.lower_bound({SyncRecord::Category, std::string()});
         at != categories.end() && at->first.first == SyncRecord::Category; ++at)
        if (!at->second.deleted())
            add(at->second);
    std::vector<std::string_view> needed(heldByItems.begin(), heldByItems.end());
    for (const CategoryNode& node : nodes)
        needed.push_back(node.parentGuid);

    // Whatever holds a surviving object survives with it, however it was deleted elsewhere.
    bool revived = false;
    while (!needed.empty()) {
        const std::string_view guid = needed.back();
        needed.pop_back();
        if (guid.empty() || placeOf.count(guid))
            continue;
        auto known = categories.find({SyncRecord::Category, std::string(guid)});
        if (known == categories.end())
            continue;
        add(known->second);
        result.revived.emplace_back(guid);
        needed.push_back(known->second.parent);
        revived = true;
    }
    if (revived) {
        std::sort(nodes.begin(), nodes.end(), [](const auto& a, const auto& b) { return a.guid < b.guid; });
        for (std::size_t i = 0; i < nodes.size(); ++i)
            placeOf[nodes[i].guid] = i;
    }
    for (CategoryNode& node : nodes) {
        auto parent = node.parentGuid.empty() ? placeOf.end() : placeOf.find(node.parentGuid);
        if (parent == placeOf.end())
            node.parentGuid = {};
        else
            node.parent = parent->second;
    }
    breakLoops(nodes);

    result.categories.reserve(nodes.size());
    for (std::size_t i = 0; i < nodes.size(); ++i)
        result.categories.push_back({nodes[i].record, std::string(nodes[i].parentGuid), levelOf(i, nodes)});
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
