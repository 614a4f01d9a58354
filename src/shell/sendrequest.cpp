// SPDX-License-Identifier: GPL-3.0-or-later
#include "shell/sendrequest.h"

#include "base/address.h"
#include "shell/targeturl.h"

#include <QMimeData>
#include <QUrlQuery>

namespace {

const QString requestScheme = QStringLiteral("varnelo:");
// Addresses that are no web address to keep: local files and our own requests (scripts and inline
// data are judged as every reader judges them, the way browsers read an address).
const QStringList refusedSchemes = {QStringLiteral("file"), QStringLiteral("varnelo")};

// The request as the user may recognise it in a message, cut short.
QString shown(const QByteArray& request)
{
    constexpr qsizetype longest = 200;
    QString text = QString::fromUtf8(request.left(longest));
    return request.size() > longest ? text + QStringLiteral("...") : text;
}

bool isWebAddress(const QString& text)
{
    if (isScriptAddress(text.toStdString()))
        return false;
    const QUrl url = targetUrl(text.toStdString(), 0);
    return url.isValid() && !url.isEmpty() && !url.isLocalFile() && !refusedSchemes.contains(url.scheme().toLower());
}

}  // namespace

bool isSendRequest(const QByteArray& argument)
{
    return QString::fromLatin1(argument.left(requestScheme.size())).compare(requestScheme, Qt::CaseInsensitive) == 0;
}

std::variant<AddressOffer, QString> parseSendRequest(const QByteArray& request)
{
    if (request.size() > maxSendRequestBytes)
        return QStringLiteral("The request sent to Varnelo is longer than 64 KB; nothing was added.");
    const QByteArray body = request.mid(requestScheme.size());
    const qsizetype question = body.indexOf('?');
    const QByteArray verb = question < 0 ? body : body.left(question);
    if (verb != "add")
        return QStringLiteral("Varnelo only takes \"varnelo:add?url=...\" requests; \"%1\" was refused.")
            .arg(shown(request));
    const QUrlQuery query(QString::fromUtf8(body.mid(question + 1)));
    AddressOffer offer;
    int urls = 0;
    for (const auto& [key, value] : query.queryItems(QUrl::FullyDecoded)) {
        if (key == QLatin1String("url")) {
            offer.url = value;
            ++urls;
        } else if (key == QLatin1String("title")) {
            offer.title = value;
        } else {
            return QStringLiteral("The request \"%1\" is malformed: it names \"%2\", which Varnelo does not know.")
                .arg(shown(request), key);
        }
    }
    if (question < 0 || urls != 1)
        return QStringLiteral("The request \"%1\" is malformed: it must give one url.").arg(shown(request));
    if (!isWebAddress(offer.url))
        return QStringLiteral("\"%1\" is not a web address; nothing was added.").arg(offer.url.left(200));
    return offer;
}

QByteArray locateRequest(const std::string& guid)
{
    return "varnelo:locate?guid=" + QUrl::toPercentEncoding(QString::fromStdString(guid));
}

std::optional<std::string> locatedGuid(const QByteArray& request)
{
    const QByteArray verb = "locate?";
    const QByteArray body = request.mid(requestScheme.size());
    if (request.size() > maxSendRequestBytes || !isSendRequest(request) || !body.startsWith(verb))
        return std::nullopt;
    const QUrlQuery query(QString::fromUtf8(body.mid(verb.size())));
    const QList<std::pair<QString, QString>> items = query.queryItems(QUrl::FullyDecoded);
    if (items.size() != 1 || items.front().first != QLatin1String("guid") || items.front().second.isEmpty())
        return std::nullopt;
    return items.front().second.toStdString();
}

std::optional<AddressOffer> clipboardAddress(const QMimeData& data)
{
    // Firefox and Chromium put "address\ntitle" there in UTF-16.
    const QByteArray moz = data.data(QStringLiteral("text/x-moz-url"));
    if (!moz.isEmpty()) {
        const QString text = QString::fromUtf16(reinterpret_cast<const char16_t*>(moz.constData()), moz.size() / 2);
        const QStringList lines = text.split(QLatin1Char('\n'));
        if (isWebAddress(lines.value(0).trimmed()))
            return AddressOffer{lines.value(0).trimmed(), lines.value(1).trimmed()};
    }
    const QString text = data.text().trimmed();
    // Plain text counts only as an address that names a place ("scheme://..."), not as any "word:".
    if (text.contains(QLatin1Char('\n')) || text.contains(QLatin1Char(' ')) || !text.contains(QLatin1String("://"))
        || !isWebAddress(text))
        return std::nullopt;
    return AddressOffer{text, {}};
}
