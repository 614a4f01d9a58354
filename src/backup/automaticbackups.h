// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "backup/backupnames.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

// Backups the program makes by itself: one a day while the catalogue changes, and one before every
// command that may replace or flood the catalogue. Each is a backup file the Restore command reads,
// made from a consistent snapshot and checked before it gets its name.
namespace autobackup {

struct Settings {
    bool enabled = true;
    // Empty: the folder "backups" beside the catalogue.
    std::string folder;
    // Daily backups kept before the weekly and monthly ones.
    int keepDaily = 7;
};

// The settings every backup of this process follows (the window and the command line set them once
// from the settings file).
void configure(const Settings& settings);
Settings configuration();

struct BackupInfo {
    std::string path;
    std::string fileName;
    BackupName name;
    // -1 when not known.
    int categories = -1;
    int items = -1;
    // Its place in the order the folder's backups were made (0 when the folder's record has none).
    long long made = 0;
};

// The folder the backups of the catalogue at dbPath go to (by the settings), and the folder
// "backups" beside it that serves when the settings name none.
std::string backupFolder(const std::string& dbPath);
std::string defaultBackupFolder(const std::string& dbPath);
// The backups of that folder, newest first: in the order they were made, by the folder's own record,
// never by a date a wrong clock wrote into a name.
std::vector<BackupInfo> listBackups(const std::string& dbPath);
// The backup of that folder with this file name (".mbk" may be left out).
std::optional<BackupInfo> findBackup(const std::string& dbPath, const std::string& fileName);
// A verified "before <reason>" backup of the catalogue at dbPath, kept apart from the daily ones.
// Returns the path of the file made ("" when automatic backups are switched off); throws
// std::runtime_error with the reason when it could not be made. Rotation spares the backup at `spare`
// (the one about to be restored).
std::string backupBeforeRiskyCommand(const std::string& dbPath, const std::string& reason,
                                     const std::string& spare = {});

// A category delete that takes more items than this with it is a risky command.
inline constexpr int riskyDeleteItems = 100;
// The items stored in the category with this GUID and in every category below it; 0 when they
// cannot be counted.
int itemsInBranch(const std::string& dbPath, const std::string& categoryGuid);
// Why a delete of the category is risky, as the backup before it is named ("delete of category
// NAME"), when it takes more than riskyDeleteItems items with it; nothing when it is not. The
// window and the command line both back up for this reason, through backupBeforeRiskyCommand.
std::optional<std::string> categoryDeleteRisk(const std::string& dbPath, const std::string& categoryGuid,
                                              const std::string& categoryName);

struct DailyResult {
    enum Status { Made, NotDue, Unchanged, Disabled } status = NotDue;
    std::string path;
};
// Whether makeDailyBackup would do anything now; cheap (reads names only).
bool dailyBackupDue(const std::string& dbPath, std::int64_t now);
// Makes the daily backup when it is due and the catalogue differs from the newest daily one, then
// rotates. Throws std::runtime_error with the reason when a backup could not be made.
DailyResult makeDailyBackup(const std::string& dbPath, std::int64_t now);

std::int64_t currentTime();

// A catalogue that SQLite does not take as a database, or that fails its integrity check, is damaged.
bool catalogueIsDamaged(const std::string& dbPath);
// The newest backup that passes its checks, with its counts.
std::optional<BackupInfo> newestGoodBackup(const std::string& dbPath);
// Renames the damaged catalogue to damagedAsideName (with its journal, if any); returns that path.
// Throws std::runtime_error when the name cannot be changed.
std::string setDamagedAside(const std::string& dbPath, std::int64_t now);
// "<catalogue>.damaged-<date>", or with the time too when that name is taken.
std::string damagedAsideName(const std::string& dbPath, std::int64_t now);

}  // namespace autobackup
