// SPDX-License-Identifier: GPL-3.0-or-later
#include "backup/automaticbackups.h"
#include "cli/automaticbackup.h"
#include "shell/backupsettings.h"
#include "shell/paths.h"

#include <cstdio>
#include <filesystem>

namespace {

void followSettings()
{
    applyBackupSettings(windowOptionsPath());
}

int listBackups(Invocation& run)
{
    followSettings();
    for (const autobackup::BackupInfo& backup : autobackup::listBackups(run.databasePath()))
        run.out().print({{"name", backup.fileName},
                         {"date", autobackup::utcStamp(backup.name.time, "%Y-%m-%dT%H:%M:%SZ")},
                         {"kind", autobackup::describeKind(backup.name)},
                         {"categories", static_cast<long long>(backup.categories)},
                         {"items", static_cast<long long>(backup.items)}});
    return ExitSuccess;
}

}  // namespace

void backUpBefore(Invocation& run, const std::string& reason, const std::string& spare)
{
    // The command opens the catalogue anyway; a new one is made now, as it would be then.
    run.catalogue();
    followSettings();
    try {
        autobackup::backupBeforeRiskyCommand(run.databasePath(), reason, spare);
    } catch (const std::exception& failure) {
        std::fprintf(stderr, "varnelo-cli: no backup was made before %s: %s\n", reason.c_str(), failure.what());
    }
}

std::string backupFileOf(Invocation& run, const std::string& operand)
{
    std::error_code error;
    if (std::filesystem::exists(operand, error))
        return operand;
    followSettings();
    const auto backup = autobackup::findBackup(run.databasePath(), operand);
    return backup ? backup->path : operand;
}

extern const Subcommand cmd_backups = {
    "backups", "", "List the automatic backups, newest first (NAME is what restore takes)", {}, 0, 0, listBackups};
