// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "testcatalogue.h"

#include <QCoreApplication>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>

#include <gtest/gtest.h>

#include <algorithm>
#include <string>

// The event loop the link checks run in.
inline void ensureApplication()
{
    static int argc = 1;
    static char name[] = "test_check";
    static char* argv[] = {name, nullptr};
    if (!QCoreApplication::instance())
        new QCoreApplication(argc, argv);
}

// The tests' own web server (linkserver.py) on 127.0.0.1 with a self-signed TLS port beside it.
class LinkServer {
public:
    LinkServer()
    {
        const QString cert = QString::fromStdString(folder.path("cert.pem"));
        const QString key = QString::fromStdString(folder.path("key.pem"));
        QProcess openssl;
        openssl.start(QStringLiteral("openssl"), {"req", "-x509", "-newkey", "rsa:2048", "-nodes", "-days", "1",
                                                  "-subj", "/CN=127.0.0.1", "-keyout", key, "-out", cert});
        if (!openssl.waitForFinished(60000) || openssl.exitCode() != 0)
            throw std::runtime_error("openssl could not make a certificate");
        server.start(QStringLiteral("python3"), {QStringLiteral(LINKSERVER), cert, key});
        if (!server.waitForReadyRead(30000))
            throw std::runtime_error("the link server did not start");
        const QJsonObject ports = QJsonDocument::fromJson(server.readLine()).object();
        http = ports.value("http").toInt();
        https = ports.value("https").toInt();
        closed = ports.value("closed").toInt();
    }
    ~LinkServer()
    {
        server.closeWriteChannel();
        if (!server.waitForFinished(5000))
            server.kill();
        server.waitForFinished();
    }
    std::string url(const std::string& path) const { return "http://127.0.0.1:" + std::to_string(http) + path; }
    // The most requests the server has had in hand at once.
    int peakRequests()
    {
        int peak = 0;
        while (server.canReadLine() || server.waitForReadyRead(200))
            peak = std::max(peak, server.readLine().mid(5).trimmed().toInt());
        return peak;
    }

    int http = 0;
    int https = 0;
    int closed = 0;

private:
    TempFolder folder;
    QProcess server;
};
