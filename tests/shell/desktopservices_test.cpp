// SPDX-License-Identifier: GPL-3.0-or-later
#include "shell/desktopservices.h"

#include "base/address.h"
#include "shelltestutil.h"

#include <QCollator>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusVirtualObject>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>

#include <gtest/gtest.h>

#include <memory>

namespace {

QString localPath(const std::string& target, int type)
{
    const QUrl url = targetUrl(target, type);
    EXPECT_TRUE(url.isLocalFile()) << url.toString().toStdString();
    return url.toLocalFile();
}

}  // namespace

TEST(TargetUrl, KeepsATargetWithASchemeAsThatUrl)
{
    EXPECT_EQ(targetUrl("https://example.com/a?b=1#c", 1), QUrl("https://example.com/a?b=1#c"));
    EXPECT_EQ(targetUrl("ftp://files.example.com/x", 1).scheme(), "ftp");
    // The scheme wins over the item type, as the shell would open it.
    EXPECT_EQ(targetUrl("mailto:someone@example.com", 0), QUrl("mailto:someone@example.com"));
    EXPECT_EQ(targetUrl("file:///tmp/report.pdf", 0).toLocalFile(), "/tmp/report.pdf");
}

TEST(TargetUrl, WebAddressWithoutSchemeOpensAsHttp)
{
    EXPECT_EQ(targetUrl("www.example.com/page.html", 1), QUrl("http://www.example.com/page.html"));
    EXPECT_EQ(targetUrl("example.com:8080/x", 1).scheme(), "http");
    EXPECT_EQ(targetUrl("example.com:8080/x", 1).port(), 8080);
    EXPECT_EQ(targetUrl("localhost:3000", 1), QUrl("http://localhost:3000"));
}

// A web item is opened where the link check looks: "localhost:3000?q=1" once opened as the scheme
// "localhost:" while the check fetched http://localhost:3000?q=1.
TEST(TargetUrl, WebAddressOpensWhereTheLinkCheckLooks)
{
    EXPECT_EQ(targetUrl("localhost:3000?q=1", 1), QUrl("http://localhost:3000?q=1"));
    for (const char* target : {"localhost:3000?q=1", "localhost:3000#top", "example.com:8080", "example.com/a",
                               "https://example.com/a?b=1", "mailto:ann@example.com"})
        EXPECT_EQ(targetUrl(target, 1).toString(QUrl::FullyEncoded).toStdString(), webAddressOf(target, 1)) << target;
}

TEST(TargetUrl, FileTargetsStayOneExactPath)
{
    EXPECT_EQ(localPath("/home/ann/My Documents/plan 2024.odt", 0), "/home/ann/My Documents/plan 2024.odt");
    EXPECT_EQ(localPath("/tmp/a;rm -rf ~;b$HOME`id`.txt", 0), "/tmp/a;rm -rf ~;b$HOME`id`.txt");
    EXPECT_EQ(localPath("/tmp/50% off #1?.txt", 0), "/tmp/50% off #1?.txt");
    EXPECT_EQ(localPath("/tmp/it's \"quoted\".txt", 0), "/tmp/it's \"quoted\".txt");
    EXPECT_EQ(localPath("/tmp/\xc3\xa9t\xc3\xa9.txt", 0), QString::fromUtf8("/tmp/\xc3\xa9t\xc3\xa9.txt"));
}

TEST(TargetUrl, BytesThatAreNotUtf8ReachTheUrlAsThemselves)
{
    const QUrl file = targetUrl("/tmp/caf\xE9 menu.txt", 0);
    EXPECT_EQ(file.toEncoded(), "file:///tmp/caf%E9%20menu.txt");
    EXPECT_EQ(localPathBytes(file), "/tmp/caf\xE9 menu.txt");
    EXPECT_EQ(containingFolderUrl("/tmp/d\xE9j\xE0/caf\xE9.txt").toEncoded(), "file:///tmp/d%E9j%E0");
    EXPECT_EQ(targetUrl("https://example.org/caf\xE9", 1).toEncoded(), "https://example.org/caf%E9");
    EXPECT_EQ(contentTypeForUrl(file), QStringLiteral("text/plain"));
}

TEST(TargetUrl, BlanksAndEnclosingQuotesAroundATargetAreDropped)
{
    EXPECT_EQ(localPath("  /tmp/report.pdf \t", 0), "/tmp/report.pdf");
    EXPECT_EQ(localPath("\"/tmp/with blank.pdf\"", 0), "/tmp/with blank.pdf");
    EXPECT_EQ(targetUrl(" \"https://example.com\" ", 1), QUrl("https://example.com"));
}

TEST(TargetUrl, EmptyTargetGivesNoUrl)
{
    EXPECT_TRUE(targetUrl("", 0).isEmpty());
    EXPECT_TRUE(targetUrl("   ", 1).isEmpty());
    EXPECT_TRUE(targetUrl("\"\"", 0).isEmpty());
}

TEST(TargetUrl, RelativePathIsMadeAbsoluteSoALeadingDashIsNeverAnOption)
{
    const QString here = QDir::currentPath();
    EXPECT_EQ(localPath("docs/notes.txt", 0), here + "/docs/notes.txt");
    EXPECT_EQ(localPath("-rf", 0), here + "/-rf");
    EXPECT_FALSE(targetUrl("-rf", 0).toString().startsWith('-'));
    EXPECT_FALSE(QString::fromUtf8(targetUrl("--help", 0).toEncoded()).startsWith('-'));
    EXPECT_EQ(targetUrl("-x.example.com", 1).scheme(), "http");
}

TEST(TargetUrl, DriveLetterIsNotAScheme)
{
    EXPECT_TRUE(targetUrl("C:\\Docs\\a.txt", 0).isLocalFile());
}

TEST(ContentType, FollowsTheNameOrTheScheme)
{
    EXPECT_EQ(contentTypeForUrl(QUrl::fromLocalFile("/nowhere/notes.txt")), "text/plain");
    EXPECT_EQ(contentTypeForUrl(QUrl::fromLocalFile("/nowhere/page.html")), "text/html");
    EXPECT_EQ(contentTypeForUrl(QUrl("https://example.com")), "x-scheme-handler/https");
    EXPECT_EQ(contentTypeForUrl(QUrl("mailto:a@b.c")), "x-scheme-handler/mailto");
    EXPECT_TRUE(contentTypeForUrl(QUrl()).isEmpty());
}

TEST(ContainingFolder, IsTheFoldersUrl)
{
    EXPECT_EQ(containingFolderUrl("/home/ann/My Docs/a.txt"), QUrl::fromLocalFile("/home/ann/My Docs"));
    EXPECT_TRUE(containingFolderUrl("https://example.com/a").isEmpty());
}

TEST(ShowInFolder, WithoutAFileManagerOpensTheContainingFolder)
{
    ensureApplication();
    QDBusConnection noBus = QDBusConnection::connectToBus(QStringLiteral("unix:path=/nonexistent/varnelo-bus"),
                                                          QStringLiteral("varnelo-no-bus"));
    ASSERT_FALSE(noBus.isConnected());
    QList<QUrl> opened;
    showInFolder(
        "/srv/share/plan 1.odt",
        [&](const QUrl& url) {
            opened.append(url);
            return true;
        },
        noBus);
    ASSERT_EQ(opened.size(), 1);
    EXPECT_EQ(opened.first(), QUrl::fromLocalFile("/srv/share"));
    QDBusConnection::disconnectFromBus(QStringLiteral("varnelo-no-bus"));
}

namespace {

// A file manager on a private bus: records what it is asked to show.
class FakeFileManager : public QDBusVirtualObject {
public:
    QStringList shown;
    QString startupId = QStringLiteral("unset");
    QString member;

    bool handleMessage(const QDBusMessage& message, const QDBusConnection& connection) override
    {
        member = message.interface() + '.' + message.member();
        const QList<QVariant> args = message.arguments();
        if (args.size() == 2) {
            shown += args[0].toStringList();
            startupId = args[1].toString();
        }
        connection.send(message.createReply());
        return true;
    }

    QString introspect(const QString&) const override { return {}; }
};

class PrivateBus {
public:
    PrivateBus()
    {
        daemon.start(QStringLiteral("dbus-daemon"),
                     {QStringLiteral("--session"), QStringLiteral("--nofork"), QStringLiteral("--print-address=1")});
        if (!daemon.waitForStarted(5000) || !daemon.waitForReadyRead(5000))
            return;
        address = QString::fromUtf8(daemon.readLine()).trimmed();
    }
    ~PrivateBus()
    {
        daemon.kill();
        daemon.waitForFinished(5000);
    }
    QString address;

private:
    QProcess daemon;
};

}  // namespace

TEST(ShowInFolder, AsksTheFileManagerToShowTheFileSelected)
{
    ensureApplication();
    PrivateBus bus;
    if (bus.address.isEmpty())
        GTEST_SKIP() << "no dbus-daemon to run a private bus";

    // The file manager answers from its own thread, as another process would.
    QThread serviceThread;
    serviceThread.start();
    auto* manager = new FakeFileManager;
    manager->moveToThread(&serviceThread);
    QDBusConnection service = QDBusConnection::connectToBus(bus.address, QStringLiteral("varnelo-fm"));
    ASSERT_TRUE(service.isConnected());
    ASSERT_TRUE(service.registerService(QStringLiteral("org.freedesktop.FileManager1")));
    ASSERT_TRUE(service.registerVirtualObject(QStringLiteral("/org/freedesktop/FileManager1"), manager));
    QDBusConnection client = QDBusConnection::connectToBus(bus.address, QStringLiteral("varnelo-client"));
    ASSERT_TRUE(client.isConnected());

    int folderOpens = 0;
    showInFolder(
        "/srv/share/plan 1;$x.odt",
        [&](const QUrl&) {
            ++folderOpens;
            return true;
        },
        client);

    service.unregisterObject(QStringLiteral("/org/freedesktop/FileManager1"));
    QDBusConnection::disconnectFromBus(QStringLiteral("varnelo-client"));
    QDBusConnection::disconnectFromBus(QStringLiteral("varnelo-fm"));
    serviceThread.quit();
    serviceThread.wait();
    EXPECT_EQ(folderOpens, 0);
    ASSERT_EQ(manager->shown.size(), 1);
    EXPECT_EQ(QUrl(manager->shown.first()).toLocalFile(), "/srv/share/plan 1;$x.odt");
    EXPECT_EQ(manager->startupId, "");
    EXPECT_EQ(manager->member, "org.freedesktop.FileManager1.ShowItems");
    delete manager;
}

namespace {

// A registry of our own: desktop entries in a temporary data folder whose program records how it
// was called, and a default chosen in mimeapps.list. The environment is set before GIO first looks.
class ApplicationRegistry : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        root = std::make_unique<QTemporaryDir>();
        const QDir dir(root->path());
        dir.mkpath(QStringLiteral("share/applications"));
        dir.mkpath(QStringLiteral("config"));
        recorder = dir.filePath(QStringLiteral("record.sh"));
        writeFile(recorder,
                  "#!/bin/sh\nprintf '%s\\n' \"$#\" \"$1\" > \"$0.out.tmp\" && mv \"$0.out.tmp\" \"$0.out\"\n");
        QFile::setPermissions(recorder, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        addEntry("varnelo-test-viewer.desktop", "Test Viewer", "application/x-varnelo-test;", "text-x-generic");
        addEntry("varnelo-test-editor.desktop", "Test Editor", "application/x-varnelo-test;",
                 "accessories-text-editor");
        addEntry("varnelo-test-painter.desktop", "Test Painter", "image/x-varnelo-test;", "");
        addEntry("varnelo-test-drawer.desktop", "Test Drawer", "image/x-varnelo-test;",
                 "/usr/share/pixmaps/drawer.png");
        // The registry by type is the cache that update-desktop-database writes from MimeType=.
        writeFile(dir.filePath(QStringLiteral("share/applications/mimeinfo.cache")),
                  "[MIME Cache]\napplication/x-varnelo-test=varnelo-test-viewer.desktop;varnelo-test-editor.desktop;\n"
                  "image/x-varnelo-test=varnelo-test-painter.desktop;\n");
        writeFile(dir.filePath(QStringLiteral("config/mimeapps.list")),
                  "[Default Applications]\napplication/x-varnelo-test=varnelo-test-editor.desktop\n");

        for (const char* name : {"XDG_DATA_DIRS", "XDG_DATA_HOME", "XDG_CONFIG_HOME", "XDG_CONFIG_DIRS"})
            saved.append({name, qgetenv(name)});
        qputenv("XDG_DATA_DIRS", QFile::encodeName(dir.filePath(QStringLiteral("share"))) + ":/usr/share");
        qputenv("XDG_DATA_HOME", QFile::encodeName(dir.filePath(QStringLiteral("home-share"))));
        qputenv("XDG_CONFIG_HOME", QFile::encodeName(dir.filePath(QStringLiteral("config"))));
        qputenv("XDG_CONFIG_DIRS", QFile::encodeName(dir.filePath(QStringLiteral("config-dirs"))));
    }

    static void TearDownTestSuite()
    {
        for (const auto& [name, value] : saved) {
            if (value.isNull())
                qunsetenv(name);
            else
                qputenv(name, value);
        }
        saved.clear();
    }

    static void writeFile(const QString& path, const QByteArray& text)
    {
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(text);
    }

    static void addEntry(const char* id, const char* name, const char* types, const char* icon)
    {
        QByteArray text = "[Desktop Entry]\nType=Application\nName=" + QByteArray(name)
                          + "\nExec=" + QFile::encodeName(recorder) + " %u\nMimeType=" + types + "\n";
        if (*icon)
            text += "Icon=" + QByteArray(icon) + "\n";
        writeFile(QDir(root->path()).filePath(QStringLiteral("share/applications/") + id), text);
    }

    // The program writes its output file once it ran; the launch itself does not wait for it.
    static QStringList recordedCall()
    {
        QFile output(recorder + QStringLiteral(".out"));
        QElapsedTimer clock;
        clock.start();
        while (!output.exists() && clock.elapsed() < 10000)
            QThread::msleep(20);
        if (!output.open(QIODevice::ReadOnly))
            return {};
        const QStringList lines = QString::fromUtf8(output.readAll()).split('\n');
        output.remove();
        return lines;
    }

    static inline std::unique_ptr<QTemporaryDir> root;
    static inline QString recorder;
    static inline QList<std::pair<const char*, QByteArray>> saved;
};

QStringList ids(const QList<Application>& apps)
{
    QStringList result;
    for (const Application& app : apps)
        result.append(app.id);
    return result;
}

}  // namespace

TEST_F(ApplicationRegistry, ProgramsForATypeComeDefaultFirst)
{
    const QList<Application> apps = applicationsForType(QStringLiteral("application/x-varnelo-test"));
    ASSERT_EQ(ids(apps), QStringList({"varnelo-test-editor.desktop", "varnelo-test-viewer.desktop"}));
    EXPECT_TRUE(apps[0].isDefault);
    EXPECT_FALSE(apps[1].isDefault);
    EXPECT_EQ(apps[0].name, "Test Editor");
    EXPECT_EQ(apps[0].iconName, "accessories-text-editor");
    EXPECT_EQ(apps[1].iconName, "text-x-generic");
}

TEST_F(ApplicationRegistry, UnknownTypeHasNoPrograms)
{
    EXPECT_TRUE(applicationsForType(QStringLiteral("application/x-varnelo-nothing")).isEmpty());
    EXPECT_TRUE(applicationsForType(QString()).isEmpty());
}

TEST_F(ApplicationRegistry, AllProgramsListsEveryShownEntryByName)
{
    const QList<Application> apps = allApplications();
    const QStringList found = ids(apps);
    for (const char* id :
         {"varnelo-test-editor.desktop", "varnelo-test-viewer.desktop", "varnelo-test-painter.desktop"})
        EXPECT_TRUE(found.contains(QString::fromLatin1(id))) << id;
    const QCollator byName;
    for (qsizetype i = 1; i < apps.size(); ++i)
        EXPECT_LE(byName.compare(apps[i - 1].name, apps[i].name), 0);
    const auto painter = std::find_if(apps.begin(), apps.end(),
                                      [](const Application& app) { return app.id == "varnelo-test-painter.desktop"; });
    ASSERT_NE(painter, apps.end());
    EXPECT_TRUE(painter->iconName.isEmpty());
    const auto drawer = std::find_if(apps.begin(), apps.end(),
                                     [](const Application& app) { return app.id == "varnelo-test-drawer.desktop"; });
    ASSERT_NE(drawer, apps.end());
    EXPECT_EQ(drawer->iconName, "/usr/share/pixmaps/drawer.png");
}

TEST_F(ApplicationRegistry, LaunchPassesTheTargetAsOneUriArgument)
{
    const QUrl target = targetUrl("/tmp/it's a;$(id) `x` test.txt", 0);
    QString error;
    ASSERT_TRUE(launchApplication(QStringLiteral("varnelo-test-viewer.desktop"), target, &error))
        << error.toStdString();
    const QStringList call = recordedCall();
    ASSERT_GE(call.size(), 2);
    EXPECT_EQ(call[0], "1");
    // For %u GIO hands a program a local file as its path.
    const QString path = call[1].startsWith("file:") ? QUrl(call[1]).toLocalFile() : call[1];
    EXPECT_EQ(path, "/tmp/it's a;$(id) `x` test.txt");
}

TEST_F(ApplicationRegistry, LaunchOfAMissingProgramFailsWithAMessage)
{
    QString error;
    EXPECT_FALSE(launchApplication(QStringLiteral("varnelo-no-such.desktop"), QUrl("https://example.com"), &error));
    EXPECT_FALSE(error.isEmpty());
}
