// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QProcess>
#include <QString>
#include <QStringList>

#include <stdexcept>
#include <string>

// The tests' own page server (pageserver.py) on 127.0.0.1, serving a folder.
class PageServer {
public:
    explicit PageServer(const std::string& folder)
    {
        server.start(QStringLiteral("python3"), {QStringLiteral(PAGESERVER), QString::fromStdString(folder)});
        if (!server.waitForReadyRead(30000))
            throw std::runtime_error("the page server did not start");
        port = server.readLine().trimmed().toInt();
    }
    ~PageServer()
    {
        server.closeWriteChannel();
        if (!server.waitForFinished(5000))
            server.kill();
        server.waitForFinished();
    }
    std::string url(const std::string& path) const { return "http://127.0.0.1:" + std::to_string(port) + path; }

private:
    QProcess server;
    int port = 0;
};
