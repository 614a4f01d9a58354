// SPDX-License-Identifier: GPL-3.0-or-later
// Sync as the window offers it: the settings dialog, Sync Now with what it shows, and its failures.
#include "testseam.h"
#include "testutil.h"

#include "sync/foldertransport.h"
#include "sync/syncengine.h"
#include "ui/views/itemlistview.h"

#include <QAction>
#include <QLabel>
#include <QLineEdit>
#include <QStatusBar>
#include <QTableWidget>
#include <QTimer>
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
