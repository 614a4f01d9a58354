// SPDX-License-Identifier: GPL-3.0-or-later
// The progress dialog of long commands: when it appears, and what Cancel does.
#include "ui/common/progressreporter.h"

#include <QElapsedTimer>
#include <QMainWindow>
#include <QProgressDialog>
#include <QPushButton>
#include <QtTest>

namespace {

QProgressDialog* shownDialog(QWidget& owner)
{
    auto* dialog = owner.findChild<QProgressDialog*>(QStringLiteral("ProgressDialog"));
    return dialog && dialog->isVisible() ? dialog : nullptr;
}

// Reports unfinished work until the dialog shows; the time it took.
qint64 workUntilShown(ProgressReporter& progress, QWidget& owner)
{
    QElapsedTimer clock;
    clock.start();
    while (!shownDialog(owner) && clock.elapsed() < 10000)
        progress.advance(1, 10);
    return clock.elapsed();
}

}  // namespace

class TestProgressReporter : public QObject {
    Q_OBJECT

private slots:
    void dialogAppearsOnlyAfterHalfASecondAndCancelStopsTheWork()
    {
        QMainWindow owner;
        owner.show();
        ProgressReporter progress(&owner, QStringLiteral("Adding to the catalogue..."), true);
        QVERIFY(workUntilShown(progress, owner) >= ProgressReporter::showAfterMs);
        QProgressDialog* dialog = shownDialog(owner);
        QVERIFY(dialog);
        QCOMPARE(dialog->labelText(), QStringLiteral("Adding to the catalogue..."));
        QVERIFY(progress.advance(2, 10));
        dialog->findChild<QPushButton*>()->click();
        QVERIFY(!progress.advance(3, 10));
    }

    void workThatCannotStopHasNoCancelAndGoesOn()
    {
        QMainWindow owner;
        owner.show();
        ProgressReporter progress(&owner, QStringLiteral("Deleting the category..."), false);
        workUntilShown(progress, owner);
        QProgressDialog* dialog = shownDialog(owner);
        QVERIFY(dialog);
        QVERIFY(!dialog->findChild<QPushButton*>());
        dialog->cancel();
        QVERIFY(progress.advance(5, 10));
    }
};

QTEST_MAIN(TestProgressReporter)
#include "tst_progressreporter.moc"
