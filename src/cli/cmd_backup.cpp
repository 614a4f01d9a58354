// SPDX-License-Identifier: GPL-3.0-or-later
#include "backup/backupfile.h"
#include "cli/automaticbackup.h"
#include "cli/cliapp.h"

#include <filesystem>

namespace {

// A failed procedure says why as the window does; only a success is done.
int report(Invocation& run, const BackupOutcome& outcome)
{
    if (!outcome.succeeded)
        throw Failure(outcome.message.empty() ? "Nothing was done." : outcome.message);
    run.out().message(outcome.message);
    return ExitSuccess;
}

int backup(Invocation& run)
{
    // The copy is of the file alone: whatever a write-ahead log still holds must be in it first.
    if (!run.catalogue().Checkpoint())
        throw Failure(backupIncompleteText);
    return report(run, writeBackup(run.databasePath(), run.operands().front()));
}

int restore(Invocation& run)
{
    const std::string backup = backupFileOf(run, run.operands().front());
    std::error_code error;
    if (std::filesystem::is_regular_file(backup, error))
        backUpBefore(run, "restore", backup);
    run.catalogue();
    return report(run, restoreBackup(
                           backup, run.databasePath(), [&] { run.closeCatalogue(); }, [&] { run.catalogue(); }));
}

}  // namespace

extern const Subcommand cmd_backup = {"backup", "FILE", "Write a backup (.mbk) of the catalogue", {}, 1, 1, backup};
extern const Subcommand cmd_restore = {
    "restore", "FILE|NAME", "Replace the catalogue with a backup (.mbk) or an automatic backup, after checking it",
    {},        1,           1,
    restore};
