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
// after start, half a minute after a change the session announces, whoever made it, a look at the
// place about once a minute that syncs when another device uploaded, and every ten minutes). Each
// sync runs on a worker with its own connection; the window sees the merged catalogue through the
// session's announcement. The status bar shows "Synced hh:mm" or "Sync failed: ..."; a failed sync
// is tried again on schedule, and a refused password is asked for once.
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
    static constexpr int listSeconds = 60;

signals:
    // After every sync, with its outcome.
    void syncDone(bool ok);

private:
    struct Outcome;

    void OnToolsSyncSettingsExecute();
    void OnToolsSyncNowExecute();
    void changed();
    struct Request {
        bool byUser = false;
        bool allowMassDelete = false;
        // Only a look at the place; the sync follows when another device uploaded.
        bool onlyIfNews = false;
    };
    void startSync(Request request);
    void finished(const Outcome& outcome, const Request& request);
    void passwordRefused(const QString& error, const Request& request);
    void keepSecrets(const std::string& place, const std::string& user, const std::string& password,
                     const std::string& passphrase);
    bool askPassword(const QString& prompt);
    void show(const QString& text, const QString& details = {});

    CatalogueSession& session;
    CatalogueView& view;
    QMainWindow* window;
    QAction* OnToolsSyncSettings;
    QAction* OnToolsSyncNow;
    QLabel* lblSyncStatus;
    QTimer* quietTimer;
    QTimer* periodTimer;
    QTimer* listTimer;
    Worker* worker;
    bool again = false;
    // A change was announced while a sync ran: it may have missed it.
    bool changedMeanwhile = false;
    bool settling = false;
    // Asked for after a refusal, or when no keyring answers; kept for this run of the program only.
    std::optional<std::string> sessionPassword;
    // Typed by the user, for the next sync's worker to put in the keyring: every keyring call is made
    // on the worker's thread, as the keyring's library keeps one queue per program.
    std::optional<std::string> passwordToStore;
    // The place's key when no keyring took it, for this run only.
    std::optional<std::string> sessionKey;
    // Typed in Sync Settings, until a sync turned it into the key.
    std::string pendingPassphrase;
    // A refused password is asked for once, not at every scheduled sync.
    bool askedAfterRefusal = false;
};
