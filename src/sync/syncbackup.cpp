// SPDX-License-Identifier: GPL-3.0-or-later
#include "syncbackup.h"

#include "storage/cppsqlite3.h"

#include <QDateTime>

#include <algorithm>
#include <filesystem>
#include <stdexcept>

namespace {

// Copies before a merge beyond this many are removed, oldest first.
constexpr std::size_t KeptCopies = 10;

void pruneOldCopies(const std::filesystem::path& folder)
{
    std::vector<std::filesystem::path> copies;
    std::error_code error;
    for (std::filesystem::directory_iterator it(folder, error), end; !error && it != end; it.increment(error))
        if (it->path().filename().string().starts_with("before-sync-"))
            copies.push_back(it->path());
    std::sort(copies.begin(), copies.end());
    for (std::size_t i = 0; i + KeptCopies < copies.size(); ++i)
        std::filesystem::remove(copies[i], error);
}

} // namespace

std::string backupBeforeSync(const std::string& dbPath)
{
    const std::filesystem::path folder = std::filesystem::path(dbPath).parent_path() / "Backups";
    std::error_code error;
    std::filesystem::create_directories(folder, error);
    const std::string name = "before-sync-"
        + QDateTime::currentDateTimeUtc().toString("yyyyMMdd-hhmmss-zzz").toStdString() + ".db";
    const std::filesystem::path copy = folder / name;
    try {
        CppSQLite3DB source;
        source.Open(dbPath.c_str());
        CppSQLite3Buffer sql;
        // One consistent copy of the committed catalogue, whatever the write-ahead log holds.
        sql.Format("vacuum into %Q;", copy.string().c_str());
        source.ExecuteStatement(sql);
        CppSQLite3DB check;
        check.OpenReadOnly(copy.string().c_str());
        CppSQLite3Query result = check.ExecuteQuery("pragma integrity_check;");
        if (result.Eof() || result.fieldText("integrity_check") != "ok")
            throw std::runtime_error("the copy does not read back whole");
        if (check.ExecuteScalar("select count(*) from link_table;") != source.ExecuteScalar("select count(*) from link_table;"))
            throw std::runtime_error("the copy does not hold every item");
    } catch (const std::exception& failure) {
        std::filesystem::remove(copy, error);
        throw std::runtime_error("No backup could be made before the sync changed the catalogue, so it was left as it is ("
                                 + std::string(failure.what()) + ").");
    }
    pruneOldCopies(folder);
    return copy.string();
}
