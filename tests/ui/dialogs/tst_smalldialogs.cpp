// SPDX-License-Identifier: GPL-3.0-or-later
// The select-category, settings, message and about windows, the dialog seam and the default error box.
#include "testseam.h"
#include "testutil.h"

#include "model/ccategory.h"
#include "model/newguid.h"
#include "shell/appsettings.h"
#include "storage/cdbmanager.h"
#include "ui/common/dialogseam.h"
#include "ui/common/errorbox.h"
#include "ui/dialogs/taboutbox.h"
#include "ui/dialogs/tselectcategorydialogform.h"
#include "ui/dialogs/tsettingsdialog.h"
#include "ui/dialogs/ttmessageprocform.h"

#include <QCheckBox>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QPushButton>
#include <QTreeWidget>
#include <QtTest>

#include <stdexcept>

using namespace testutil;

namespace {

void addChild(CCategory& parent, const std::string& name)
{
    auto child = std::make_unique<CCategory>();
    child->SetGuid(NewGuid());
    child->SetName(name);
    child->SetLevel(parent.GetLevel() + 1);
    parent.AddChild(std::move(child));
}

QString iniText(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
}

}  // namespace

class TestSmallDialogs : public QObject {
    Q_OBJECT

private:
    std::unique_ptr<Sandbox> sandbox;

private slots:
    void initTestCase() { seam::enableTestMode(); }

    void init()
    {
        seam::clearTestState();
        sandbox = std::make_unique<Sandbox>();
    }

    void cleanup()
    {
        sandbox.reset();
        QCOMPARE(seam::unexpectedPrompts(), QStringList());
    }

    // ---- select category -----------------------------------------------------------------------

    void selectCategory_OkWaitsForAClickAndReturnsADeepCategory()
    {
        CDBManager db;
        CCategory& root = db.GetRootCategory();
        addChild(root, "Top");
        addChild(root, "Other");
        addChild(*root.GetChild(0), "Middle");
        addChild(*root.GetChild(0)->GetChild(0), "Deep");
        CCategory* deep = root.GetChild(0)->GetChild(0)->GetChild(0);

        TSelectCategoryDialogForm dialog;
        auto* categories = child<QTreeWidget>(&dialog, "treeCategory");
        auto* ok = child<QPushButton>(&dialog, "OKBtn");
        QCOMPARE(dialog.windowTitle(), QStringLiteral("Select Category"));
        QCOMPARE(child<QLabel>(&dialog, "Label1")->text(), QStringLiteral("Select a category"));
        dialog.LoadCategories(&db);
        QCOMPARE(topLevelTexts(categories), QStringList({"Top", "Other"}));
        QVERIFY(!ok->isEnabled());
        QCOMPARE(dialog.GetSelectedCategory(), nullptr);

        dialog.show();
        QVERIFY(QTest::qWaitForWindowExposed(&dialog));
        QTreeWidgetItem* node = nodeAt(categories, {"Top", "Middle", "Deep"});
        QVERIFY(node);
        QVERIFY(node->parent()->parent()->isExpanded() == false);
        categories->expandAll();
        QTest::mouseClick(categories->viewport(), Qt::LeftButton, {}, categories->visualItemRect(node).center());
        QVERIFY(ok->isEnabled());
        QCOMPARE(dialog.GetSelectedCategory(), deep);
        QTest::mouseClick(ok, Qt::LeftButton);
        QCOMPARE(dialog.result(), int(QDialog::Accepted));
    }

    void selectCategory_EmptyCatalogueOnlyCancels()
    {
        CDBManager db;
        TSelectCategoryDialogForm dialog;
        dialog.LoadCategories(&db);
        QCOMPARE(child<QTreeWidget>(&dialog, "treeCategory")->topLevelItemCount(), 0);
        auto* ok = child<QPushButton>(&dialog, "OKBtn");
        QVERIFY(!ok->isEnabled());
        dialog.LoadCategories(nullptr);  // remembers nothing, changes nothing
        QVERIFY(!ok->isEnabled());
        child<QPushButton>(&dialog, "CancelBtn")->click();
        QCOMPARE(dialog.result(), int(QDialog::Rejected));
    }

    // ---- settings ------------------------------------------------------------------------------

    void settings_OpeningShowsTheStoredState()
    {
        SettingsRecord stored;
        stored.closetray = true;
        stored.always = true;
        SaveSettings(stored, sandbox->settingsPath().toStdString());
        AppSettings = SettingsRecord{};
        AppSettings.minitray = true;  // in memory only; the dialog reloads
        TSettingsDialog dialog;
        QCOMPARE(dialog.windowTitle(), QStringLiteral("Settings"));
        QCOMPARE(child<QCheckBox>(&dialog, "ckClose")->text(),
                 QStringLiteral("Minimize to notify tray area when click \"close\" button"));
        QCOMPARE(child<QCheckBox>(&dialog, "ckMinimize")->text(),
                 QStringLiteral("Minimize to notify tray area when click \"Minimize\" button"));
        QCOMPARE(child<QCheckBox>(&dialog, "ckAutorun")->text(), QStringLiteral("Autorun when windows startup"));
        QCOMPARE(child<QCheckBox>(&dialog, "ckHide")->text(),
                 QStringLiteral("Hide main window when application start"));
        QCOMPARE(child<QCheckBox>(&dialog, "ckAlways")->text(),
                 QStringLiteral("Always show notification icon in tray"));
        QVERIFY(!child<QCheckBox>(&dialog, "ckAutorun")->isChecked());
        QVERIFY(child<QCheckBox>(&dialog, "ckClose")->isChecked());
        QVERIFY(!child<QCheckBox>(&dialog, "ckMinimize")->isChecked());
        QVERIFY(!child<QCheckBox>(&dialog, "ckHide")->isChecked());
        QVERIFY(child<QCheckBox>(&dialog, "ckAlways")->isChecked());
        QVERIFY(!AppSettings.minitray);
    }

    void settings_OkSavesAllFiveAndTheAutostartEntry()
    {
        {
            TSettingsDialog dialog;
            child<QCheckBox>(&dialog, "ckAutorun")->setChecked(true);
            child<QCheckBox>(&dialog, "ckClose")->setChecked(false);
            child<QCheckBox>(&dialog, "ckMinimize")->setChecked(false);
            child<QCheckBox>(&dialog, "ckHide")->setChecked(true);
            child<QCheckBox>(&dialog, "ckAlways")->setChecked(false);
            child<QPushButton>(&dialog, "OKBtn")->click();
            QCOMPARE(dialog.result(), int(QDialog::Accepted));
        }
        QVERIFY(AppSettings.autorun);
        QVERIFY(AppSettings.autohide);
        const QString ini = iniText(sandbox->settingsPath());
        for (const char* line : {"autorun=1", "closetray=0", "minitray=0", "autohide=1", "always=0"})
            QVERIFY2(ini.contains(QLatin1String(line)), qPrintable(ini));
        const QString entry = QDir(QString::fromLocal8Bit(qgetenv("XDG_CONFIG_HOME")))
                                  .filePath(QStringLiteral("autostart/varnelo.desktop"));
        QVERIFY(QFile::exists(entry));

        // Reopened, it shows what was saved; unchecking autorun removes the entry.
        AppSettings = SettingsRecord{};
        TSettingsDialog again;
        QVERIFY(child<QCheckBox>(&again, "ckAutorun")->isChecked());
        QVERIFY(child<QCheckBox>(&again, "ckHide")->isChecked());
        child<QCheckBox>(&again, "ckAutorun")->setChecked(false);
        child<QPushButton>(&again, "OKBtn")->click();
        QVERIFY(!QFile::exists(entry));
    }

    void settings_WithoutFileShowsTheDefaultsAndCancelKeepsThem()
    {
        TSettingsDialog dialog;
        QVERIFY(!child<QCheckBox>(&dialog, "ckAutorun")->isChecked());
        QVERIFY(child<QCheckBox>(&dialog, "ckClose")->isChecked());
        QVERIFY(child<QCheckBox>(&dialog, "ckMinimize")->isChecked());
        QVERIFY(!child<QCheckBox>(&dialog, "ckHide")->isChecked());
        QVERIFY(child<QCheckBox>(&dialog, "ckAlways")->isChecked());
        child<QCheckBox>(&dialog, "ckAlways")->setChecked(false);
        child<QPushButton>(&dialog, "CancelBtn")->click();
        QCOMPARE(dialog.result(), int(QDialog::Rejected));
        QVERIFY(AppSettings.always);
        QVERIFY(!QFile::exists(sandbox->settingsPath()));
    }

    void settings_UnwritableFileShowsErrorBoxAndStillEndsWithOk()
    {
        TSettingsDialog dialog;
        child<QCheckBox>(&dialog, "ckClose")->setChecked(false);
        // A folder where the settings file should be: it cannot be written.
        QVERIFY(QDir().mkpath(sandbox->settingsPath()));
        child<QPushButton>(&dialog, "OKBtn")->click();
        QCOMPARE(dialog.result(), int(QDialog::Accepted));
        QVERIFY(!AppSettings.closetray);
        QCOMPARE(seam::shownMessages().size(), 1);
        QCOMPARE(seam::shownMessages()[0].caption, QStringLiteral("Varnelo"));
        QCOMPARE(seam::shownMessages()[0].icon, QMessageBox::Critical);
        QCOMPARE(seam::shownMessages()[0].text,
                 QStringLiteral("Unable to write to ") + sandbox->settingsPath() + QLatin1Char('.'));
        QVERIFY(QDir().rmdir(sandbox->settingsPath()));
    }

    // ---- message window and about box ----------------------------------------------------------

    void messageWindow_StaysOnTopWithoutButtonsAndCutsLongText()
    {
        TTMessageProcForm form;
        form.setWindowTitle(QStringLiteral("Delete category"));
        QVERIFY(form.windowFlags().testFlag(Qt::WindowStaysOnTopHint));
        QVERIFY(!form.windowFlags().testFlag(Qt::WindowCloseButtonHint));
        QVERIFY(form.findChildren<QPushButton*>().isEmpty());
        QCOMPARE(child<QLabel>(&form, "msgLabel")->text(), QString());
        form.setMessage(QStringLiteral("short"));
        QCOMPARE(child<QLabel>(&form, "msgLabel")->text(), QStringLiteral("short"));
        QString longText;
        for (int i = 0; i < 300; ++i)
            longText += QStringLiteral("word%1 ").arg(i);
        form.setMessage(longText.trimmed());
        QVERIFY(child<QLabel>(&form, "msgLabel")->text().endsWith(QStringLiteral("...")));
        QVERIFY(child<QLabel>(&form, "msgLabel")->text().size() < longText.size());
        QVERIFY(longText.startsWith(child<QLabel>(&form, "msgLabel")->text().chopped(3)));
    }

    void aboutBox_PictureClickClosesLinksOpenTextsDoNothing()
    {
        TAboutBox box;
        QVERIFY(box.windowFlags().testFlag(Qt::FramelessWindowHint));
        QCOMPARE(child<QLabel>(&box, "ProductName")->text(), QStringLiteral("Varnelo"));
        QCOMPARE(child<QLabel>(&box, "Version")->text(), QStringLiteral("Version 1.1"));
        QVERIFY(!child<QLabel>(&box, "Image1")->pixmap().isNull());
        box.show();
        QVERIFY(QTest::qWaitForWindowExposed(&box));

        QTest::mouseClick(child<QLabel>(&box, "ProductName"), Qt::LeftButton);
        QTest::mouseClick(child<QLabel>(&box, "Version"), Qt::LeftButton);
        QVERIFY(box.isVisible());
        QTest::mouseClick(child<QLabel>(&box, "Label2"), Qt::LeftButton);
        QTest::mouseClick(child<QLabel>(&box, "Label3"), Qt::LeftButton);
        QVERIFY(box.isVisible());
        QCOMPARE(sandbox->desktop.calls.size(), 2);
        QCOMPARE(sandbox->desktop.calls[0].target, QString::fromLatin1(TAboutBox::webSite));
        QCOMPARE(sandbox->desktop.calls[1].target,
                 QStringLiteral("mailto:") + QString::fromLatin1(TAboutBox::supportMail));

        QTest::mouseClick(child<QLabel>(&box, "Image1"), Qt::LeftButton, {}, QPoint(400, 250));
        QVERIFY(!box.isVisible());
        QCOMPARE(box.result(), int(QDialog::Accepted));
        // Shown again later: the same box works again.
        box.show();
        QVERIFY(QTest::qWaitForWindowExposed(&box));
        QTest::mouseClick(child<QLabel>(&box, "Image1"), Qt::LeftButton, {}, QPoint(10, 10));
        QVERIFY(!box.isVisible());
    }

    // ---- seam and error box --------------------------------------------------------------------

    void errorBox_AddsFullStopOnlyAfterLetterOrDigit()
    {
        QCOMPARE(errorBoxText(QStringLiteral("disk full")), QStringLiteral("disk full."));
        QCOMPARE(errorBoxText(QStringLiteral("code 7")), QStringLiteral("code 7."));
        QCOMPARE(errorBoxText(QStringLiteral("done.")), QStringLiteral("done."));
        QCOMPARE(errorBoxText(QStringLiteral("really?")), QStringLiteral("really?"));
        QCOMPARE(errorBoxText(QStringLiteral("path \"x\"")), QStringLiteral("path \"x\""));
        QCOMPARE(errorBoxText(QString()), QString());
    }

    void runCommand_ShowsStorageAndOtherErrorsAndEndsOnlyTheCommand()
    {
        bool after = false;
        runCommand(nullptr, [&] {
            CDBManager db;
            db.ExecuteStatement("select 1;");  // no connection: the storage error
            after = true;
        });
        QVERIFY(!after);
        runCommand(nullptr, [] { throw std::runtime_error("Cannot create file \"/x\". denied"); });
        int ran = 0;
        runCommand(nullptr, [&] { ++ran; });
        QCOMPARE(ran, 1);
        QCOMPARE(seam::shownMessages().size(), 2);
        QCOMPARE(seam::shownMessages()[0].caption, QStringLiteral("Varnelo"));
        QCOMPARE(seam::shownMessages()[0].icon, QMessageBox::Critical);
        QCOMPARE(seam::shownMessages()[0].buttons, QMessageBox::StandardButtons(QMessageBox::Ok));
        QVERIFY(!seam::shownMessages()[0].text.isEmpty());
        QCOMPARE(seam::shownMessages()[1].text, QStringLiteral("Cannot create file \"/x\". denied."));
    }

    void seam_AnswersInOrderAndFlagsUnansweredPrompts()
    {
        seam::pushMessageAnswer(QMessageBox::Yes);
        seam::pushFileAnswer({QStringLiteral("/a"), QStringLiteral("/b")});
        // A one-button box needs no answer and leaves the queued one for the question.
        QCOMPARE(seam::message(nullptr, QMessageBox::Warning, QStringLiteral("c"), QStringLiteral("t")),
                 QMessageBox::Ok);
        QCOMPARE(seam::message(nullptr, QMessageBox::Question, QStringLiteral("Confirm"), QStringLiteral("q"),
                               QMessageBox::Yes | QMessageBox::No),
                 QMessageBox::Yes);
        QCOMPARE(seam::openFileNames(nullptr, QStringLiteral("Pick"), QStringLiteral("*")), QStringList({"/a", "/b"}));
        QCOMPARE(seam::pendingAnswerCount(), 0);
        QCOMPARE(seam::unexpectedPromptCount(), 0);

        QTest::ignoreMessage(QtWarningMsg, QRegularExpression("unexpected prompt"));
        QCOMPARE(seam::message(nullptr, QMessageBox::Question, QStringLiteral("Confirm"), QStringLiteral("q2"),
                               QMessageBox::Yes | QMessageBox::No),
                 QMessageBox::No);
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression("unexpected prompt"));
        QCOMPARE(seam::saveFileName(nullptr, QStringLiteral("Save"), QStringLiteral("*.mbk"), QStringLiteral("mbk")),
                 QString());
        QDialog dialog;
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression("unexpected prompt"));
        QCOMPARE(seam::exec(&dialog), int(QDialog::Rejected));
        QCOMPARE(seam::unexpectedPromptCount(), 3);
        QCOMPARE(seam::shownFileDialogs().last().defaultSuffix, QStringLiteral("mbk"));
        QVERIFY(seam::shownFileDialogs().last().save);
        seam::clearTestState();
        QVERIFY(seam::testMode());
        QCOMPARE(seam::unexpectedPromptCount(), 0);
    }
};

QTEST_MAIN(TestSmallDialogs)
#include "tst_smalldialogs.moc"
