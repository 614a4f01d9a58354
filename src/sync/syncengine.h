// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "catalogueplan.h"
#include "syncencryption.h"
#include "syncsettings.h"
#include "synctransport.h"

#include <functional>
#include <optional>
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
    // End-to-end encryption: the passphrase (the key comes from it and the place's marker; at a place
    // without one, it turns encryption on), or the key kept from an earlier sync. Neither for a plain
    // place.
    std::string passphrase{};
    std::optional<SyncKey> key{};
    // Compare every row with the last synced state, not only what the triggers noted.
    bool wholeMerge = false;
};

inline constexpr int lockWaitSeconds = 5;
inline constexpr const char* syncRunningText = "A sync of this catalogue is already running.";

struct SyncReport {
    bool ok = false;
    // The reason a sync failed, for the user.
    std::string error;
    // The server refused the user name or password: ask for it once, then sync again.
    bool credentialsRefused = false;
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
    // Objects a restored backup held that had been deleted since, brought back everywhere.
    int cameBack = 0;
    std::string backupPath;
    long long bytesSent = 0;
    long long bytesReceived = 0;
    // The key of an encrypted place (base64), to keep in the keyring for the next sync.
    std::optional<std::string> encryptionKey;

    // One line for a status bar or a terminal.
    std::string summary() const;
};

// One whole sync of the catalogue at dbPath through the transport. Never raises: a failure is in the
// report, and leaves the catalogue as it was and the changes not sent for the next sync.
SyncReport synchronize(const std::string& dbPath, SyncTransport& transport, const SyncOptions& options);

// Whether another device uploaded to the place since this catalogue last read it: a listing of the
// place and of each device's folder, cheap enough to ask about once a minute. True when it cannot tell.
bool placeHasNews(const std::string& dbPath, SyncTransport& transport);

// This machine's identity, as the device identity is tied to it.
std::string machineIdentity();
