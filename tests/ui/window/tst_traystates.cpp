// SPDX-License-Identifier: GPL-3.0-or-later
// The three window states (shown, hidden in the tray, hidden without icon), the settings that govern
// them, the tray icon's actions, and the wake-up by a second start through the real local socket.
#include "testseam.h"
#include "testutil.h"

#include "shell/appsettings.h"
#include "shell/singleinstance.h"
#include "ui/window/tsdiappform.h"

#include <QMenu>
#include <QSignalSpy>
#include <QSystemTrayIcon>
#include <QUuid>
#include <QtTest>

#include <thread>

using namespace testutil;

class TestTrayStates : public QObject {
    Q_OBJECT

private:
    std::unique_ptr<Sandbox> sandbox;
    std::unique_ptr<TSDIAppForm> window;

    void openShown()
    {
        window = std::make_unique<TSDIAppForm>();
        window->show();
        QVERIFY(QTest::qWaitForWindowExposed(window.get()));
    }

    bool iconVisible() const { return trayIconShown(window.get()); }
    QAction* command(const char* name) const { return action(window.get(), name); }

private slots:
    void initTestCase() { seam::enableTestMode(); }

    void init()
    {
        seam::clearTestState();
        sandbox = std::make_unique<Sandbox>(true);
    }

    void cleanup()
    {
        window.reset();
        sandbox.reset();
        QCOMPARE(seam::unexpectedPrompts(), QStringList());
    }

    void creation_AddsIconOnlyWhenAutohideAlwaysOrAutorunIsOn_data()
    {
        QTest::addColumn<bool>("autohide");
        QTest::addColumn<bool>("always");
        QTest::addColumn<bool>("autorun");
        QTest::addColumn<bool>("minitray");
        QTest::addColumn<bool>("icon");
        QTest::newRow("none") << false << false << false << true << false;
        QTest::newRow("autohide") << true << false << false << false << true;
        QTest::newRow("always") << false << true << false << false << true;
        QTest::newRow("autorun alone") << false << false << true << false << true;
    }

    void creation_AddsIconOnlyWhenAutohideAlwaysOrAutorunIsOn()
    {
        QFETCH(bool, autohide);
        QFETCH(bool, always);
        QFETCH(bool, autorun);
        QFETCH(bool, minitray);
        QFETCH(bool, icon);
        AppSettings.autohide = autohide;
        AppSettings.always = always;
        AppSettings.autorun = autorun;
        AppSettings.minitray = minitray;
        window = std::make_unique<TSDIAppForm>();
        QCOMPARE(iconVisible(), icon);
        if (icon) {
            QCOMPARE(trayIcon(window.get())->toolTip(), QStringLiteral("Varnelo"));
            QCOMPARE(trayIcon(window.get())->contextMenu(), menu(window.get(), "menuTray"));
        }
    }

    void minimizeWithMinitray_HidesInTheTray()
    {
        AppSettings.minitray = true;
        openShown();
        window->showMinimized();
        QTRY_VERIFY(!window->isVisible());
        QVERIFY(!window->isMinimized());
        QVERIFY(iconVisible());
    }

    void minimizeWithoutMinitray_MinimizesAndLeavesTheIcon()
    {
        openShown();
        window->showMinimized();
        // The window answers a minimize with a queued call: let everything queued run.
        QCoreApplication::sendPostedEvents();
        QCoreApplication::processEvents();
        QVERIFY(window->isMinimized());
        QVERIFY(!iconVisible());
    }

    void closeWithClosetray_HidesInTheTrayAndExitStillEnds()
    {
        AppSettings.closetray = true;
        openShown();
        QSignalSpy closed(window.get(), &TSDIAppForm::closed);
        QVERIFY(!window->close());
        QVERIFY(!window->isVisible());
        QVERIFY(iconVisible());
        QCOMPARE(closed.count(), 0);

        command("TrayShowWindow")->trigger();
        QVERIFY(window->isVisible());
        QVERIFY(!iconVisible());  // always is off
        command("OnFileExit")->trigger();
        QCOMPARE(closed.count(), 1);
        QVERIFY(!window->isVisible());
    }

    void closeWithoutClosetray_Ends()
    {
        openShown();
        QSignalSpy closed(window.get(), &TSDIAppForm::closed);
        QVERIFY(window->close());
        QCOMPARE(closed.count(), 1);
        QVERIFY(!iconVisible());
    }

    void trayExit_EndsFromTheHiddenState()
    {
        AppSettings.closetray = true;
        AppSettings.autohide = true;
        window = std::make_unique<TSDIAppForm>();  // started hidden, icon added
        QVERIFY(iconVisible());
        QSignalSpy closed(window.get(), &TSDIAppForm::closed);
        command("Exit1")->trigger();
        QCOMPARE(closed.count(), 1);
        // Exiting holds: shown again, the window closes instead of hiding in the tray.
        window->show();
        QVERIFY(window->close());
        QCOMPARE(closed.count(), 2);
    }

    void alwaysOff_ShowingRemovesTheIconAndHidingAddsItAgain()
    {
        AppSettings.closetray = true;
        openShown();
        window->close();
        QVERIFY(iconVisible());
        emit trayIcon(window.get())->activated(QSystemTrayIcon::DoubleClick);
        QVERIFY(window->isVisible());
        QVERIFY(!iconVisible());
        window->close();
        QVERIFY(iconVisible());
    }

    void alwaysOn_IconStaysFromCreationToTheEnd()
    {
        AppSettings.always = true;
        AppSettings.closetray = true;
        openShown();
        QVERIFY(iconVisible());
        window->close();
        command("TrayShowWindow")->trigger();
        QVERIFY(window->isVisible());
        QVERIFY(iconVisible());
    }

    void singleClickDoesNothingDoubleClickShows()
    {
        AppSettings.autohide = true;
        window = std::make_unique<TSDIAppForm>();
        emit trayIcon(window.get())->activated(QSystemTrayIcon::Trigger);
        QVERIFY(!window->isVisible());
        emit trayIcon(window.get())->activated(QSystemTrayIcon::DoubleClick);
        QVERIFY(window->isVisible());
    }

    void showWindowEntry_OnAVisibleWindowOnlyRaisesIt()
    {
        AppSettings.autorun = true;
        openShown();
        QVERIFY(iconVisible());
        command("TrayShowWindow")->trigger();
        QVERIFY(window->isVisible());
        QVERIFY(iconVisible());  // no restore, so the icon is not removed
        window->hide();
        command("TrayShowWindow")->trigger();
        QVERIFY(window->isVisible());
        QVERIFY(!iconVisible());
    }

    void noNotificationArea_MinimizeAndCloseActAsWithTheFlagsOff()
    {
        sandbox.reset();
        sandbox = std::make_unique<Sandbox>(false);
        AppSettings.minitray = true;
        AppSettings.closetray = true;
        openShown();
        window->showMinimized();
        // The window answers a minimize with a queued call: let everything queued run.
        QCoreApplication::sendPostedEvents();
        QCoreApplication::processEvents();
        QVERIFY(window->isMinimized());
        QVERIFY(window->isVisible());
        QSignalSpy closed(window.get(), &TSDIAppForm::closed);
        QVERIFY(window->close());
        QCOMPARE(closed.count(), 1);
    }

    void secondStart_WakesAHiddenWindowThroughTheLocalSocket()
    {
        const QString name = QStringLiteral("varnelo-test-") + QUuid::createUuid().toString(QUuid::WithoutBraces);
        SingleInstance first(name);
        QVERIFY(first.claim());
        // Started with "/tray" and no tray flag: hidden without icon.
        window = std::make_unique<TSDIAppForm>();
        connect(&first, &SingleInstance::wakeRequested, window.get(), &TSDIAppForm::wakeFromSecondInstance);
        QVERIFY(!window->isVisible());
        QVERIFY(!iconVisible());

        bool secondClaimed = true;
        std::thread second([&] {
            SingleInstance other(name);
            secondClaimed = other.claim();
        });
        QTRY_VERIFY_WITH_TIMEOUT(window->isVisible(), 10000);
        second.join();
        QVERIFY(!secondClaimed);
        QVERIFY(!iconVisible());
    }

    void startsHidden_ByAutohideOrTrayAnywhereInTheCommandLine_data()
    {
        QTest::addColumn<QString>("line");
        QTest::addColumn<bool>("autohide");
        QTest::addColumn<bool>("hidden");
        QTest::newRow("plain") << "/usr/bin/varnelo" << false << false;
        QTest::newRow("switch") << "/usr/bin/varnelo /tray" << false << true;
        QTest::newRow("longer word") << "/usr/bin/varnelo /trayicon" << false << true;
        QTest::newRow("other case") << "/usr/bin/varnelo /TRAY" << false << false;
        QTest::newRow("in the program path") << "/opt/x/tray/varnelo" << false << true;
        QTest::newRow("without slash") << "/usr/bin/varnelo tray" << false << false;
        QTest::newRow("autohide") << "/usr/bin/varnelo" << true << true;
    }

    void startsHidden_ByAutohideOrTrayAnywhereInTheCommandLine()
    {
        QFETCH(QString, line);
        QFETCH(bool, autohide);
        QFETCH(bool, hidden);
        QCOMPARE(TSDIAppForm::startsHidden(line, autohide), hidden);
    }

    void wakeOfAHiddenWindowWithAlways_KeepsTheIcon()
    {
        AppSettings.always = true;
        window = std::make_unique<TSDIAppForm>();
        window->wakeFromSecondInstance();
        QVERIFY(window->isVisible());
        QVERIFY(iconVisible());
    }

    void wakeOfAMinimizedWindow_RestoresIt()
    {
        openShown();
        window->showMinimized();
        QCoreApplication::sendPostedEvents();
        QCoreApplication::processEvents();
        window->wakeFromSecondInstance();
        QTRY_VERIFY(!window->isMinimized());
        QVERIFY(window->isVisible());
    }
};

QTEST_MAIN(TestTrayStates)
#include "tst_traystates.moc"
