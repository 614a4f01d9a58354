// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/sync/synckeeper.h"

#include "sync/syncbackup.h"
#include "sync/syncengine.h"
#include "sync/syncpassword.h"
#include "ui/common/dialogseam.h"
#include "ui/common/errorbox.h"
#include "ui/common/qtext.h"
#include "ui/sync/syncsettingsdialog.h"

#include <QAction>
#include <QInputDialog>
#include <QLabel>
#include <QMainWindow>
#include <QStatusBar>
#include <QThread>
#include <QTime>
#include <QTimer>

namespace {

const char* const caption = "Sync";

bool needsPassword(const SyncSettings& settings)
{
    return isWebDavPlace(settings.place) && !settings.user.empty();
}

}  // namespace

SyncKeeper::SyncKeeper(QMainWindow* window, std::function<std::string()> databasePath, std::function<void()> reload)
    : QObject(window), window(window), databasePath(std::move(databasePath)), reload(std::move(reload)),
      OnToolsSyncSettings(new QAction(QStringLiteral("S&ync Settings..."), window)),
      OnToolsSyncNow(new QAction(QStringLiteral("Sync &Now"), window)), lblSyncStatus(new QLabel(window)),
      quietTimer(new QTimer(this)), periodTimer(new QTimer(this)), changeTimer(new QTimer(this))
{
    OnToolsSyncSettings->setObjectName(QStringLiteral("OnToolsSyncSettings"));
    OnToolsSyncSettings->setStatusTip(QStringLiteral("Where and how this catalogue syncs with your other machines"));
    OnToolsSyncNow->setObjectName(QStringLiteral("OnToolsSyncNow"));
    OnToolsSyncNow->setStatusTip(QStringLiteral("Sync the catalogue with your other machines now"));
    connect(OnToolsSyncSettings, &QAction::triggered, this,
            [this] { runCommand(this->window, [&] { OnToolsSyncSettingsExecute(); }); });
    connect(OnToolsSyncNow, &QAction::triggered, this,
            [this] { runCommand(this->window, [&] { OnToolsSyncNowExecute(); }); });

    lblSyncStatus->setObjectName(QStringLiteral("lblSyncStatus"));
    window->statusBar()->addPermanentWidget(lblSyncStatus);
    lblSyncStatus->hide();

    quietTimer->setSingleShot(true);
    quietTimer->setInterval(quietSeconds * 1000);
    connect(quietTimer, &QTimer::timeout, this, [this] { startSync(false); });
    periodTimer->setInterval(periodMinutes * 60 * 1000);
    connect(periodTimer, &QTimer::timeout, this, [this] { startSync(false); });
    periodTimer->start();
    changeTimer->setInterval(5000);
    connect(changeTimer, &QTimer::timeout, this, &SyncKeeper::checkForChanges);
    changeTimer->start();
    QTimer::singleShot(startSeconds * 1000, this, [this] { startSync(false); });
}

SyncKeeper::~SyncKeeper()
{
    if (worker)
        worker->wait();
}

void SyncKeeper::OnToolsSyncSettingsExecute()
{
    const std::string db = databasePath();
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

void SyncKeeper::OnToolsSyncNowExecute()
{
    if (loadSyncSettings(databasePath()).place.empty()) {
        OnToolsSyncSettingsExecute();
        return;
    }
    startSync(true);
}

void SyncKeeper::startSync(bool byUser, bool allowMassDelete)
{
    if (worker) {
        again = true;
        return;
    }
    const std::string db = databasePath();
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
    const std::optional<std::string> password = sessionPassword;
    worker = QThread::create([this, db, settings, password, byUser, allowMassDelete] {
        SyncReport report;
        bool passwordMissing = false;
        SyncPlace place{settings.place, settings.user, password.value_or(std::string()), 30};
        if (!password && needsPassword(settings)) {
            KeyringAnswer answer;
            if (auto stored = readSyncPassword(settings.place, settings.user, &answer))
                place.password = *stored;
            else {
                passwordMissing = true;
                report.error = answer.problem;
            }
        }
        if (!passwordMissing) {
            SyncOptions options{settings.machineName, settings.documentFolders, allowMassDelete, backupBeforeSync};
            try {
                auto transport = openTransport(place);
                report = synchronize(db, *transport, options);
            } catch (const std::exception& error) {
                report.error = error.what();
            }
        }
        QMetaObject::invokeMethod(
            this, [this, report, byUser, passwordMissing] { finished(report, byUser, passwordMissing); },
            Qt::QueuedConnection);
    });
    connect(worker, &QThread::finished, worker, &QObject::deleteLater);
    worker->start();
}

void SyncKeeper::finished(const SyncReport& report, bool byUser, bool passwordMissing)
{
    if (worker)
        worker->wait();
    worker = nullptr;
    seenVersion = dataVersion();
    if (report.catalogueChanged)
        reload();

    if (passwordMissing) {
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

bool SyncKeeper::askPassword()
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

// A commit by anyone (the window, the command line, another program) starts the quiet wait again.
void SyncKeeper::checkForChanges()
{
    if (worker)
        return;
    const long long version = dataVersion();
    if (version < 0)
        return;
    if (seenVersion >= 0 && version != seenVersion)
        quietTimer->start();
    seenVersion = version;
}

long long SyncKeeper::dataVersion()
{
    try {
        if (!watch.IsOpen()) {
            const std::string db = databasePath();
            if (db.empty())
                return -1;
            watch.Open(db.c_str());
        }
        return watch.ExecuteScalar("pragma data_version;");
    } catch (const CppSQLite3Exception&) {
        return -1;
    }
}

void SyncKeeper::show(const QString& text, const QString& details)
{
    lblSyncStatus->setText(text);
    lblSyncStatus->setToolTip(details);
    lblSyncStatus->show();
}
