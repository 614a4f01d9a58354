// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <compare>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

// When a change was made and by which device: the clock value orders changes, the device breaks ties
// so every device picks the same winner. A zero stamp is older than every change.
struct Stamp {
    long long clock = 0;
    std::string device;

    auto operator<=>(const Stamp&) const = default;
    bool isNull() const { return clock == 0 && device.empty(); }
    friend void swap(Stamp& a, Stamp& b) noexcept
    {
        std::swap(a.clock, b.clock);
        a.device.swap(b.device);
    }
};

// A stamp as it travels, "<clock>@<device>"; anything else is refused.
std::optional<Stamp> parseStamp(std::string_view text);
// The same into a stamp kept for it, whose text keeps its room; false (the stamp untouched) for anything else.
bool parseStampInto(std::string_view text, Stamp& stamp);

// What one device knows of one catalogue object. Its content, its place (parent) and its deletion
// each carry their own stamp, so a rename here and a move there both survive.
struct SyncRecord {
    static constexpr char Category = 'c';
    static constexpr char Item = 'i';
    static constexpr char Icon = 'n';

    char kind = Item;
    std::string guid;
    std::map<std::string, std::string> fields;
    Stamp fieldsStamp;
    // A category's parent category, an item's category; unused for icons.
    std::string parent;
    Stamp parentStamp;
    // Null while the object was never deleted.
    Stamp deleteStamp;
    // The first stamp the object had: items new to a device are appended in this order.
    Stamp created;

    // A deletion holds only over the changes it saw: an edit or move made after it brings the object back.
    bool deleted() const { return !deleteStamp.isNull() && deleteStamp > newestChange(); }
    Stamp newestChange() const { return std::max(fieldsStamp, parentStamp); }
    Stamp newest() const { return std::max(newestChange(), deleteStamp); }

    bool operator==(const SyncRecord&) const = default;
    // Member by member: records handed between threads trade places, each keeping its room.
    friend void swap(SyncRecord& a, SyncRecord& b) noexcept
    {
        std::swap(a.kind, b.kind);
        a.guid.swap(b.guid);
        a.fields.swap(b.fields);
        swap(a.fieldsStamp, b.fieldsStamp);
        a.parent.swap(b.parent);
        swap(a.parentStamp, b.parentStamp);
        swap(a.deleteStamp, b.deleteStamp);
        swap(a.created, b.created);
    }
};

// What the thread reading a file works out of an item's record ahead of the merge, which would
// otherwise do it on the thread everything waits for: its key and the hash of what travels of it.
struct RecordDigest {
    long long key = 0;
    long long hash = 0;
};

using RecordKey = std::pair<char, std::string>;
using RecordSet = std::map<RecordKey, SyncRecord>;

inline RecordKey keyOf(const SyncRecord& record)
{
    return {record.kind, record.guid};
}
