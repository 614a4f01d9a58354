// SPDX-License-Identifier: GPL-3.0-or-later
#include "webdavtransport.h"

#include "webdavlisting.h"

#include <QBuffer>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QSslError>
#include <QStringList>
#include <QUuid>

#include <chrono>
#include <exception>
#include <thread>

namespace {

constexpr int RedirectLimit = 5;
constexpr qint64 InMemoryUpload = 64LL << 20;

// The file to upload, read from its start into memory.
QByteArray wholeOf(QIODevice& from)
{
    from.seek(0);
    QByteArray bytes = from.readAll();
    if (bytes.size() != from.size())
        throw SyncError("Cannot read the file to upload: " + from.errorString().toStdString());
    return bytes;
}

long long nowMicroseconds()
{
    using namespace std::chrono;
    return duration_cast<microseconds>(system_clock::now().time_since_epoch()).count();
}

// The connection closed before the whole answer came: what the server did with the request is unknown.
class ConnectionCut : public SyncError {
public:
    using SyncError::SyncError;
};

const QByteArray listBody = "<?xml version=\"1.0\" encoding=\"utf-8\"?>"
                            "<d:propfind xmlns:d=\"DAV:\"><d:prop><d:resourcetype/><d:getcontentlength/>"
                            "<d:getlastmodified/></d:prop></d:propfind>";

}  // namespace

WebDavTransport::WebDavTransport(const SyncPlace& place)
    : settings(place), base(QUrl(QString::fromStdString(place.place))), timeoutMs(place.timeoutSeconds * 1000)
{
    if (!base.isValid() || base.host().isEmpty())
        throw SyncError("\"" + place.place + "\" is not a WebDAV address.");
    if (!base.path().endsWith('/'))
        base.setPath(base.path() + '/');
    if (!place.user.empty())
        authorization =
            "Basic "
            + (QByteArray::fromStdString(place.user) + ':' + QByteArray::fromStdString(place.password)).toBase64();
}

QUrl WebDavTransport::urlOf(const std::string& path, bool folder) const
{
    QUrl url = base;
    QString full = base.path() + QString::fromStdString(path);
    if (folder && !full.endsWith('/'))
        full += '/';
    url.setPath(full);
    return url;
}

QUrl WebDavTransport::temporaryBeside(const std::string& path) const
{
    const std::string folder = path.substr(0, path.rfind('/') + 1);
    return urlOf(folder + ".upload-" + QUuid::createUuid().toString(QUuid::WithoutBraces).toStdString(), false);
}

bool WebDavTransport::sameOrigin(const QUrl& url) const
{
    return url.scheme() == base.scheme() && url.host().compare(base.host(), Qt::CaseInsensitive) == 0
           && url.port(url.scheme() == "https" ? 443 : 80) == base.port(base.scheme() == "https" ? 443 : 80);
}

std::string WebDavTransport::where(const QUrl& url) const
{
    return url.toDisplayString(QUrl::RemoveUserInfo).toStdString();
}

WebDavTransport::Answer WebDavTransport::send(const QByteArray& verb, QUrl url, QIODevice* body, const Headers& headers,
                                              QIODevice* sink)
{
    for (int redirects = 0;; ++redirects) {
        QUrl redirect;
        Answer answer = sendOnce(verb, url, body, headers, sink, redirect);
        if (redirect.isEmpty())
            return answer;
        // The password is the place's: a server that sends the request elsewhere gets nothing more.
        if (!sameOrigin(redirect))
            throw SyncError("The WebDAV server at " + where(url) + " sent the request on to " + where(redirect)
                            + ", another server: nothing was sent there. If that address is right, set it as the "
                              "place in Sync Settings.");
        if (redirects >= RedirectLimit)
            throw SyncError("The WebDAV server at " + where(url) + " redirects without end.");
        if (body)
            body->seek(0);
        if (sink && sink->isWritable() && !sink->isSequential()) {
            sink->seek(0);
            if (auto* buffer = qobject_cast<QBuffer*>(sink))
                buffer->buffer().clear();
        }
        url = redirect;
    }
}

WebDavTransport::Answer WebDavTransport::sendOnce(const QByteArray& verb, const QUrl& url, QIODevice* body,
                                                  const Headers& headers, QIODevice* sink, QUrl& redirect)
{
    QNetworkRequest request(url);
    request.setAttribute(QNetworkRequest::RedirectPolicyAttribute, QNetworkRequest::ManualRedirectPolicy);
    request.setTransferTimeout(timeoutMs);
    if (!authorization.isEmpty() && sameOrigin(url))
        request.setRawHeader("Authorization", authorization);
    for (const auto& [name, value] : headers)
        request.setRawHeader(name, value);
    if (body)
        request.setHeader(QNetworkRequest::ContentTypeHeader, "application/octet-stream");

    QNetworkReply* reply = network.sendCustomRequest(request, verb, body);
    Answer answer;
    const long long limit = sink ? limits().fileBytes : limits().listingBytes;
    long long got = 0, uploaded = 0;
    bool tooLarge = false, tooSlow = false, sinkFailed = false;
    QStringList certificateProblems;
    // An untrusted certificate is refused, never waved through: its problem becomes the message.
    QObject::connect(reply, &QNetworkReply::sslErrors, reply, [&](const QList<QSslError>& errors) {
        for (const QSslError& error : errors)
            certificateProblems << error.errorString();
    });
    // The transfer timeout catches a silent server; this catches one that trickles a byte at a time.
    QElapsedTimer clock;
    clock.start();
    const auto tooSlowNow = [&] {
        const long long elapsed = clock.elapsed();
        return elapsed > timeoutMs && (got + uploaded) * 1000 < (elapsed - timeoutMs) * slowestBytesPerSecond;
    };
    QObject::connect(reply, &QNetworkReply::readyRead, reply, [&] {
        const QByteArray chunk = reply->readAll();
        got += chunk.size();
        const bool success = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt() / 100 == 2;
        if (got > (sink && success ? limit : limits().listingBytes)) {
            tooLarge = true;
            reply->abort();
        } else if (tooSlowNow()) {
            tooSlow = true;
            reply->abort();
        } else if (sink && success) {
            if (sink->write(chunk) != chunk.size()) {
                sinkFailed = true;
                reply->abort();
            }
        } else {
            answer.body += chunk;
        }
    });
    QObject::connect(reply, &QNetworkReply::uploadProgress, reply, [&](qint64 done, qint64) {
        uploaded = done;
        if (tooSlowNow()) {
            tooSlow = true;
            reply->abort();
        }
    });
    QEventLoop loop;
    QObject::connect(reply, &QNetworkReply::finished, &loop, &QEventLoop::quit);
    if (!reply->isFinished())
        loop.exec(QEventLoop::ExcludeUserInputEvents);

    answer.status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
    if (const long long date = httpDate(reply->rawHeader("Date")); date > 0)
        offset = date * 1000 - nowMicroseconds();
    if (answer.status / 100 == 3 && reply->hasRawHeader("Location"))
        redirect = url.resolved(QUrl::fromEncoded(reply->rawHeader("Location")));
    const QNetworkReply::NetworkError error = reply->error();
    const QString errorText = reply->errorString();
    reply->deleteLater();
    if (verb == "PUT" && answer.status / 100 == 2 && body)
        sent += body->size();
    else if (verb == "GET" && answer.status == 200)
        received += got;

    if (!certificateProblems.isEmpty())
        throw SyncError("The server's certificate is not trusted (" + certificateProblems.join("; ").toStdString()
                        + "): nothing was sent to " + where(url) + ".");
    if (tooLarge)
        throw SyncError("The WebDAV server at " + where(url) + " sent more than " + std::to_string(limit >> 20)
                        + " MiB: refused.");
    if (sinkFailed)
        throw SyncError("Cannot keep what the WebDAV server sent for " + where(url) + ": "
                        + sink->errorString().toStdString());
    if (tooSlow || error == QNetworkReply::OperationCanceledError || error == QNetworkReply::TimeoutError)
        throw SyncError("The WebDAV server at " + where(url) + " did not answer in time.");
    if (error == QNetworkReply::ConnectionRefusedError || error == QNetworkReply::HostNotFoundError
        || error == QNetworkReply::NetworkSessionFailedError || error == QNetworkReply::TemporaryNetworkFailureError)
        throw SyncError("Cannot reach the WebDAV server at " + where(url) + ": " + errorText.toStdString() + ".");
    if (answer.status == 0 || error == QNetworkReply::RemoteHostClosedError)
        throw ConnectionCut("The connection to the WebDAV server was cut during the transfer of " + where(url)
                            + "; nothing was changed here.");
    if (answer.status == 401)
        throw SyncCredentialsError();
    return answer;
}

void WebDavTransport::refuseUnlessStored(const QUrl& temporary, int status) const
{
    if (status != 201 && status != 204 && status != 200)
        refuse("PUT", temporary, status);
}

void WebDavTransport::refuse(const QByteArray& verb, const QUrl& url, int status) const
{
    switch (status) {
    case 403:
        throw SyncError("The WebDAV server does not allow this user to use " + where(url) + " (403 Forbidden).");
    case 507:
        throw SyncError("The WebDAV server is full (507 Insufficient Storage): free some space there and sync again.");
    default:
        throw SyncError("The WebDAV server answered " + verb.toStdString() + " " + where(url) + " with status "
                        + std::to_string(status) + ".");
    }
}

std::optional<QByteArray> WebDavTransport::propfind(const QUrl& url, const QByteArray& depth)
{
    QByteArray request = listBody;
    QBuffer body(&request);
    body.open(QIODevice::ReadOnly);
    const Answer answer = send("PROPFIND", url, &body, {{"Depth", depth}, {"Content-Type", "application/xml"}});
    if (answer.status == 404)
        return std::nullopt;
    if (answer.status != 207)
        refuse("PROPFIND", url, answer.status);
    return answer.body;
}

std::optional<std::vector<RemoteEntry>> WebDavTransport::list(const std::string& folder)
{
    const QUrl url = urlOf(folder, true);
    const auto answer = propfind(url, "1");
    if (!answer)
        return std::nullopt;
    return readListing(*answer, url.path(QUrl::FullyDecoded), limits().listingEntries, where(url));
}

std::optional<RemoteEntry> WebDavTransport::stat(const QUrl& url)
{
    const auto answer = propfind(url, "0");
    if (!answer)
        return std::nullopt;
    // The answer names the entry itself; listed against its parent it is the one entry.
    QString path = url.path(QUrl::FullyDecoded);
    while (path.size() > 1 && path.endsWith('/'))
        path.chop(1);
    auto entries = readListing(*answer, path.section('/', 0, -2), 1, where(url));
    return entries.empty() ? std::optional<RemoteEntry>(RemoteEntry{}) : entries.front();
}

void WebDavTransport::makeFolder(const std::string& folder)
{
    // The place's own folder is made with every missing folder above it, top down.
    QList<QUrl> urls{urlOf(folder, true)};
    if (folder.empty()) {
        urls.clear();
        QString path;
        for (const QString& part : base.path().split('/', Qt::SkipEmptyParts)) {
            path += '/' + part;
            QUrl url = base;
            url.setPath(path + '/');
            urls << url;
        }
    }
    for (const QUrl& url : urls) {
        const Answer answer = send("MKCOL", url);
        // 405: the folder is there already.
        if (answer.status != 201 && answer.status != 200 && answer.status != 405)
            refuse("MKCOL", url, answer.status);
    }
}

void WebDavTransport::fetch(const std::string& path, QIODevice& into)
{
    const QUrl url = urlOf(path, false);
    const Answer answer = send("GET", url, nullptr, {}, &into);
    if (answer.status != 200)
        refuse("GET", url, answer.status);
}

// A file is moved into place without overwriting: the network layer sends a MOVE again after a cut
// connection, and a server told to overwrite deletes what the first one moved there before it finds
// the source gone. The place itself then says what holds.
bool WebDavTransport::moveIntoPlace(const QUrl& temporary, const QUrl& url, long long size, bool replace)
{
    for (int attempt = 0;; ++attempt) {
        Answer moved;
        bool cut = false;
        try {
            moved = send("MOVE", temporary, nullptr, {{"Destination", url.toEncoded()}, {"Overwrite", "F"}});
        } catch (const ConnectionCut&) {
            cut = true;
        }
        if (moved.status == 201 || moved.status == 204)
            return true;
        if (!stat(temporary)) {
            const auto placed = stat(url);
            if (placed && (placed->size < 0 || placed->size == size))
                return true;
            throw SyncError("The connection to the WebDAV server was cut while " + where(url)
                            + " was moved into place; nothing was changed here.");
        }
        if (moved.status == 412 && replace && attempt == 0) {
            remove(url.path().mid(base.path().size()).toStdString());
            continue;
        }
        send("DELETE", temporary);
        if (moved.status == 412)
            return false;
        if (cut)
            throw SyncError("The connection to the WebDAV server was cut while " + where(url)
                            + " was moved into place; nothing was changed here.");
        refuse("MOVE", url, moved.status);
    }
}

void WebDavTransport::put(const std::string& path, QIODevice& from)
{
    const QUrl temporary = temporaryBeside(path);
    from.seek(0);
    // Sent from memory where it fits: the network then takes it in large writes instead of the
    // small reads it makes of a file.
    QByteArray bytes;
    QBuffer memory(&bytes);
    QIODevice* body = &from;
    if (from.size() <= InMemoryUpload) {
        bytes = wholeOf(from);
        memory.open(QIODevice::ReadOnly);
        body = &memory;
    }
    const Answer put = send("PUT", temporary, body);
    refuseUnlessStored(temporary, put.status);
    moveIntoPlace(temporary, urlOf(path, false), from.size(), true);
}

// The file is read here; the thread sends it from memory through a transport of its own, which it alone
// uses, so that nothing of this one is shared.
class WebDavTransport::SendingAhead final : public SyncTransport::Sending {
public:
    SendingAhead(WebDavTransport& owner, QUrl temporary, QUrl url, QByteArray bytes)
        : owner(owner), temporary(std::move(temporary)), url(std::move(url)), size(bytes.size())
    {
        sending = std::thread([this, place = owner.settings, limits = owner.limits(), bytes = std::move(bytes)] {
            send(place, limits, bytes);
        });
    }
    ~SendingAhead() override
    {
        if (sending.joinable())
            sending.join();
        // A file sent and never placed goes again, unless a failure is on its way: then nothing more is
        // asked of the server, and the temporary name is never read.
        if (!placed && status / 100 == 2 && std::uncaught_exceptions() == 0) {
            try {
                owner.send("DELETE", temporary);
            } catch (const SyncError&) {
            }
        }
    }
    SendingAhead(const SendingAhead&) = delete;
    SendingAhead& operator=(const SendingAhead&) = delete;

    void place() override
    {
        sending.join();
        if (failure)
            std::rethrow_exception(failure);
        owner.refuseUnlessStored(temporary, status);
        owner.sent += size;
        placed = true;
        owner.moveIntoPlace(temporary, url, size, true);
    }

private:
    void send(const SyncPlace& place, const TransportLimits& limits, QByteArray bytes)
    {
        try {
            WebDavTransport connection(place);
            connection.setLimits(limits);
            QBuffer body(&bytes);
            body.open(QIODevice::ReadOnly);
            status = connection.send("PUT", temporary, &body).status;
        } catch (...) {
            failure = std::current_exception();
        }
    }

    WebDavTransport& owner;
    const QUrl temporary, url;
    const long long size;
    std::thread sending;
    int status = 0;
    std::exception_ptr failure;
    bool placed = false;
};

std::unique_ptr<SyncTransport::Sending> WebDavTransport::startPut(const std::string& path, QIODevice& from)
{
    if (from.size() > InMemoryUpload)
        return SyncTransport::startPut(path, from);
    return std::make_unique<SendingAhead>(*this, temporaryBeside(path), urlOf(path, false), wholeOf(from));
}

bool WebDavTransport::create(const std::string& path, const QByteArray& data)
{
    const QUrl temporary = temporaryBeside(path);
    QByteArray copy = data;
    QBuffer body(&copy);
    body.open(QIODevice::ReadOnly);
    const Answer put = send("PUT", temporary, &body);
    refuseUnlessStored(temporary, put.status);
    return moveIntoPlace(temporary, urlOf(path, false), data.size(), false);
}

void WebDavTransport::remove(const std::string& path)
{
    const QUrl url = urlOf(path, false);
    const Answer answer = send("DELETE", url);
    if (answer.status != 204 && answer.status != 200 && answer.status != 404)
        refuse("DELETE", url, answer.status);
}

void WebDavTransport::removeFolder(const std::string& folder)
{
    const QUrl url = urlOf(folder, true);
    const Answer answer = send("DELETE", url);
    if (answer.status != 204 && answer.status != 200 && answer.status != 404)
        refuse("DELETE", url, answer.status);
}
