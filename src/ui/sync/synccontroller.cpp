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
#include <QInputDialog>
#include <QLabel>
#include <QMainWindow>
#include <QScopedValueRollback>
#include <QStatusBar>
#include <QTime>
#include <QTimer>

namespace {

const char* const caption = "Sync";

bool needsPassword(const SyncSettings& settings)
{
    return isWebDavPlace(settings.place) && !settings.user.empty();
}

}  // namespace

struct SyncController::Outcome {
    SyncReport report;
    bool passwordMissing = false;
};

SyncController::SyncController(CatalogueSession& catalogueSession, CatalogueView& catalogueView, QMainWindow* owner)
    : QObject(owner), session(catalogueSession), view(catalogueView), window(owner),
      OnToolsSyncSettings(new QAction(QStringLiteral("S&ync Settings..."), owner)),
      OnToolsSyncNow(new QAction(QStringLiteral("Sync &Now"), owner)), lblSyncStatus(new QLabel(owner)),
      quietTimer(new QTimer(this)), periodTimer(new QTimer(this)), worker(new Worker(this))
{
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
    connect(quietTimer, &QTimer::timeout, this, [this] { startSync(false); });
    periodTimer->setInterval(periodMinutes * 60 * 1000);
    connect(periodTimer, &QTimer::timeout, this, [this] { startSync(false); });
    periodTimer->start();
    connect(&session, &CatalogueSession::changed, this, &SyncController::changed);
    QTimer::singleShot(startSeconds * 1000, this, [this] { startSync(false); });
}

// A sync that waits for another program's is let go at once; one under way ends first.
SyncController::~SyncController()
{
    worker->stop();
}

// A commit by anyone (the window, the command line, another program) starts the quiet wait again.
void SyncController::changed()
{
    if (settling)
        return;
    if (worker->busy())
        changedMeanwhile = true;
    else
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
    const std::string password = dialog.password();
    if (!password.empty() && needsPassword(after)) {
        const KeyringAnswer stored = storeSyncPassword(after.place, after.user, password);
        sessionPassword = password;
        if (!stored.ok)
            seam::message(window, QMessageBox::Warning, QString::fromLatin1(caption),
                          toQ(stored.problem) + QStringLiteral(" The password will be asked at each sync instead."));
        else
            sessionPassword.reset();
    }
    if (!after.place.empty())
        startSync(true);
}

void SyncController::OnToolsSyncNowExecute()
{
    if (loadSyncSettings(session.path()).place.empty()) {
        OnToolsSyncSettingsExecute();
        return;
    }
    startSync(true);
}

void SyncController::startSync(bool byUser, bool allowMassDelete)
{
    if (worker->busy()) {
        again = true;
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
    show(QStringLiteral("Syncing..."));
    changedMeanwhile = false;
    const std::optional<std::string> password = sessionPassword;
    worker->start<Outcome>(
        [db, settings, password, allowMassDelete](Progress& progress) {
            Outcome outcome;
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
            SyncOptions options{settings.machineName, settings.documentFolders, allowMassDelete, backupBeforeSync,
                                [&progress] { return progress.advance(0, 0); }};
            try {
                auto transport = openTransport(place);
                outcome.report = synchronize(db, *transport, options);
            } catch (const std::exception& error) {
                outcome.report.error = error.what();
            }
            return outcome;
        },
        [this, byUser](const Outcome& outcome) { finished(outcome, byUser); });
}

void SyncController::finished(const Outcome& outcome, bool byUser)
{
    const SyncReport& report = outcome.report;
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

    if (outcome.passwordMissing) {
        if (byUser && askPassword()) {
            startSync(true);
            return;
        }
        show(QStringLiteral("Sync needs the password: use Tools > Sync Now"), toQ(report.error));
    } else if (report.needsConfirmation) {
        if (byUser
            && seam::message(window, QMessageBox::Warning, QString::fromLatin1(caption),
                             toQ(report.error) + QStringLiteral("\n\nDelete them here as well?"),
                             QMessageBox::Yes | QMessageBox::No)
                   == QMessageBox::Yes) {
            startSync(true, true);
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
    emit syncDone(report.ok);
    if (again) {
        again = false;
        startSync(false);
    }
}

bool SyncController::askPassword()
{
    QInputDialog dialog(window);
    dialog.setObjectName(QStringLiteral("SyncPasswordDialog"));
    dialog.setWindowTitle(QString::fromLatin1(caption));
    dialog.setLabelText(QStringLiteral("No keyring keeps the sync password. Password for this run:"));
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
