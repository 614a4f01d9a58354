// SPDX-License-Identifier: GPL-3.0-or-later
#include "storage/changestamp.h"

#include <sqlite3.h>
#include <sys/stat.h>

#include <cstdint>
#include <cstdio>
#include <cstring>

namespace {

// The parts of the database header this needs (https://www.sqlite.org/fileformat.html).
constexpr int headerSize = 100;
constexpr int formatVersionsAt = 18;  // write and read version: 1 with a rollback journal, 2 in WAL mode
constexpr int changeCounterAt = 24;   // four bytes, big-endian
constexpr unsigned char rollbackJournal = 1;

std::uint32_t bigEndian32(const unsigned char* bytes)
{
    return std::uint32_t(bytes[0]) << 24 | std::uint32_t(bytes[1]) << 16 | std::uint32_t(bytes[2]) << 8
           | std::uint32_t(bytes[3]);
}

}  // namespace

std::optional<std::string> changeStamp(CppSQLite3DB& db, const char* schema)
{
    if (!db.IsOpen())
        return std::nullopt;
    // Read through SQLite's own handle of the file: a descriptor of ours, once closed, would drop the
    // locks every connection of this process holds on it.
    sqlite3_file* file = nullptr;
    if (sqlite3_file_control(db.connection(), schema, SQLITE_FCNTL_FILE_POINTER, &file) != SQLITE_OK || !file
        || !file->pMethods)
        return std::nullopt;
    unsigned char header[headerSize] = {};
    if (file->pMethods->xRead(file, header, headerSize, 0) != SQLITE_OK
        || std::memcmp(header, "SQLite format 3", 16) != 0 || header[formatVersionsAt] != rollbackJournal
        || header[formatVersionsAt + 1] != rollbackJournal)
        return std::nullopt;
    const char* path = sqlite3_db_filename(db.connection(), schema);
    struct stat info {};
    if (!path || !*path || ::stat(path, &info) != 0)
        return std::nullopt;
    char stamp[128];
    std::snprintf(stamp, sizeof stamp, "%llx:%llx:%llx:%lld.%09ld:%lx", static_cast<unsigned long long>(info.st_dev),
                  static_cast<unsigned long long>(info.st_ino), static_cast<unsigned long long>(info.st_size),
                  static_cast<long long>(info.st_mtim.tv_sec), static_cast<long>(info.st_mtim.tv_nsec),
                  static_cast<unsigned long>(bigEndian32(header + changeCounterAt)));
    return std::string(stamp);
}
