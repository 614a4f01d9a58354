// SPDX-License-Identifier: GPL-3.0-or-later
// The real desktop services, with Qt's own URL handlers standing in for the programs they would
// start, and the file-type icons.
#include "testseam.h"
#include "ui/common/desktop.h"
#include "ui/views/fileicons.h"

#include <QDesktopServices>
#include <QtTest>

class UrlCatcher : public QObject {
    Q_OBJECT
public:
    QList<QUrl> opened;

public slots:
    void open(const QUrl& url) { opened.append(url); }
};

class FakeDesktop : public Desktop {
public:
    QStringList calls;
    void openTarget(const std::string& target, int type) override
    {
        calls.append(QStringLiteral("open %1 %2").arg(QString::fromStdString(target)).arg(type));
    }
};

class TestDesktop : public QObject {
    Q_OBJECT
private:
    UrlCatcher catcher;
    const QStringList schemes{"file", "http", "https", "mailto"};

private slots:
    void initTestCase()
    {
        seam::enableTestMode();
        // No file manager on the session bus: showing a file falls back to its folder.
        qputenv("DBUS_SESSION_BUS_ADDRESS", "unix:path=/nonexistent/varnelo-test-bus");
        for (const QString& scheme : schemes)
            QDesktopServices::setUrlHandler(scheme, &catcher, "open");
    }

    void cleanupTestCase()
    {
        for (const QString& scheme : schemes)
            QDesktopServices::unsetUrlHandler(scheme);
    }

    void init()
    {
        catcher.opened.clear();
        seam::clearTestState();
    }

    void openTargetOpensTheTargetsUrl()
    {
        Desktop& desktop = Desktop::instance();
        desktop.openTarget("/home/ann/My Docs/a;b.txt", 0);
        desktop.openTarget("www.example.com", 1);
        desktop.openTarget("https://example.com/x", 1);
        desktop.openTarget("mailto:help@example.com", 0);
        QCOMPARE(catcher.opened.size(), 4);
        QCOMPARE(catcher.opened[0].toLocalFile(), QStringLiteral("/home/ann/My Docs/a;b.txt"));
        QCOMPARE(catcher.opened[1], QUrl("http://www.example.com"));
        QCOMPARE(catcher.opened[2], QUrl("https://example.com/x"));
        QCOMPARE(catcher.opened[3], QUrl("mailto:help@example.com"));
    }

    void emptyTargetOpensNothing()
    {
        Desktop::instance().openTarget("", 0);
        Desktop::instance().openTarget("  ", 1);
        Desktop::instance().openUrl(QUrl());
        QVERIFY(catcher.opened.isEmpty());
    }

    void showInFolderWithoutFileManagerOpensTheFolder()
    {
        Desktop::instance().showInFolder("/srv/share/plan 1.odt");
        QCOMPARE(catcher.opened.size(), 1);
        QCOMPARE(catcher.opened[0], QUrl::fromLocalFile("/srv/share"));
        QVERIFY(seam::shownMessages().isEmpty());
    }

    void showInFolderOfAWebAddressDoesNothing()
    {
        Desktop::instance().showInFolder("https://example.com/a");
        QVERIFY(catcher.opened.isEmpty());
    }

    void openUrlOpensTheLink()
    {
        Desktop::instance().openUrl(QUrl("https://example.com/help"));
        QCOMPARE(catcher.opened, QList<QUrl>{QUrl("https://example.com/help")});
    }

    void replacementTakesOverUntilReset()
    {
        FakeDesktop fake;
        Desktop::setInstance(&fake);
        Desktop::instance().openTarget("/tmp/a.txt", 0);
        Desktop::setInstance(nullptr);
        Desktop::instance().openTarget("/tmp/b.txt", 0);
        QCOMPARE(fake.calls, QStringList{"open /tmp/a.txt 0"});
        QCOMPARE(catcher.opened.size(), 1);
        QCOMPARE(catcher.opened[0].toLocalFile(), QStringLiteral("/tmp/b.txt"));
    }

    void fileTypeIconsComeFromTheThemeByTypeThenGenericType()
    {
        QCOMPARE(fileTypeIcon("notes.txt").name(), QStringLiteral("text-x-generic"));
        QCOMPARE(fileTypeIcon("/photos/Holiday.PNG").name(), QStringLiteral("image-x-generic"));
        QCOMPARE(fileTypeIcon("song.mp3").name(), QStringLiteral("audio-x-generic"));
        QCOMPARE(fileTypeIcon("index.html").name(), QStringLiteral("text-html"));
        // No specific icon for PDF in the theme: the generic type's icon stands in.
        QVERIFY(!fileTypeIcon("manual.pdf").isNull());
        QVERIFY(!fileTypeIcon("manual.pdf").name().isEmpty());
    }

    void unknownOrMissingNamesStillGetAPlainFileIcon()
    {
        QVERIFY(!fileTypeIcon("data.zzqvarnelo").isNull());
        QVERIFY(!fileTypeIcon("Makefile").isNull());
        QVERIFY(!fileTypeIcon("").isNull());
        QVERIFY(!fileTypeIcon("C:\\Docs\\report.doc").isNull());
    }

    void iconsAreSharedPerExtension()
    {
        QCOMPARE(fileTypeIcon("a.txt").cacheKey(), fileTypeIcon("/other/b.txt").cacheKey());
        QVERIFY(fileTypeIcon("a.txt").cacheKey() != fileTypeIcon("a.png").cacheKey());
        // Distinct names without an extension are distinct types.
        QCOMPARE(fileTypeIcon("/x/Makefile").name(), fileTypeIcon("Makefile").name());
    }

    void webAddressRowsShowTheWebPageIcon()
    {
        QCOMPARE(itemIcon("https://example.com/file.pdf", 1).cacheKey(), fileTypeIcon("index.html").cacheKey());
        QCOMPARE(itemIcon("/tmp/song.mp3", 0).cacheKey(), fileTypeIcon("song.mp3").cacheKey());
    }
};

QTEST_MAIN(TestDesktop)
#include "tst_desktop.moc"
