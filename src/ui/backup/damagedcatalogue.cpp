// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/backup/damagedcatalogue.h"

#include "backup/automaticbackups.h"
#include "backup/backupfile.h"
#include "shell/backupsettings.h"
#include "shell/paths.h"
#include "ui/backup/automaticbackupdialogs.h"
#include "ui/common/dialogseam.h"
#include "ui/common/errorbox.h"
#include "ui/common/qtext.h"

#include <QFileInfo>

#include <stdexcept>

namespace {

const char* const caption = "Varnelo";

bool agreed(const QString& text)
{
    return seam::message(nullptr, QMessageBox::Warning, QString::fromLatin1(caption), text,
                         QMessageBox::Yes | QMessageBox::No)
           == QMessageBox::Yes;
}

bool recover(const std::string& dbPath)
{
    applyBackupSettings(optionsFilePath());
    const std::int64_t now = autobackup::currentTime();
    const QString damaged =
        QStringLiteral("The catalogue \"%1\" is damaged: SQLite cannot read it as a sound database.").arg(toQ(dbPath));
    const QString kept = QStringLiteral("The damaged file is kept beside it as \"%1\".")
                             .arg(QFileInfo(toQ(autobackup::damagedAsideName(dbPath, now))).fileName());
    const QString otherwise = QStringLiteral("No ends Varnelo and leaves the file as it is.");
    const std::optional<autobackup::BackupInfo> good = autobackup::newestGoodBackup(dbPath);
    if (!good) {
        if (!agreed(QStringLiteral("%1\n\nThere is no automatic backup of it to restore. Start with a new, empty "
                                   "catalogue? %2\n\n%3")
                        .arg(damaged, kept, otherwise)))
            return false;
        autobackup::setDamagedAside(dbPath, now);
        return true;
    }
    const QString offer =
        QStringLiteral("Restore the newest good automatic backup, made %1 (%2), with %3 categories "
                       "and %4 items?")
            .arg(RestoreAutomaticBackupDialog::localDate(good->name.time), toQ(autobackup::describeKind(good->name)))
            .arg(good->categories)
            .arg(good->items);
    if (!agreed(QStringLiteral("%1\n\n%2 %3\n\n%4").arg(damaged, offer, kept, otherwise)))
        return false;
    autobackup::setDamagedAside(dbPath, now);
    const BackupOutcome restored = restoreBackup(
        good->path, dbPath, [] {}, [] {});
    if (!restored.succeeded)
        throw std::runtime_error(restored.message);
    return true;
}

}  // namespace

bool offerDamagedCatalogueRecovery(const std::string& dbPath)
{
    if (dbPath.empty())
        return true;
    try {
        return !autobackup::catalogueIsDamaged(dbPath) || recover(dbPath);
    } catch (const std::exception& error) {
        showErrorBox(nullptr, QString::fromUtf8(error.what()));
        return false;
    }
}
