// SPDX-License-Identifier: GPL-3.0-or-later
// Devices syncing through real WebDAV servers (rclone, Apache mod_dav) that each test starts on
// 127.0.0.1, and through a fault-injecting proxy of the test's own in front of them.
#include <gtest/gtest.h>

#include "syncdevice.h"
#include "tempfolder.h"
#include "webdavservers.h"

#include "sync/webdavtransport.h"

#include <QFile>

#include <filesystem>
#include <fstream>
#include <future>
#include <iostream>

namespace {

constexpr const char* General = "5EE0962C-217D-411a-BB72-6261B1B4F5BF";

enum class Server { Rclone, Apache };

SyncReport syncThrough(SyncDevice& device, const SyncPlace& place, const TransportLimits& limits = {})
{
    WebDavTransport transport(place);
    transport.setLimits(limits);
    SyncReport report = synchronize(device.path, transport, device.options);
    if (!report.ok)
        std::cerr << device.options.machineName << ": " << report.error << "\n";
    return report;
}

std::string deviceOf(SyncDevice& device)
{
    return device.column("select value from sync_meta where key='device';").at(0);
}

class SyncThroughWebDav : public ::testing::TestWithParam<Server> {
protected:
    void SetUp() override
    {
        testApplication();
        if (GetParam() == Server::Rclone ? !RcloneServer::available() : !ApacheServer::available())
            GTEST_SKIP() << "the server is not installed";
        if (GetParam() == Server::Rclone) {
            std::filesystem::create_directory(dir.path("served"));
            server = std::make_unique<RcloneServer>(dir.path("served"));
            served = dir.path("served");
        } else {
            server = std::make_unique<ApacheServer>(dir.path("apache"));
            served = dir.path("apache/root");
        }
    }
    SyncReport sync(SyncDevice& device, const std::string& password = "secret")
    {
        return syncThrough(device, server->place(password));
    }

    TempFolder dir;
    std::unique_ptr<TestServer> server;
    std::string served;
    SyncDevice a{dir.path("a.db"), "desktop"};
    SyncDevice b{dir.path("b.db"), "laptop"};
};

}  // namespace

TEST_P(SyncThroughWebDav, TwoDevicesStayInStepAndTheMissingFolderIsMade)
{
    a.addItem("i1", "one", General);
    ASSERT_TRUE(sync(a).ok);
    EXPECT_TRUE(std::filesystem::is_directory(served + "/sync/here/Varnelo"));
    ASSERT_TRUE(sync(b).ok);
    EXPECT_EQ(b.items(), std::vector<std::string>{std::string("one@") + General});
    EXPECT_FALSE(placeHasNews(b.path, *openTransport(server->place())));

    b.execute("update link_table set name='renamed';");
    ASSERT_TRUE(sync(b).ok);
    const SyncReport quiet = sync(b);
    EXPECT_EQ(quiet.bytesSent + quiet.bytesReceived, 0) << "a sync with no change only lists";
    EXPECT_TRUE(placeHasNews(a.path, *openTransport(server->place())));
    ASSERT_TRUE(sync(a).ok);
    EXPECT_EQ(a.items(), std::vector<std::string>{std::string("renamed@") + General});
    EXPECT_FALSE(placeHasNews(a.path, *openTransport(server->place())));
}

TEST_P(SyncThroughWebDav, FailuresAreClearAndLoseNothing)
{
    a.addItem("i1", "one", General);
    const SyncReport wrongPassword = sync(a, "wrong");
    EXPECT_EQ(wrongPassword.error, "the server refused the user name or password");
    EXPECT_TRUE(wrongPassword.credentialsRefused);

    server->stop();
    const SyncReport down = sync(a);
    EXPECT_FALSE(down.ok);
    EXPECT_FALSE(down.credentialsRefused);
    EXPECT_TRUE(down.error.starts_with("Cannot reach the WebDAV server at http://127.0.0.1:")) << down.error;
    EXPECT_EQ(a.items().size(), 1u);

    server->start();
    ASSERT_TRUE(sync(a).ok);
    ASSERT_TRUE(sync(b).ok);
    EXPECT_EQ(b.items().size(), 1u) << "the change not sent while the server was down goes with the next sync";
}

// A first snapshot is sent while its merge is written; a merge worked out again after its backup sends
// it again, and the first one sent never lands nor stays behind under its temporary name.
TEST_P(SyncThroughWebDav, FirstSnapshotSentWhileItsMergeIsWrittenLandsOnceAndLeavesNothingBehind)
{
    a.addItemsAndALostCategory(2000, General);
    ASSERT_TRUE(sync(a).ok);
    EXPECT_EQ(a.backups, 1) << "the merge gave the category without a parent a place";
    std::vector<std::string> files;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(served + "/sync/here/Varnelo"))
        if (entry.is_regular_file())
            files.push_back(entry.path().filename().string());
    EXPECT_EQ(files, std::vector<std::string>{"snapshot-00000001.vsync"});
    ASSERT_TRUE(sync(b).ok);
    EXPECT_EQ(b.items().size(), 2000u);
}

INSTANTIATE_TEST_SUITE_P(Servers, SyncThroughWebDav, ::testing::Values(Server::Rclone, Server::Apache),
                         [](const auto& info) { return info.param == Server::Rclone ? "rclone" : "apache"; });

namespace {

// rclone, and the proxy in front of it that a test breaks as it needs.
class SyncThroughFaults : public ::testing::Test {
protected:
    void SetUp() override
    {
        testApplication();
        if (!RcloneServer::available())
            GTEST_SKIP() << "rclone is not installed";
        std::filesystem::create_directory(dir.path("served"));
        server = std::make_unique<RcloneServer>(dir.path("served"));
    }
    SyncReport throughProxy(SyncDevice& device, const std::string& fault, const std::string& match,
                            const TransportLimits& limits = {}, int timeoutSeconds = 10)
    {
        FaultProxy proxy(server->port, fault, match);
        SyncPlace place = proxy.place();
        place.timeoutSeconds = timeoutSeconds;
        return syncThrough(device, place, limits);
    }

    TempFolder dir;
    std::unique_ptr<RcloneServer> server;
    SyncDevice a{dir.path("a.db"), "desktop"};
    SyncDevice b{dir.path("b.db"), "laptop"};
};

}  // namespace

TEST_F(SyncThroughFaults, AnyFileOfAnotherDeviceThatCannotBeReadFailsTheSyncAndMergesNothing)
{
    a.addItem("i0", "first", General);
    ASSERT_TRUE(syncThrough(a, server->place()).ok);
    ASSERT_TRUE(syncThrough(b, server->place()).ok);
    const std::string folderOfA = "/Varnelo/" + deviceOf(a) + "/";
    struct Case {
        const char* fault;
        const char* says;
    };
    const Case cases[] = {
        {"cut-get", "was cut during the transfer"},
        {"short-get", "is cut short; nothing was merged."},
        {"get-500", "with status 500"},
        {"stall-get", "did not answer in time"},
        {"list-503", "with status 503"},
        {"list-drop", "was cut during the transfer"},
    };
    int n = 0;
    for (const Case& c : cases) {
        a.addItem("i" + std::to_string(++n), c.fault, General);
        ASSERT_TRUE(syncThrough(a, server->place()).ok);
        const auto before = b.items();
        const SyncReport failed = throughProxy(b, c.fault, folderOfA, {}, 2);
        EXPECT_FALSE(failed.ok) << c.fault;
        EXPECT_NE(failed.error.find(c.says), std::string::npos) << c.fault << ": " << failed.error;
        EXPECT_EQ(b.items(), before) << c.fault << ": nothing is half applied";
        ASSERT_TRUE(syncThrough(b, server->place()).ok) << c.fault;
        EXPECT_EQ(b.items().back(), std::string(c.fault) + "@" + General) << c.fault;
    }
}

TEST_F(SyncThroughFaults, MoveCutAfterTheServerDidItLandsAndAMoveCutBeforeIsACutConnection)
{
    a.addItem("i1", "one", General);
    const SyncReport landed = throughProxy(a, "move-cut-after", "/Varnelo/");
    EXPECT_TRUE(landed.ok) << landed.error;
    ASSERT_TRUE(syncThrough(b, server->place()).ok);
    EXPECT_EQ(b.items(), std::vector<std::string>{std::string("one@") + General});

    a.addItem("i2", "two", General);
    const SyncReport cut = throughProxy(a, "move-cut", "/Varnelo/");
    EXPECT_FALSE(cut.ok);
    EXPECT_NE(cut.error.find("The connection to the WebDAV server was cut"), std::string::npos) << cut.error;
    EXPECT_EQ(cut.error.find("403 Forbidden"), std::string::npos) << cut.error;
    ASSERT_TRUE(syncThrough(a, server->place()).ok);
    ASSERT_TRUE(syncThrough(b, server->place()).ok);
    EXPECT_EQ(b.items().size(), 2u);
}

TEST_F(SyncThroughFaults, RedirectToAnotherOriginIsRefusedAndSendsItNoPassword)
{
    const std::string log = dir.path("elsewhere.log");
    FaultProxy elsewhere(server->port, "record", "/", log);
    a.addItem("i1", "one", General);
    const SyncReport refused = throughProxy(a, "redirect:" + std::to_string(elsewhere.port), "/");
    EXPECT_FALSE(refused.ok);
    EXPECT_NE(refused.error.find("sent the request on to " + elsewhere.address()
                                 + "/sync/here/Varnelo/, another "
                                   "server: nothing was sent there"),
              std::string::npos)
        << refused.error;
    EXPECT_FALSE(std::filesystem::exists(log)) << "the other server got no request, so no password";
}

TEST_F(SyncThroughFaults, WhatAServerSendsHasLimitsAndGoingPastOneNamesTheServer)
{
    a.addItem("i1", "one", General);
    ASSERT_TRUE(syncThrough(a, server->place()).ok);
    TransportLimits small;
    small.fileBytes = small.listingBytes = 1 << 20;
    for (const char* fault : {"huge-get", "huge-list"}) {
        const SyncReport refused = throughProxy(b, fault, "/Varnelo/" + deviceOf(a) + "/", small);
        EXPECT_FALSE(refused.ok) << fault;
        EXPECT_NE(refused.error.find("sent more than 1 MiB: refused."), std::string::npos) << refused.error;
        EXPECT_NE(refused.error.find("http://127.0.0.1:"), std::string::npos) << refused.error;
    }
    EXPECT_TRUE(b.items().empty());
}

TEST_F(SyncThroughFaults, ServerStoppedMidUploadLeavesTheChangesForTheNextSync)
{
    // A server slow enough that the first upload is still on its way when it stops.
    server.reset();
    RcloneServer slow(dir.path("served"), {"--bwlimit", "100k"});
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
    auto syncing = std::async(std::launch::async, [&] { return syncThrough(a, slow.place()); });
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
    EXPECT_EQ(a.column("select value from sync_meta where key='sequence';").at(0), "0") << "nothing counts as sent";

    slow.start();
    ASSERT_TRUE(syncThrough(a, slow.place()).ok) << "the next sync completes";
    ASSERT_TRUE(syncThrough(b, slow.place()).ok);
    EXPECT_EQ(b.items().size(), 8000u);
}

TEST_F(SyncThroughFaults, UntrustedCertificateIsRefusedWithItsProblem)
{
    const std::string key = dir.path("key.pem"), cert = dir.path("cert.pem");
    ChildProcess openssl;
    openssl.start("openssl", {"req", "-x509", "-newkey", "rsa:2048", "-nodes", "-days", "2", "-subj", "/CN=127.0.0.1",
                              "-keyout", QString::fromStdString(key), "-out", QString::fromStdString(cert)});
    if (!openssl.waitForFinished(std::chrono::seconds(30)) || openssl.exitCode() != 0)
        GTEST_SKIP() << "openssl cannot make a certificate";
    server.reset();
    std::filesystem::create_directories(dir.path("tls"));
    RcloneServer tls(dir.path("tls"), {"--cert", QString::fromStdString(cert), "--key", QString::fromStdString(key)});
    a.addItem("i1", "one", General);
    SyncPlace place = tls.place();
    place.place.replace(0, 4, "https");
    const SyncReport refused = syncThrough(a, place);
    EXPECT_FALSE(refused.ok);
    EXPECT_TRUE(refused.error.starts_with("The server's certificate is not trusted (The certificate is self-signed"))
        << refused.error;
    EXPECT_FALSE(std::filesystem::exists(dir.path("tls/sync")));
}
