// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "connector/nativemessaging.h"
#include "content/contentindexer.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QString>

#include <cstddef>
#include <string>

class CDBManager;

namespace connector {

struct HostSetup {
    std::string cataloguePath;
    // Where kept copies go and the index their text is read into; an empty indexPath keeps copies
    // without indexing them.
    content::IndexerSetup content;
    // The running window's single-instance socket, which "locate" hands its request to.
    QString windowServerName;
};

// What the browser extension asks, one JSON object per message, each answered by one:
//   {"command":"categories"[,"from":N]}  the tree (guid, name, parent), pre-order, and "recent": the
//                                         categories filed to lately, newest first; "next" when the
//                                         rest did not fit into one answer
//   {"command":"lookup","url":U}          "items" filed under the same address (the catalogue
//                                         check's "same address"), each with its category's path
//   {"command":"add","url":U,"title":T,"description":D,"category":GUID}  "guid" of the new item; without
//                                         a category, the one filed to last
//   {"command":"keep","guid":G,"html":H}  H (at most 20 MB) as the item's kept copy, its text indexed
//   {"command":"locate","guid":G}         the running window selects the item
// Every answer carries "ok" (and the request's "id", when it had one); a refusal carries "error", the
// reason in words, and changes nothing. The catalogue is opened afresh for every message, so what the
// window changed meanwhile counts. Nothing the browser sends makes the host run a program (the
// content index's own reader aside).
class ConnectorHost {
public:
    explicit ConnectorHost(HostSetup setup);

    // The answer to one message (its bytes as the browser framed them), as JSON text.
    std::string answer(const std::string& message);
    // Answers every message until the browser closes the connection.
    void serve(NativeMessaging& channel);

    // A message other than "keep" never needs more.
    static constexpr std::size_t largestRequest = 1024 * 1024;
    static constexpr std::size_t largestKeptPage = 20 * 1024 * 1024;
    // A "keep" of the largest page with its text escaped as JSON; the most Chromium sends to a host.
    static constexpr std::size_t largestMessage = 64 * 1024 * 1024;

private:
    QJsonObject respond(const QJsonDocument& request, std::size_t size);
    QJsonObject categories(const QJsonObject& request);
    QJsonObject lookup(const QJsonObject& request);
    QJsonObject add(const QJsonObject& request);
    QJsonObject keep(const QJsonObject& request);
    QJsonObject locate(const QJsonObject& request);
    // Opens the catalogue (for writing: inside one transaction that holds the write lock).
    void open(CDBManager& db, bool forWriting) const;
    // A copy's words go into the content index; the reason in words when they could not.
    std::string indexKeptCopy(const std::string& address);

    HostSetup setup;
};

}  // namespace connector
