// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// What the crash driver and the tests that judge it share: the program's way of opening a catalogue
// and the lines of the report log.

#include "backup/backupfile.h"
#include "storage/cdbmanager.h"

#include <stdexcept>
#include <string>

// The main window's LoadCatalogue without the widgets: a stale restore temporary goes, then open,
// defaults, the whole tree, the indexes.
inline void openAsTheProgramDoes(CDBManager& db, const std::string& path)
{
    db.Close();
    removeStaleRestoreTemporary(path);
    if (!db.Open(path))
        throw std::runtime_error("no catalogue path");
    db.EnsureDefaultCategories();
    db.LoadCategories();
    db.CreateIndexes();
}

// The category with this GUID anywhere below the root, with the category that holds it.
struct FoundCategory {
    CCategory* category = nullptr;
    CCategory* parent = nullptr;
};

inline FoundCategory findCategory(CCategory& root, const std::string& guid)
{
    std::vector<CCategory*> pending{&root};
    while (!pending.empty()) {
        CCategory* at = pending.back();
        pending.pop_back();
        for (int i = 0; i < at->GetChildCount(); ++i) {
            CCategory* child = at->GetChild(i);
            if (child->GetGuid() == guid)
                return {child, at};
            pending.push_back(child);
        }
    }
    return {};
}

// The driver writes one line to its standard output once the catalogue is open and the command is
// about to start; the kill delay counts from there.
inline constexpr const char* driverReadyLine = "ready\n";

// Report log lines, each written and synced at the moment the window would report the thing done:
//   stored <item guid> <category guid>    a list row, after each stored batch of appendItems
//   imported <categories> <items>         the final message of an import
//   restored                              "Successfully finish restoring!"
//   deleted <category guid>               the category's node removed
inline constexpr const char* reportStored = "stored";
inline constexpr const char* reportImported = "imported";
inline constexpr const char* reportRestored = "restored";
inline constexpr const char* reportDeleted = "deleted";
inline constexpr const char* reportBackedUp = "backed-up";
