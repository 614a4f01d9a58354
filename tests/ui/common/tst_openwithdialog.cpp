// SPDX-License-Identifier: GPL-3.0-or-later
// The program chooser over a registry of our own: desktop entries in a temporary data folder whose
// program records how it was called, and a default program chosen in mimeapps.list.
#include "testopenwith.h"
#include "testseam.h"
#include "testutil.h"
#include "ui/common/desktop.h"

#include "ui/common/openwithdialog.h"

#include <QCheckBox>
#include <QDialogButtonBox>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QTemporaryDir>
#include <QtTest>

#include <memory>

namespace {

void writeFile(const QString& path, const QByteArray& text)
{
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(text);
}

QStringList rowTexts(const QListWidget* list)
{
    QStringList texts;
    for (int i = 0; i < list->count(); ++i)
        texts.append(list->item(i)->text());
    return texts;
}

void selectRow(OpenWithDialog& dialog, const QString& text)
{
    QListWidget* programs = Chooser(dialog).listApplications;
    const QList<QListWidgetItem*> found = programs->findItems(text, Qt::MatchExactly);
    QVERIFY2(found.size() == 1, qPrintable(text));
    programs->setCurrentItem(found.first());
}

}  // namespace

class TestOpenWithDialog : public QObject {
    Q_OBJECT
private:
    std::unique_ptr<QTemporaryDir> root;
    QString recorder;

    QString path(const QString& relative) const { return QDir(root->path()).filePath(relative); }

    void addEntry(const QByteArray& id, const QByteArray& name, const QByteArray& exec, const QByteArray& types)
    {
        writeFile(path("share/applications/" + QString::fromLatin1(id)),
                  "[Desktop Entry]\nType=Application\nName=" + name + "\nExec=" + exec + " %u\nMimeType=" + types
                      + "\nIcon=text-x-generic\n");
    }

    // The recorded call, once the launched program has written it; empty when nothing ran in time.
    QStringList recordedCall(int waitMs)
    {
        QFile output(recorder + QStringLiteral(".out"));
        QElapsedTimer clock;
        clock.start();
        while (!output.exists() && clock.elapsed() < waitMs)
            QTest::qWait(20);
        if (!output.open(QIODevice::ReadOnly))
            return {};
        const QStringList lines = QString::fromUtf8(output.readAll()).split('\n');
        output.remove();
        return lines;
    }

private slots:
    void initTestCase()
    {
        seam::enableTestMode();
        root = std::make_unique<QTemporaryDir>();
        QVERIFY(root->isValid());
        QDir(root->path()).mkpath("share/applications");
        QDir(root->path()).mkpath("config");
        recorder = path("record.sh");
        writeFile(recorder,
                  "#!/bin/sh\nprintf '%s\\n' \"$#\" \"$1\" > \"$0.out.tmp\" && mv \"$0.out.tmp\" \"$0.out\"\n");
        QFile::setPermissions(recorder, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        const QByteArray exec = QFile::encodeName(recorder);
        addEntry("varnelo-test-viewer.desktop", "Test Viewer", exec, "text/plain;");
        addEntry("varnelo-test-editor.desktop", "Test Editor", exec, "text/plain;");
        addEntry("varnelo-test-painter.desktop", "Test Painter", exec, "image/png;");
        // A program that is there while the registry is read and gone when it is launched.
        writeFile(path("vanishing.sh"), "#!/bin/sh\n");
        QFile::setPermissions(path("vanishing.sh"), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        addEntry("varnelo-test-broken.desktop", "Test Broken", QFile::encodeName(path("vanishing.sh")), "text/plain;");
        writeFile(path("share/applications/mimeinfo.cache"),
                  "[MIME Cache]\ntext/plain=varnelo-test-viewer.desktop;varnelo-test-editor.desktop;"
                  "varnelo-test-broken.desktop;\nimage/png=varnelo-test-painter.desktop;\n");
        writeFile(path("config/mimeapps.list"), "[Default Applications]\ntext/plain=varnelo-test-editor.desktop\n");
        // Set before GIO first reads its registry; the system folder stays for the type database.
        qputenv("XDG_DATA_DIRS", QFile::encodeName(path("share")) + ":/usr/share");
        qputenv("XDG_DATA_HOME", QFile::encodeName(path("home-share")));
        qputenv("XDG_CONFIG_HOME", QFile::encodeName(path("config")));
        qputenv("XDG_CONFIG_DIRS", QFile::encodeName(path("config-dirs")));
    }

    void init() { seam::clearTestState(); }
    void cleanup() { QCOMPARE(seam::unexpectedPromptCount(), 0); }

    void listsTheProgramsForTheTypeDefaultFirstAndSelected()
    {
        OpenWithDialog dialog("/tmp/notes.txt", 0, nullptr);
        Chooser ui(dialog);
        QCOMPARE(dialog.windowTitle(), QStringLiteral("Open With"));
        QCOMPARE(dialog.contentType(), QStringLiteral("text/plain"));
        QCOMPARE(dialog.url(), QUrl::fromLocalFile("/tmp/notes.txt"));
        QVERIFY(ui.lblTarget->text().contains("notes.txt"));
        const QStringList rows = rowTexts(ui.listApplications);
        QCOMPARE(rows.value(0), QStringLiteral("Test Editor"));
        QVERIFY(rows.contains("Test Viewer"));
        QVERIFY(!rows.contains("Test Painter"));
        QCOMPARE(dialog.selectedApplicationId(), QStringLiteral("varnelo-test-editor.desktop"));
        QVERIFY(ui.listApplications->item(0)->font().bold());
        QVERIFY(!ui.ckShowAll->isChecked());
        QVERIFY(ui.buttons->button(QDialogButtonBox::Ok)->isEnabled());
        QVERIFY(!ui.listApplications->item(0)->icon().isNull());
    }

    void showAllAddsEveryOtherProgramAfterTheTypesOwn()
    {
        OpenWithDialog dialog("/tmp/notes.txt", 0, nullptr);
        Chooser ui(dialog);
        const int forType = ui.listApplications->count();
        ui.ckShowAll->setChecked(true);
        QStringList rows = rowTexts(ui.listApplications);
        QVERIFY(rows.contains("Test Painter"));
        QVERIFY(rows.indexOf("Test Painter") >= forType);
        QCOMPARE(rows.value(0), QStringLiteral("Test Editor"));
        QCOMPARE(rows.count("Test Viewer"), 1);
        ui.ckShowAll->setChecked(false);
        QVERIFY(!rowTexts(ui.listApplications).contains("Test Painter"));
    }

    void withNoProgramForTheTypeEveryProgramIsOffered()
    {
        OpenWithDialog dialog("varnelotest:thing", 1, nullptr);
        Chooser ui(dialog);
        QCOMPARE(dialog.contentType(), QStringLiteral("x-scheme-handler/varnelotest"));
        QVERIFY(ui.ckShowAll->isChecked());
        const QStringList rows = rowTexts(ui.listApplications);
        QVERIFY(rows.contains("Test Painter"));
        QVERIFY(rows.contains("Test Viewer"));
    }

    void okLaunchesTheChosenProgramOnTheTarget()
    {
        const QString target = QStringLiteral("/tmp/plan; $(touch x) 'q'.txt");
        OpenWithDialog dialog(target.toStdString(), 0, nullptr);
        Chooser ui(dialog);
        selectRow(dialog, "Test Viewer");
        QCOMPARE(dialog.selectedApplicationId(), QStringLiteral("varnelo-test-viewer.desktop"));
        ui.buttons->button(QDialogButtonBox::Ok)->click();
        QCOMPARE(dialog.result(), int(QDialog::Accepted));
        const QStringList call = recordedCall(10000);
        QCOMPARE(call.value(0), QStringLiteral("1"));
        const QString argument = call.value(1);
        QCOMPARE(argument.startsWith("file:") ? QUrl(argument).toLocalFile() : argument, target);
    }

    void doubleClickOnAProgramLaunchesIt()
    {
        OpenWithDialog dialog("/tmp/other.txt", 0, nullptr);
        Chooser ui(dialog);
        dialog.show();
        QVERIFY(QTest::qWaitForWindowExposed(&dialog));
        QListWidgetItem* viewer = ui.listApplications->findItems("Test Viewer", Qt::MatchExactly).value(0);
        QVERIFY(viewer);
        ui.listApplications->scrollToItem(viewer);
        const QPoint at = ui.listApplications->visualItemRect(viewer).center();
        QTest::mouseClick(ui.listApplications->viewport(), Qt::LeftButton, {}, at);
        QTest::mouseDClick(ui.listApplications->viewport(), Qt::LeftButton, {}, at);
        QCOMPARE(dialog.result(), int(QDialog::Accepted));
        QVERIFY(recordedCall(10000).value(1).endsWith("other.txt"));
    }

    void failedLaunchIsReportedAndTheChooserStaysOpen()
    {
        OpenWithDialog dialog("/tmp/notes.txt", 0, nullptr);
        Chooser ui(dialog);
        dialog.setResult(QDialog::Rejected);
        selectRow(dialog, "Test Broken");
        QVERIFY(QFile::remove(path("vanishing.sh")));
        dialog.accept();
        QCOMPARE(dialog.result(), int(QDialog::Rejected));
        QCOMPARE(seam::shownMessages().size(), 1);
        QCOMPARE(seam::shownMessages().first().caption, QStringLiteral("Open With"));
        QCOMPARE(seam::shownMessages().first().icon, QMessageBox::Warning);
        QVERIFY(!seam::shownMessages().first().text.isEmpty());
    }

    void cancelLaunchesNothing()
    {
        OpenWithDialog dialog("/tmp/notes.txt", 0, nullptr);
        Chooser ui(dialog);
        ui.buttons->button(QDialogButtonBox::Cancel)->click();
        QCOMPARE(dialog.result(), int(QDialog::Rejected));
        QVERIFY(recordedCall(500).isEmpty());
    }

    void desktopOpenWithShowsTheChooserForTheTargetThroughTheSeam()
    {
        QUrl shownFor;
        seam::pushDialogHandler([&](QDialog* shown) {
            auto* chooser = qobject_cast<OpenWithDialog*>(shown);
            if (chooser)
                shownFor = chooser->url();
            return int(QDialog::Rejected);
        });
        Desktop::instance().openWith("www.example.com", 1, nullptr);
        QCOMPARE(shownFor, QUrl("http://www.example.com"));
        QCOMPARE(seam::shownDialogs().size(), 1);

        seam::clearTestState();
        Desktop::instance().openWith("   ", 0, nullptr);
        QVERIFY(seam::shownDialogs().isEmpty());
    }
};

QTEST_MAIN(TestOpenWithDialog)
#include "tst_openwithdialog.moc"
