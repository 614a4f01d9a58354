// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "storage/cppsqlite3.h"

#include <QObject>
#include <QPointer>
#include <QThread>

#include <functional>
#include <optional>
#include <string>

class QAction;
class QLabel;
class QMainWindow;
class QTimer;
struct SyncReport;

// Sync as the window runs it: Tools > "Sync Settings..." and "Sync Now", and the schedule (soon
// after start, half a minute after the last change, every ten minutes). Each sync runs on a worker
// thread with its own connection; the window sees the merged catalogue through reload. The status
// bar shows "Synced hh:mm" or the last error; a failed sync is tried again on schedule.
class SyncKeeper : public QObject {
    Q_OBJECT
public:
    SyncKeeper(QMainWindow* window, std::function<std::string()> databasePath, std::function<void()> reload);
    ~SyncKeeper() override;

    QAction* settingsAction() const { return OnToolsSyncSettings; }
    QAction* syncNowAction() const { return OnToolsSyncNow; }
    // True while a sync runs on the worker.
    bool busy() const { return worker != nullptr; }

    static constexpr int startSeconds = 5;
    static constexpr int quietSeconds = 30;
    static constexpr int periodMinutes = 10;

signals:
    // After every sync, with its outcome.
    void syncDone(bool ok);

private:
    void OnToolsSyncSettingsExecute();
    void OnToolsSyncNowExecute();
    void startSync(bool byUser, bool allowMassDelete = false);
    void finished(const SyncReport& report, bool byUser, bool passwordMissing);
    void checkForChanges();
    long long dataVersion();
    bool askPassword();
    void show(const QString& text, const QString& details = {});

    QMainWindow* window;
    std::function<std::string()> databasePath;
    std::function<void()> reload;
    QAction* OnToolsSyncSettings;
    QAction* OnToolsSyncNow;
    QLabel* lblSyncStatus;
    QTimer* quietTimer;
    QTimer* periodTimer;
    QTimer* changeTimer;
    QPointer<QThread> worker;
    bool again = false;
    // Asked for when no keyring answers; kept for this run of the program only.
    std::optional<std::string> sessionPassword;
    CppSQLite3DB watch;
    long long seenVersion = -1;
};
