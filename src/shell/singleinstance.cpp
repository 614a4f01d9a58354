// SPDX-License-Identifier: GPL-3.0-or-later
#include "singleinstance.h"
#include "shell/sendrequest.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QEventLoop>
#include <QLocalSocket>
#include <QRegularExpression>
#include <QTimer>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <thread>

namespace {

const QByteArray WakeRequest = "wake\n";
const QByteArray WakeAnswer = "ok\n";
// "send <request in base64>\n": a request handed on to the running instance, which wakes for it.
const QByteArray SendPrefix = "send ";
// A send request is cut one byte past the longest the instance takes, so it can tell it was longer.
constexpr qsizetype LongestHandedRequest = maxSendRequestBytes + 1;
// Anything longer than a request is not one of ours.
constexpr qsizetype MaxWakeSize = 64;
constexpr qsizetype MaxRequestSize = 16 + (LongestHandedRequest + 2) / 3 * 4;
// A local connection is made or refused at once; between attempts the running instance gets time
// to start listening or to take connections off its backlog.
constexpr auto ConnectPause = std::chrono::milliseconds(20);

QString displayName()
{
    QString display = qEnvironmentVariable("WAYLAND_DISPLAY");
    if (display.isEmpty())
        display = qEnvironmentVariable("DISPLAY");
    display.replace(QRegularExpression(QStringLiteral("[^A-Za-z0-9._-]")), QStringLiteral("_"));
    return display;
}

// Another user could have made the folder, or a symlink to one of theirs, before us; lstat sees
// the entry itself.
bool isPrivateFolder(const QString& path)
{
    struct stat info {};
    return ::lstat(QFile::encodeName(path).constData(), &info) == 0 && S_ISDIR(info.st_mode)
           && info.st_uid == ::getuid() && (info.st_mode & (S_IRWXG | S_IRWXO)) == 0;
}

// An existing folder is reused only when it passes the same check as a new one.
bool makePrivateFolder(const QString& path)
{
    ::mkdir(QFile::encodeName(path).constData(), S_IRWXU);
    return isPrivateFolder(path);
}

// The home folder is the user's own, so it serves when the shared temporary folder is spoilt.
QString cacheFolder()
{
    QString base = qEnvironmentVariable("XDG_CACHE_HOME");
    if (!QDir::isAbsolutePath(base))
        base = QDir::home().filePath(QStringLiteral(".cache"));
    QDir().mkpath(base);
    return QDir(base).filePath(QStringLiteral("varnelo"));
}

QString privateFolder()
{
    const QString runtime = qEnvironmentVariable("XDG_RUNTIME_DIR");
    if (!runtime.isEmpty() && isPrivateFolder(runtime))
        return runtime;
    const QString temporary = QDir(QDir::tempPath()).filePath(QStringLiteral("varnelo-%1").arg(::getuid()));
    if (makePrivateFolder(temporary))
        return temporary;
    const QString cache = cacheFolder();
    if (makePrivateFolder(cache))
        return cache;
    return {};
}

// QLocalServer puts a bare name into the temporary folder; a full path is used as it is.
QString socketPath(const QString& serverName)
{
    return QDir::isAbsolutePath(serverName) ? serverName : QDir(QDir::tempPath()).filePath(serverName);
}

// A symlink planted at the name must not make us create or open its target.
int openLock(const QString& socket)
{
    const QByteArray path = QFile::encodeName(socket + QStringLiteral(".lock"));
    return ::open(path.constData(), O_RDWR | O_CREAT | O_NOFOLLOW | O_CLOEXEC, S_IRUSR | S_IWUSR);
}

// Our folder is private, so this should never fail; still, a server of another user is never told
// anything and never makes us end.
bool servedBySameUser(const QLocalSocket& socket)
{
    ucred peer{};
    socklen_t size = sizeof(peer);
    return ::getsockopt(static_cast<int>(socket.socketDescriptor()), SOL_SOCKET, SO_PEERCRED, &peer, &size) == 0
           && peer.uid == ::getuid();
}

}  // namespace

QString SingleInstance::defaultServerName()
{
    const QString folder = privateFolder();
    if (folder.isEmpty())
        return {};
    return QDir(folder).filePath(QStringLiteral("TSDIAppForm-%1-%2").arg(::getuid()).arg(displayName()));
}

SingleInstance::SingleInstance(const QString& serverName, QObject* parent) : QObject(parent), name(serverName)
{
}

// The socket goes before the lock, so whoever gets the lock next finds no live server behind it.
SingleInstance::~SingleInstance()
{
    server.reset();
    if (lockFd >= 0)
        ::close(lockFd);
}

const QString& SingleInstance::serverName() const
{
    return name;
}

bool SingleInstance::isListening() const
{
    return server && server->isListening();
}

bool SingleInstance::claim(const QByteArray& request)
{
    handedRequest = request;
    if (lockFd >= 0)
        return true;
    // Without a safe name or a lock nothing can be proved either way: the user still gets a
    // window, only one that later starts cannot reach.
    if (name.isEmpty())
        return true;
    const int fd = openLock(socketPath(name));
    if (fd < 0)
        return true;
    // The kernel drops the lock when its holder dies, even on kill -9: a free lock proves that no
    // instance lives, a taken one that one does, however its socket behaves.
    if (::flock(fd, LOCK_EX | LOCK_NB) == 0) {
        lockFd = fd;
        listen();
        return true;
    }
    const bool taken = errno == EWOULDBLOCK;
    ::close(fd);
    return !taken || !handOverToRunningInstance();
}

// The running instance may not listen yet or have its backlog full for a while; its socket is
// never touched, and this start ends at the deadline even if the wake did not get through.
bool SingleInstance::handOverToRunningInstance()
{
    const QDeadlineTimer deadline(ConnectDeadlineMs);
    for (;;) {
        QLocalSocket socket;
        socket.connectToServer(name);
        if (socket.waitForConnected(0)) {
            if (!servedBySameUser(socket))
                return false;
            wakeRunningInstance(socket);
            return true;
        }
        if (deadline.hasExpired())
            return true;
        std::this_thread::sleep_for(ConnectPause);
    }
}

// Waits for the answer, so the running instance has handled the request when this returns.
bool SingleInstance::wakeRunningInstance(QLocalSocket& socket)
{
    if (handedRequest.isEmpty())
        socket.write(WakeRequest);
    else
        socket.write(SendPrefix + handedRequest.left(LongestHandedRequest).toBase64() + '\n');
    socket.flush();

    // A local event loop rather than a blocking wait, so that an instance in this same thread (or one
    // whose answer arrives in pieces) is served while we wait.
    QEventLoop loop;
    QByteArray answer;
    QTimer timeout;
    timeout.setSingleShot(true);
    connect(&timeout, &QTimer::timeout, &loop, &QEventLoop::quit);
    connect(&socket, &QLocalSocket::disconnected, &loop, &QEventLoop::quit);
    connect(&socket, &QLocalSocket::readyRead, &loop, [&] {
        answer += socket.read(MaxWakeSize);
        if (answer.contains('\n') || answer.size() >= MaxWakeSize)
            loop.quit();
    });
    timeout.start(WakeTimeoutMs);
    if (!answer.contains('\n') && socket.state() == QLocalSocket::ConnectedState)
        loop.exec();
    return answer.startsWith(WakeAnswer);
}

// Only a listening socket counts: the lock is never taken, since holding it even for a moment would
// make a window starting then believe another one runs.
bool SingleInstance::sendToRunningInstance(const QByteArray& request, const QString& serverName)
{
    if (serverName.isEmpty() || request.isEmpty())
        return false;
    QLocalSocket socket;
    socket.connectToServer(serverName);
    if (!socket.waitForConnected(ConnectDeadlineMs) || !servedBySameUser(socket))
        return false;
    SingleInstance sender(serverName);
    sender.handedRequest = request;
    return sender.wakeRunningInstance(socket);
}

bool SingleInstance::listen()
{
    server = std::make_unique<QLocalServer>();
    server->setSocketOptions(QLocalServer::UserAccessOption);
    connect(server.get(), &QLocalServer::newConnection, this, &SingleInstance::serveConnection);
    if (server->listen(name))
        return true;
    if (server->serverError() != QAbstractSocket::AddressInUseError)
        return false;
    // We hold the lock, so whoever made the socket file is gone.
    QLocalServer::removeServer(name);
    return server->listen(name);
}

void SingleInstance::serveConnection()
{
    while (QLocalSocket* socket = server->nextPendingConnection()) {
        connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
        // A client that connects and then says nothing would hold its connection for good.
        QTimer::singleShot(SilentConnectionMs, socket, [socket] {
            socket->abort();
            socket->deleteLater();
        });
        auto buffer = std::make_shared<QByteArray>();
        connect(socket, &QLocalSocket::readyRead, this, [this, socket, buffer] {
            *buffer += socket->readAll();
            // Only a hand-over may be long; anything that begins as neither request is not one of ours.
            const bool handOver = buffer->startsWith(SendPrefix);
            const bool mayBecomeOne =
                handOver || WakeRequest.startsWith(buffer->left(WakeRequest.size())) || SendPrefix.startsWith(*buffer);
            if (!mayBecomeOne || buffer->size() > (handOver ? MaxRequestSize : MaxWakeSize)) {
                socket->abort();
                return;
            }
            if (!buffer->contains('\n'))
                return;
            const bool wake = buffer->startsWith(WakeRequest);
            const bool send = buffer->startsWith(SendPrefix);
            const QByteArray request =
                send ? QByteArray::fromBase64(buffer->mid(SendPrefix.size()).trimmed()) : QByteArray();
            buffer->clear();
            if (wake)
                emit wakeRequested();
            if (send)
                emit requestReceived(request);
            socket->write(WakeAnswer);
            socket->flush();
            socket->disconnectFromServer();
        });
        if (socket->bytesAvailable() > 0)
            emit socket->readyRead();
    }
}
