// SPDX-License-Identifier: GPL-3.0-or-later
// The window at twice the scale on a 1280 x 1024 screen (640 x 512 to the program): every window of
// ours lies on the screen and Ctrl+K reaches the quick-find field.
#include "testseam.h"
#include "testutil.h"

#include "ui/check/cataloguecheckwindow.h"
#include "ui/views/itemlistview.h"

#include <QDialog>
#include <QLineEdit>
#include <QScreen>
#include <QTemporaryDir>
#include <QtTest>

#include <cstdlib>
#include <fstream>
#include <string>

using namespace testutil;

class TestLargeScale : public WindowTestCase {
    Q_OBJECT

private:
    QRect screenArea() const { return window->screen()->availableGeometry(); }

private slots:
    void quickFindStaysInTheToolbarAndCtrlKReachesIt()
    {
        QCOMPARE(screenArea().size(), QSize(640, 512));
        window->show();
        QApplication::setActiveWindow(window.get());
        QVERIFY(QTest::qWaitForWindowActive(window.get()));
        QVERIFY2(screenArea().contains(window->frameGeometry()),
                 qPrintable(QStringLiteral("%1,%2 %3x%4 min %5")
                                .arg(window->frameGeometry().x())
                                .arg(window->frameGeometry().y())
                                .arg(window->frameGeometry().width())
                                .arg(window->frameGeometry().height())
                                .arg(QStringLiteral("%1 hint %2 geo %3")
                                         .arg(window->minimumWidth())
                                         .arg(window->minimumSizeHint().width())
                                         .arg(window->geometry().width()))));
        auto* field = child<QLineEdit>(window.get(), "QuickFind");
        QTRY_VERIFY(field->isVisible());
        list(window.get())->setFocus(Qt::TabFocusReason);
        QTest::keyClick(list(window.get()), Qt::Key_K, Qt::ControlModifier);
        QCOMPARE(QApplication::focusWidget(), field);
    }

    // Fault caught: a window wider than the screen opening with a part of it out of reach.
    void everyWindowOpensWithinTheScreen()
    {
        window->show();
        QVERIFY(QTest::qWaitForWindowExposed(window.get()));
        QStringList outside;
        const QRect area = screenArea();
        for (const char* name : {"OnToolsSettings", "AddNewItem2", "OnFileRestoreAutomatic", "OnToolsBackupSettings",
                                 "OnToolsSyncSettings", "CopyTo1", "AddCategoryItem"}) {
            seam::pushDialogHandler([&outside, area](QDialog* dialog) {
                dialog->show();
                if (!area.contains(dialog->frameGeometry()))
                    outside << dialog->metaObject()->className() + QStringLiteral(" at ")
                                   + QString::number(dialog->frameGeometry().x()) + QLatin1Char(',')
                                   + QString::number(dialog->frameGeometry().y()) + QLatin1Char(' ')
                                   + QString::number(dialog->frameGeometry().width()) + QLatin1Char('x')
                                   + QString::number(dialog->frameGeometry().height());
                return int(QDialog::Rejected);
            });
            action(window.get(), name)->trigger();
            seam::clearTestState();
        }
        action(window.get(), "ToolsCheckCatalogue")->trigger();
        auto* results = window->findChild<CatalogueCheckWindow*>();
        QVERIFY(QTest::qWaitForWindowExposed(results));
        if (!area.contains(results->frameGeometry()))
            outside << QStringLiteral("CatalogueCheckWindow");
        QCOMPARE(outside.join(QStringLiteral(", ")), QString());
    }
};

// A screen of 1280 x 1024 at twice the scale, as a high-density laptop shows the program; set before
// the application starts.
int main(int argc, char** argv)
{
    QTemporaryDir folder;
    const std::string config = folder.filePath(QStringLiteral("screens.json")).toStdString();
    std::ofstream(config) << R"({"screens": [{"name": "large", "x": 0, "y": 0, "width": 1280, "height": 1024,)"
                             R"( "logicalDpi": 96, "logicalBaseDpi": 96, "dpr": 1}]})";
    qputenv("QT_QPA_PLATFORM", QByteArray("offscreen:configfile=") + QByteArray::fromStdString(config));
    qputenv("QT_SCALE_FACTOR", "2");
    QApplication app(argc, argv);
    TestLargeScale test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_largescale.moc"
