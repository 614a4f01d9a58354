// SPDX-License-Identifier: GPL-3.0-or-later
#include "syncfiles.h"

#include "syncstore.h"

#include "base/text.h"

#include <nlohmann/json.hpp>
#include <simdjson.h>

#include <algorithm>
#include <array>
#include <charconv>
#include <condition_variable>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <deque>
#include <exception>
#include <mutex>

namespace {

constexpr int FormatVersion = 2;
constexpr int LegacyVersion = 1;

using Json = nlohmann::json;

// Whether eight bytes all stand for themselves in a JSON string: none is a control character, a
// quote, a backslash or part of a UTF-8 sequence. Texts are mostly such bytes, tested a word at a time.
bool plainEight(const char* bytes)
{
    constexpr std::uint64_t ones = 0x0101010101010101, highs = 0x8080808080808080;
    std::uint64_t word;
    std::memcpy(&word, bytes, sizeof word);
    // With no high bit set, a byte below n sets its high bit in word - n * ones; a byte equal to c
    // is a byte below 1 of word ^ c * ones.
    const auto below = [&](std::uint64_t x, std::uint64_t n) { return (x - n * ones) & ~x & highs; };
    return (word & highs) == 0 && below(word, 0x20) == 0 && below(word ^ ('"' * ones), 1) == 0
           && below(word ^ ('\\' * ones), 1) == 0;
}

// What goes between the quotes of a JSON string of the text: escaped as JSON asks, and a byte that
// starts no UTF-8 sequence written as U+FFFD, so that every line reads back.
void appendEscaped(std::string& out, std::string_view text)
{
    for (std::size_t at = 0; at < text.size();) {
        // A run of characters that stand for themselves goes in at once.
        std::size_t plain = at;
        while (plain + 8 <= text.size() && plainEight(text.data() + plain))
            plain += 8;
        while (plain < text.size()) {
            const auto c = static_cast<unsigned char>(text[plain]);
            if (c < 0x20 || c >= 0x80 || c == '"' || c == '\\')
                break;
            ++plain;
        }
        out.append(text.substr(at, plain - at));
        at = plain;
        if (at == text.size())
            break;
        const auto c = static_cast<unsigned char>(text[at]);
        if (c >= 0x80) {
            const std::size_t length = utf8SequenceLength(text, at);
            out.append(length ? text.substr(at, length) : std::string_view("\xEF\xBF\xBD"));
            at += length ? length : 1;
            continue;
        }
        ++at;
        if (c == '"' || c == '\\') {
            out += '\\';
            out += static_cast<char>(c);
        } else if (c < 0x20) {
            char escaped[8];
            std::snprintf(escaped, sizeof escaped, "\\u%04x", c);
            out += escaped;
        } else {
            out += static_cast<char>(c);
        }
    }
}

void appendString(std::string& out, std::string_view text)
{
    out += '"';
    appendEscaped(out, text);
    out += '"';
}

void appendMember(std::string& out, const char* name, std::string_view value)
{
    if (out.back() != '{')
        out += ',';
    appendString(out, name);
    out += ':';
    appendString(out, value);
}

// A record's members come by the million: their names, known, go in as they are, and a stamp's
// number is written straight into the line. The text is the one appendMember would write.
void appendText(std::string& out, std::string_view opening, std::string_view value)
{
    out.append(opening);
    appendEscaped(out, value);
    out += '"';
}

void appendStamp(std::string& out, std::string_view opening, const Stamp& stamp)
{
    char digits[24];
    const auto [end, error] = std::to_chars(digits, digits + sizeof digits, stamp.clock);
    out.append(opening);
    out.append(digits, error == std::errc() ? end : digits);
    out += '@';
    appendEscaped(out, stamp.device);
    out += '"';
}

void appendRecord(std::string& out, const SyncRecord& record)
{
    appendText(out, "{\"k\":\"", std::string_view(&record.kind, 1));
    appendText(out, ",\"g\":\"", record.guid);
    out += ",\"f\":{";
    bool first = true;
    for (const auto& [name, value] : record.fields) {
        if (!first)
            out += ',';
        first = false;
        appendString(out, name);
        out += ':';
        appendString(out, value);
    }
    out += '}';
    appendStamp(out, ",\"fs\":\"", record.fieldsStamp);
    appendStamp(out, ",\"c\":\"", record.created);
    if (record.kind != SyncRecord::Icon) {
        appendText(out, ",\"p\":\"", record.parent);
        appendStamp(out, ",\"ps\":\"", record.parentStamp);
    }
    if (!record.deleteStamp.isNull())
        appendStamp(out, ",\"ds\":\"", record.deleteStamp);
    out += '}';
}

// A record's fields from a line's object, into the map it held before: a line of the same fields
// as the one before, the most common case, allocates nothing. Members named twice: the last counts.
// More of a line's fields (a second "f") go in beside those already read.
bool fieldsInto(const simdjson::dom::object& object, std::map<std::string, std::string>& fields, bool more)
{
    auto at = fields.begin();
    bool inStep = !more;
    for (const auto [field, text] : object) {
        std::string_view got;
        if (text.get_string().get(got) != simdjson::SUCCESS)
            return false;
        if (inStep && at != fields.end() && at->first == field) {
            at->second.assign(got);
            ++at;
            continue;
        }
        if (inStep) {
            // What was not met in step may still be named later in this line: it goes, and the rest
            // is placed one by one.
            fields.erase(at, fields.end());
            inStep = false;
        }
        fields.insert_or_assign(std::string(field), std::string(got));
    }
    if (inStep)
        fields.erase(at, fields.end());
    return true;
}

// One record line: the members it knows, each a string, the fields an object of strings; anything
// else refuses the line. Members of a later version are passed over, whatever they hold. The line is
// parsed whole (and its UTF-8 checked) before any member is taken. Written over the record given, so
// that its texts keep their room; what the line does not name is emptied.
bool parseRecordInto(const std::string& line, SyncRecord& record)
{
    // A parser keeps its buffers between lines; each thread that reads records has its own.
    thread_local simdjson::dom::parser parser;
    simdjson::dom::object members;
    if (parser.parse(line).get_object().get(members) != simdjson::SUCCESS)
        return false;
    bool kind = false, guid = false, fields = false, parent = false;
    std::array<bool, 4> stampSeen{};
    constexpr std::array<Stamp SyncRecord::*, 4> stamps = {&SyncRecord::fieldsStamp, &SyncRecord::parentStamp,
                                                           &SyncRecord::deleteStamp, &SyncRecord::created};
    for (const auto [name, value] : members) {
        if (name == "f") {
            simdjson::dom::object object;
            if (value.get_object().get(object) != simdjson::SUCCESS)
                return false;
            if (!fieldsInto(object, record.fields, fields))
                return false;
            fields = true;
            continue;
        }
        const int stamp = name == "fs" ? 0 : name == "ps" ? 1 : name == "ds" ? 2 : name == "c" ? 3 : -1;
        if (name != "k" && name != "g" && name != "p" && stamp < 0)
            continue;
        std::string_view text;
        if (value.get_string().get(text) != simdjson::SUCCESS)
            return false;
        if (name == "k") {
            kind = text.size() == 1
                   && (text[0] == SyncRecord::Category || text[0] == SyncRecord::Item || text[0] == SyncRecord::Icon);
            record.kind = text.empty() ? '?' : text[0];
        } else if (name == "g") {
            guid = !text.empty();
            record.guid.assign(text);
        } else if (name == "p") {
            parent = true;
            record.parent.assign(text);
        } else if (parseStampInto(text, record.*stamps[static_cast<std::size_t>(stamp)])) {
            stampSeen[static_cast<std::size_t>(stamp)] = true;
        } else {
            return false;
        }
    }
    if (!kind || !guid || !fields)
        return false;
    if (!parent)
        record.parent.clear();
    static const Stamp none;
    for (std::size_t i = 0; i < stamps.size(); ++i)
        if (!stampSeen[i])
            record.*stamps[i] = none;
    return true;
}

std::optional<SyncRecord> parseRecord(const std::string& line)
{
    SyncRecord record;
    if (!parseRecordInto(line, record))
        return std::nullopt;
    return record;
}

long long numberOf(const Json& value)
{
    if (!value.is_string())
        return 0;
    long long number = 0;
    const std::string& text = value.get_ref<const std::string&>();
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), number);
    return error == std::errc() && end == text.data() + text.size() ? number : 0;
}

std::map<std::string, long long> numbersOf(const Json& value)
{
    std::map<std::string, long long> map;
    if (value.is_object())
        for (const auto& [name, number] : value.items())
            map[name] = numberOf(number);
    return map;
}

void appendNumbers(std::string& out, const char* name, const std::map<std::string, long long>& numbers)
{
    out += ',';
    appendString(out, name);
    out += ":{";
    for (const auto& [key, value] : numbers)
        appendMember(out, key.c_str(), std::to_string(value));
    out += '}';
}

[[noreturn]] void damaged(const std::string& what)
{
    throw SyncFileError(SyncFileError::Damaged, what);
}

}  // namespace

// Batches of records between the thread that reads or writes a file's text and the one that merges,
// at most a few batches ahead. The side that hands batches on closes it with the end or its failure;
// the side that takes them may stop it, with its own failure.
template <typename Record>
class RecordPipe {
public:
    using Batch = std::vector<Record>;
    static constexpr std::size_t BatchSize = 1024;

    // False once the taking side stopped.
    bool push(Batch&& batch)
    {
        std::unique_lock lock(mutex);
        changed.wait(lock, [&] { return batches.size() < Ahead || stopped; });
        if (stopped)
            return false;
        batches.push_back(std::move(batch));
        changed.notify_all();
        return true;
    }
    // False at the end or once stopped; rethrows what ended the handing side.
    bool pop(Batch& batch)
    {
        std::unique_lock lock(mutex);
        changed.wait(lock, [&] { return !batches.empty() || closed || stopped; });
        if (stopped)
            return false;
        if (batches.empty()) {
            if (failure)
                std::rethrow_exception(failure);
            return false;
        }
        batch = std::move(batches.front());
        batches.pop_front();
        changed.notify_all();
        return true;
    }
    // A batch that was taken goes back to the side that made it, which frees its records: freed on
    // another thread, each would wait for the lock of the memory it came from.
    void giveBack(Batch&& batch)
    {
        const std::lock_guard lock(mutex);
        spent.push_back(std::move(batch));
    }
    // A batch given back, as it was, or an empty one. The others wait for the next calls: freeing a
    // batch costs as much as filling one anew, and no more batches go round than the pipe holds.
    Batch takeBack()
    {
        const std::lock_guard lock(mutex);
        if (spent.empty())
            return {};
        Batch reused = std::move(spent.back());
        spent.pop_back();
        return reused;
    }
    void close(std::exception_ptr error) { end(closed, std::move(error)); }
    void stop(std::exception_ptr error) { end(stopped, std::move(error)); }
    void rethrowFailure()
    {
        const std::lock_guard lock(mutex);
        if (failure)
            std::rethrow_exception(failure);
    }

private:
    void end(bool& flag, std::exception_ptr error)
    {
        const std::lock_guard lock(mutex);
        flag = true;
        if (error)
            failure = std::move(error);
        changed.notify_all();
    }

    static constexpr std::size_t Ahead = 4;
    std::mutex mutex;
    std::condition_variable changed;
    std::deque<Batch> batches;
    std::vector<Batch> spent;
    bool closed = false;
    bool stopped = false;
    std::exception_ptr failure;
};

std::string recordText(const SyncRecord& record)
{
    std::string text;
    appendRecord(text, record);
    return text;
}

std::optional<SyncRecord> recordFromText(const std::string& text)
{
    return parseRecord(text);
}

SyncFileWriter::SyncFileWriter(QIODevice& out, const SyncKey* key, const std::string& boundName,
                               const SyncFileHeader& header)
    : stream(out, key, boundName)
{
    writeHeader(header);
}

SyncFileWriter::SyncFileWriter(QIODevice& out, std::shared_future<SyncKey> comingKey, const std::string& boundName,
                               const SyncFileHeader& header)
    : stream(out, std::move(comingKey), boundName)
{
    writeHeader(header);
}

void SyncFileWriter::writeHeader(const SyncFileHeader& header)
{
    std::string head = "{\"varnelo-sync\":" + std::to_string(FormatVersion);
    appendMember(head, "device", header.device);
    appendMember(head, "name", header.machineName);
    appendMember(head, "sequence", std::to_string(header.sequence));
    head += header.snapshot ? ",\"snapshot\":true" : ",\"snapshot\":false";
    appendMember(head, "clock", std::to_string(header.clock));
    appendNumbers(head, "observed", header.observed);
    appendNumbers(head, "seen", header.seen);
    head += "}\n";
    stream.write(head);
}

SyncFileWriter::~SyncFileWriter()
{
    if (writing.joinable()) {
        pipe->stop(nullptr);
        writing.join();
    }
}

void SyncFileWriter::add(SyncRecord record)
{
    take(record);
}

void SyncFileWriter::take(SyncRecord& record)
{
    if (filled < waiting.size())
        swap(waiting[filled], record);
    else
        waiting.push_back(std::move(record));
    ++filled;
    ++records;
    if (filled == RecordPipe<SyncRecord>::BatchSize)
        handOn();
}

void SyncFileWriter::handOn()
{
    if (!pipe) {
        pipe = std::make_unique<RecordPipe<SyncRecord>>();
        writing = std::thread([this] { writeBehind(); });
    }
    if (!pipe->push(std::move(waiting)))
        pipe->rethrowFailure();
    // A batch written already comes back whole, its records to be written over.
    waiting = pipe->takeBack();
    waiting.reserve(RecordPipe<SyncRecord>::BatchSize);
    filled = 0;
}

void SyncFileWriter::write(const std::vector<SyncRecord>& batch)
{
    // Written into the room the last batch left.
    thread_local std::string text;
    text.clear();
    for (const SyncRecord& record : batch) {
        appendRecord(text, record);
        text += '\n';
    }
    stream.write(text);
}

void SyncFileWriter::writeBehind()
{
    try {
        std::vector<SyncRecord> batch;
        while (pipe->pop(batch)) {
            write(batch);
            pipe->giveBack(std::move(batch));
        }
    } catch (...) {
        pipe->stop(std::current_exception());
    }
}

void SyncFileWriter::finish()
{
    waiting.resize(filled);
    if (pipe) {
        if (!waiting.empty() && !pipe->push(std::move(waiting)))
            pipe->rethrowFailure();
        pipe->close(nullptr);
        writing.join();
        pipe->rethrowFailure();
    } else {
        write(waiting);
    }
    waiting.clear();
    filled = 0;
    stream.write("{\"end\":\"" + std::to_string(records) + "\"}\n");
    stream.finish();
}

SyncFileReader::SyncFileReader(QIODevice& in, const SyncKey* key, const std::string& boundName,
                               const SyncLimits& limits)
    : stream(in, key, boundName, limits.textBytes), limits(limits)
{
    std::string first;
    if (!line(first))
        throw SyncFileError(SyncFileError::CutShort, "is cut short");
    const Json header = Json::parse(first, nullptr, false);
    const Json* version = header.is_object() && header.contains("varnelo-sync") ? &header["varnelo-sync"] : nullptr;
    if (!version || !version->is_number_integer()
        || version->get<long long>() != (stream.legacy() ? LegacyVersion : FormatVersion))
        throw SyncFileError(SyncFileError::NotASyncFile, "is not a sync file of this version");
    const auto text = [&](const char* name) {
        return header.contains(name) && header[name].is_string() ? header[name].get<std::string>() : std::string();
    };
    head.device = text("device");
    head.machineName = text("name");
    head.sequence = header.contains("sequence") ? numberOf(header["sequence"]) : 0;
    head.snapshot = header.contains("snapshot") && header["snapshot"].is_boolean() && header["snapshot"].get<bool>();
    head.clock = header.contains("clock") ? numberOf(header["clock"]) : 0;
    head.observed = header.contains("observed") ? numbersOf(header["observed"]) : std::map<std::string, long long>();
    head.seen = header.contains("seen") ? numbersOf(header["seen"]) : std::map<std::string, long long>();
    if (stream.legacy())
        declared = header.contains("records") && header["records"].is_number_integer()
                       ? header["records"].get<long long>()
                       : -1;
    if (head.device.empty())
        damaged("names no device");
}

bool SyncFileReader::line(std::string& text)
{
    for (;;) {
        const std::size_t newline = buffer.find('\n', at);
        if (newline != std::string::npos) {
            // Room behind the line for the parser, which reads ahead in blocks.
            if (text.capacity() < newline - at + simdjson::SIMDJSON_PADDING)
                text.reserve(2 * (newline - at) + simdjson::SIMDJSON_PADDING);
            text.assign(buffer, at, newline - at);
            at = newline + 1;
            return true;
        }
        if (buffer.size() - at > limits.lineBytes)
            throw SyncFileError(SyncFileError::TooLarge,
                                "holds a line longer than " + std::to_string(limits.lineBytes >> 20) + " MiB");
        if (textEnded) {
            if (at != buffer.size())
                throw SyncFileError(SyncFileError::CutShort, "is cut short");
            return false;
        }
        buffer.erase(0, at);
        at = 0;
        const std::size_t had = buffer.size();
        buffer.resize(had + 64 * 1024);
        const std::size_t got = stream.read(buffer.data() + had, 64 * 1024);
        buffer.resize(had + got);
        textEnded = got == 0;
    }
}

SyncFileReader::~SyncFileReader()
{
    if (reading.joinable()) {
        pipe->stop(nullptr);
        reading.join();
    }
}

bool SyncFileReader::next(SyncRecord& record, RecordDigest* digest)
{
    if (!pipe) {
        pipe = std::make_unique<RecordPipe<Read>>();
        reading = std::thread([this] { readAhead(); });
    }
    while (batchAt == batch.size()) {
        if (!batch.empty())
            pipe->giveBack(std::move(batch));
        batch = {};
        batchAt = 0;
        if (!pipe->pop(batch))
            return false;
    }
    // What the caller held goes back with the batch, to be freed by the thread that made it.
    if (digest)
        *digest = batch[batchAt].digest;
    swap(record, batch[batchAt++].record);
    // The records were made on the reader's thread: the next ones are fetched into this thread's cache
    // while the caller works on this one, the record two ahead and the texts of the one after.
    if (batchAt + 1 < batch.size())
        __builtin_prefetch(&batch[batchAt + 1]);
    if (batchAt < batch.size()) {
        const SyncRecord& after = batch[batchAt].record;
        for (const char* text : {after.guid.data(), after.parent.data(), after.fieldsStamp.device.data(),
                                 after.parentStamp.device.data(), after.created.device.data()})
            __builtin_prefetch(text);
    }
    return true;
}

void SyncFileReader::readAhead()
{
    // Parsed into the records of a batch given back, whose texts and fields keep their room.
    std::vector<Read> records;
    std::size_t filled = 0;
    const auto handOn = [&] {
        records.resize(filled);
        filled = 0;
        return records.empty() || pipe->push(std::move(records));
    };
    try {
        for (;;) {
            if (filled == records.size())
                records.emplace_back();
            Read& read = records[filled];
            if (!parseNext(read.record))
                break;
            read.digest = read.record.kind == SyncRecord::Item
                              ? RecordDigest{objectKey(SyncRecord::Item, read.record.guid), objectHash(read.record)}
                              : RecordDigest{};
            if (++filled == RecordPipe<Read>::BatchSize) {
                if (!handOn())
                    return;
                records = pipe->takeBack();
            }
        }
        if (!handOn())
            return;
        pipe->close(nullptr);
    } catch (...) {
        // The records before the failure first, as they were read.
        if (!handOn())
            return;
        pipe->close(std::current_exception());
    }
}

bool SyncFileReader::parseNext(SyncRecord& record)
{
    if (ended)
        return false;
    std::string& text = lineText;
    if (!line(text)) {
        // The first format closes with nothing but the count in its header.
        if (stream.legacy() && declared == read) {
            ended = true;
            return false;
        }
        throw SyncFileError(SyncFileError::CutShort, "is cut short");
    }
    if (!stream.legacy() && text.starts_with("{\"end\":")) {
        const Json end = Json::parse(text, nullptr, false);
        std::string rest;
        if (!end.is_object() || end.size() != 1 || numberOf(end["end"]) != read || line(rest))
            damaged("does not end as it says");
        ended = true;
        return false;
    }
    if (!parseRecordInto(text, record))
        damaged("holds a record that cannot be read");
    if (++read > limits.records)
        throw SyncFileError(SyncFileError::TooLarge, "holds more than " + std::to_string(limits.records) + " records");
    return true;
}

std::string syncFileName(long long sequence, bool snapshot)
{
    char name[64];
    std::snprintf(name, sizeof name, snapshot ? "snapshot-%08lld.vsync" : "changes-%08lld.vsync", sequence);
    return name;
}

std::optional<SyncFileName> parseSyncFileName(const std::string& name)
{
    for (const bool snapshot : {true, false})
        for (const bool legacy : {false, true}) {
            const std::string prefix = snapshot ? "snapshot-" : "changes-";
            const std::string suffix = legacy ? ".jsonl" : ".vsync";
            if (name.size() <= prefix.size() + suffix.size() || !name.starts_with(prefix) || !name.ends_with(suffix))
                continue;
            const char* begin = name.data() + prefix.size();
            const char* end = name.data() + name.size() - suffix.size();
            long long sequence = 0;
            const auto [last, error] = std::from_chars(begin, end, sequence);
            if (error == std::errc() && last == end && sequence > 0 && *begin != '+')
                return SyncFileName{sequence, snapshot, legacy};
        }
    return std::nullopt;
}

ReadPlan planReading(const std::vector<std::string>& names, long long readUpTo)
{
    ReadPlan plan;
    plan.upTo = readUpTo;
    // Of two files of one number and kind, the present format's.
    std::map<long long, std::string> changes, snapshots;
    std::map<std::string, bool> legacyOf;
    for (const std::string& name : names) {
        auto parsed = parseSyncFileName(name);
        if (!parsed)
            continue;
        auto& files = parsed->snapshot ? snapshots : changes;
        auto [at, inserted] = files.emplace(parsed->sequence, name);
        if (!inserted && !parsed->legacy)
            at->second = name;
    }
    if (changes.empty() && snapshots.empty()) {
        plan.empty = true;
        return plan;
    }
    const long long newestSnapshot = snapshots.empty() ? 0 : snapshots.rbegin()->first;
    const long long newest = std::max(newestSnapshot, changes.empty() ? 0 : changes.rbegin()->first);
    // Read on from where we were while the change files after it are all there; after a compaction
    // took them away, or when the device started over with lower numbers, from its newest snapshot.
    long long from = readUpTo;
    bool continuous = readUpTo <= newest;
    for (long long n = readUpTo + 1; continuous && n <= newest; ++n)
        continuous = changes.count(n) != 0;
    if (!continuous) {
        if (newestSnapshot == 0)
            from = 0;
        else {
            plan.files.push_back(snapshots.rbegin()->second);
            from = newestSnapshot;
        }
    }
    for (const auto& [n, name] : changes)
        if (n > from)
            plan.files.push_back(name);
    plan.upTo = newest;
    return plan;
}
