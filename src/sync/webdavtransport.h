// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "synctransport.h"

#include <QList>
#include <QNetworkAccessManager>
#include <QUrl>

#include <utility>

// A WebDAV server (Nextcloud, ownCloud, Apache mod_dav, rclone, a NAS). Each call waits for its
// answer; it is meant for a worker thread or a command-line run, never the window's thread. Every
// request has a deadline, every answer a size limit, and credentials go only to the place's own
// origin: a redirect elsewhere is refused.
class WebDavTransport : public SyncTransport {
public:
    explicit WebDavTransport(const SyncPlace& place);

    std::optional<std::vector<RemoteEntry>> list(const std::string& folder) override;
    void makeFolder(const std::string& folder) override;
    void fetch(const std::string& path, QIODevice& into) override;
    void put(const std::string& path, QIODevice& from) override;
    // The PUT goes on a thread and a connection of its own; the MOVE into place waits for place().
    std::unique_ptr<Sending> startPut(const std::string& path, QIODevice& from) override;
    bool create(const std::string& path, const QByteArray& data) override;
    void remove(const std::string& path) override;
    void removeFolder(const std::string& folder) override;
    std::optional<long long> clockOffset() const override { return offset; }
    using SyncTransport::put;

    // The least a transfer must move per second once the request's time is up.
    static constexpr long long slowestBytesPerSecond = 4096;

private:
    class SendingAhead;
    using Headers = QList<std::pair<QByteArray, QByteArray>>;
    struct Answer {
        int status = 0;
        QByteArray body;
    };
    QUrl urlOf(const std::string& path, bool folder) const;
    // A name of its own beside the file, to upload to before the file is moved into place.
    QUrl temporaryBeside(const std::string& path) const;
    // Sends the request and waits for the whole answer, following redirects within the place's
    // origin; the answer's body goes to sink when given. A failure to get an answer raises.
    Answer send(const QByteArray& verb, QUrl url, QIODevice* body = nullptr, const Headers& headers = {},
                QIODevice* sink = nullptr);
    Answer sendOnce(const QByteArray& verb, const QUrl& url, QIODevice* body, const Headers& headers, QIODevice* sink,
                    QUrl& redirect);
    // The multistatus answer to a PROPFIND of that depth; nullopt when nothing is there.
    std::optional<QByteArray> propfind(const QUrl& url, const QByteArray& depth);
    // The entry itself (PROPFIND depth 0); nullopt when it does not exist.
    std::optional<RemoteEntry> stat(const QUrl& url);
    // Moves an uploaded temporary into place (size is what was uploaded); false when a file was there
    // already and replace is false.
    bool moveIntoPlace(const QUrl& temporary, const QUrl& url, long long size, bool replace);
    bool sameOrigin(const QUrl& url) const;
    std::string where(const QUrl& url) const;
    [[noreturn]] void refuse(const QByteArray& verb, const QUrl& url, int status) const;
    // A PUT to the temporary name the server did not store is refused with its status.
    void refuseUnlessStored(const QUrl& temporary, int status) const;

    SyncPlace settings;
    QNetworkAccessManager network;
    QUrl base;
    QByteArray authorization;
    int timeoutMs;
    std::optional<long long> offset;
};
