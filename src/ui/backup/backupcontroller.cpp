// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/backup/backupcontroller.h"

#include "backup/automaticbackups.h"
#include "backup/backupfile.h"
#include "session/cataloguesession.h"
#include "session/worker.h"
#include "shell/backupsettings.h"
#include "shell/paths.h"
#include "sync/syncrestore.h"
#include "ui/backup/automaticbackupdialogs.h"
#include "ui/common/dialogseam.h"
#include "ui/common/errorbox.h"
#include "ui/common/qtext.h"
#include "ui/views/catalogueview.h"

#include <QAction>
#include <QApplication>
#include <QEvent>
#include <QMainWindow>
#include <QStatusBar>
#include <QTimer>

#include <filesystem>
#include <optional>
#include <stdexcept>

namespace {

constexpr qint64 retryAfterFailureSeconds = 60 * 60;

const char* const backupCaption = "Choose a file for backup";
const char* const restoreCaption = "Choose backup file for restore";
// Qt reads each entry's patterns from its last parentheses, so the texts show as they are.
const char* const backupFilter = "Backup Files(*.mbk);;All Files (*.*)";
const char* const backupSuffix = "mbk";
const char* const backingUpLabel = "Writing the backup...";
const char* const restoringLabel = "Restoring the catalogue...";
const char* const historyClearedText = "Undo and Redo start afresh from the restored catalogue.";

}  // namespace

BackupController::BackupController(CatalogueSession& catalogueSession, CatalogueView& catalogueView, QMainWindow* owner,
                                   std::function<void()> reopenCatalogue)
    : QObject(owner), session(catalogueSession), view(catalogueView), window(owner), reopen(std::move(reopenCatalogue)),
      OnFileRestoreAutomatic(new QAction(QStringLiteral("Restore &Automatic Backup..."), owner)),
      OnToolsBackupSettings(new QAction(QStringLiteral("Bac&kup Settings..."), owner)), idleTimer(new QTimer(this)),
      worker(new Worker(this, QThread::LowPriority))
{
    setObjectName(QStringLiteral("BackupController"));
    OnFileRestoreAutomatic->setObjectName(QStringLiteral("OnFileRestoreAutomatic"));
    OnFileRestoreAutomatic->setStatusTip(QStringLiteral("Restore the catalogue from a backup Varnelo made by itself"));
    OnToolsBackupSettings->setObjectName(QStringLiteral("OnToolsBackupSettings"));
    OnToolsBackupSettings->setStatusTip(QStringLiteral("Settings of the automatic backups"));
    view.runOnTrigger(OnFileRestoreAutomatic, window, [this] { OnFileRestoreAutomaticExecute(); });
    view.runOnTrigger(OnToolsBackupSettings, window, [this] { OnToolsBackupSettingsExecute(); });

    applyBackupSettings(optionsFilePath());
    idleTimer->setObjectName(QStringLiteral("backupIdleTimer"));
    idleTimer->setSingleShot(true);
    idleTimer->setInterval(idleMinutes * 60 * 1000);
    connect(idleTimer, &QTimer::timeout, this, &BackupController::startDailyBackup);
    qApp->installEventFilter(this);
    // At start, once the window is up and the event loop runs.
    QTimer::singleShot(0, this, &BackupController::startDailyBackup);
}

// The worker goes with this object; a daily backup under way ends first.
BackupController::~BackupController()
{
    qApp->removeEventFilter(this);
}

bool BackupController::eventFilter(QObject* watched, QEvent* event)
{
    switch (event->type()) {
    case QEvent::KeyPress:
    case QEvent::MouseButtonPress:
    case QEvent::Wheel:
        idleTimer->start();
        break;
    default:
        break;
    }
    return QObject::eventFilter(watched, event);
}

// ---- the daily backup --------------------------------------------------------------------------

void BackupController::startDailyBackup()
{
    idleTimer->start();
    // A dialog open is a command under way; the backup waits for the next quiet moment.
    if (worker->busy() || QApplication::activeModalWidget() || QApplication::activePopupWidget())
        return;
    const qint64 now = autobackup::currentTime();
    const std::string path = session.path();
    if (path.empty() || now - lastFailure < retryAfterFailureSeconds || !autobackup::dailyBackupDue(path, now))
        return;
    // The worker has its own SQLite connections; it never touches the window or its catalogue.
    worker->start<std::string>(
        [path](Progress&) {
            try {
                autobackup::makeDailyBackup(path, autobackup::currentTime());
            } catch (const std::exception& error) {
                return std::string(error.what());
            }
            return std::string();
        },
        [this](const std::string& failure) {
            if (failure.empty())
                return;
            lastFailure = autobackup::currentTime();
            report(QStringLiteral("The daily backup failed: %1").arg(toQ(failure)));
        });
}

void BackupController::report(const QString& text)
{
    if (text == lastReport)
        return;
    lastReport = text;
    window->statusBar()->showMessage(text);
}

// ---- before risky commands ---------------------------------------------------------------------

void BackupController::beforeRiskyCommand(const std::string& reason, const std::string& spare)
{
    const std::string path = databaseFilePath();
    if (path.empty() || !std::filesystem::exists(path))
        return;
    // The worker's end is still handled (and reported) from the event loop afterwards.
    worker->wait();
    try {
        autobackup::backupBeforeRiskyCommand(path, reason, spare);
    } catch (const std::exception& error) {
        report(QStringLiteral("No backup was made before %1: %2").arg(toQ(reason), toQ(error.what())));
    }
}

void BackupController::beforeRestore(const std::string& backupFile)
{
    std::error_code error;
    if (std::filesystem::is_regular_file(backupFile, error))
        beforeRiskyCommand("restore", backupFile);
}

void BackupController::beforeCategoryDelete(const CCategory& category)
{
    const std::string path = databaseFilePath();
    if (path.empty())
        return;
    if (const auto risk = autobackup::categoryDeleteRisk(path, category.GetGuid(), category.GetName()))
        beforeRiskyCommand(*risk);
}

// ---- backup files ------------------------------------------------------------------------------

void BackupController::backUpToFile()
{
    const QString chosen =
        seam::saveFileName(window, QString::fromLatin1(backupCaption), QString::fromLatin1(backupFilter),
                           QString::fromLatin1(backupSuffix), lastBackupFile);
    if (chosen.isEmpty())
        return;
    lastBackupFile = chosen;
    // The copy is of the file alone: whatever a write-ahead log still holds must be in it first.
    if (session.catalogue().IsOpen() && !session.database().Checkpoint()) {
        showPlainMessage(window, backupIncompleteText);
        return;
    }
    const auto progress = seam::progress(window, QString::fromLatin1(backingUpLabel), false);
    const BackupOutcome outcome = writeBackup(databaseFilePath(), fromQ(chosen), *progress);
    showPlainMessage(window, outcome.message);
}

void BackupController::restoreFromFile()
{
    // A typed name of a file that does not exist is taken; the restore then reports it cannot open it.
    const QString chosen = seam::openFileName(window, QString::fromLatin1(restoreCaption),
                                              QString::fromLatin1(backupFilter), lastRestoreFile, false);
    if (chosen.isEmpty())
        return;
    lastRestoreFile = chosen;
    beforeRestore(fromQ(chosen));
    restoreFrom(fromQ(chosen));
}

void BackupController::restoreFrom(const std::string& backupPath, const std::function<void()>& restored)
{
    const std::string databasePath = databaseFilePath();
    if (databasePath.empty())
        return;
    const auto closeCatalogue = [this] {
        view.clear();
        session.close();
    };
    const auto progress = seam::progress(window, QString::fromLatin1(restoringLabel), false);
    const BackupOutcome outcome = restoreBackup(backupPath, databasePath, closeCatalogue, reopen, *progress);
    // Before the event loop runs again, so no sync meets the restored file unprepared.
    if (outcome.succeeded && restored)
        restored();
    // What the history recorded was done to the catalogue the restore replaced.
    const bool historyCleared = outcome.succeeded && session.clearHistory();
    showPlainMessage(window, historyCleared ? outcome.message + " " + historyClearedText : outcome.message);
}

// ---- automatic backups -------------------------------------------------------------------------

void BackupController::OnFileRestoreAutomaticExecute()
{
    const std::string path = databaseFilePath();
    if (path.empty())
        return;
    worker->wait();
    RestoreAutomaticBackupDialog dialog(autobackup::listBackups(path), window);
    if (seam::exec(&dialog) != QDialog::Accepted || !dialog.selectedBackup())
        return;
    const autobackup::BackupInfo chosen = *dialog.selectedBackup();
    // Counted against the catalogue as it is; a backup that cannot be read is refused by the restore
    // itself, with its own words.
    std::optional<RestorePreview> preview;
    try {
        preview = previewRestore(path, chosen.path);
    } catch (const std::exception&) {
    }
    RestoreChoice choice = RestoreChoice::BringBack;
    if (preview) {
        RestoreConfirmDialog confirm(*preview, RestoreAutomaticBackupDialog::localDate(chosen.name.time), window);
        if (seam::exec(&confirm) != QDialog::Accepted)
            return;
        choice = confirm.choice();
    }
    beforeRestore(chosen.path);
    // The next sync learns how the restored catalogue meets the other devices.
    restoreFrom(chosen.path, [&] {
        if (preview && preview->syncing)
            noteRestore(path, choice);
    });
}

void BackupController::OnToolsBackupSettingsExecute()
{
    const autobackup::Settings current = autobackup::configuration();
    BackupSettingsDialog dialog(current, toQ(autobackup::defaultBackupFolder(databaseFilePath())), window);
    if (seam::exec(&dialog) != QDialog::Accepted)
        return;
    const autobackup::Settings chosen = dialog.settings();
    std::error_code error;
    if (!chosen.folder.empty() && !std::filesystem::create_directories(chosen.folder, error)
        && !std::filesystem::is_directory(chosen.folder, error))
        throw std::runtime_error("Cannot create the backup folder \"" + chosen.folder + "\"");
    saveBackupSettings(chosen, optionsFilePath());
    autobackup::configure(chosen);
}
