#include "singleinstance.h"

#include <QDir>
#include <QEventLoop>
#include <QFileInfo>
#include <QLocalSocket>
#include <QRegularExpression>
#include <QTimer>

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <chrono>
#include <thread>

namespace {

const QByteArray WakeRequest = "wake\n";
const QByteArray WakeAnswer = "ok\n";
// Anything longer than a request is not one of ours.
constexpr qsizetype MaxRequestSize = 64;

QString displayName()
{
    QString display = qEnvironmentVariable("WAYLAND_DISPLAY");
    if (display.isEmpty())
        display = qEnvironmentVariable("DISPLAY");
    display.replace(QRegularExpression(QStringLiteral("[^A-Za-z0-9._-]")), QStringLiteral("_"));
    return display;
}

// QLocalServer puts a bare name into the temporary folder; a full path is used as it is.
QString socketPath(const QString& serverName)
{
    return QDir::isAbsolutePath(serverName) ? serverName : QDir(QDir::tempPath()).filePath(serverName);
}

// An exclusive flock on a file beside the socket. The kernel drops it when its holder dies, so a
// crash can never leave the name locked.
class ClaimLock {
public:
    explicit ClaimLock(const QString& path)
        : fd(::open(QFile::encodeName(path).constData(), O_RDWR | O_CREAT | O_CLOEXEC, 0600))
    {
        // Holders keep it for a moment only; past the deadline we go on unlocked rather than hang.
        using namespace std::chrono_literals;
        const auto deadline = std::chrono::steady_clock::now() + 10s;
        while (fd >= 0 && ::flock(fd, LOCK_EX | LOCK_NB) != 0 && std::chrono::steady_clock::now() < deadline)
            std::this_thread::sleep_for(5ms);
    }
    ~ClaimLock()
    {
        if (fd >= 0)
            ::close(fd);
    }
    ClaimLock(const ClaimLock&) = delete;
    ClaimLock& operator=(const ClaimLock&) = delete;

private:
    int fd;
};

}  // namespace

QString SingleInstance::defaultServerName()
{
    const QString base = QStringLiteral("TSDIAppForm-%1-%2").arg(getuid()).arg(displayName());
    // The runtime folder belongs to the user alone, so nobody else can take the name first.
    const QString runtime = qEnvironmentVariable("XDG_RUNTIME_DIR");
    if (!runtime.isEmpty() && QFileInfo(runtime).isDir() && QFileInfo(runtime).isWritable())
        return QDir(runtime).filePath(base);
    return base;
}

SingleInstance::SingleInstance(const QString& serverName, QObject* parent) : QObject(parent), name(serverName) {}

SingleInstance::~SingleInstance() = default;

const QString& SingleInstance::serverName() const
{
    return name;
}

bool SingleInstance::isListening() const
{
    return server && server->isListening();
}

bool SingleInstance::claim()
{
    if (isListening())
        return true;
    // Checking for a running instance and starting to listen must be one step, or two starts at the
    // same moment would both find nobody and both run.
    QLocalSocket socket;
    {
        ClaimLock lock(socketPath(name) + QStringLiteral(".lock"));
        // Connecting succeeds only while an instance listens; a socket file left by a crash refuses.
        socket.connectToServer(name);
        if (!socket.waitForConnected(1000)) {
            listen();
            return true;
        }
    }
    wakeRunningInstance(socket);
    return false;
}

// Waits for the answer, so the running instance has handled the request when this returns.
void SingleInstance::wakeRunningInstance(QLocalSocket& socket)
{
    socket.write(WakeRequest);
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
        answer += socket.readAll();
        if (answer.contains('\n'))
            loop.quit();
    });
    timeout.start(WakeTimeoutMs);
    if (!answer.contains('\n') && socket.state() == QLocalSocket::ConnectedState)
        loop.exec();
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
    // Nobody answered on the name (checked under the lock), so the socket file is a leftover.
    QLocalServer::removeServer(name);
    return server->listen(name);
}

void SingleInstance::serveConnection()
{
    while (QLocalSocket* socket = server->nextPendingConnection()) {
        connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
        auto buffer = std::make_shared<QByteArray>();
        connect(socket, &QLocalSocket::readyRead, this, [this, socket, buffer] {
            *buffer += socket->readAll();
            if (buffer->size() > MaxRequestSize) {
                socket->abort();
                return;
            }
            if (!buffer->contains('\n'))
                return;
            const bool wake = buffer->startsWith(WakeRequest);
            buffer->clear();
            if (wake)
                emit wakeRequested();
            socket->write(WakeAnswer);
            socket->flush();
            socket->disconnectFromServer();
        });
        if (socket->bytesAvailable() > 0)
            emit socket->readyRead();
    }
}
