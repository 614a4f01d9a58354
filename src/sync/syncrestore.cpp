// SPDX-License-Identifier: GPL-3.0-or-later
#include "syncrestore.h"

#include "syncsettings.h"

#include "backup/backupfile.h"
#include "storage/cppsqlite3.h"

#include <QTemporaryDir>

#include <filesystem>
#include <stdexcept>
#include <vector>

namespace {

std::string counted(int count, const char* one, const char* many)
{
    return std::to_string(count) + " " + (count == 1 ? one : many);
}

// "3 items and 1 category"; "" when both are none.
std::string objects(int items, int categories)
{
    if (items == 0 && categories == 0)
        return {};
    if (categories == 0)
        return counted(items, "item", "items");
    if (items == 0)
        return counted(categories, "category", "categories");
    return counted(items, "item", "items") + " and " + counted(categories, "category", "categories");
}

int count(CppSQLite3DB& db, const std::string& sql)
{
    return db.ExecuteScalar(sql.c_str());
}

}  // namespace

std::string RestorePreview::message(RestoreChoice choice) const
{
    if (!syncing)
        return {};
    const std::string back = objects(itemsBack, categoriesBack), changed = objects(itemsChanged, categoriesChanged),
                      added = objects(itemsAdded, categoriesAdded);
    std::string text;
    const auto add = [&](const std::string& part) { text += (text.empty() ? "" : "; ") + part; };
    if (choice == RestoreChoice::ExactlyThisBackup) {
        text = "At the next sync every device becomes exactly this backup";
        std::string parts;
        if (!added.empty())
            parts += added + " added since are deleted";
        if (!changed.empty())
            parts += (parts.empty() ? "" : "; ") + changed + " changed since go back to the backup's version";
        if (!back.empty())
            parts += (parts.empty() ? "" : "; ") + back + " deleted since come back";
        return text + (parts.empty() ? "." : ": " + parts + ".");
    }
    if (!back.empty())
        add(back + " deleted since this backup come back");
    if (!changed.empty())
        add(changed + " changed since keep their later version");
    if (!added.empty())
        add(added + " added since stay");
    if (text.empty())
        return "At the next sync the other devices take this backup as it is: nothing changed since it was made.";
    return "At the next sync, on every device: " + text + ".";
}

RestorePreview previewRestore(const std::string& dbPath, const std::string& backupPath)
{
    RestorePreview preview;
    {
        CppSQLite3DB db;
        db.OpenReadOnly(dbPath.c_str());
        preview.syncing =
            db.TableExists("sync_meta") && db.ExecuteScalar("select count(*) from sync_meta where key = 'device';") > 0;
    }
    // The backup's catalogue is compared where SQLite can read it: in a file of its own.
    QTemporaryDir folder;
    if (!folder.isValid())
        throw std::runtime_error("Cannot make a temporary folder to read the backup.");
    const std::string copy = folder.filePath("backup.db").toStdString();
    const BackupOutcome staged = restoreBackup(
        backupPath, copy, [] {}, [] {});
    if (!staged.succeeded)
        throw std::runtime_error(staged.message.empty() ? restoreInvalidText : staged.message);
    CppSQLite3DB db;
    db.OpenReadOnly(dbPath.c_str());
    CppSQLite3Buffer attach;
    attach.Format("attach database %Q as backup;", copy.c_str());
    db.ExecuteStatement(attach);
    struct Compared {
        std::string table;
        std::vector<std::string> columns;
        int* back;
        int* changed;
        int* added;
    };
    const Compared tables[] = {
        {"link_table",
         {"name", "target", "category", "star", "comment", "type"},
         &preview.itemsBack,
         &preview.itemsChanged,
         &preview.itemsAdded},
        {"category_table",
         {"name", "parent_guid", "system", "iconIndex"},
         &preview.categoriesBack,
         &preview.categoriesChanged,
         &preview.categoriesAdded},
    };
    for (const Compared& t : tables) {
        std::string columns, differs;
        for (const std::string& column : t.columns) {
            columns += ", " + column;
            differs += (differs.empty() ? "" : " or ") + ("b." + column + " is not m." + column);
        }
        *t.back = count(db, "select count(distinct guid) from backup." + t.table
                                + " where guid not in (select guid "
                                  "from main."
                                + t.table + ");");
        *t.added = count(db, "select count(distinct guid) from main." + t.table
                                 + " where guid not in (select guid "
                                   "from backup."
                                 + t.table + ");");
        *t.changed = count(db, "select count(*) from (select guid" + columns + " from backup." + t.table
                                   + " group by guid) b join (select guid" + columns + " from main." + t.table
                                   + " group by guid) m using (guid) where " + differs + ";");
    }
    db.ExecuteStatement("detach database backup;");
    return preview;
}

void noteRestore(const std::string& dbPath, RestoreChoice choice)
{
    auto record = readDeviceRecord(dbPath);
    if (!record)
        return;
    record->restore = choice == RestoreChoice::ExactlyThisBackup ? "exact" : "bring-back";
    writeDeviceRecord(dbPath, *record);
}
