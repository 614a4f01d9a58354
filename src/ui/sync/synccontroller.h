// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QObject>

#include <optional>
#include <string>

class CatalogueSession;
class CatalogueView;
class QAction;
class QLabel;
class QMainWindow;
class QTimer;
class Worker;
struct SyncReport;

// Sync as the window runs it: Tools > "Sync Settings..." and "Sync Now", and the schedule (soon
// after start, half a minute after the last change the session announces, whoever made it, and
// every ten minutes). Each sync runs on a worker with its own connection; the window sees the
// merged catalogue through the session's announcement. The status bar shows "Synced hh:mm" or the
// last error; a failed sync is tried again on schedule.
class SyncController : public QObject {
    Q_OBJECT
public:
    SyncController(CatalogueSession& session, CatalogueView& view, QMainWindow* window);
    ~SyncController() override;

    QAction* settingsAction() const { return OnToolsSyncSettings; }
    QAction* syncNowAction() const { return OnToolsSyncNow; }

    static constexpr int startSeconds = 5;
    static constexpr int quietSeconds = 30;
    static constexpr int periodMinutes = 10;

signals:
    // After every sync, with its outcome.
    void syncDone(bool ok);

private:
    struct Outcome;

    void OnToolsSyncSettingsExecute();
    void OnToolsSyncNowExecute();
    void changed();
    void startSync(bool byUser, bool allowMassDelete = false);
    void finished(const Outcome& outcome, bool byUser);
    bool askPassword();
    void show(const QString& text, const QString& details = {});

    CatalogueSession& session;
    CatalogueView& view;
    QMainWindow* window;
    QAction* OnToolsSyncSettings;
    QAction* OnToolsSyncNow;
    QLabel* lblSyncStatus;
    QTimer* quietTimer;
    QTimer* periodTimer;
    Worker* worker;
    bool again = false;
    // A change was announced while a sync ran: it may have missed it.
    bool changedMeanwhile = false;
    bool settling = false;
    // Asked for when no keyring answers; kept for this run of the program only.
    std::optional<std::string> sessionPassword;
};
