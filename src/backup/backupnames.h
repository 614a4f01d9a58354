// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

// The automatic backups' file names and which of them rotation keeps: pure functions of names and
// times, so that the rules can be read and tested as tables.
namespace autobackup {

enum class Kind { Daily, BeforeCommand };

inline constexpr const char* backupExtension = ".mbk";
inline constexpr int keptWeekly = 4;
inline constexpr int keptMonthly = 12;
inline constexpr int keptBeforeCommand = 10;
inline constexpr std::int64_t secondsPerDay = 24 * 60 * 60;

// What a backup's file name says. The time is UTC, in seconds since the epoch.
struct BackupName {
    Kind kind = Kind::Daily;
    std::int64_t time = 0;
    std::string reason;
};

// "daily-2026-12-10_06-30-00.mbk", "before-2026-12-10_06-30-00-import_of_x.html.mbk".
std::string backupFileName(const BackupName& name);
// Only names backupFileName makes parse; every other file in the folder is not ours.
std::optional<BackupName> parseBackupName(const std::string& fileName);
// "daily", "before import of x.html", ...
std::string describeKind(const BackupName& name);
// The time in UTC by strftime's format.
std::string utcStamp(std::int64_t time, const char* format);

// The file names (of those given) that rotation deletes: of the daily ones, all but the newest of each
// of the last keepDaily days, then of keptWeekly more weeks, then of keptMonthly more months; of the
// before-command ones, all but the keptBeforeCommand newest. Names that are not ours are never listed.
std::vector<std::string> rotationRemovals(const std::vector<std::string>& fileNames, int keepDaily);

// A backup as rotation sees it: its name and the place it takes in the order the backups were made,
// by the folder's own record (0 where there is none), which a clock set wrong cannot reorder.
struct MadeBackup {
    std::string fileName;
    long long made = 0;
};
// The same rules, newest first by that order; among backups without a record, by the time in their names.
std::vector<std::string> rotationRemovals(const std::vector<MadeBackup>& backups, int keepDaily);

// Whether a daily backup is due: the newest one, or the last time one was found needless because
// nothing had changed, is a day old or older (or there is none), or dated after now, by a clock that
// has been set back since.
bool dailyDue(std::int64_t now, std::optional<std::int64_t> newestDaily,
              std::optional<std::int64_t> lastUnchangedCheck);

}  // namespace autobackup
