// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "sync/syncfiles.h"

#include <QBuffer>

#include <string>
#include <vector>

// The name a device's file is bound to, as the engine binds it.
inline std::string boundName(const SyncFileHeader& header)
{
    return std::string(syncFolder) + "/" + header.device + "/" + syncFileName(header.sequence, header.snapshot);
}

// A whole sync file as a device would write it.
inline QByteArray syncFileBytes(const SyncFileHeader& header, const std::vector<SyncRecord>& records,
                                const SyncKey* key = nullptr)
{
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    SyncFileWriter writer(buffer, key, boundName(header), header);
    for (const SyncRecord& record : records)
        writer.add(record);
    writer.finish();
    return bytes;
}

// Every record of the file; raises SyncFileError as the engine's reader does.
inline std::vector<SyncRecord> syncFileRecords(QByteArray bytes, const std::string& bound, const SyncKey* key = nullptr,
                                               const SyncLimits& limits = {})
{
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::ReadOnly);
    SyncFileReader reader(buffer, key, bound, limits);
    std::vector<SyncRecord> records;
    for (SyncRecord record; reader.next(record);)
        records.push_back(record);
    return records;
}
