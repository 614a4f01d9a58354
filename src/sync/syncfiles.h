// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "syncrecord.h"

#include <QByteArray>

#include <optional>
#include <string>
#include <vector>

// The files a device writes below "Varnelo/<device>/": "snapshot-<n>.jsonl" holds everything the device
// knew after its n-th upload, "changes-<n>.jsonl" what its n-th upload changed. A device only adds
// numbered files and, after a new snapshot, removes its own older ones; no file is ever rewritten,
// so file-sync tools make no conflict copies and WebDAV needs no locks. Each file is JSON lines:
// a header line, then one record per line.

inline constexpr const char* syncFolder = "Varnelo";

struct SyncFileHeader {
    std::string device;
    std::string machineName;
    long long sequence = 0;
    bool snapshot = false;
};

struct SyncFile {
    SyncFileHeader header;
    std::vector<SyncRecord> records;
};

QByteArray writeSyncFile(const SyncFileHeader& header, const std::vector<SyncRecord>& records);
// Anything but a whole, well-formed file gives nullopt: a file cut short is not a file with fewer
// records, or a half upload would read as deletions.
std::optional<SyncFile> readSyncFile(const QByteArray& bytes);

// One record as one JSON text (also how the state keeps it).
std::string recordText(const SyncRecord& record);
std::optional<SyncRecord> recordFromText(const std::string& text);

std::string syncFileName(long long sequence, bool snapshot);

// Which of a device's files to read, given the names in its folder and the last number already read.
struct ReadPlan {
    std::vector<std::string> files;
    // The number read up to once the files are read.
    long long upTo = 0;
    // The device's folder holds no file at all: nothing is read and nothing deleted.
    bool empty = false;
};
ReadPlan planReading(const std::vector<std::string>& names, long long readUpTo);
