// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/sync/synccontroller.h"

#include "session/cataloguesession.h"
#include "session/worker.h"
#include "sync/syncbackup.h"
#include "sync/syncengine.h"
#include "sync/syncpassword.h"
#include "ui/common/dialogseam.h"
#include "ui/common/errorbox.h"
#include "ui/common/qtext.h"
#include "ui/sync/syncsettingsdialog.h"
#include "ui/views/catalogueview.h"

#include <QAction>
#include <QApplication>
#include <QInputDialog>
#include <QLabel>
#include <QMainWindow>
#include <QScopedValueRollback>
#include <QStatusBar>
#include <QTime>
#include <QTimer>

namespace {

const char* const caption = "Sync";
const char* const refusedPrompt = "The server refused the user name or password. Password for \"%1\":";
const char* const missingPrompt = "No keyring keeps the sync password. Password for this run:";

bool needsPassword(const SyncSettings& settings)
{
    return isWebDavPlace(settings.place) && !settings.user.empty();
}

}  // namespace

struct SyncController::Outcome {
    SyncReport report;
    bool passwordMissing = false;
    // The place had nothing new from another device: nothing was synced.
    bool nothingNew = false;
    // The place's key, when the keyring did not take it.
    std::optional<std::string> unkeptKey;
    // The password typed went to the keyring, or why it did not.
    bool passwordKept = false;
    std::string keyringProblem;
};

SyncController::SyncController(CatalogueSession& catalogueSession, CatalogueView& catalogueView, QMainWindow* owner)
    : QObject(owner), session(catalogueSession), view(catalogueView), window(owner),
      OnToolsSyncSettings(new QAction(QStringLiteral("S&ync Settings..."), owner)),
      OnToolsSyncNow(new QAction(QStringLiteral("Sync &Now"), owner)), lblSyncStatus(new QLabel(owner)),
      quietTimer(new QTimer(this)), periodTimer(new QTimer(this)), listTimer(new QTimer(this)), worker(new Worker(this))
{
    setObjectName(QStringLiteral("SyncController"));
    OnToolsSyncSettings->setObjectName(QStringLiteral("OnToolsSyncSettings"));
    OnToolsSyncSettings->setStatusTip(QStringLiteral("Where and how this catalogue syncs with your other machines"));
    OnToolsSyncNow->setObjectName(QStringLiteral("OnToolsSyncNow"));
    OnToolsSyncNow->setStatusTip(QStringLiteral("Sync the catalogue with your other machines now"));
    view.runOnTrigger(OnToolsSyncSettings, window, [this] { OnToolsSyncSettingsExecute(); });
    view.runOnTrigger(OnToolsSyncNow, window, [this] { OnToolsSyncNowExecute(); });

    lblSyncStatus->setObjectName(QStringLiteral("lblSyncStatus"));
    window->statusBar()->addPermanentWidget(lblSyncStatus);
    lblSyncStatus->hide();

    quietTimer->setObjectName(QStringLiteral("syncQuietTimer"));
    quietTimer->setSingleShot(true);
    quietTimer->setInterval(quietSeconds * 1000);
    connect(quietTimer, &QTimer::timeout, this, [this] { startSync({}); });
    periodTimer->setObjectName(QStringLiteral("syncPeriodTimer"));
    periodTimer->setInterval(periodMinutes * 60 * 1000);
    connect(periodTimer, &QTimer::timeout, this, [this] { startSync({}); });
    periodTimer->start();
    // Another device's upload shows here within about a minute; a listing is all it costs.
    listTimer->setObjectName(QStringLiteral("syncListTimer"));
    listTimer->setInterval(listSeconds * 1000);
    connect(listTimer, &QTimer::timeout, this, [this] { startSync({.onlyIfNews = true}); });
    listTimer->start();
    connect(&session, &CatalogueSession::changed, this, &SyncController::changed);
    QTimer::singleShot(startSeconds * 1000, this, [this] { startSync({}); });
}

// A sync that waits for another program's is let go at once; one under way ends first.
SyncController::~SyncController()
{
    worker->stop();
}

// A commit by anyone (the window, the command line, another program) is sent half a minute later;
// later commits meanwhile ride along rather than put it off, so steady work still syncs.
void SyncController::changed()
{
    if (settling)
        return;
    if (worker->busy())
        changedMeanwhile = true;
    else if (!quietTimer->isActive())
        quietTimer->start();
}

void SyncController::OnToolsSyncSettingsExecute()
{
    const std::string db = session.path();
    const SyncSettings before = loadSyncSettings(db);
    SyncSettingsDialog dialog(before, window);
    if (seam::exec(&dialog) != QDialog::Accepted)
        return;
    const SyncSettings after = dialog.settings();
    saveSyncSettings(db, after);
    if (after.place != before.place) {
        sessionKey.reset();
        sessionPassword.reset();
    }
    keepSecrets(after.place, after.user, dialog.password(), dialog.passphrase());
    if (!after.place.empty())
        startSync({.byUser = true});
}

// The password goes to the keyring (or this run's memory when none answers); the passphrase waits
// for the next sync, which turns it into the place's key.
void SyncController::keepSecrets(const std::string& place, const std::string& user, const std::string& password,
                                 const std::string& passphrase)
{
    if (!passphrase.empty()) {
        pendingPassphrase = passphrase;
        sessionKey.reset();
    }
    if (password.empty() || !isWebDavPlace(place) || user.empty())
        return;
    askedAfterRefusal = false;
    sessionPassword = password;
    passwordToStore = password;
}

void SyncController::OnToolsSyncNowExecute()
{
    if (loadSyncSettings(session.path()).place.empty()) {
        OnToolsSyncSettingsExecute();
        return;
    }
    askedAfterRefusal = false;
    startSync({.byUser = true});
}

void SyncController::startSync(Request request)
{
    if (worker->busy()) {
        // A look at the place is no reason to sync again; anything else is.
        again = again || !request.onlyIfNews;
        return;
    }
    const std::string db = session.path();
    if (db.empty())
        return;
    SyncSettings settings;
    try {
        settings = loadSyncSettings(db);
    } catch (const std::exception& error) {
        show(QStringLiteral("Sync failed: %1").arg(toQ(error.what())));
        return;
    }
    if (settings.place.empty())
        return;
    if (!request.onlyIfNews)
        show(QStringLiteral("Syncing..."));
    changedMeanwhile = false;
    const std::optional<std::string> password = sessionPassword;
    const std::optional<std::string> knownKey = sessionKey;
    const std::string passphrase = pendingPassphrase;
    const std::optional<std::string> toStore = std::exchange(passwordToStore, std::nullopt);
    worker->start<Outcome>(
        [db, settings, password, knownKey, passphrase, toStore, request](Progress& progress) {
            Outcome outcome;
            if (toStore && needsPassword(settings)) {
                const KeyringAnswer stored = storeSyncPassword(settings.place, settings.user, *toStore);
                outcome.passwordKept = stored.ok;
                outcome.keyringProblem = stored.problem;
            }
            SyncPlace place{settings.place, settings.user, password.value_or(std::string()), 30};
            if (!password && needsPassword(settings)) {
                KeyringAnswer answer;
                if (auto stored = readSyncPassword(settings.place, settings.user, &answer)) {
                    place.password = *stored;
                } else {
                    outcome.passwordMissing = true;
                    outcome.report.error = answer.problem;
                    return outcome;
                }
            }
            SyncOptions options{settings.machineName, settings.documentFolders, request.allowMassDelete,
                                backupBeforeSync, [&progress] { return progress.advance(0, 0); }};
            options.passphrase = passphrase;
            // A plain place never asks the keyring for a key.
            std::optional<std::string> key = knownKey;
            if (!key && passphrase.empty() && settings.encrypted)
                key = readSyncKey(settings.place);
            if (key)
                options.key = SyncKey::fromBase64(*key);
            try {
                auto transport = openTransport(place);
                if (request.onlyIfNews && !placeHasNews(db, *transport)) {
                    outcome.nothingNew = true;
                    return outcome;
                }
                outcome.report = synchronize(db, *transport, options);
            } catch (const SyncCredentialsError& error) {
                outcome.report.credentialsRefused = true;
                outcome.report.error = error.what();
            } catch (const std::exception& error) {
                outcome.report.error = error.what();
            }
            const auto& made = outcome.report.encryptionKey;
            if (outcome.report.ok && made && made != key && !storeSyncKey(settings.place, *made).ok)
                outcome.unkeptKey = made;
            return outcome;
        },
        [this, request](const Outcome& outcome) { finished(outcome, request); });
}

void SyncController::finished(const Outcome& outcome, const Request& request)
{
    const SyncReport& report = outcome.report;
    const bool byUser = request.byUser;
    // What the merge brought shows at once, the icons with it, even in a window hidden in the tray.
    if (report.catalogueChanged) {
        if (session.reloadIcons())
            view.refreshIcons();
        view.reloadWhenIdle();
    }
    // The sync's own commits are taken as seen now, not heard of as a change that calls for another
    // sync; a change announced while it ran may have come too late for it, and does.
    if (!view.busy()) {
        const QScopedValueRollback<bool> guard(settling, true);
        session.lookNow();
    }
    if (std::exchange(changedMeanwhile, false))
        quietTimer->start();
    // The keyring keeps the typed password from now on; without one, this run does.
    if (outcome.passwordKept)
        sessionPassword.reset();
    else if (!outcome.keyringProblem.empty() && byUser)
        seam::message(window, QMessageBox::Warning, QString::fromLatin1(caption),
                      toQ(outcome.keyringProblem)
                          + QStringLiteral(" The password will be asked at each sync instead."));
    if (report.ok) {
        askedAfterRefusal = false;
        if (report.encryptionKey) {
            pendingPassphrase.clear();
            if (outcome.unkeptKey)
                sessionKey = outcome.unkeptKey;
        }
    }

    if (outcome.nothingNew) {
        // Nothing to say: the status bar keeps the last sync's outcome.
    } else if (outcome.passwordMissing) {
        if (byUser && askPassword(QString::fromLatin1(missingPrompt))) {
            startSync({.byUser = true});
            return;
        }
        show(QStringLiteral("Sync needs the password: use Tools > Sync Now"), toQ(report.error));
    } else if (report.credentialsRefused) {
        passwordRefused(toQ(report.error), request);
        if (worker->busy())
            return;
    } else if (report.needsConfirmation) {
        if (byUser
            && seam::message(window, QMessageBox::Warning, QString::fromLatin1(caption),
                             toQ(report.error) + QStringLiteral("\n\nDelete them here as well?"),
                             QMessageBox::Yes | QMessageBox::No)
                   == QMessageBox::Yes) {
            startSync({.byUser = true, .allowMassDelete = true});
            return;
        }
        show(QStringLiteral("Sync waits for your consent: use Tools > Sync Now"), toQ(report.error));
    } else if (report.ok) {
        QStringList warnings;
        for (const std::string& warning : report.warnings)
            warnings << toQ(warning);
        show(QStringLiteral("Synced %1").arg(QTime::currentTime().toString(QStringLiteral("hh:mm"))),
             warnings.join('\n'));
        if (byUser && !warnings.isEmpty())
            seam::message(window, QMessageBox::Information, QString::fromLatin1(caption), warnings.join("\n\n"));
    } else if (report.error == syncRunningText) {
        // Another program's sync holds the catalogue: this one comes again after a quiet while.
        show(QStringLiteral("Sync failed: %1").arg(toQ(report.error)), toQ(report.error));
        quietTimer->start();
    } else {
        show(QStringLiteral("Sync failed: %1").arg(toQ(report.error)), toQ(report.error));
        if (byUser)
            seam::message(window, QMessageBox::Critical, QString::fromLatin1(caption), toQ(report.error));
    }
    if (!outcome.nothingNew)
        emit syncDone(report.ok);
    if (again) {
        again = false;
        startSync({});
    }
}

// The server's password changed: say so, and ask for the new one once. A refusal of that one too
// waits for Sync Now or Sync Settings, so no prompt comes back at every scheduled sync.
void SyncController::passwordRefused(const QString& error, const Request& request)
{
    show(QStringLiteral("Sync failed: %1").arg(error),
         QStringLiteral("Use Tools > Sync Now to enter the password again."));
    const bool mayAsk = request.byUser || (window->isActiveWindow() && !QApplication::activeModalWidget());
    if (askedAfterRefusal || !mayAsk)
        return;
    askedAfterRefusal = true;
    const SyncSettings settings = loadSyncSettings(session.path());
    if (!askPassword(QString::fromLatin1(refusedPrompt).arg(toQ(settings.user))))
        return;
    // The new password replaces the refused one in the keyring; this run uses it either way.
    passwordToStore = sessionPassword;
    startSync({.byUser = request.byUser});
}

bool SyncController::askPassword(const QString& prompt)
{
    QInputDialog dialog(window);
    dialog.setObjectName(QStringLiteral("SyncPasswordDialog"));
    dialog.setWindowTitle(QString::fromLatin1(caption));
    dialog.setLabelText(prompt);
    dialog.setTextEchoMode(QLineEdit::Password);
    if (seam::exec(&dialog) != QDialog::Accepted || dialog.textValue().isEmpty())
        return false;
    sessionPassword = fromQ(dialog.textValue());
    return true;
}

void SyncController::show(const QString& text, const QString& details)
{
    lblSyncStatus->setText(text);
    lblSyncStatus->setToolTip(details);
    lblSyncStatus->show();
}
