// SPDX-License-Identifier: GPL-3.0-or-later
#include "syncfiles.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <algorithm>
#include <charconv>
#include <cstdio>

namespace {

constexpr int FormatVersion = 2;
constexpr int LegacyVersion = 1;

QString q(const std::string& text)
{
    return QString::fromStdString(text);
}

QJsonObject recordObject(const SyncRecord& record)
{
    QJsonObject fields;
    for (const auto& [name, value] : record.fields)
        fields.insert(q(name), q(value));
    QJsonObject object{{"k", QString(QChar(record.kind))},
                       {"g", q(record.guid)},
                       {"f", fields},
                       {"fs", q(formatStamp(record.fieldsStamp))},
                       {"c", q(formatStamp(record.created))}};
    if (record.kind != SyncRecord::Icon) {
        object.insert("p", q(record.parent));
        object.insert("ps", q(formatStamp(record.parentStamp)));
    }
    if (!record.deleteStamp.isNull())
        object.insert("ds", q(formatStamp(record.deleteStamp)));
    return object;
}

bool readStamp(const QJsonObject& object, const char* name, Stamp& stamp)
{
    const QJsonValue value = object.value(name);
    if (value.isUndefined())
        return true;
    if (!value.isString())
        return false;
    auto parsed = parseStamp(value.toString().toStdString());
    if (!parsed)
        return false;
    stamp = *parsed;
    return true;
}

std::optional<SyncRecord> recordFrom(const QJsonObject& object)
{
    const QString kind = object.value("k").toString();
    if (kind.size() != 1 || !QString("cin").contains(kind) || !object.value("g").isString()
        || !object.value("f").isObject())
        return std::nullopt;
    SyncRecord record;
    record.kind = kind[0].toLatin1();
    record.guid = object.value("g").toString().toStdString();
    record.parent = object.value("p").toString().toStdString();
    const QJsonObject fields = object.value("f").toObject();
    for (auto field = fields.begin(); field != fields.end(); ++field) {
        if (!field.value().isString())
            return std::nullopt;
        record.fields[field.key().toStdString()] = field.value().toString().toStdString();
    }
    if (record.guid.empty() || !readStamp(object, "fs", record.fieldsStamp)
        || !readStamp(object, "ps", record.parentStamp) || !readStamp(object, "ds", record.deleteStamp)
        || !readStamp(object, "c", record.created))
        return std::nullopt;
    return record;
}

long long numberOf(const QJsonValue& value)
{
    long long number = 0;
    const std::string text = value.toString().toStdString();
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), number);
    return error == std::errc() && end == text.data() + text.size() ? number : 0;
}

QJsonObject numbers(const std::map<std::string, long long>& map)
{
    QJsonObject object;
    for (const auto& [name, value] : map)
        object.insert(q(name), QString::number(value));
    return object;
}

std::map<std::string, long long> numbersOf(const QJsonValue& value)
{
    std::map<std::string, long long> map;
    const QJsonObject object = value.toObject();
    for (auto entry = object.begin(); entry != object.end(); ++entry)
        map[entry.key().toStdString()] = numberOf(entry.value());
    return map;
}

QByteArray compact(const QJsonObject& object)
{
    QByteArray bytes = QJsonDocument(object).toJson(QJsonDocument::Compact);
    bytes += '\n';
    return bytes;
}

[[noreturn]] void damaged(const std::string& what)
{
    throw SyncFileError(SyncFileError::Damaged, what);
}

}  // namespace

std::string recordText(const SyncRecord& record)
{
    return QJsonDocument(recordObject(record)).toJson(QJsonDocument::Compact).toStdString();
}

std::optional<SyncRecord> recordFromText(const std::string& text)
{
    const QJsonDocument document = QJsonDocument::fromJson(QByteArray::fromStdString(text));
    return document.isObject() ? recordFrom(document.object()) : std::nullopt;
}

SyncFileWriter::SyncFileWriter(QIODevice& out, const SyncKey* key, const std::string& boundName,
                               const SyncFileHeader& header)
    : stream(out, key, boundName)
{
    const QJsonObject head{{"varnelo-sync", FormatVersion},        {"device", q(header.device)},
                           {"name", q(header.machineName)},        {"sequence", QString::number(header.sequence)},
                           {"snapshot", header.snapshot},          {"clock", QString::number(header.clock)},
                           {"observed", numbers(header.observed)}, {"seen", numbers(header.seen)}};
    const QByteArray bytes = compact(head);
    stream.write(bytes.constData(), static_cast<std::size_t>(bytes.size()));
}

void SyncFileWriter::add(const SyncRecord& record)
{
    const QByteArray bytes = compact(recordObject(record));
    stream.write(bytes.constData(), static_cast<std::size_t>(bytes.size()));
    ++records;
}

void SyncFileWriter::finish()
{
    const QByteArray bytes = compact(QJsonObject{{"end", QString::number(records)}});
    stream.write(bytes.constData(), static_cast<std::size_t>(bytes.size()));
    stream.finish();
}

SyncFileReader::SyncFileReader(QIODevice& in, const SyncKey* key, const std::string& boundName,
                               const SyncLimits& limits)
    : stream(in, key, boundName, limits.textBytes), limits(limits)
{
    std::string first;
    if (!line(first))
        throw SyncFileError(SyncFileError::CutShort, "is cut short");
    const QJsonDocument document = QJsonDocument::fromJson(QByteArray::fromStdString(first));
    const QJsonObject header = document.object();
    const int version = header.value("varnelo-sync").toInt();
    if (!document.isObject() || version != (stream.legacy() ? LegacyVersion : FormatVersion))
        throw SyncFileError(SyncFileError::NotASyncFile, "is not a sync file of this version");
    head.device = header.value("device").toString().toStdString();
    head.machineName = header.value("name").toString().toStdString();
    head.sequence = numberOf(header.value("sequence"));
    head.snapshot = header.value("snapshot").toBool();
    head.clock = numberOf(header.value("clock"));
    head.observed = numbersOf(header.value("observed"));
    head.seen = numbersOf(header.value("seen"));
    if (stream.legacy())
        declared = header.value("records").toInteger(-1);
    if (head.device.empty())
        damaged("names no device");
}

bool SyncFileReader::line(std::string& text)
{
    for (;;) {
        const std::size_t newline = buffer.find('\n', at);
        if (newline != std::string::npos) {
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

bool SyncFileReader::next(SyncRecord& record)
{
    if (ended)
        return false;
    std::string text;
    if (!line(text)) {
        // The first format closes with nothing but the count in its header.
        if (stream.legacy() && declared == read) {
            ended = true;
            return false;
        }
        throw SyncFileError(SyncFileError::CutShort, "is cut short");
    }
    const QJsonDocument document = QJsonDocument::fromJson(QByteArray::fromStdString(text));
    if (!document.isObject())
        damaged("holds a line that is no record");
    const QJsonObject object = document.object();
    if (!stream.legacy() && object.contains("end")) {
        std::string rest;
        if (numberOf(object.value("end")) != read || line(rest))
            damaged("does not end as it says");
        ended = true;
        return false;
    }
    auto parsed = recordFrom(object);
    if (!parsed)
        damaged("holds a record that cannot be read");
    if (++read > limits.records)
        throw SyncFileError(SyncFileError::TooLarge, "holds more than " + std::to_string(limits.records) + " records");
    record = std::move(*parsed);
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
