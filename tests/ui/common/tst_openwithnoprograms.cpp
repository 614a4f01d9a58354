// SPDX-License-Identifier: GPL-3.0-or-later
// The program chooser where the registry knows no program at all.
#include "testopenwith.h"
#include "testseam.h"

#include <QPushButton>
#include <QTemporaryDir>
#include <QtTest>

class TestOpenWithNoPrograms : public QObject {
    Q_OBJECT
private:
    QTemporaryDir empty;

private slots:
    void initTestCase()
    {
        seam::enableTestMode();
        QVERIFY(empty.isValid());
        for (const char* name : {"XDG_DATA_DIRS", "XDG_DATA_HOME", "XDG_CONFIG_HOME", "XDG_CONFIG_DIRS"})
            qputenv(name, QFile::encodeName(empty.path()));
    }

    void saysSoAndOffersNothingToConfirm()
    {
        OpenWithDialog dialog("/tmp/notes.txt", 0, nullptr);
        Chooser ui(dialog);
        QVERIFY(ui.ckShowAll->isChecked());
        QCOMPARE(ui.listApplications->count(), 1);
        QCOMPARE(ui.listApplications->item(0)->text(), OpenWithDialog::NoApplicationsText);
        QVERIFY(!(ui.listApplications->item(0)->flags() & Qt::ItemIsEnabled));
        QVERIFY(!ui.buttons->button(QDialogButtonBox::Ok)->isEnabled());
        QVERIFY(dialog.selectedApplicationId().isEmpty());

        ui.ckShowAll->setChecked(false);
        QCOMPARE(ui.listApplications->count(), 1);
        dialog.setResult(QDialog::Rejected);
        dialog.accept();
        QCOMPARE(dialog.result(), int(QDialog::Rejected));
        QVERIFY(seam::shownMessages().isEmpty());
        QCOMPARE(seam::unexpectedPromptCount(), 0);
    }
};

QTEST_MAIN(TestOpenWithNoPrograms)
#include "tst_openwithnoprograms.moc"
