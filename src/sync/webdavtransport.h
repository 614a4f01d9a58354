// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "synctransport.h"

#include <QNetworkAccessManager>
#include <QUrl>

class QNetworkReply;

// A WebDAV server (Nextcloud, ownCloud, Apache mod_dav, rclone, a NAS). Each call waits for its
// answer; it is meant for a worker thread or a command-line run, never the window's thread.
class WebDavTransport : public SyncTransport {
public:
    explicit WebDavTransport(const SyncPlace& place);

    std::optional<std::vector<RemoteEntry>> list(const std::string& folder) override;
    void makeFolder(const std::string& folder) override;
    QByteArray get(const std::string& path) override;
    void put(const std::string& path, const QByteArray& data) override;
    void remove(const std::string& path) override;

private:
    struct Answer {
        int status = 0;
        QByteArray body;
    };
    QUrl urlOf(const std::string& path, bool folder) const;
    // Sends the request and waits for the whole answer; a failure to get one raises.
    Answer send(const QByteArray& verb, const QUrl& url, const QByteArray& body = {},
                const QList<std::pair<QByteArray, QByteArray>>& headers = {});
    [[noreturn]] void refuse(const QByteArray& verb, const QUrl& url, int status) const;

    QNetworkAccessManager network;
    QUrl base;
    QByteArray authorization;
    int timeoutMs;
};
