// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "syncrecord.h"
#include "syncstream.h"

#include <QByteArray>

#include <map>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <vector>

// The files a device writes below "Varnelo/<device>/": "snapshot-<n>.vsync" holds everything the
// device knew after its n-th upload, "changes-<n>.vsync" what its n-th upload changed. A device only
// adds numbered files and, after a new snapshot, removes its own older ones; no file is ever rewritten,
// so file-sync tools make no conflict copies and WebDAV needs no locks. Each file is JSON lines (a
// header, one record per line, a closing line with the count) in the stream of syncstream.h. The first
// format, "<kind>-<n>.jsonl" as bare JSON lines, is still read, so a place that holds it is upgraded.

inline constexpr const char* syncFolder = "Varnelo";

struct SyncFileHeader {
    std::string device;
    std::string machineName;
    long long sequence = 0;
    bool snapshot = false;
    // The writer's own wall clock (microseconds) when it wrote the file, uncorrected.
    long long clock = 0;
    // For each other device: how far ahead of the writer's its clock was found when last read.
    std::map<std::string, long long> observed;
    // How far the writer had read each device (itself included) when it wrote the file.
    std::map<std::string, long long> seen;
};

// The most a record line, a file's text and a file's count of records may hold.
struct SyncLimits {
    std::size_t lineBytes = 4u << 20;
    long long textBytes = 4LL << 30;
    long long records = 20'000'000;
};

template <typename Record>
class RecordPipe;

// Writes one file, records formatted and compressed on a thread of the writer's own once there are
// many: the device it writes to is the writer's alone until finish().
class SyncFileWriter {
public:
    SyncFileWriter(QIODevice& out, const SyncKey* key, const std::string& boundName, const SyncFileHeader& header);
    // Encrypted with a key still being derived (see SyncStreamWriter).
    SyncFileWriter(QIODevice& out, std::shared_future<SyncKey> comingKey, const std::string& boundName,
                   const SyncFileHeader& header);
    ~SyncFileWriter();
    SyncFileWriter(const SyncFileWriter&) = delete;
    SyncFileWriter& operator=(const SyncFileWriter&) = delete;
    void add(SyncRecord record);
    // Takes the record, and leaves in its place one written before, to be written over: in a long
    // run of records, their texts are allocated once.
    void take(SyncRecord& record);
    void finish();
    long long count() const { return records; }

private:
    void writeHeader(const SyncFileHeader& header);
    void write(const std::vector<SyncRecord>& batch);
    void writeBehind();
    void handOn();

    SyncStreamWriter stream;
    long long records = 0;
    // The records of the next batch are its first `filled`; the others wait to be written over.
    std::vector<SyncRecord> waiting;
    std::size_t filled = 0;
    std::unique_ptr<RecordPipe<SyncRecord>> pipe;
    std::thread writing;
};

// Reads one file record by record. A file cut short, damaged, too large or not ours raises
// SyncFileError: a file cut short is never a file with fewer records, or a half upload would read
// as deletions.
// The records are read and parsed on a thread of the reader's own, a few batches ahead of next(): the
// device it reads from is the reader's alone until it is destroyed.
class SyncFileReader {
public:
    SyncFileReader(QIODevice& in, const SyncKey* key, const std::string& boundName, const SyncLimits& limits = {});
    ~SyncFileReader();
    SyncFileReader(const SyncFileReader&) = delete;
    SyncFileReader& operator=(const SyncFileReader&) = delete;
    const SyncFileHeader& header() const { return head; }
    bool encrypted() const { return stream.encrypted(); }
    // The next record (and, for an item, its digest); false once the file ended whole.
    bool next(SyncRecord& record, RecordDigest* digest = nullptr);
    // The record the next call gives, when it is read already: its caller can fetch what it will need.
    const SyncRecord* peek() const { return batchAt < batch.size() ? &batch[batchAt].record : nullptr; }
    const RecordDigest* peekDigest() const { return batchAt < batch.size() ? &batch[batchAt].digest : nullptr; }

private:
    // The next line without its newline; false at the end of the text.
    bool line(std::string& text);
    bool parseNext(SyncRecord& record);
    void readAhead();

    struct Read {
        SyncRecord record;
        RecordDigest digest;
    };
    std::unique_ptr<RecordPipe<Read>> pipe;
    std::thread reading;
    std::vector<Read> batch;
    std::size_t batchAt = 0;

    SyncStreamReader stream;
    SyncLimits limits;
    SyncFileHeader head;
    std::string buffer;
    std::string lineText;
    std::size_t at = 0;
    bool textEnded = false;
    long long read = 0;
    long long declared = -1;
    bool ended = false;
};

// One record as one JSON text (also how tombstones and categories are kept in the catalogue).
std::string recordText(const SyncRecord& record);
std::optional<SyncRecord> recordFromText(const std::string& text);

std::string syncFileName(long long sequence, bool snapshot);

// What a file name in a device's folder says; nullopt for a name that is no sync file.
struct SyncFileName {
    long long sequence = 0;
    bool snapshot = false;
    bool legacy = false;
};
std::optional<SyncFileName> parseSyncFileName(const std::string& name);

// Which of a device's files to read, given the names in its folder and the last number already read.
struct ReadPlan {
    std::vector<std::string> files;
    // The number read up to once the files are read.
    long long upTo = 0;
    // The device's folder holds no file at all: nothing is read and nothing deleted.
    bool empty = false;
};
ReadPlan planReading(const std::vector<std::string>& names, long long readUpTo);
