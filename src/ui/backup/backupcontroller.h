// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QObject>
#include <QString>

#include <functional>
#include <string>

class CatalogueSession;
class CatalogueView;
class CCategory;
class QAction;
class QMainWindow;
class QTimer;
class Worker;

// Backups as the window makes them: File > "Backup..." and "Restore..." of a backup file; the
// automatic backups, the daily one at start and after five minutes without input on a worker of
// its own (never while a dialog of a command is open), and the one before each risky command; and
// File > "Restore Automatic Backup..." and Tools > "Backup Settings...". A backup that fails is
// reported once in the window's status bar.
class BackupController : public QObject {
    Q_OBJECT
public:
    // reopen: the window's (re)load of the catalogue, after a restore replaced the file.
    BackupController(CatalogueSession& session, CatalogueView& view, QMainWindow* window, std::function<void()> reopen);
    ~BackupController() override;

    QAction* restoreAutomaticAction() const { return OnFileRestoreAutomatic; }
    QAction* settingsAction() const { return OnToolsBackupSettings; }

    // File > "Backup..." and File > "Restore...".
    void backUpToFile();
    void restoreFromFile();

    // A backup of the catalogue as it is, before a command that may replace or flood it. A failure
    // does not stop the command; it is reported.
    void beforeRiskyCommand(const std::string& reason, const std::string& spare = {});
    // The same before a category delete that takes more than a hundred items with it.
    void beforeCategoryDelete(const CCategory& category);

    static constexpr int idleMinutes = 5;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void OnFileRestoreAutomaticExecute();
    void OnToolsBackupSettingsExecute();
    // The same before a restore of this backup file, when there is such a file; rotation spares it.
    void beforeRestore(const std::string& backupFile);
    // restored runs once the file was replaced and opened again.
    void restoreFrom(const std::string& backupPath, const std::function<void()>& restored = {});
    void startDailyBackup();
    void report(const QString& text);

    CatalogueSession& session;
    CatalogueView& view;
    QMainWindow* window;
    std::function<void()> reopen;
    QAction* OnFileRestoreAutomatic;
    QAction* OnToolsBackupSettings;
    QTimer* idleTimer;
    Worker* worker;
    QString lastReport;
    // The file names last chosen for backup and restore, offered again at the next use.
    QString lastBackupFile;
    QString lastRestoreFile;
    // After a failed daily backup the next try waits an hour, not five minutes.
    qint64 lastFailure = 0;
};
