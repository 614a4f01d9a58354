// SPDX-License-Identifier: GPL-3.0-or-later
#include "backup/backupfile.h"
#include "cli/automaticbackup.h"
#include "cli/cliapp.h"
#include "sync/syncrestore.h"

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
    const RestoreChoice choice = run.has("exact") ? RestoreChoice::ExactlyThisBackup : RestoreChoice::BringBack;
    std::error_code error;
    RestorePreview preview;
    if (std::filesystem::is_regular_file(backup, error)) {
        run.catalogue();
        run.closeCatalogue();
        // Counted against the catalogue as it is, before anything replaces it; a backup that cannot be
        // read is refused below with the restore's own words.
        try {
            preview = previewRestore(run.databasePath(), backup);
        } catch (const std::exception&) {
        }
        backUpBefore(run, "restore", backup);
    }
    run.catalogue();
    const BackupOutcome outcome = restoreBackup(
        backup, run.databasePath(), [&] { run.closeCatalogue(); }, [&] { run.catalogue(); });
    if (outcome.succeeded)
        run.noteStored();
    if (outcome.succeeded && preview.syncing) {
        noteRestore(run.databasePath(), choice);
        run.out().message(outcome.message);
        run.out().message(preview.message(choice));
        return ExitSuccess;
    }
    return report(run, outcome);
}

}  // namespace

extern const Subcommand cmd_backup = {"backup", "FILE", "Write a backup (.mbk) of the catalogue", {}, 1, 1, backup};
extern const Subcommand cmd_restore = {
    "restore",
    "[--exact] FILE|NAME",
    "Replace the catalogue with a backup (.mbk) or an automatic backup, after checking it",
    {{"exact", nullptr,
      "on a catalogue that syncs, make every device exactly this backup at the next sync (without it, what the "
      "backup holds and was deleted since comes back, and what changed or was added since stays)"}},
    1,
    1,
    restore};
