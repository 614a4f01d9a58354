// SPDX-License-Identifier: GPL-3.0-or-later
#include "webdavtransport.h"

#include <QEventLoop>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QSslError>
#include <QStringList>
#include <QUuid>
#include <QXmlStreamReader>

namespace {

const QByteArray listBody = "<?xml version=\"1.0\" encoding=\"utf-8\"?>"
                            "<d:propfind xmlns:d=\"DAV:\"><d:prop><d:resourcetype/></d:prop></d:propfind>";

QString decodedPath(const QString& href)
{
    return QUrl(href).path(QUrl::FullyDecoded);
}

QString withoutTrailingSlash(QString path)
{
    while (path.size() > 1 && path.endsWith('/'))
        path.chop(1);
    return path;
}

// The entries of a PROPFIND answer, leaving out the folder asked about.
std::vector<RemoteEntry> entriesOf(const QByteArray& multistatus, const QString& folderPath)
{
    std::vector<RemoteEntry> entries;
    QXmlStreamReader xml(multistatus);
    QString href;
    bool collection = false;
    const QString self = withoutTrailingSlash(folderPath);
    while (!xml.atEnd()) {
        xml.readNext();
        if (xml.isStartElement() && xml.namespaceUri() == QLatin1String("DAV:")) {
            if (xml.name() == QLatin1String("response")) {
                href.clear();
                collection = false;
            } else if (xml.name() == QLatin1String("href")) {
                href = xml.readElementText();
            } else if (xml.name() == QLatin1String("collection")) {
                collection = true;
            }
        } else if (xml.isEndElement() && xml.name() == QLatin1String("response")
                   && xml.namespaceUri() == QLatin1String("DAV:")) {
            const QString path = withoutTrailingSlash(decodedPath(href));
            if (path == self || path.isEmpty())
                continue;
            const QString name = path.section('/', -1);
            if (!name.isEmpty())
                entries.push_back({name.toStdString(), collection});
        }
    }
    if (xml.hasError())
        throw SyncError("The WebDAV server sent a folder listing that cannot be read: "
                        + xml.errorString().toStdString());
    return entries;
}

}  // namespace

WebDavTransport::WebDavTransport(const SyncPlace& place)
    : base(QUrl(QString::fromStdString(place.place))), timeoutMs(place.timeoutSeconds * 1000)
{
    if (!base.isValid() || base.host().isEmpty())
        throw SyncError("\"" + place.place + "\" is not a WebDAV address.");
    if (!base.path().endsWith('/'))
        base.setPath(base.path() + '/');
    if (!place.user.empty())
        authorization =
            "Basic "
            + (QByteArray::fromStdString(place.user) + ':' + QByteArray::fromStdString(place.password)).toBase64();
    network.setRedirectPolicy(QNetworkRequest::NoLessSafeRedirectPolicy);
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

WebDavTransport::Answer WebDavTransport::send(const QByteArray& verb, const QUrl& url, const QByteArray& body,
                                              const QList<std::pair<QByteArray, QByteArray>>& headers)
{
    QNetworkRequest request(url);
    request.setTransferTimeout(timeoutMs);
    if (!authorization.isEmpty())
        request.setRawHeader("Authorization", authorization);
    for (const auto& [name, value] : headers)
        request.setRawHeader(name, value);
    if (!body.isEmpty())
        request.setHeader(QNetworkRequest::ContentTypeHeader, "application/octet-stream");

    QNetworkReply* reply = network.sendCustomRequest(request, verb, body);
    QStringList certificateProblems;
    // An untrusted certificate is refused, never waved through: its problem becomes the message.
    QObject::connect(reply, &QNetworkReply::sslErrors, reply, [&](const QList<QSslError>& errors) {
        for (const QSslError& error : errors)
            certificateProblems << error.errorString();
    });
    QEventLoop loop;
    QObject::connect(reply, &QNetworkReply::finished, &loop, &QEventLoop::quit);
    if (!reply->isFinished())
        loop.exec(QEventLoop::ExcludeUserInputEvents);

    Answer answer;
    answer.status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
    answer.body = reply->readAll();
    const QNetworkReply::NetworkError error = reply->error();
    const QString errorText = reply->errorString();
    reply->deleteLater();
    if (verb == "PUT")
        sent += body.size();
    else if (verb == "GET")
        received += answer.body.size();

    const std::string where = url.toDisplayString(QUrl::RemoveUserInfo).toStdString();
    if (!certificateProblems.isEmpty())
        throw SyncError("The server's certificate is not trusted (" + certificateProblems.join("; ").toStdString()
                        + "): nothing was sent to " + where + ".");
    if (error == QNetworkReply::OperationCanceledError || error == QNetworkReply::TimeoutError)
        throw SyncError("The WebDAV server at " + where + " did not answer in time.");
    if (error == QNetworkReply::ConnectionRefusedError || error == QNetworkReply::HostNotFoundError
        || error == QNetworkReply::NetworkSessionFailedError || error == QNetworkReply::TemporaryNetworkFailureError)
        throw SyncError("Cannot reach the WebDAV server at " + where + ": " + errorText.toStdString() + ".");
    if (answer.status == 0 || error == QNetworkReply::RemoteHostClosedError)
        throw SyncError("The connection to the WebDAV server was cut during the transfer of " + where
                        + "; nothing was changed here.");
    return answer;
}

void WebDavTransport::refuse(const QByteArray& verb, const QUrl& url, int status) const
{
    const std::string where = url.toDisplayString(QUrl::RemoveUserInfo).toStdString();
    switch (status) {
    case 401:
        throw SyncError("The WebDAV server refused the user name or password (401).");
    case 403:
        throw SyncError("The WebDAV server does not allow this user to use " + where + " (403 Forbidden).");
    case 507:
        throw SyncError("The WebDAV server is full (507 Insufficient Storage): free some space there and sync again.");
    default:
        throw SyncError("The WebDAV server answered " + verb.toStdString() + " " + where + " with status "
                        + std::to_string(status) + ".");
    }
}

std::optional<std::vector<RemoteEntry>> WebDavTransport::list(const std::string& folder)
{
    const QUrl url = urlOf(folder, true);
    const Answer answer = send("PROPFIND", url, listBody, {{"Depth", "1"}, {"Content-Type", "application/xml"}});
    if (answer.status == 404)
        return std::nullopt;
    if (answer.status != 207)
        refuse("PROPFIND", url, answer.status);
    return entriesOf(answer.body, url.path(QUrl::FullyDecoded));
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

QByteArray WebDavTransport::get(const std::string& path)
{
    const QUrl url = urlOf(path, false);
    Answer answer = send("GET", url);
    if (answer.status != 200)
        refuse("GET", url, answer.status);
    return answer.body;
}

void WebDavTransport::put(const std::string& path, const QByteArray& data)
{
    const std::string folder = path.substr(0, path.rfind('/') + 1);
    const std::string temporary =
        folder + ".upload-" + QUuid::createUuid().toString(QUuid::WithoutBraces).toStdString();
    const QUrl temporaryUrl = urlOf(temporary, false);
    const Answer put = send("PUT", temporaryUrl, data);
    if (put.status != 201 && put.status != 204 && put.status != 200)
        refuse("PUT", temporaryUrl, put.status);
    const QUrl url = urlOf(path, false);
    const Answer moved = send("MOVE", temporaryUrl, {}, {{"Destination", url.toEncoded()}, {"Overwrite", "T"}});
    if (moved.status != 201 && moved.status != 204) {
        send("DELETE", temporaryUrl);
        refuse("MOVE", url, moved.status);
    }
}

void WebDavTransport::remove(const std::string& path)
{
    const QUrl url = urlOf(path, false);
    const Answer answer = send("DELETE", url);
    if (answer.status != 204 && answer.status != 200 && answer.status != 404)
        refuse("DELETE", url, answer.status);
}
