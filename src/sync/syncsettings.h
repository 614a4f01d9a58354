// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "catalogueplan.h"

#include <optional>
#include <string>
#include <vector>

// The sync settings of a catalogue (the password and passphrase never are). They are kept inside the
// catalogue and in a small file beside it, "<catalogue>.sync", so that a restore of the catalogue
// keeps them: the file also says which device the catalogue is and how far it uploaded.
struct SyncSettings {
    std::string place;
    std::string user;
    std::string machineName;
    std::vector<DocumentFolder> documentFolders;
    // Read only: whether the place's files are encrypted, as this catalogue last found them.
    bool encrypted = false;
};
SyncSettings loadSyncSettings(const std::string& dbPath);
void saveSyncSettings(const std::string& dbPath, const SyncSettings& settings);

// What the file beside the catalogue remembers of its device.
struct DeviceRecord {
    std::string device;
    std::string machine;
    std::string path;
    long long sequence = 0;
    // How the first sync after a restore treats the restored catalogue: "" (it goes by what the
    // catalogue says), "bring-back" or "exact".
    std::string restore;
};
std::optional<DeviceRecord> readDeviceRecord(const std::string& dbPath);
void writeDeviceRecord(const std::string& dbPath, const DeviceRecord& record);

std::string deviceRecordPath(const std::string& dbPath);
