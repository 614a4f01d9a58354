// SPDX-License-Identifier: GPL-3.0-or-later
#include "check/duplicates.h"

#include "base/address.h"
#include "check/urlnormal.h"

#include <map>
#include <set>
#include <unordered_map>

namespace check {

namespace {

// Groups of input positions sharing a key, in the order of their first member.
std::vector<std::vector<std::size_t>> groupsOf(const std::vector<std::string>& keys)
{
    std::unordered_map<std::string, std::size_t> groupOfKey;
    std::vector<std::vector<std::size_t>> groups;
    for (std::size_t i = 0; i < keys.size(); ++i) {
        if (keys[i].empty())
            continue;
        const auto [place, added] = groupOfKey.emplace(keys[i], groups.size());
        if (added)
            groups.emplace_back();
        groups[place->second].push_back(i);
    }
    return groups;
}

void addGroupFindings(const std::vector<ItemAddress>& items, const std::vector<std::size_t>& group, Kind kind,
                      const std::string& key, std::map<std::size_t, Finding>& out)
{
    const char* what = items[group.front()].type == 1 ? "address" : "file";
    const std::string sameness = kind == Kind::Duplicate ? "the same " : "possibly the same ";
    for (std::size_t i = 0; i < group.size(); ++i) {
        const ItemAddress& item = items[group[i]];
        Finding finding;
        finding.guid = item.guid;
        finding.aspect = Aspect::Duplicate;
        finding.kind = kind;
        finding.target = item.target;
        finding.otherGuid = items[group[i == 0 ? 1 : 0]].guid;
        finding.newTarget = key;
        finding.detail = std::to_string(group.size()) + " items point at " + sameness + what;
        out.emplace(group[i], std::move(finding));
    }
}

}  // namespace

std::vector<Finding> findDuplicates(const std::vector<ItemAddress>& items)
{
    std::vector<std::string> strict(items.size());
    std::vector<std::string> loose(items.size());
    for (std::size_t i = 0; i < items.size(); ++i) {
        const ItemAddress& item = items[i];
        if (item.type == 1) {
            const std::string address = webAddressOf(item.target, 1);
            // The web-address and file key spaces never meet.
            const std::string normal = normaliseUrl(address);
            strict[i] = normal.empty() ? std::string() : "w " + normal;
            const std::string key = looseUrlKey(address);
            loose[i] = key.empty() ? std::string() : "w " + key;
        } else if (!item.resolved.empty()) {
            strict[i] = "f " + item.resolved;
        }
    }
    std::map<std::size_t, Finding> found;
    for (const auto& group : groupsOf(strict))
        if (group.size() > 1)
            addGroupFindings(items, group, Kind::Duplicate, strict[group.front()].substr(2), found);
    // A loose group is worth telling only when it joins addresses that are not already one; its
    // members that are strict duplicates of each other keep that (stronger) finding.
    for (const auto& group : groupsOf(loose)) {
        std::set<std::string> distinct;
        for (std::size_t i : group)
            distinct.insert(strict[i]);
        if (distinct.size() < 2)
            continue;
        // merge leaves a member its strict finding where it has one
        std::map<std::size_t, Finding> possible;
        addGroupFindings(items, group, Kind::PossibleDuplicate, loose[group.front()].substr(2), possible);
        found.merge(possible);
    }
    std::vector<Finding> out;
    out.reserve(found.size());
    for (auto& [position, finding] : found)
        out.push_back(std::move(finding));
    return out;
}

}  // namespace check
