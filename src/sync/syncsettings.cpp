// SPDX-License-Identifier: GPL-3.0-or-later
#include "syncsettings.h"

#include "syncstore.h"

#include "storage/transaction.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSaveFile>
#include <QSysInfo>

#include <map>

namespace {

// The file is ours and small; anything larger is not it.
constexpr qint64 RecordLimit = 1 << 20;

QString q(const std::string& text)
{
    return QString::fromStdString(text);
}

QJsonObject readBeside(const std::string& dbPath)
{
    QFile file(QString::fromStdString(deviceRecordPath(dbPath)));
    if (!file.open(QIODevice::ReadOnly) || file.size() > RecordLimit)
        return {};
    return QJsonDocument::fromJson(file.read(RecordLimit)).object();
}

// Written whole or not at all; a failure only costs what a restore would keep.
void writeBeside(const std::string& dbPath, const QJsonObject& object)
{
    QSaveFile file(QString::fromStdString(deviceRecordPath(dbPath)));
    if (file.open(QIODevice::WriteOnly)) {
        file.write(QJsonDocument(object).toJson(QJsonDocument::Indented));
        file.commit();
    }
}

QJsonArray foldersJson(const std::vector<DocumentFolder>& folders)
{
    QJsonArray array;
    for (const DocumentFolder& folder : folders)
        array.append(QJsonArray{q(folder.name), q(folder.path)});
    return array;
}

std::vector<DocumentFolder> foldersOf(const QJsonArray& array)
{
    std::vector<DocumentFolder> folders;
    for (const QJsonValue& folder : array) {
        const QJsonArray pair = folder.toArray();
        if (pair.size() == 2)
            folders.push_back({pair[0].toString().toStdString(), pair[1].toString().toStdString()});
    }
    return folders;
}

}  // namespace

std::string deviceRecordPath(const std::string& dbPath)
{
    return dbPath + ".sync";
}

SyncSettings loadSyncSettings(const std::string& dbPath)
{
    // Only read: a catalogue that never synced gets no tables of ours for being asked.
    CppSQLite3DB db;
    db.Open(dbPath.c_str());
    std::map<std::string, std::string> meta;
    if (db.TableExists("sync_meta"))
        for (CppSQLite3Query query = db.ExecuteQuery("select key, value from sync_meta;"); !query.Eof();
             query.NextRow())
            meta[query.fieldText("key")] = query.fieldText("value");
    SyncSettings settings{meta["place"], meta["user"], meta["machine-name"], {}, meta["encrypted"] == "1"};
    settings.documentFolders =
        foldersOf(QJsonDocument::fromJson(QByteArray::fromStdString(meta["document-folders"])).array());
    // A restored catalogue without them still has them beside it.
    if (settings.place.empty()) {
        const QJsonObject beside = readBeside(dbPath).value("settings").toObject();
        settings.place = beside.value("place").toString().toStdString();
        settings.user = beside.value("user").toString().toStdString();
        settings.machineName = beside.value("machine-name").toString().toStdString();
        settings.documentFolders = foldersOf(beside.value("document-folders").toArray());
    }
    if (settings.machineName.empty())
        settings.machineName = QSysInfo::machineHostName().toStdString();
    return settings;
}

void saveSyncSettings(const std::string& dbPath, const SyncSettings& settings)
{
    SyncStore store(dbPath);
    Transaction transaction(store.catalogue());
    store.setMeta("place", settings.place);
    store.setMeta("user", settings.user);
    store.setMeta("machine-name", settings.machineName);
    store.setMeta("document-folders",
                  QJsonDocument(foldersJson(settings.documentFolders)).toJson(QJsonDocument::Compact).toStdString());
    transaction.Commit();
    QJsonObject beside = readBeside(dbPath);
    beside.insert("settings", QJsonObject{{"place", q(settings.place)},
                                          {"user", q(settings.user)},
                                          {"machine-name", q(settings.machineName)},
                                          {"document-folders", foldersJson(settings.documentFolders)}});
    writeBeside(dbPath, beside);
}

std::optional<DeviceRecord> readDeviceRecord(const std::string& dbPath)
{
    const QJsonObject beside = readBeside(dbPath);
    if (!beside.contains("device"))
        return std::nullopt;
    DeviceRecord record;
    record.device = beside.value("device").toString().toStdString();
    record.machine = beside.value("machine").toString().toStdString();
    record.path = beside.value("path").toString().toStdString();
    record.sequence = beside.value("sequence").toString().toLongLong();
    record.restore = beside.value("restore").toString().toStdString();
    return record;
}

void writeDeviceRecord(const std::string& dbPath, const DeviceRecord& record)
{
    QJsonObject beside = readBeside(dbPath);
    beside.insert("device", q(record.device));
    beside.insert("machine", q(record.machine));
    beside.insert("path", q(record.path));
    beside.insert("sequence", QString::number(record.sequence));
    if (record.restore.empty())
        beside.remove("restore");
    else
        beside.insert("restore", q(record.restore));
    writeBeside(dbPath, beside);
}
