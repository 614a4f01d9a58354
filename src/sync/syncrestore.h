// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <string>

// A restore of a catalogue that syncs: by default the first sync after it brings back, on every
// device, what the backup holds and was deleted since, keeps the later version of what changed since,
// and keeps what was added since; the restored file goes on as the same device. As a choice, every
// device becomes exactly the backup instead.

enum class RestoreChoice { BringBack, ExactlyThisBackup };

// What a restore of the backup would do to the catalogue as it is now, counted before it happens
// (for any catalogue: what it loses; for one that syncs, also what reaches the other devices).
struct RestorePreview {
    // The catalogue syncs with other devices: the counts below reach them too.
    bool syncing = false;
    // Held by the backup and deleted since (they come back).
    int itemsBack = 0;
    int categoriesBack = 0;
    // Held by both and changed since.
    int itemsChanged = 0;
    int categoriesChanged = 0;
    // Added since (held by the catalogue, not by the backup).
    int itemsAdded = 0;
    int categoriesAdded = 0;

    // The sentence for the restore's message; empty for a catalogue that does not sync.
    std::string message(RestoreChoice choice) const;
};

// Raises std::runtime_error with the reason when the backup cannot be read.
RestorePreview previewRestore(const std::string& dbPath, const std::string& backupPath);

// Records the choice beside the catalogue for its next sync; call once the restore replaced the file.
void noteRestore(const std::string& dbPath, RestoreChoice choice);
