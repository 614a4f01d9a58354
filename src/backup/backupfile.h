// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "model/progress.h"

#include <functional>
#include <string>

// What a backup or restore ended with; the message is the exact text to show the user
// (empty when there is nothing more to say).
struct BackupOutcome {
    bool succeeded;
    std::string message;
};

// Writes the database behind the 30-byte header into backupPath, replacing the file.
// Throws std::runtime_error "Cannot create file "%s". %s" when the backup file cannot be made, and
// SQLite's "database is locked" (nothing written) when another program keeps the database locked.
BackupOutcome writeBackup(const std::string& databasePath, const std::string& backupPath,
                          Progress& progress = Progress::none());

// writeBackup for a caller that holds SQLite's read lock on the database itself (a second lock taken
// here could wait behind a writer that waits for the caller's). readBack checks the written file once
// every byte is handed to the kernel, while the disk writes them and before the wait for the disk;
// it returns why the file is refused (then it is removed and that is the message), or an empty text.
BackupOutcome writeBackupUnderLock(const std::string& databasePath, const std::string& backupPath,
                                   const std::function<std::string()>& readBack);

// Checks the backup, stages its content beside the database and, once the staged file is a
// sound catalogue, closes the catalogue, replaces the database file and reloads it.
// Throws std::runtime_error "Cannot create file "%s". %s" when the staging file cannot be made, and
// SQLite's "database is locked" (the catalogue neither closed nor replaced, the staging file emptied)
// when another program has the database open for writing.
BackupOutcome restoreBackup(const std::string& backupPath, const std::string& databasePath,
                            const std::function<void()>& closeCatalogue, const std::function<void()>& reloadCatalogue,
                            Progress& progress = Progress::none());

// Removes the temporary copy that a restore killed while replacing the database left beside it
// (the database's file name with ".tmp"); only a regular file of that name, never what a
// symbolic link of that name leads to. Safe to call whenever no restore is running.
void removeStaleRestoreTemporary(const std::string& databasePath);

// Whether the backup passes the restore's checks (magic, CRC) and holds, byte for byte, the content
// of the database file: what a restore of it would put back.
bool backupHoldsDatabase(const std::string& backupPath, const std::string& databasePath);

// The database path with its extension replaced by "bak", without a dot.
std::string stagingPath(const std::string& databasePath);

// The texts the two procedures show.
inline constexpr const char* backupNoDataText = "No data to backup";
inline constexpr const char* backupNoMemoryText = "Not enough memory";
inline constexpr const char* backupSuccessText = "Successfully finish backup!";
// The catalogue's write-ahead log could not be written back before a backup.
inline constexpr const char* backupIncompleteText =
    "No backup was made: another program holds part of the catalogue open. Close it and try again.";
inline constexpr const char* backupWriteFailedText = "Failed to write the backup file.";
inline constexpr const char* backupReadFailedText = "Failed to read the database file.";
inline constexpr const char* restoreInvalidText = "This is not a valid backup file. \nCan't finish resotre process";
inline constexpr const char* restoreNoMemoryText = "Not enough memory";
inline constexpr const char* restoreNoCopyMemoryText = "Not enouth memory";
inline constexpr const char* restoreSuccessText = "Successfully finish restoring!";
inline constexpr const char* restoreReplaceFailedText = "Failed to replace the database file.";
inline constexpr const char* restoreStagingFailedText = "Failed to write the restore staging file.";
