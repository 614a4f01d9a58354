// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "catalogueplan.h"
#include "synctransport.h"

#include <functional>
#include <string>
#include <vector>

// What this machine brings to a sync besides the place.
struct SyncOptions {
    std::string machineName;
    std::vector<DocumentFolder> documentFolders;
    // The user agreed to a merge that deletes many items.
    bool allowMassDelete = false;
    // Makes the verified backup taken before a merge changes the catalogue; returns its path and
    // raises std::runtime_error when none could be made (the merge then does not happen).
    std::function<std::string(const std::string& dbPath)> backup;
    // While another program's sync of the catalogue runs, this one waits for it at most
    // lockWaitSeconds, and no longer once this says no (the window is closing); then it fails with
    // syncRunningText.
    std::function<bool()> keepWaiting;
};

inline constexpr int lockWaitSeconds = 5;
inline constexpr const char* syncRunningText = "A sync of this catalogue is already running.";

struct SyncReport {
    bool ok = false;
    // The reason a sync failed, for the user.
    std::string error;
    // The merge stopped before deleting this many of the catalogue's items; run again with
    // allowMassDelete to go ahead.
    bool needsConfirmation = false;
    std::string deletingDevice;
    int itemsToDelete = 0;
    int itemCount = 0;
    // Things the user should know that did not stop the sync.
    std::vector<std::string> warnings;
    int changesReceived = 0;
    int changesSent = 0;
    bool catalogueChanged = false;
    std::string backupPath;
    long long bytesSent = 0;
    long long bytesReceived = 0;

    // One line for a status bar or a terminal.
    std::string summary() const;
};

// One whole sync of the catalogue at dbPath through the transport. Never raises: a failure is in the
// report, and leaves the catalogue as it was and the changes not sent for the next sync.
SyncReport synchronize(const std::string& dbPath, SyncTransport& transport, const SyncOptions& options);

// This machine's identity, as the device identity is tied to it.
std::string machineIdentity();

// The sync settings kept with the catalogue (the password never is).
struct SyncSettings {
    std::string place;
    std::string user;
    std::string machineName;
    std::vector<DocumentFolder> documentFolders;
};
SyncSettings loadSyncSettings(const std::string& dbPath);
void saveSyncSettings(const std::string& dbPath, const SyncSettings& settings);
