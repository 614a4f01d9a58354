// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "hybridclock.h"
#include "syncrecord.h"

#include <map>
#include <set>
#include <string>
#include <vector>

// The rules by which devices agree, as functions of what they know: no files, no database, no clock
// of their own.

// Each part of the object (content, place, deletion) takes the side with the newer stamp.
SyncRecord mergeRecord(const SyncRecord& mine, const SyncRecord& theirs);
// Folds records of other devices into the state; the number of records that changed.
std::size_t mergeInto(RecordSet& state, const std::vector<SyncRecord>& incoming);

// One object as the catalogue holds it now: its content in the form that travels, and its stored row
// as text, which tells whether it changed since the last sync.
struct LocalObject {
    SyncRecord content;
    std::string row;
    // A built-in category exactly as every catalogue starts with it: it carries no stamp, so any
    // device's change to it wins over a device that merely has it.
    bool pristine = false;
};

// Compares the catalogue with the rows of the last sync, so that changes made without us (another
// program, a restore) are found too. New and changed objects get a fresh stamp for what changed, objects
// gone since get a deletion. rows is updated to the catalogue; returns the keys of the records changed.
std::vector<RecordKey> captureChanges(RecordSet& state, std::map<RecordKey, std::string>& rows,
                                      const std::vector<LocalObject>& current, HybridClock& clock, long long wallClock);

// The catalogue the state describes.
struct ResolvedCatalogue {
    struct Category {
        const SyncRecord* record;
        std::string parent;
        int level;
    };
    struct Item {
        const SyncRecord* record;
        std::string category;
    };
    // Parents before children; within a level in the order the categories were made.
    std::vector<Category> categories;
    // In the order the items were made, so items new to this device are appended in that order.
    std::vector<Item> items;
    // Deleted categories that come back because something inside them survived; they hold only that.
    std::vector<std::string> revived;
};

// Items whose category no device knows land here.
inline constexpr const char* fallbackCategoryGuid = "5EE0962C-217D-411a-BB72-6261B1B4F5BF";

ResolvedCatalogue resolveCatalogue(const RecordSet& state);
// The categories alone: heldByItems names the categories that hold a surviving item, which survive
// with every category above them however they were deleted.
ResolvedCatalogue resolveCategories(const RecordSet& categories, const std::set<std::string>& heldByItems);

// Built-in categories keep their flag, GUID and place whatever a device sends; false for a record that
// no device may send (an item with a category's GUID, a category with a built-in item's).
bool isBuiltInCategory(const std::string& guid);
void keepBuiltInCategory(SyncRecord& record);
