// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArray>
#include <QString>

#include <optional>
#include <string>
#include <variant>

class QMimeData;

// A web address offered to the item dialog, from a browser's "send to Varnelo" or the clipboard.
struct AddressOffer {
    QString url;
    QString title;
};

// Requests longer than this are refused unread.
inline constexpr qsizetype maxSendRequestBytes = 64 * 1024;

// Whether a command-line argument is a "varnelo:" request (the scheme in any case).
bool isSendRequest(const QByteArray& argument);

// "varnelo:add?url=<address>&title=<title>" (percent-encoded, the title optional) gives its address
// and title. Anything else (another request, a malformed one, an address that is not a URL with a
// scheme, or more than maxSendRequestBytes) gives the sentence that tells the user why not.
std::variant<AddressOffer, QString> parseSendRequest(const QByteArray& request);

// "varnelo:locate?guid=<GUID>": the window selects that item (the browser connector's "Open in
// Varnelo"). The window takes it before parseSendRequest, which refuses every request but "add".
QByteArray locateRequest(const std::string& guid);
// The GUID such a request names; nothing for any other request.
std::optional<std::string> locatedGuid(const QByteArray& request);

// The web address on the clipboard, with its title when a browser put one there (text/x-moz-url);
// nothing when the clipboard holds no single web address.
std::optional<AddressOffer> clipboardAddress(const QMimeData& data);
