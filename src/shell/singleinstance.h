// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArray>
#include <QLocalServer>
#include <QLocalSocket>
#include <QObject>
#include <QString>

#include <memory>

// One instance per user and display. The running instance holds an exclusive lock on a file beside
// its socket for its whole life; a later start that finds the lock taken connects to the socket,
// asks the instance to wake up and waits for the answer.
class SingleInstance : public QObject {
    Q_OBJECT
public:
    // "TSDIAppForm" with the user id and the display, in a folder only this user can reach: the
    // runtime folder, else varnelo-<uid> in the temporary folder, else varnelo in the cache folder.
    // Empty when none of them is safe to use.
    static QString defaultServerName();

    explicit SingleInstance(const QString& serverName = defaultServerName(), QObject* parent = nullptr);
    ~SingleInstance() override;

    // true: no instance of ours runs, so this is the first (it holds the lock and listens when the
    // socket could be made); false: another instance runs and has been asked to wake up, or, with a
    // request (a "varnelo:" argument), has been handed that request.
    bool claim(const QByteArray& request = {});
    // Hands a "varnelo:" request to the running instance without ever becoming one (for helpers that
    // only talk to the window): true once the instance has taken it, false when none answers.
    static bool sendToRunningInstance(const QByteArray& request, const QString& serverName = defaultServerName());

    // Whether wake requests can reach this instance (after a true claim()).
    bool isListening() const;
    const QString& serverName() const;

    // How long a second start waits for the running instance to answer its wake request.
    static constexpr int WakeTimeoutMs = 5000;
    // How long a second start keeps trying to reach a running instance that does not accept yet.
    static constexpr int ConnectDeadlineMs = 3000;
    // How long the running instance keeps a connection that has not sent its request.
    static constexpr int SilentConnectionMs = 3000;

signals:
    void wakeRequested();
    // A later start handed on its "varnelo:" request (cut one byte past the longest taken).
    void requestReceived(const QByteArray& request);

private:
    bool handOverToRunningInstance();
    // True when the running instance answered.
    bool wakeRunningInstance(QLocalSocket& socket);
    bool listen();
    void serveConnection();

    QString name;
    QByteArray handedRequest;
    int lockFd = -1;
    std::unique_ptr<QLocalServer> server;
};
