// SPDX-License-Identifier: GPL-3.0-or-later
#include "syncfiles.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QList>

#include <algorithm>
#include <cstdio>
#include <map>

namespace {

constexpr int FormatVersion = 1;

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

std::optional<std::pair<long long, bool>> parseFileName(const std::string& name)
{
    long long sequence = 0;
    int consumed = 0;
    for (const bool snapshot : {true, false}) {
        const char* pattern = snapshot ? "snapshot-%lld.jsonl%n" : "changes-%lld.jsonl%n";
        consumed = 0;
        if (std::sscanf(name.c_str(), pattern, &sequence, &consumed) == 1 && consumed == static_cast<int>(name.size())
            && sequence > 0)
            return std::make_pair(sequence, snapshot);
    }
    return std::nullopt;
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

QByteArray writeSyncFile(const SyncFileHeader& header, const std::vector<SyncRecord>& records)
{
    QJsonObject head{{"varnelo-sync", FormatVersion}, {"device", q(header.device)},
                     {"name", q(header.machineName)}, {"sequence", QString::number(header.sequence)},
                     {"snapshot", header.snapshot},   {"records", static_cast<qint64>(records.size())}};
    QByteArray bytes = QJsonDocument(head).toJson(QJsonDocument::Compact);
    bytes += '\n';
    for (const SyncRecord& record : records) {
        bytes += QJsonDocument(recordObject(record)).toJson(QJsonDocument::Compact);
        bytes += '\n';
    }
    return bytes;
}

std::optional<SyncFile> readSyncFile(const QByteArray& bytes)
{
    if (!bytes.endsWith('\n'))
        return std::nullopt;
    QList<QByteArray> lines = bytes.split('\n');
    lines.removeLast();
    if (lines.isEmpty())
        return std::nullopt;
    const QJsonDocument head = QJsonDocument::fromJson(lines.first());
    const QJsonObject header = head.object();
    if (!head.isObject() || header.value("varnelo-sync").toInt() != FormatVersion
        || header.value("records").toInteger(-1) != lines.size() - 1)
        return std::nullopt;
    SyncFile file;
    file.header.device = header.value("device").toString().toStdString();
    file.header.machineName = header.value("name").toString().toStdString();
    file.header.sequence = header.value("sequence").toString().toLongLong();
    file.header.snapshot = header.value("snapshot").toBool();
    if (file.header.device.empty())
        return std::nullopt;
    file.records.reserve(static_cast<std::size_t>(lines.size() - 1));
    for (qsizetype i = 1; i < lines.size(); ++i) {
        const QJsonDocument line = QJsonDocument::fromJson(lines[i]);
        auto record = line.isObject() ? recordFrom(line.object()) : std::nullopt;
        if (!record)
            return std::nullopt;
        file.records.push_back(std::move(*record));
    }
    return file;
}

std::string syncFileName(long long sequence, bool snapshot)
{
    char name[64];
    std::snprintf(name, sizeof name, snapshot ? "snapshot-%08lld.jsonl" : "changes-%08lld.jsonl", sequence);
    return name;
}

ReadPlan planReading(const std::vector<std::string>& names, long long readUpTo)
{
    ReadPlan plan;
    plan.upTo = readUpTo;
    std::map<long long, std::string> changes;
    long long snapshot = 0;
    for (const std::string& name : names) {
        auto parsed = parseFileName(name);
        if (!parsed)
            continue;
        if (parsed->second)
            snapshot = std::max(snapshot, parsed->first);
        else
            changes[parsed->first] = name;
    }
    if (changes.empty() && snapshot == 0) {
        plan.empty = true;
        return plan;
    }
    const long long newest = std::max(snapshot, changes.empty() ? 0 : changes.rbegin()->first);
    // Read on from where we were while the files after it are all there; after a compaction took
    // them away, or when the device started over with lower numbers, from its newest snapshot.
    long long from = readUpTo;
    bool continuous = readUpTo <= newest;
    for (long long n = readUpTo + 1; continuous && n <= newest; ++n)
        continuous = changes.count(n) != 0;
    if (!continuous || readUpTo > newest) {
        if (snapshot == 0)
            from = 0;
        else {
            plan.files.push_back(syncFileName(snapshot, true));
            from = snapshot;
        }
    }
    for (const auto& [n, name] : changes)
        if (n > from)
            plan.files.push_back(name);
    plan.upTo = newest;
    return plan;
}
