// SPDX-License-Identifier: GPL-3.0-or-later
// The automatic backups as the program makes and restores them: the daily one across a restart, the
// ones before risky commands, the restore dialog and a damaged catalogue at start.
#include "testseam.h"
#include "testutil.h"

#include "backup/automaticbackups.h"
#include "model/ccategory.h"
#include "shell/backupsettings.h"
#include "shell/paths.h"
#include "ui/backup/damagedcatalogue.h"
#include "ui/views/categorytreeview.h"

#include <QAction>
#include <QCheckBox>
#include <QDateTime>
#include <QDialog>
#include <QDialogButtonBox>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QTreeWidget>
#include <QUuid>
#include <QtTest>

using namespace testutil;

namespace {

const QStringList mediaPath{QStringLiteral("Media files")};

}  // namespace

class TestAutomaticBackups : public WindowTestCase {
    Q_OBJECT

private:
    std::string db() const { return sandbox->databasePath().toStdString(); }

    QStringList kinds() const
    {
        QStringList found;
        for (const autobackup::BackupInfo& backup : autobackup::listBackups(db()))
            found << QString::fromStdString(autobackup::describeKind(backup.name));
        return found;
    }

    // The daily backup the window starts runs on a worker; it is there once its file is.
    void waitForDailyBackups(int count)
    {
        QTRY_COMPARE_WITH_TIMEOUT(kinds().count(QStringLiteral("daily")), count, 20000);
    }

    void addTopCategory(const QString& name)
    {
        execute(sandbox->databasePath(),
                "insert into category_table (guid,name,level,parent_guid,system,iconIndex) values ('"
                    + QUuid::createUuid().toString(QUuid::WithoutBraces).toStdString() + "','" + name.toStdString()
                    + "',0,'',0,0)");
    }

private slots:
    // After a restart Undo is only a disabled entry; the Edit menu then leads to the automatic backups.
    void editMenu_OffersTheAutomaticRestoreWhileNothingCanBeUndone()
    {
        QAction* entry = action(window.get(), "EditRestoreAutomatic");
        QVERIFY(!action(window.get(), "EditUndo")->isEnabled());
        QVERIFY(entry->isVisible());
        QString shown;
        seam::pushDialogHandler([&shown](QDialog* dialog) {
            shown = dialog->windowTitle();
            return int(QDialog::Rejected);
        });
        entry->trigger();
        QCOMPARE(shown, QStringLiteral("Restore Automatic Backup"));

        select({QStringLiteral("General files")});
        seam::pushMessageAnswer(QMessageBox::Yes);
        action(window.get(), "DeleteCategory")->trigger();
        QVERIFY(action(window.get(), "EditUndo")->isEnabled());
        QVERIFY(!entry->isVisible());
        action(window.get(), "EditUndo")->trigger();
        QVERIFY(entry->isVisible());
    }

    void change_Restart_TheListShowsIt_RestoreIt()
    {
        waitForDailyBackups(1);
        // A day passes: the backup made at the first start is yesterday's.
        const autobackup::BackupInfo first = autobackup::listBackups(db()).front();
        const std::string yesterday =
            autobackup::backupFileName({autobackup::Kind::Daily, first.name.time - 86400, {}});
        QVERIFY(QFile::rename(QString::fromStdString(first.path),
                              QString::fromStdString(autobackup::backupFolder(db()) + "/" + yesterday)));
        addTopCategory(QStringLiteral("Added later"));
        restart();
        waitForDailyBackups(2);
        addTopCategory(QStringLiteral("After the backup"));

        QStringList shownKinds, shownCategories;
        seam::pushDialogHandler([&](QDialog* dialog) {
            auto* rows = child<QTreeWidget>(dialog, "listBackups");
            for (int i = 0; i < rows->topLevelItemCount(); ++i) {
                shownKinds << rows->topLevelItem(i)->text(1);
                shownCategories << rows->topLevelItem(i)->text(2);
            }
            rows->setCurrentItem(rows->topLevelItem(0));
            child<QDialogButtonBox>(dialog, "buttons")->button(QDialogButtonBox::Ok)->click();
            return dialog->result();
        });
        // Before anything is replaced, the restore says what the catalogue loses; a catalogue that does
        // not sync has no other devices to decide for.
        QString loss;
        bool choiceOffered = true;
        seam::pushDialogHandler([&](QDialog* dialog) {
            loss = child<QLabel>(dialog, "lblLoss")->text();
            choiceOffered = child<QRadioButton>(dialog, "rbExact")->isVisibleTo(dialog);
            dialog->accept();
            return dialog->result();
        });
        action(window.get(), "OnFileRestoreAutomatic")->trigger();
        QVERIFY2(loss.endsWith(QStringLiteral(": it loses the 1 category added since that backup.")), qPrintable(loss));
        QVERIFY(!choiceOffered);
        QCOMPARE(shownKinds, QStringList({"daily", "daily"}));
        QCOMPARE(shownCategories.first(), QStringLiteral("7"));
        QCOMPARE(seam::shownMessages().last().text, QStringLiteral("Successfully finish restoring!"));
        QCOMPARE(topLevelTexts(tree(window.get())),
                 QStringList({"General files", "Office documents", "Media files", "Favorite websites", "Added later"}));
        QCOMPARE(kinds(), QStringList({"before restore", "daily", "daily"}));
        // The state the restore replaced is in the backup made before it.
        QCOMPARE(autobackup::listBackups(db()).front().categories, 8);
    }

    void riskyCommands_BackUpTheCatalogueFirst()
    {
        waitForDailyBackups(1);
        const QString bookmarks = sandbox->root() + QStringLiteral("/exported.html");
        QFile file(bookmarks);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(
            "<!DOCTYPE NETSCAPE-Bookmark-file-1>\n<DL><p>\n<DT><A HREF=\"https://example.org/\">Example</A>\n</DL>\n");
        file.close();
        seam::pushFileAnswer({bookmarks});
        answerSelectCategory(mediaPath);
        action(window.get(), "ToolsImportBookmarks")->trigger();
        QCOMPARE(kinds().first(), QStringLiteral("before import of exported.html"));

        // A category of 100 items goes without one, one of 101 with one.
        for (int count : {100, 101}) {
            CCategory* media = select(mediaPath);
            execute(sandbox->databasePath(), "delete from link_table");
            for (int i = 0; i < count; ++i)
                storeItem(sandbox->databasePath(), *media, "item", "https://example.org/");
            const int before = static_cast<int>(kinds().size());
            seam::pushMessageAnswer(QMessageBox::Yes);
            action(window.get(), "DeleteCategory")->trigger();
            QCOMPARE(static_cast<int>(kinds().size()), count > 100 ? before + 1 : before);
            restart();
            if (count == 100) {
                // Back for the next round, as it was.
                addTopCategory(QStringLiteral("Media files"));
                restart();
            }
        }
        QCOMPARE(kinds().first(), QStringLiteral("before delete of category Media files"));

        // Switched off in the settings, no backup is made.
        seam::pushDialogHandler([](QDialog* dialog) {
            child<QCheckBox>(dialog, "chkEnabled")->setChecked(false);
            child<QSpinBox>(dialog, "spinKeep")->setValue(3);
            dialog->accept();
            return dialog->result();
        });
        action(window.get(), "OnToolsBackupSettings")->trigger();
        const autobackup::Settings saved = loadBackupSettings(optionsFilePath());
        QVERIFY(!saved.enabled);
        QCOMPARE(saved.keepDaily, 3);
        const int before = static_cast<int>(kinds().size());
        seam::pushFileAnswer({bookmarks});
        answerSelectCategory({QStringLiteral("General files")});
        action(window.get(), "ToolsImportBookmarks")->trigger();
        QCOMPARE(static_cast<int>(kinds().size()), before);
    }

    void damagedCatalogue_IsReplacedOnlyWhenTheUserAgrees_data()
    {
        QTest::addColumn<bool>("withBackup");
        QTest::addColumn<bool>("agree");
        QTest::newRow("backup, agreed") << true << true;
        QTest::newRow("backup, refused") << true << false;
        QTest::newRow("no backup, agreed") << false << true;
    }
    void damagedCatalogue_IsReplacedOnlyWhenTheUserAgrees()
    {
        QFETCH(bool, withBackup);
        QFETCH(bool, agree);
        waitForDailyBackups(1);
        window.reset();
        if (!withBackup)
            QVERIFY(QDir(QString::fromStdString(autobackup::backupFolder(db()))).removeRecursively());
        QFile file(sandbox->databasePath());
        QVERIFY(file.open(QIODevice::ReadWrite));
        QByteArray bytes = file.readAll();
        bytes.replace(0, 100, QByteArray(100, 'x'));
        QVERIFY(file.seek(0));
        file.write(bytes);
        file.close();

        seam::pushMessageAnswer(agree ? QMessageBox::Yes : QMessageBox::No);
        QCOMPARE(offerDamagedCatalogueRecovery(db()), agree);
        const QString asked = seam::shownMessages().last().text;
        const QString aside = sandbox->databasePath() + QStringLiteral(".damaged-")
                              + QDateTime::currentDateTimeUtc().toString(QStringLiteral("yyyy-MM-dd"));
        QVERIFY2(asked.contains(QFileInfo(aside).fileName()), qPrintable(asked));
        QCOMPARE(asked.contains(QStringLiteral("with 6 categories and 0 items")), withBackup);
        QCOMPARE(QFile::exists(aside), agree);
        if (!agree) {
            QFile kept(sandbox->databasePath());
            QVERIFY(kept.open(QIODevice::ReadOnly));
            QCOMPARE(kept.readAll(), bytes);
            return;
        }
        QFile damaged(aside);
        QVERIFY(damaged.open(QIODevice::ReadOnly));
        QCOMPARE(damaged.readAll(), bytes);
        window = std::make_unique<TSDIAppForm>();
        QCOMPARE(topLevelTexts(tree(window.get())),
                 QStringList({"General files", "Office documents", "Media files", "Favorite websites"}));
    }
};

QTEST_MAIN(TestAutomaticBackups)
#include "tst_automaticbackups.moc"
