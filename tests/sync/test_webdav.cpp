// SPDX-License-Identifier: GPL-3.0-or-later
// Devices syncing through a real WebDAV server (rclone) that each test starts on 127.0.0.1.
#include <gtest/gtest.h>

#include "syncdevice.h"
#include "tempfolder.h"

#include "sync/webdavtransport.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QProcess>
#include <QStandardPaths>
#include <QTcpServer>
#include <QTcpSocket>
#include <QThread>

#include <filesystem>
#include <future>
#include <iostream>

namespace {

constexpr const char* General = "5EE0962C-217D-411a-BB72-6261B1B4F5BF";

QCoreApplication& application()
{
    static int argc = 1;
    static char name[] = "test_sync";
    static char* argv[] = {name, nullptr};
    static QCoreApplication app(argc, argv);
    return app;
}

// `rclone serve webdav` over a folder, on a free port, with a user and password.
class WebDavServer {
public:
    WebDavServer(const std::string& root, const QStringList& extra = {}) : root(root)
    {
        QTcpServer probe;
        probe.listen(QHostAddress::LocalHost, 0);
        port = probe.serverPort();
        probe.close();
        arguments = QStringList{"serve",
                                "webdav",
                                QString::fromStdString(root),
                                "--addr",
                                QString("127.0.0.1:%1").arg(port),
                                "--user",
                                "ann",
                                "--pass",
                                "secret"}
                    + extra;
        start();
    }
    ~WebDavServer() { stop(); }

    void start()
    {
        process.start("rclone", arguments);
        if (!process.waitForStarted(10000))
            throw std::runtime_error("rclone does not start");
        QDeadlineTimer deadline(15000);
        while (!deadline.hasExpired()) {
            QTcpSocket socket;
            socket.connectToHost(QHostAddress::LocalHost, port);
            if (socket.waitForConnected(200))
                return;
            QThread::msleep(50);
        }
        throw std::runtime_error("rclone does not listen");
    }
    void stop()
    {
        process.kill();
        process.waitForFinished(5000);
    }
    SyncPlace place(const std::string& scheme = "http", const std::string& password = "secret") const
    {
        return {scheme + "://127.0.0.1:" + std::to_string(port) + "/sync/here", "ann", password, 10};
    }

    std::string root;

private:
    quint16 port = 0;
    QStringList arguments;
    QProcess process;
};

class SyncThroughWebDav : public ::testing::Test {
protected:
    void SetUp() override
    {
        application();
        if (QStandardPaths::findExecutable("rclone").isEmpty())
            GTEST_SKIP() << "rclone is not installed";
        std::filesystem::create_directory(dir.path("served"));
        server = std::make_unique<WebDavServer>(dir.path("served"));
    }
    SyncReport sync(SyncDevice& device, const SyncPlace& place)
    {
        WebDavTransport transport(place);
        SyncReport report = synchronize(device.path, transport, device.options);
        if (!report.ok)
            std::cerr << device.options.machineName << ": " << report.error << "\n";
        return report;
    }

    TempFolder dir;
    std::unique_ptr<WebDavServer> server;
    SyncDevice a{dir.path("a.db"), "desktop"};
    SyncDevice b{dir.path("b.db"), "laptop"};
};

}  // namespace

TEST_F(SyncThroughWebDav, TwoDevicesStayInStepAndTheMissingFolderIsMade)
{
    a.addItem("i1", "one", General);
    ASSERT_TRUE(sync(a, server->place()).ok);
    EXPECT_TRUE(std::filesystem::is_directory(dir.path("served/sync/here/Varnelo")));
    ASSERT_TRUE(sync(b, server->place()).ok);
    EXPECT_EQ(b.items(), std::vector<std::string>{std::string("one@") + General});

    b.execute("update link_table set name='renamed';");
    ASSERT_TRUE(sync(b, server->place()).ok);
    const SyncReport quiet = sync(b, server->place());
    EXPECT_EQ(quiet.bytesSent + quiet.bytesReceived, 0) << "a sync with no change only lists";
    ASSERT_TRUE(sync(a, server->place()).ok);
    EXPECT_EQ(a.items(), std::vector<std::string>{std::string("renamed@") + General});
}

TEST_F(SyncThroughWebDav, FailuresAreClearAndLoseNothing)
{
    a.addItem("i1", "one", General);
    const SyncReport wrongPassword = sync(a, server->place("http", "wrong"));
    EXPECT_EQ(wrongPassword.error, "the server refused the user name or password");
    EXPECT_TRUE(wrongPassword.credentialsRefused);

    server->stop();
    const SyncReport down = sync(a, server->place());
    EXPECT_FALSE(down.ok);
    EXPECT_TRUE(down.error.starts_with("Cannot reach the WebDAV server at http://127.0.0.1:")) << down.error;
    EXPECT_EQ(a.items().size(), 1u);

    server->start();
    ASSERT_TRUE(sync(a, server->place()).ok);
    ASSERT_TRUE(sync(b, server->place()).ok);
    EXPECT_EQ(b.items().size(), 1u) << "the change not sent while the server was down goes with the next sync";
}

TEST_F(SyncThroughWebDav, ServerStoppedMidUploadLeavesTheChangesForTheNextSync)
{
    // A server slow enough that the first upload is still on its way when it stops.
    server.reset();
    WebDavServer slow(dir.path("served"), {"--bwlimit", "100k"});
    a.addItems(8000, General);
    // Comments that do not compress away, so the upload takes a while.
    a.execute("update link_table set comment = hex(randomblob(64));");
    std::atomic<bool> uploading = false;
    auto watcher = std::async(std::launch::async, [&] {
        QDeadlineTimer deadline(60000);
        while (!deadline.hasExpired() && !uploading) {
            std::error_code error;
            for (std::filesystem::recursive_directory_iterator it(dir.path("served/sync/here/Varnelo"), error), end;
                 !error && it != end; it.increment(error))
                uploading = uploading || it->is_regular_file();
            QThread::msleep(5);
        }
    });
    auto syncing = std::async(std::launch::async, [&] { return sync(a, slow.place()); });
    watcher.wait();
    ASSERT_TRUE(uploading) << "the upload was never seen";
    slow.stop();
    const SyncReport cut = syncing.get();
    EXPECT_FALSE(cut.ok);
    // Cut while sending, or refused when the network layer sends again after the cut.
    EXPECT_TRUE(
        cut.error.starts_with("The connection to the WebDAV server was cut during the transfer of http://127.0.0.1:")
        || cut.error.starts_with("Cannot reach the WebDAV server at http://127.0.0.1:"))
        << cut.error;
    EXPECT_EQ(a.column("select count(*) from sync_pending;").at(0), "8006");

    slow.start();
    ASSERT_TRUE(sync(a, slow.place()).ok) << "the next sync completes";
    ASSERT_TRUE(sync(b, slow.place()).ok);
    EXPECT_EQ(b.items().size(), 8000u);
}

TEST_F(SyncThroughWebDav, UntrustedCertificateIsRefusedWithItsProblem)
{
    const std::string key = dir.path("key.pem"), cert = dir.path("cert.pem");
    QProcess openssl;
    openssl.start("openssl", {"req", "-x509", "-newkey", "rsa:2048", "-nodes", "-days", "2", "-subj", "/CN=127.0.0.1",
                              "-keyout", QString::fromStdString(key), "-out", QString::fromStdString(cert)});
    if (!openssl.waitForFinished(30000) || openssl.exitCode() != 0)
        GTEST_SKIP() << "openssl cannot make a certificate";
    server.reset();
    std::filesystem::create_directories(dir.path("tls"));
    WebDavServer tls(dir.path("tls"), {"--cert", QString::fromStdString(cert), "--key", QString::fromStdString(key)});
    a.addItem("i1", "one", General);
    const SyncReport refused = sync(a, tls.place("https"));
    EXPECT_FALSE(refused.ok);
    EXPECT_TRUE(refused.error.starts_with("The server's certificate is not trusted (The certificate is self-signed"))
        << refused.error;
    EXPECT_FALSE(std::filesystem::exists(dir.path("tls/sync")));
}
