// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The real WebDAV servers the sync tests talk to, each started by the test on 127.0.0.1 on a free
// port: `rclone serve webdav`, Apache 2 with mod_dav and Basic auth, and a fault-injecting proxy of
// our own in front of either (tests/common/faultproxy.py).

#include "childprocess.h"
#include "sync/synctransport.h"

#include <QCoreApplication>
#include <QCryptographicHash>
#include <QDeadlineTimer>
#include <QFile>
#include <QStandardPaths>
#include <QTcpServer>
#include <QTcpSocket>
#include <QThread>

#include <filesystem>
#include <stdexcept>
#include <string>

inline QCoreApplication& testApplication()
{
    static int argc = 1;
    static char name[] = "test_sync";
    static char* argv[] = {name, nullptr};
    static QCoreApplication app(argc, argv);
    return app;
}

inline quint16 freePort()
{
    QTcpServer probe;
    probe.listen(QHostAddress::LocalHost, 0);
    return probe.serverPort();
}

class TestServer {
public:
    virtual ~TestServer() { stop(); }

    void start()
    {
        if (!process.start(program, arguments))
            throw std::runtime_error(program.toStdString() + " does not start");
        QDeadlineTimer deadline(30000);
        while (!deadline.hasExpired()) {
            QTcpSocket socket;
            socket.connectToHost(QHostAddress::LocalHost, port);
            if (socket.waitForConnected(200))
                return;
            if (!process.running())
                break;
            QThread::msleep(20);
        }
        throw std::runtime_error(program.toStdString() + " does not listen: " + process.output());
    }
    void stop() { process.stop(); }
    std::string address() const { return "http://127.0.0.1:" + std::to_string(port); }
    SyncPlace place(const std::string& password = "secret", const std::string& path = "/sync/here") const
    {
        return {address() + path, "ann", password, 10};
    }

    quint16 port = freePort();

protected:
    QString program;
    QStringList arguments;
    ChildProcess process;
};

class RcloneServer : public TestServer {
public:
    explicit RcloneServer(const std::string& root, const QStringList& extra = {})
    {
        program = "rclone";
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
    static bool available() { return !QStandardPaths::findExecutable("rclone").isEmpty(); }
};

// Apache with its own configuration in `folder`, serving `folder`/root with mod_dav behind Basic auth.
class ApacheServer : public TestServer {
public:
    explicit ApacheServer(const std::string& folder)
    {
        namespace fs = std::filesystem;
        fs::create_directories(fs::path(folder) / "root");
        const QByteArray hash = QCryptographicHash::hash("secret", QCryptographicHash::Sha1).toBase64();
        write(folder + "/htpasswd", "ann:{SHA}" + hash + "\n");
        const QByteArray modules = "/usr/lib/apache2/modules/";
        QByteArray conf = "ServerRoot " + QByteArray::fromStdString(folder)
                          + "\nServerName 127.0.0.1\nListen 127.0.0.1:" + QByteArray::number(port)
                          + "\nPidFile httpd.pid\nErrorLog error.log\n";
        for (const char* module :
             {"mpm_event", "authz_core", "authn_core", "authn_file", "auth_basic", "authz_user", "dav", "dav_fs"})
            conf += "LoadModule " + QByteArray(module) + "_module " + modules + "mod_" + module + ".so\n";
        conf += "DavLockDB DavLock\nDocumentRoot root\n<Directory " + QByteArray::fromStdString(folder)
                + "/root>\n  Dav On\n  AuthType Basic\n  AuthName dav\n  AuthUserFile htpasswd\n  Require "
                  "valid-user\n</Directory>\n";
        write(folder + "/httpd.conf", conf);
        program = "/usr/sbin/apache2";
        arguments = QStringList{"-f", QString::fromStdString(folder + "/httpd.conf"), "-DFOREGROUND"};
        start();
    }
    static bool available() { return QFile::exists("/usr/sbin/apache2"); }

private:
    static void write(const std::string& path, const QByteArray& bytes)
    {
        QFile file(QString::fromStdString(path));
        if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size())
            throw std::runtime_error("cannot write " + path);
    }
};

// faultproxy.py in front of a server: FAULT for the requests whose path holds MATCH.
class FaultProxy : public TestServer {
public:
    FaultProxy(quint16 upstream, const std::string& fault, const std::string& match = "/", const std::string& log = {})
    {
        program = "python3";
        arguments =
            QStringList{VARNELO_FAULT_PROXY,           QString::number(port),         QString::number(upstream),
                        QString::fromStdString(fault), QString::fromStdString(match), QString::fromStdString(log)};
        start();
    }
};
