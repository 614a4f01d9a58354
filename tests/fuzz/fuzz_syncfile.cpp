// SPDX-License-Identifier: GPL-3.0-or-later
// A device's sync file as the engine reads it, line by line: SyncFileReader over the fuzzed bytes as
// a plain, an encrypted (with a fixed key) or a first-format file. It either refuses the file with
// SyncFileError or reads every record; what it read, written again and read back, is the same.

#include "fuzzsupport.h"

#include "sync/syncfiles.h"
#include "sync/synctransport.h"

#include <QBuffer>

namespace {

constexpr const char* bound = "Varnelo/device/changes-00000001.vsync";

SyncKey fixedKey()
{
    SyncKey key;
    for (std::size_t i = 0; i < key.bytes.size(); ++i)
        key.bytes[i] = static_cast<unsigned char>(i);
    return key;
}

// Small limits, so a run spends its time on the reader and not on one enormous line.
SyncLimits limits()
{
    SyncLimits small;
    small.lineBytes = 64 * 1024;
    small.textBytes = 16 << 20;
    small.records = 100'000;
    return small;
}

std::vector<SyncRecord> readAll(QByteArray bytes, const SyncKey& key, SyncFileHeader& header)
{
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::ReadOnly);
    SyncFileReader reader(buffer, &key, bound, limits());
    header = reader.header();
    std::vector<SyncRecord> records;
    for (SyncRecord record; reader.next(record);)
        records.push_back(record);
    return records;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static const SyncKey key = fixedKey();
    SyncFileHeader header;
    std::vector<SyncRecord> records;
    try {
        records = readAll(QByteArray(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size)), key, header);
    } catch (const SyncFileError&) {
        return 0;
    } catch (const SyncError&) {
        return 0;
    }
    QByteArray written;
    {
        QBuffer buffer(&written);
        buffer.open(QIODevice::WriteOnly);
        SyncFileWriter writer(buffer, nullptr, bound, header);
        for (const SyncRecord& record : records)
            writer.add(record);
        writer.finish();
    }
    SyncFileHeader again;
    FUZZ_CHECK(readAll(written, key, again) == records);
    FUZZ_CHECK(again.device == header.device && again.sequence == header.sequence && again.seen == header.seen);
    return 0;
}
