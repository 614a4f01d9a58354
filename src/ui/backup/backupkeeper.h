// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QObject>
#include <QString>

#include <functional>
#include <string>

class QAction;
class QMainWindow;
class QThread;
class QTimer;

// The automatic backups as the window runs them: the daily one at start and after five minutes
// without input, on a worker thread of its own (never while a dialog of a command is open); the one
// before each risky command; and the two commands File > "Restore Automatic Backup..." and
// Tools > "Backup Settings...". A backup that fails is reported once in the window's status bar.
class BackupKeeper : public QObject {
    Q_OBJECT
public:
    // restore: the window's restore procedure for a backup file (the design's one).
    BackupKeeper(QMainWindow* window, std::function<void(const std::string&)> restore);
    ~BackupKeeper() override;

    QAction* restoreAction() const { return OnFileRestoreAutomatic; }
    QAction* settingsAction() const { return OnToolsBackupSettings; }

    // A backup of the catalogue as it is, before a command that may replace or flood it. A failure
    // does not stop the command; it is reported.
    void beforeRiskyCommand(const std::string& reason, const std::string& spare = {});
    // The same before a restore of this backup file, when there is such a file; rotation spares it.
    void beforeRestore(const std::string& backupFile);
    // The same before a category delete that takes more than a hundred items with it.
    void beforeCategoryDelete(const std::string& categoryGuid, const std::string& categoryName);

    static constexpr int idleMinutes = 5;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void OnFileRestoreAutomaticExecute();
    void OnToolsBackupSettingsExecute();
    void startDailyBackup();
    void waitForDailyBackup();
    void report(const QString& text);

    QMainWindow* window;
    std::function<void(const std::string&)> restore;
    QAction* OnFileRestoreAutomatic;
    QAction* OnToolsBackupSettings;
    QTimer* idleTimer;
    QThread* worker = nullptr;
    QString lastReport;
    // After a failed daily backup the next try waits an hour, not five minutes.
    qint64 lastFailure = 0;
};
