// The program chooser where the registry knows no program at all.
#include "ui/dialogseam.h"
#include "ui/openwithdialog.h"

#include <QCheckBox>
#include <QDialogButtonBox>
#include <QListWidget>
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
        QVERIFY(dialog.ckShowAll->isChecked());
        QCOMPARE(dialog.listApplications->count(), 1);
        QCOMPARE(dialog.listApplications->item(0)->text(), OpenWithDialog::NoApplicationsText);
        QVERIFY(!(dialog.listApplications->item(0)->flags() & Qt::ItemIsEnabled));
        QVERIFY(!dialog.buttons->button(QDialogButtonBox::Ok)->isEnabled());
        QVERIFY(dialog.selectedApplicationId().isEmpty());

        dialog.ckShowAll->setChecked(false);
        QCOMPARE(dialog.listApplications->count(), 1);
        dialog.setResult(QDialog::Rejected);
        dialog.accept();
        QCOMPARE(dialog.result(), int(QDialog::Rejected));
        QVERIFY(seam::shownMessages().isEmpty());
        QCOMPARE(seam::unexpectedPromptCount(), 0);
    }
};

QTEST_MAIN(TestOpenWithNoPrograms)
#include "tst_openwithnoprograms.moc"
