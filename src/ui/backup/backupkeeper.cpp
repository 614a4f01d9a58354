// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/backup/backupkeeper.h"

#include "backup/automaticbackups.h"
#include "shell/backupsettings.h"
#include "shell/paths.h"
#include "ui/backup/automaticbackupdialogs.h"
#include "ui/common/dialogseam.h"
#include "ui/common/errorbox.h"
#include "ui/common/qtext.h"

#include <QAction>
#include <QApplication>
#include <QDateTime>
#include <QEvent>
#include <QMainWindow>
#include <QStatusBar>
#include <QThread>
#include <QTimer>

#include <filesystem>
#include <memory>
#include <stdexcept>

namespace {

constexpr qint64 retryAfterFailureSeconds = 60 * 60;

}  // namespace

BackupKeeper::BackupKeeper(QMainWindow* owner, std::function<void(const std::string&)> restoreProcedure)
    : QObject(owner), window(owner), restore(std::move(restoreProcedure)),
      OnFileRestoreAutomatic(new QAction(QStringLiteral("Restore Automatic Backup..."), owner)),
      OnToolsBackupSettings(new QAction(QStringLiteral("Backup Settings..."), owner)), idleTimer(new QTimer(this))
{
    setObjectName(QStringLiteral("BackupKeeper"));
    OnFileRestoreAutomatic->setObjectName(QStringLiteral("OnFileRestoreAutomatic"));
    OnFileRestoreAutomatic->setStatusTip(QStringLiteral("Restore the catalogue from a backup Varnelo made by itself"));
    OnToolsBackupSettings->setObjectName(QStringLiteral("OnToolsBackupSettings"));
    OnToolsBackupSettings->setStatusTip(QStringLiteral("Settings of the automatic backups"));
    connect(OnFileRestoreAutomatic, &QAction::triggered, this,
            [this] { runCommand(window, [this] { OnFileRestoreAutomaticExecute(); }); });
    connect(OnToolsBackupSettings, &QAction::triggered, this,
            [this] { runCommand(window, [this] { OnToolsBackupSettingsExecute(); }); });

    applyBackupSettings(settingsFilePath());
    idleTimer->setObjectName(QStringLiteral("backupIdleTimer"));
    idleTimer->setSingleShot(true);
    idleTimer->setInterval(idleMinutes * 60 * 1000);
    connect(idleTimer, &QTimer::timeout, this, &BackupKeeper::startDailyBackup);
    qApp->installEventFilter(this);
    // At start, once the window is up and the event loop runs.
    QTimer::singleShot(0, this, &BackupKeeper::startDailyBackup);
}

BackupKeeper::~BackupKeeper()
{
    qApp->removeEventFilter(this);
    // The handler of its end goes with this object; the thread is ended and deleted here.
    waitForDailyBackup();
    delete worker;
}

bool BackupKeeper::eventFilter(QObject* watched, QEvent* event)
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

void BackupKeeper::startDailyBackup()
{
    idleTimer->start();
    // A dialog open is a command under way; the backup waits for the next quiet moment.
    if (worker || QApplication::activeModalWidget() || QApplication::activePopupWidget())
        return;
    const qint64 now = autobackup::currentTime();
    const std::string path = databaseFilePath();
    if (path.empty() || now - lastFailure < retryAfterFailureSeconds || !autobackup::dailyBackupDue(path, now))
        return;
    auto failure = std::make_shared<std::string>();
    // The worker has its own SQLite connections; it never touches the window or its catalogue.
    worker = QThread::create([path, failure] {
        try {
            autobackup::makeDailyBackup(path, autobackup::currentTime());
        } catch (const std::exception& error) {
            *failure = error.what();
        }
    });
    connect(worker, &QThread::finished, this, [this, failure] {
        worker->deleteLater();
        worker = nullptr;
        if (failure->empty())
            return;
        lastFailure = autobackup::currentTime();
        report(QStringLiteral("The daily backup failed: %1").arg(toQ(*failure)));
    });
    worker->start(QThread::LowPriority);
}

// The worker's end is still handled (and reported) from the event loop afterwards.
void BackupKeeper::waitForDailyBackup()
{
    if (worker)
        worker->wait();
}

void BackupKeeper::report(const QString& text)
{
    if (text == lastReport)
        return;
    lastReport = text;
    window->statusBar()->showMessage(text);
}

void BackupKeeper::beforeRiskyCommand(const std::string& reason, const std::string& spare)
{
    const std::string path = databaseFilePath();
    if (path.empty() || !std::filesystem::exists(path))
        return;
    waitForDailyBackup();
    try {
        autobackup::backupBeforeRiskyCommand(path, reason, spare);
    } catch (const std::exception& error) {
        report(QStringLiteral("No backup was made before %1: %2").arg(toQ(reason), toQ(error.what())));
    }
}

void BackupKeeper::beforeRestore(const std::string& backupFile)
{
    std::error_code error;
    if (std::filesystem::is_regular_file(backupFile, error))
        beforeRiskyCommand("restore", backupFile);
}

void BackupKeeper::beforeCategoryDelete(const std::string& categoryGuid, const std::string& categoryName)
{
    const std::string path = databaseFilePath();
    if (!path.empty() && autobackup::itemsInBranch(path, categoryGuid) > autobackup::riskyDeleteItems)
        beforeRiskyCommand("delete of category " + categoryName);
}

void BackupKeeper::OnFileRestoreAutomaticExecute()
{
    const std::string path = databaseFilePath();
    if (path.empty())
        return;
    waitForDailyBackup();
    RestoreAutomaticBackupDialog dialog(autobackup::listBackups(path), window);
    if (seam::exec(&dialog) != QDialog::Accepted || !dialog.selectedBackup())
        return;
    const std::string chosen = dialog.selectedBackup()->path;
    beforeRestore(chosen);
    restore(chosen);
}

void BackupKeeper::OnToolsBackupSettingsExecute()
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
    saveBackupSettings(chosen, settingsFilePath());
    autobackup::configure(chosen);
}
