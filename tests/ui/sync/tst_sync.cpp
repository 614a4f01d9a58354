// SPDX-License-Identifier: GPL-3.0-or-later
// Sync as the window offers it: the settings dialog, Sync Now with what it shows, and its failures.
#include "testseam.h"
#include "testutil.h"

#include "backup/automaticbackups.h"
#include "sync/foldertransport.h"
#include "sync/syncencryption.h"
#include "sync/syncengine.h"
#include "sync/syncpassword.h"
#include "ui/sync/synccontroller.h"
#include "ui/views/itemlistview.h"
#include "webdavservers.h"

#include <QAction>
#include <QDirIterator>
#include <QInputDialog>
#include <QLabel>
#include <QLineEdit>
#include <QProcess>
#include <QRadioButton>
#include <QSignalSpy>
#include <QStandardPaths>
#include <QStatusBar>
#include <QTableWidget>
#include <QTimer>
#include <QTreeWidget>
#include <QtTest>

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

using namespace testutil;

namespace {

const QStringList generalPath{QStringLiteral("General files")};
constexpr const char* generalGuid = "5EE0962C-217D-411a-BB72-6261B1B4F5BF";

}  // namespace

class TestSync : public WindowTestCase {
    Q_OBJECT

private:
    std::string db() const { return sandbox->databasePath().toStdString(); }
    QString place() const { return sandbox->root() + QStringLiteral("/place"); }
    QLabel* status() { return child<QLabel>(window.get(), "lblSyncStatus"); }
    SyncController* controller() { return child<SyncController>(window.get(), "SyncController"); }

    // Answers the next password prompt with the text, remembering what it asked.
    static void answerPassword(QStringList& prompts, const QString& password)
    {
        seam::pushDialogHandler([&prompts, password](QDialog* dialog) {
            auto* input = qobject_cast<QInputDialog*>(dialog);
            if (!input)
                return int(QDialog::Rejected);
            prompts << input->labelText();
            input->setTextValue(password);
            input->accept();
            return input->result();
        });
    }

    // Another machine: a catalogue of its own that syncs through the same folder.
    SyncReport otherMachine(const std::string& sql = {})
    {
        const QString other = sandbox->root() + QStringLiteral("/other.db");
        SyncOptions laptop;
        laptop.machineName = "laptop";
        FolderTransport transport(place().toStdString());
        if (!sql.empty()) {
            synchronize(other.toStdString(), transport, laptop);
            execute(other, sql);
        }
        return synchronize(other.toStdString(), transport, laptop);
    }

private slots:
    void settingsAreKeptAndAnItemFromAnotherMachineAppearsAfterSyncNow()
    {
        QDir().mkpath(place());
        seam::pushDialogHandler([&](QDialog* dialog) {
            child<QLineEdit>(dialog, "editPlace")->setText(place());
            child<QLineEdit>(dialog, "editMachineName")->setText(QStringLiteral("desktop"));
            auto* folders = child<QTableWidget>(dialog, "tableFolders");
            folders->insertRow(0);
            folders->setItem(0, 0, new QTableWidgetItem(QStringLiteral("Documents")));
            folders->setItem(0, 1, new QTableWidgetItem(QStringLiteral("/home/ann/Documents")));
            dialog->accept();
            return dialog->result();
        });
        action(window.get(), "OnToolsSyncSettings")->trigger();
        const SyncSettings kept = loadSyncSettings(db());
        QCOMPARE(QString::fromStdString(kept.place), place());
        QCOMPARE(kept.machineName, std::string("desktop"));
        QCOMPARE(kept.documentFolders.size(), std::size_t(1));
        QCOMPARE(kept.documentFolders[0].path, std::string("/home/ann/Documents"));
        QTRY_VERIFY_WITH_TIMEOUT(status()->text().startsWith(QStringLiteral("Synced ")), 20000);

        QVERIFY(otherMachine(std::string("insert into link_table (guid,name,target,category,star,comment,type) values "
                                         "('from-laptop','From the laptop','https://example.org','")
                             + generalGuid + "',0,'',1);")
                    .ok);
        select(generalPath);
        QCOMPARE(rowTexts(list(window.get())), QStringList());
        action(window.get(), "OnToolsSyncNow")->trigger();
        QTRY_COMPARE_WITH_TIMEOUT(queryInt(sandbox->databasePath(), "select count(*) from link_table"), 1, 20000);
        QTRY_VERIFY_WITH_TIMEOUT(status()->text().startsWith(QStringLiteral("Synced ")), 20000);
        select(generalPath);
        QCOMPARE(rowTexts(list(window.get())), QStringList{QStringLiteral("From the laptop")});
    }

    void failureIsShownAndMassDeletionAsksFirst()
    {
        saveSyncSettings(db(), {place().toStdString(), {}, "desktop", {}});
        action(window.get(), "OnToolsSyncNow")->trigger();
        QTRY_VERIFY_WITH_TIMEOUT(
            status()->text().startsWith(QStringLiteral("Sync failed: The sync folder is not there")), 20000);
        QVERIFY(seam::shownMessages().last().text.startsWith(QStringLiteral("The sync folder is not there")));

        QDir().mkpath(place());
        std::string many;
        for (int i = 0; i < 30; ++i)
            many += "insert into link_table (guid,name,target,category,star,comment,type) values ('g"
                    + std::to_string(i) + "','item','https://example.org','" + generalGuid + "',0,'',1);";
        otherMachine(many);
        action(window.get(), "OnToolsSyncNow")->trigger();
        QTRY_COMPARE_WITH_TIMEOUT(queryInt(sandbox->databasePath(), "select count(*) from link_table"), 30, 20000);
        QTRY_VERIFY_WITH_TIMEOUT(status()->text().startsWith(QStringLiteral("Synced ")), 20000);

        execute(sandbox->root() + QStringLiteral("/other.db"), "delete from link_table;");
        QVERIFY(otherMachine().ok);
        seam::pushMessageAnswer(QMessageBox::No);
        action(window.get(), "OnToolsSyncNow")->trigger();
        QTRY_COMPARE_WITH_TIMEOUT(status()->text(), QStringLiteral("Sync waits for your consent: use Tools > Sync Now"),
                                  20000);
        QCOMPARE(seam::shownMessages().last().text,
                 QStringLiteral("The changes from \"laptop\" would delete 30 of the 30 items here; nothing was changed."
                                "\n\nDelete them here as well?"));
        QCOMPARE(queryInt(sandbox->databasePath(), "select count(*) from link_table"), 30);

        seam::pushMessageAnswer(QMessageBox::Yes);
        action(window.get(), "OnToolsSyncNow")->trigger();
        QTRY_COMPARE_WITH_TIMEOUT(queryInt(sandbox->databasePath(), "select count(*) from link_table"), 0, 20000);
    }

    // The server's password changed: the window says so and asks once (a second refusal and the
    // scheduled syncs after it ask nothing), and the right password brings sync back.
    void refusedPasswordIsSaidAndAskedForOnce()
    {
        if (!RcloneServer::available())
            QSKIP("rclone is not installed");
        QDir().mkpath(sandbox->root() + QStringLiteral("/served"));
        RcloneServer server(sandbox->root().toStdString() + "/served");
        saveSyncSettings(db(), {server.address() + "/sync", "ann", "desktop", {}});
        QSignalSpy done(controller(), &SyncController::syncDone);
        QStringList prompts;
        answerPassword(prompts, QStringLiteral("wrong"));
        answerPassword(prompts, QStringLiteral("still wrong"));
        action(window.get(), "OnToolsSyncNow")->trigger();
        QTRY_VERIFY_WITH_TIMEOUT(done.size() == 1, 60000);
        const QString refused = QStringLiteral("Sync failed: the server refused the user name or password");
        QCOMPARE(status()->text(), refused);
        QCOMPARE(prompts.size(), 2);
        QCOMPARE(prompts.last(), QStringLiteral("The server refused the user name or password. Password for \"ann\":"));

        // A scheduled sync with the refused password asks nothing (an unasked prompt fails cleanup).
        child<QTimer>(window.get(), "syncQuietTimer")->start(0);
        QTRY_VERIFY_WITH_TIMEOUT(done.size() == 2, 60000);
        QCOMPARE(status()->text(), refused);

        answerPassword(prompts, QStringLiteral("secret"));
        action(window.get(), "OnToolsSyncNow")->trigger();
        QTRY_VERIFY_WITH_TIMEOUT(done.size() == 3, 60000);
        QVERIFY2(status()->text().startsWith(QStringLiteral("Synced ")), qPrintable(status()->text()));
        QCOMPARE(prompts.size(), 3);
    }

    // The same through the desktop's keyring (gnome-keyring in a D-Bus session of the test's own, the
    // test run again inside it): the password typed after the refusal replaces the refused one there,
    // and a window opened later syncs with it, asking nothing.
    void refusedPasswordInTheKeyringIsReplacedOnce()
    {
        const char* inSession = "VARNELO_TEST_IN_KEYRING_SESSION";
        if (!RcloneServer::available())
            QSKIP("rclone is not installed");
        if (!qEnvironmentVariableIsSet(inSession)) {
            if (QStandardPaths::findExecutable(QStringLiteral("dbus-run-session")).isEmpty()
                || QStandardPaths::findExecutable(QStringLiteral("gnome-keyring-daemon")).isEmpty())
                QSKIP("no dbus-run-session or gnome-keyring-daemon");
            const QString home = sandbox->root() + QStringLiteral("/keyring-home");
            QDir().mkpath(home);
            QFile::setPermissions(home, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
            QProcess session;
            QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
            env.insert(QLatin1String(inSession), QStringLiteral("1"));
            env.insert(QStringLiteral("HOME"), home);
            env.insert(QStringLiteral("XDG_DATA_HOME"), home + QStringLiteral("/data"));
            env.insert(QStringLiteral("XDG_RUNTIME_DIR"), home);
            session.setProcessEnvironment(env);
            session.setProcessChannelMode(QProcess::MergedChannels);
            session.start(
                QStringLiteral("dbus-run-session"),
                {QStringLiteral("--"), QStringLiteral("sh"), QStringLiteral("-c"),
                 QStringLiteral("printf 'varnelo-test' | gnome-keyring-daemon --unlock --components=secrets "
                                ">/dev/null || exit 77; exec \"$0\" refusedPasswordInTheKeyringIsReplacedOnce"),
                 QCoreApplication::applicationFilePath()});
            QVERIFY(session.waitForFinished(240000));
            const QString output = QString::fromUtf8(session.readAll());
            if (session.exitCode() == 77)
                QSKIP(qPrintable(QStringLiteral("gnome-keyring does not run here: ") + output));
            QVERIFY2(session.exitCode() == 0 && output.contains(QStringLiteral("Totals: 3 passed, 0 failed")),
                     qPrintable(output));
            return;
        }
        QDir().mkpath(sandbox->root() + QStringLiteral("/served"));
        RcloneServer server(sandbox->root().toStdString() + "/served");
        const std::string address = server.address() + "/sync";
        QSignalSpy done(controller(), &SyncController::syncDone);
        seam::pushDialogHandler([&](QDialog* dialog) {
            child<QLineEdit>(dialog, "editPlace")->setText(QString::fromStdString(address));
            child<QLineEdit>(dialog, "editUser")->setText(QStringLiteral("ann"));
            child<QLineEdit>(dialog, "editPassword")->setText(QStringLiteral("an old password"));
            dialog->accept();
            return dialog->result();
        });
        QStringList prompts;
        answerPassword(prompts, QStringLiteral("secret"));
        action(window.get(), "OnToolsSyncSettings")->trigger();
        QTRY_VERIFY_WITH_TIMEOUT(done.size() == 1, 120000);
        QVERIFY2(status()->text().startsWith(QStringLiteral("Synced ")), qPrintable(status()->text()));
        QCOMPARE(prompts,
                 QStringList{QStringLiteral("The server refused the user name or password. Password for \"ann\":")});
        QCOMPARE(readSyncPassword(address, "ann"), std::optional<std::string>("secret"));

        restart();
        QSignalSpy again(controller(), &SyncController::syncDone);
        action(window.get(), "OnToolsSyncNow")->trigger();
        QTRY_VERIFY_WITH_TIMEOUT(again.size() >= 1, 120000);
        QVERIFY2(status()->text().startsWith(QStringLiteral("Synced ")), qPrintable(status()->text()));
    }

    // The files this catalogue wrote to the place that are not encrypted; "(no file)" when it wrote none.
    QStringList plainFiles()
    {
        const std::string device =
            queryText(sandbox->databasePath(), "select value from sync_meta where key = 'device';");
        QStringList plain;
        int files = 0;
        QDirIterator it(place() + QStringLiteral("/Varnelo/") + QString::fromStdString(device), QDir::Files);
        while (it.hasNext()) {
            QFile file(it.next());
            ++files;
            if (!file.open(QIODevice::ReadOnly) || file.read(encryptedMagicSize) != QByteArray(encryptedMagic))
                plain << it.fileName();
        }
        if (files == 0)
            plain << QStringLiteral("(no file)");
        return plain;
    }

    // A passphrase typed in Sync Settings encrypts a place that held plain files: the files are
    // written again encrypted, later syncs stay encrypted with the passphrase left empty, and a
    // device without it is refused.
    void passphraseTurnsEncryptionOnAndItStaysOn()
    {
        QDir().mkpath(place());
        saveSyncSettings(db(), {place().toStdString(), {}, "desktop", {}});
        QSignalSpy done(controller(), &SyncController::syncDone);
        action(window.get(), "OnToolsSyncNow")->trigger();
        QTRY_VERIFY_WITH_TIMEOUT(done.size() == 1, 60000);
        QVERIFY(otherMachine().ok);
        QVERIFY(!plainFiles().isEmpty());
        QVERIFY(!plainFiles().contains(QStringLiteral("(no file)")));

        const auto type = [](QDialog* dialog, const QString& passphrase) {
            auto* edit = child<QLineEdit>(dialog, "editPassphrase");
            QCOMPARE(edit->echoMode(), QLineEdit::Password);
            edit->setText(passphrase);
        };
        seam::pushDialogHandler([&](QDialog* dialog) {
            type(dialog, QStringLiteral("correct horse"));
            dialog->accept();
            return dialog->result();
        });
        action(window.get(), "OnToolsSyncSettings")->trigger();
        QTRY_VERIFY_WITH_TIMEOUT(done.size() == 2, 60000);
        QVERIFY2(status()->text().startsWith(QStringLiteral("Synced ")), qPrintable(status()->text()));
        QVERIFY(seam::shownMessages().last().text.startsWith(QStringLiteral("Sync encryption is on for this place")));
        QVERIFY(QFile::exists(place() + QStringLiteral("/Varnelo/encryption")));

        // Left empty, the field keeps encryption on; the next upload is encrypted with the kept key.
        seam::pushDialogHandler([&](QDialog* dialog) {
            type(dialog, {});
            dialog->accept();
            return dialog->result();
        });
        action(window.get(), "OnToolsSyncSettings")->trigger();
        QTRY_VERIFY_WITH_TIMEOUT(done.size() == 3, 60000);
        storeItem(sandbox->databasePath(), *select(generalPath), "After encryption", "https://example.org/e");
        action(window.get(), "OnToolsSyncNow")->trigger();
        QTRY_VERIFY_WITH_TIMEOUT(done.size() == 4, 60000);
        QVERIFY2(status()->text().startsWith(QStringLiteral("Synced ")), qPrintable(status()->text()));
        QCOMPARE(plainFiles(), QStringList());
        const SyncReport other = otherMachine();
        QVERIFY(!other.ok);
        QVERIFY2(other.error.find("encrypted") != std::string::npos, other.error.c_str());
    }

    // A change goes up on its own after the quiet wait (shortened here), whether the window or another
    // program made it, and steady changes do not put it off for ever.
    void changesAreSentAfterTheQuietWait()
    {
        QDir().mkpath(place());
        saveSyncSettings(db(), {place().toStdString(), {}, "desktop", {}});
        QSignalSpy done(controller(), &SyncController::syncDone);
        action(window.get(), "OnToolsSyncNow")->trigger();
        // The sync soon after start has run too: no sync but the quiet wait's is due any more.
        QTRY_VERIFY_WITH_TIMEOUT(done.size() == 2, 60000);
        child<QTimer>(window.get(), "syncQuietTimer")->setInterval(1500);
        const auto laptopHas = [&](const std::string& name) {
            otherMachine();
            return queryInt(sandbox->root() + QStringLiteral("/other.db"),
                            "select count(*) from link_table where name = '" + name + "'")
                   == 1;
        };

        // Another program (varnelo-cli, the original program) writes the file.
        storeItem(sandbox->databasePath(), *select(generalPath), "From the command line", "https://example.org/c");
        QTRY_VERIFY_WITH_TIMEOUT(laptopHas("From the command line"), 60000);

        // The window renames it, and changes go on coming more often than the quiet wait.
        child<QTimer>(window.get(), "syncQuietTimer")->setInterval(5000);
        reselect(generalPath);
        renameInPlace(list(window.get()), 0, QStringLiteral("Renamed in the window"));
        QDeadlineTimer deadline(60000);
        bool arrived = false;
        for (int i = 0; !arrived && !deadline.hasExpired(); ++i) {
            storeItem(sandbox->databasePath(), *select(generalPath), "busy " + std::to_string(i),
                      "https://example.org");
            QTest::qWait(300);
            arrived = laptopHas("Renamed in the window");
        }
        QVERIFY(arrived);
    }

    // While the window is open it looks at the place (here more often than once a minute) and takes
    // in what another device uploaded, without Sync Now.
    void anotherDevicesUploadArrivesWithoutSyncNow()
    {
        QDir().mkpath(place());
        saveSyncSettings(db(), {place().toStdString(), {}, "desktop", {}});
        QSignalSpy done(controller(), &SyncController::syncDone);
        action(window.get(), "OnToolsSyncNow")->trigger();
        QTRY_VERIFY_WITH_TIMEOUT(done.size() == 1, 60000);
        child<QTimer>(window.get(), "syncListTimer")->start(300);

        QVERIFY(otherMachine(std::string("insert into link_table (guid,name,target,category,star,comment,type) values "
                                         "('from-laptop','From the laptop','https://example.org','")
                             + generalGuid + "',0,'',1);")
                    .ok);
        QTRY_COMPARE_WITH_TIMEOUT(queryInt(sandbox->databasePath(), "select count(*) from link_table"), 1, 60000);
        QTRY_VERIFY_WITH_TIMEOUT(status()->text().startsWith(QStringLiteral("Synced ")), 60000);
        reselect(generalPath);
        QTRY_COMPARE_WITH_TIMEOUT(rowTexts(list(window.get())), QStringList{QStringLiteral("From the laptop")}, 20000);
    }

    // "Restore Automatic Backup..." on a syncing catalogue says first what it loses and what the other
    // devices will see, offers to make every device exactly the backup, and sync goes on afterwards
    // with the settings it had.
    void restoreSaysWhatIsLostAndSyncGoesOn()
    {
        QTRY_VERIFY_WITH_TIMEOUT(!autobackup::listBackups(db()).empty(), 20000);
        QDir().mkpath(place());
        saveSyncSettings(db(), {place().toStdString(), {}, "desktop", {}});
        QSignalSpy done(controller(), &SyncController::syncDone);
        storeItem(sandbox->databasePath(), *select(generalPath), "Added since 1", "https://example.org/1");
        storeItem(sandbox->databasePath(), *select(generalPath), "Added since 2", "https://example.org/2");
        action(window.get(), "OnToolsSyncNow")->trigger();
        QTRY_VERIFY_WITH_TIMEOUT(done.size() == 1, 60000);
        QVERIFY(otherMachine().ok);

        seam::pushDialogHandler([](QDialog* dialog) {
            auto* rows = child<QTreeWidget>(dialog, "listBackups");
            rows->setCurrentItem(rows->topLevelItem(rows->topLevelItemCount() - 1));
            dialog->accept();
            return dialog->result();
        });
        QString loss, effectByDefault, effect;
        seam::pushDialogHandler([&](QDialog* dialog) {
            loss = child<QLabel>(dialog, "lblLoss")->text();
            effectByDefault = child<QLabel>(dialog, "lblEffect")->text();
            child<QRadioButton>(dialog, "rbExact")->setChecked(true);
            effect = child<QLabel>(dialog, "lblEffect")->text();
            dialog->accept();
            return dialog->result();
        });
        action(window.get(), "OnFileRestoreAutomatic")->trigger();
        QVERIFY2(loss.endsWith(QStringLiteral("replaces the catalogue: it loses the 2 items added since that backup.")),
                 qPrintable(loss));
        QCOMPARE(effectByDefault, QStringLiteral("At the next sync, on every device: 2 items added since stay."));
        QCOMPARE(effect,
                 QStringLiteral("At the next sync every device becomes exactly this backup: 2 items added since are "
                                "deleted."));
        QCOMPARE(queryInt(sandbox->databasePath(), "select count(*) from link_table"), 0);

        // The settings are still there, and the half-minute sync (shortened) carries the choice out.
        QString shownPlace;
        seam::pushDialogHandler([&](QDialog* dialog) {
            shownPlace = child<QLineEdit>(dialog, "editPlace")->text();
            dialog->reject();
            return dialog->result();
        });
        action(window.get(), "OnToolsSyncSettings")->trigger();
        QCOMPARE(shownPlace, place());
        child<QTimer>(window.get(), "syncQuietTimer")->start(100);
        QTRY_VERIFY_WITH_TIMEOUT(done.size() == 2, 60000);
        QVERIFY2(status()->text().startsWith(QStringLiteral("Synced ")), qPrintable(status()->text()));
        QVERIFY(otherMachine().ok);
        QCOMPARE(queryInt(sandbox->root() + QStringLiteral("/other.db"), "select count(*) from link_table"), 0);
    }

    // Tab walks Sync Settings in the order its rows are read, the passphrase among them.
    void settingsTabOrderFollowsTheLayout()
    {
        QStringList visited;
        seam::pushDialogHandler([&](QDialog* dialog) {
            // The chain Tab follows: from the first field, every visible control that takes Tab.
            QWidget* widget = child<QLineEdit>(dialog, "editPlace");
            while (visited.size() < 9) {
                if ((widget->focusPolicy() & Qt::TabFocus) && widget->isVisibleTo(dialog) && widget->isEnabled())
                    visited << widget->objectName();
                widget = widget->nextInFocusChain();
            }
            dialog->reject();
            return dialog->result();
        });
        action(window.get(), "OnToolsSyncSettings")->trigger();
        QCOMPARE(visited, QStringList({"editPlace", "btnBrowsePlace", "editUser", "editPassword", "editPassphrase",
                                       "editMachineName", "tableFolders", "btnAddFolder", "btnRemoveFolder"}));
    }

    // Another program's sync of the catalogue (varnelo-cli) holds its lock: the window's sync says so
    // in the status bar and tries again later, and closing the window never waits for the other one.
    void anotherProgramsSyncIsWaitedForBrieflyAndNotAtQuit()
    {
        QDir().mkpath(place());
        saveSyncSettings(db(), {place().toStdString(), {}, "desktop", {}});
        const int held = ::open((db() + ".sync-lock").c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
        QVERIFY(held >= 0 && ::flock(held, LOCK_EX | LOCK_NB) == 0);
        action(window.get(), "OnToolsSyncNow")->trigger();
        QTRY_COMPARE_WITH_TIMEOUT(status()->text(),
                                  QStringLiteral("Sync failed: A sync of this catalogue is already running."), 30000);
        QVERIFY(seam::shownMessages().isEmpty());
        QVERIFY(child<QTimer>(window.get(), "syncQuietTimer")->isActive());

        // Without the limit this would wait for the other sync, here for ever.
        action(window.get(), "OnToolsSyncNow")->trigger();
        window.reset();
        ::close(held);
    }
};

QTEST_MAIN(TestSync)
#include "tst_sync.moc"
