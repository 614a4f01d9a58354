#pragma once

#include <QLocalServer>
#include <QLocalSocket>
#include <QObject>
#include <QString>

#include <memory>

// One instance per user and display. The first instance listens on a local socket; a later start
// connects to it, asks it to wake up and waits for the answer. The listening socket is the lock.
class SingleInstance : public QObject {
    Q_OBJECT
public:
    // "TSDIAppForm" with the user id and the display, in the user's runtime folder when there is one.
    static QString defaultServerName();

    explicit SingleInstance(const QString& serverName = defaultServerName(), QObject* parent = nullptr);
    ~SingleInstance() override;

    // true: no other instance answered, so we are the first (and listen when the socket could be made);
    // false: another instance runs and has been woken.
    bool claim();
    // Whether wake requests can reach this instance (after a true claim()).
    bool isListening() const;
    const QString& serverName() const;

    // How long a second start waits for the running instance to answer its wake request.
    static constexpr int WakeTimeoutMs = 5000;

signals:
    void wakeRequested();

private:
    void wakeRunningInstance(QLocalSocket& socket);
    bool listen();
    void serveConnection();

    QString name;
    std::unique_ptr<QLocalServer> server;
};
