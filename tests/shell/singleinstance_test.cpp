// SPDX-License-Identifier: GPL-3.0-or-later
#include "shell/singleinstance.h"

#include "shelltestutil.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFileInfo>
#include <QLocalSocket>
#include <QTemporaryDir>
#include <QThread>
#include <QTimer>

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <filesystem>
#include <functional>
#include <latch>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include <fcntl.h>
#include <poll.h>
#include <pwd.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

class SingleInstanceTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ensureApplication();
        ASSERT_TRUE(folder.isValid());
        name = folder.filePath(QStringLiteral("instance"));
    }

    QTemporaryDir folder;
    QString name;
};

sockaddr_un socketAddress(const QByteArray& path)
{
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::copy_n(path.constData(), std::min<size_t>(path.size(), sizeof(address.sun_path) - 1), address.sun_path);
    return address;
}

// A bound, not yet listening socket at the path; -1 when it cannot be made.
int bindSocket(const QByteArray& path)
{
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    const sockaddr_un address = socketAddress(path);
    if (fd >= 0 && ::bind(fd, reinterpret_cast<const sockaddr*>(&address), sizeof(address)) == 0)
        return fd;
    if (fd >= 0)
        ::close(fd);
    return -1;
}

// What a crashed instance leaves: a socket file bound to the name that nobody listens on.
void leaveStaleSocket(const QString& path)
{
    const int fd = bindSocket(QFile::encodeName(path));
    ASSERT_GE(fd, 0);
    ::close(fd);
}

ino_t inodeOf(const QString& path)
{
    struct stat info {};
    return ::lstat(QFile::encodeName(path).constData(), &info) == 0 ? info.st_ino : 0;
}

// What a running instance holds for its whole life.
class HeldLock {
public:
    explicit HeldLock(const QString& socket)
        : fd(::open(QFile::encodeName(socket + ".lock").constData(), O_RDWR | O_CREAT | O_CLOEXEC, 0600))
    {
        held = fd >= 0 && ::flock(fd, LOCK_EX | LOCK_NB) == 0;
    }
    ~HeldLock() { ::close(fd); }
    HeldLock(const HeldLock&) = delete;
    HeldLock& operator=(const HeldLock&) = delete;
    bool held = false;

private:
    int fd;
};

std::optional<passwd> nobody()
{
    const passwd* entry = ::getpwnam("nobody");
    return entry && ::getuid() == 0 ? std::optional<passwd>(*entry) : std::nullopt;
}

// Another process on the name, as another user or as a crashed instance of ours: it listens (holding
// the lock too when asked), never answers, and reports each connection's bytes up to its end as one
// NUL-terminated record.
class ServerProcess {
public:
    ServerProcess(const QString& socket, uid_t uid, gid_t gid, bool holdLock)
    {
        const QByteArray socketPath = QFile::encodeName(socket);
        const QByteArray lockPath = socketPath + ".lock";
        int readyPipe[2], reportPipe[2];
        if (::pipe2(readyPipe, O_CLOEXEC) != 0 || ::pipe2(reportPipe, O_CLOEXEC) != 0)
            return;
        pid = ::fork();
        if (pid == 0) {
            // Only system calls from here on: the parent's other threads may hold any lock.
            if (::setgid(gid) != 0 || ::setuid(uid) != 0)
                ::_exit(1);
            const int lock = holdLock ? ::open(lockPath.constData(), O_RDWR | O_CREAT, 0666) : -1;
            if (holdLock && (lock < 0 || ::flock(lock, LOCK_EX) != 0))
                ::_exit(1);
            const int listener = bindSocket(socketPath);
            if (listener < 0 || ::listen(listener, 8) != 0 || ::write(readyPipe[1], "r", 1) != 1)
                ::_exit(1);
            for (;;) {
                const int connection = ::accept(listener, nullptr, nullptr);
                if (connection < 0)
                    ::_exit(1);
                char buffer[256];
                ssize_t got;
                while ((got = ::read(connection, buffer, sizeof(buffer))) > 0)
                    (void)!::write(reportPipe[1], buffer, static_cast<size_t>(got));
                (void)!::write(reportPipe[1], "", 1);
                ::close(connection);
            }
        }
        ::close(readyPipe[1]);
        ::close(reportPipe[1]);
        ready = readyPipe[0];
        report = reportPipe[0];
        char answer = 0;
        started = pid > 0 && waitReadable(ready, 10000) && ::read(ready, &answer, 1) == 1;
    }
    ~ServerProcess()
    {
        kill();
        ::close(ready);
        ::close(report);
    }
    ServerProcess(const ServerProcess&) = delete;
    ServerProcess& operator=(const ServerProcess&) = delete;

    // The end a kill -9 gives: the kernel drops the lock, the socket file stays.
    void kill()
    {
        if (pid <= 0)
            return;
        ::kill(pid, SIGKILL);
        ::waitpid(pid, nullptr, 0);
        pid = -1;
    }

    std::optional<std::string> nextRecord(int timeoutMs)
    {
        std::string record;
        char c;
        const QDeadlineTimer deadline(timeoutMs);
        while (waitReadable(report, static_cast<int>(deadline.remainingTime())) && ::read(report, &c, 1) == 1) {
            if (c == '\0')
                return record;
            record += c;
        }
        return std::nullopt;
    }

    bool started = false;

private:
    static bool waitReadable(int fd, int timeoutMs)
    {
        pollfd watch{fd, POLLIN, 0};
        return ::poll(&watch, 1, timeoutMs) == 1;
    }

    pid_t pid = -1;
    int ready = -1, report = -1;
};

// A folder any user may put things in, as the shared temporary folder is.
QString sharedFolder(const QTemporaryDir& dir)
{
    ::chmod(QFile::encodeName(dir.path()).constData(), 01777);
    return dir.path();
}

}  // namespace

TEST_F(SingleInstanceTest, FirstClaimsAndListens)
{
    SingleInstance first(name);
    EXPECT_TRUE(first.claim());
    EXPECT_TRUE(first.isListening());
    EXPECT_TRUE(QFileInfo::exists(name));
}

TEST_F(SingleInstanceTest, SecondStartIsRefusedAndWakesTheFirst)
{
    SingleInstance first(name);
    int wakes = 0;
    QObject::connect(&first, &SingleInstance::wakeRequested, [&] { ++wakes; });
    ASSERT_TRUE(first.claim());

    SingleInstance second(name);
    EXPECT_FALSE(second.claim());
    EXPECT_FALSE(second.isListening());
    // claim() returns only after the first instance handled the request.
    EXPECT_EQ(wakes, 1);

    SingleInstance third(name);
    EXPECT_FALSE(third.claim());
    EXPECT_EQ(wakes, 2);
}

TEST_F(SingleInstanceTest, NameIsFreeAgainAfterTheFirstEnds)
{
    {
        SingleInstance first(name);
        ASSERT_TRUE(first.claim());
    }
    SingleInstance next(name);
    EXPECT_TRUE(next.claim());
    EXPECT_TRUE(next.isListening());
}

TEST_F(SingleInstanceTest, StaleSocketLeftByACrashDoesNotBlockTheStart)
{
    leaveStaleSocket(name);
    ASSERT_TRUE(QFileInfo::exists(name));

    SingleInstance revived(name);
    EXPECT_TRUE(revived.claim());
    ASSERT_TRUE(revived.isListening());

    int wakes = 0;
    QObject::connect(&revived, &SingleInstance::wakeRequested, [&] { ++wakes; });
    SingleInstance later(name);
    EXPECT_FALSE(later.claim());
    EXPECT_EQ(wakes, 1);
}

TEST_F(SingleInstanceTest, ForeignTalkOnTheSocketWakesNothing)
{
    SingleInstance first(name);
    int wakes = 0;
    QObject::connect(&first, &SingleInstance::wakeRequested, [&] { ++wakes; });
    ASSERT_TRUE(first.claim());

    QLocalSocket stranger;
    stranger.connectToServer(name);
    ASSERT_TRUE(stranger.waitForConnected(1000));
    stranger.write(QByteArray(200, 'x'));
    stranger.flush();
    QElapsedTimer clock;
    clock.start();
    while (stranger.state() == QLocalSocket::ConnectedState && clock.elapsed() < 3000)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
    EXPECT_EQ(stranger.state(), QLocalSocket::UnconnectedState);
    EXPECT_EQ(wakes, 0);

    // The instance still serves real requests afterwards.
    SingleInstance second(name);
    EXPECT_FALSE(second.claim());
    EXPECT_EQ(wakes, 1);
}

TEST_F(SingleInstanceTest, ConnectionsThatNeverSpeakAreDropped)
{
    SingleInstance first(name);
    ASSERT_TRUE(first.claim());
    std::vector<std::unique_ptr<QLocalSocket>> silent;
    for (int i = 0; i < 3; ++i) {
        silent.push_back(std::make_unique<QLocalSocket>());
        silent.back()->connectToServer(name);
        ASSERT_TRUE(silent.back()->waitForConnected(1000));
    }
    const auto allDropped = [&] {
        return std::all_of(silent.begin(), silent.end(),
                           [](const auto& socket) { return socket->state() == QLocalSocket::UnconnectedState; });
    };
    QElapsedTimer clock;
    clock.start();
    while (!allDropped() && clock.elapsed() < SingleInstance::SilentConnectionMs + 5000)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
    EXPECT_TRUE(allDropped());
    EXPECT_GE(clock.elapsed(), SingleInstance::SilentConnectionMs - 500) << "a slow client gets its few seconds";
    SingleInstance second(name);
    EXPECT_FALSE(second.claim()) << "the instance still serves real requests";
}

struct RaceOutcome {
    int winners = 0, losers = 0, wakes = 0;
};

// Starts several instances on threads released at the same moment; the winner serves the others.
RaceOutcome raceForName(const QString& serverName, int starts)
{
    std::latch ready(starts);
    std::atomic<int> winners{0}, losersDone{0}, wakes{0};
    std::vector<std::unique_ptr<QThread>> threads;
    for (int i = 0; i < starts; ++i) {
        threads.emplace_back(QThread::create([&] {
            SingleInstance instance(serverName);
            QObject::connect(&instance, &SingleInstance::wakeRequested, [&] { ++wakes; });
            ready.arrive_and_wait();
            if (!instance.claim()) {
                ++losersDone;
                return;
            }
            ++winners;
            // Bounded, so a fault cannot hang the test.
            QEventLoop loop;
            QTimer poll;
            QElapsedTimer clock;
            clock.start();
            QObject::connect(&poll, &QTimer::timeout, [&] {
                if (losersDone + winners >= starts || clock.elapsed() > 20000)
                    loop.quit();
            });
            poll.start(10);
            loop.exec();
        }));
        threads.back()->start();
    }
    for (auto& thread : threads)
        thread->wait(30000);
    return {winners.load(), losersDone.load(), wakes.load()};
}

TEST_F(SingleInstanceTest, SimultaneousStartsGiveExactlyOneInstance)
{
    constexpr int starts = 8;
    // The window for a race is small; a few rounds make a missing lock show.
    for (int round = 0; round < 12; ++round) {
        const RaceOutcome outcome = raceForName(name + QString::number(round), starts);
        EXPECT_EQ(outcome.winners, 1) << "round " << round;
        EXPECT_EQ(outcome.losers, starts - 1) << "round " << round;
        EXPECT_EQ(outcome.wakes, starts - 1) << "round " << round;
    }
}

TEST_F(SingleInstanceTest, SymlinkAtTheLockNameIsNotFollowed)
{
    const QString target = folder.filePath(QStringLiteral("planted"));
    ASSERT_TRUE(QFile::link(target, name + QStringLiteral(".lock")));

    SingleInstance instance(name);
    EXPECT_TRUE(instance.claim());
    EXPECT_FALSE(QFileInfo::exists(target));
    EXPECT_FALSE(instance.isListening());
}

TEST_F(SingleInstanceTest, LiveInstanceWithAFullBacklogKeepsItsSocketAndTheSecondStartEnds)
{
    HeldLock lock(name);
    ASSERT_TRUE(lock.held);
    const int listener = bindSocket(QFile::encodeName(name));
    ASSERT_GE(listener, 0);
    ASSERT_EQ(::listen(listener, 0), 0);
    // Connections nobody accepts, until the kernel refuses more.
    std::vector<int> waiting;
    const sockaddr_un address = socketAddress(QFile::encodeName(name));
    for (int i = 0; i < 16; ++i) {
        waiting.push_back(::socket(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0));
        if (::connect(waiting.back(), reinterpret_cast<const sockaddr*>(&address), sizeof(address)) != 0)
            break;
    }
    ASSERT_EQ(errno, EAGAIN);
    const ino_t socketBefore = inodeOf(name);

    SingleInstance second(name);
    EXPECT_FALSE(second.claim());
    EXPECT_FALSE(second.isListening());
    EXPECT_EQ(inodeOf(name), socketBefore);

    for (const int fd : waiting)
        ::close(fd);
    ::close(listener);
}

TEST_F(SingleInstanceTest, SocketOfAKilledInstanceIsTakenOver)
{
    ServerProcess crashed(name, ::getuid(), ::getgid(), true);
    ASSERT_TRUE(crashed.started);
    crashed.kill();
    const ino_t leftover = inodeOf(name);
    ASSERT_NE(leftover, 0u);

    SingleInstance revived(name);
    int wakes = 0;
    QObject::connect(&revived, &SingleInstance::wakeRequested, [&] { ++wakes; });
    EXPECT_TRUE(revived.claim());
    ASSERT_TRUE(revived.isListening());
    EXPECT_NE(inodeOf(name), leftover);

    SingleInstance later(name);
    EXPECT_FALSE(later.claim());
    EXPECT_EQ(wakes, 1);
}

class SquatterTest : public SingleInstanceTest {
protected:
    void SetUp() override
    {
        SingleInstanceTest::SetUp();
        other = nobody();
        if (!other)
            GTEST_SKIP() << "needs root and the user nobody";
        ASSERT_TRUE(shared.isValid());
        name = QDir(sharedFolder(shared)).filePath(QStringLiteral("instance"));
    }

    QTemporaryDir shared;
    std::optional<passwd> other;
};

TEST_F(SquatterTest, ServerOfAnotherUserOnAFreeNameIsReplaced)
{
    ServerProcess squatter(name, other->pw_uid, other->pw_gid, false);
    ASSERT_TRUE(squatter.started);

    SingleInstance instance(name);
    int wakes = 0;
    QObject::connect(&instance, &SingleInstance::wakeRequested, [&] { ++wakes; });
    EXPECT_TRUE(instance.claim());
    ASSERT_TRUE(instance.isListening());

    SingleInstance later(name);
    EXPECT_FALSE(later.claim());
    EXPECT_EQ(wakes, 1);
}

TEST_F(SquatterTest, ServerOfAnotherUserHoldingTheLockIsNotWokenAndWeStart)
{
    ServerProcess squatter(name, other->pw_uid, other->pw_gid, true);
    ASSERT_TRUE(squatter.started);

    SingleInstance instance(name);
    EXPECT_TRUE(instance.claim());
    // We did connect, so the squatter reports that connection: it got nothing.
    EXPECT_EQ(squatter.nextRecord(10000), std::optional<std::string>(""));
    EXPECT_TRUE(QFileInfo::exists(name));
}

// Where the default name lies: HOME, TMPDIR and XDG_CACHE_HOME in temporary folders, no runtime folder.
class InstanceFolderTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        home.remove("XDG_RUNTIME_DIR");
        home.replace("TMPDIR", temporary.path());
        home.replace("XDG_CACHE_HOME", home.path("cache"));
    }

    static QString folderOf(const QString& serverName) { return QFileInfo(serverName).path(); }
    static int modeOf(const std::string& path)
    {
        struct stat info {};
        return ::lstat(path.c_str(), &info) == 0 ? static_cast<int>(info.st_mode & 07777) : -1;
    }
    QString temporaryFolder() const
    {
        return QString::fromStdString(temporary.path("varnelo-" + std::to_string(::getuid())));
    }
    QString cacheFolder() const { return QString::fromStdString(home.path("cache/varnelo")); }

    TempFolder temporary;
    TempHome home;
};

TEST_F(InstanceFolderTest, NameDependsOnUserAndDisplay)
{
    home.remove("WAYLAND_DISPLAY");
    home.replace("DISPLAY", ":0");
    const QString onZero = SingleInstance::defaultServerName();
    home.replace("DISPLAY", ":1");
    const QString onOne = SingleInstance::defaultServerName();
    home.replace("WAYLAND_DISPLAY", "wayland-0");
    const QString onWayland = SingleInstance::defaultServerName();

    EXPECT_NE(onZero, onOne);
    EXPECT_NE(onOne, onWayland);
    EXPECT_TRUE(QFileInfo(onZero).fileName().startsWith(QStringLiteral("TSDIAppForm-%1-").arg(getuid())));
    EXPECT_TRUE(onWayland.endsWith(QStringLiteral("wayland-0")));
}

TEST_F(InstanceFolderTest, FallbackFolderIsMadePrivateAndReused)
{
    const QString first = SingleInstance::defaultServerName();
    EXPECT_EQ(folderOf(first), temporaryFolder());
    EXPECT_EQ(modeOf(temporaryFolder().toStdString()), 0700);
    writeText(temporaryFolder().toStdString() + "/kept", "x");

    EXPECT_EQ(SingleInstance::defaultServerName(), first);
    EXPECT_EQ(readText(temporaryFolder().toStdString() + "/kept"), "x");
}

TEST_F(InstanceFolderTest, SpoiltTemporaryFolderGivesWayToTheCacheFolder)
{
    const std::string spoilt = temporaryFolder().toStdString();
    const std::string elsewhere = temporary.path("elsewhere");
    const auto other = nobody();
    struct Case {
        std::string what;
        std::function<void()> make;
    };
    const std::vector<Case> cases = {
        {"a symlink to a private folder",
         [&] {
             std::filesystem::create_directory(elsewhere);
             ::chmod(elsewhere.c_str(), 0700);
             std::filesystem::create_directory_symlink(elsewhere, spoilt);
         }},
        {"group writable",
         [&] {
             ::mkdir(spoilt.c_str(), 0700);
             ::chmod(spoilt.c_str(), 0770);
         }},
        {"world writable",
         [&] {
             ::mkdir(spoilt.c_str(), 0700);
             ::chmod(spoilt.c_str(), 0707);
         }},
        {"owned by another user",
         [&] {
             ::mkdir(spoilt.c_str(), 0700);
             ASSERT_EQ(::chown(spoilt.c_str(), other->pw_uid, other->pw_gid), 0);
         }},
    };
    for (const Case& spoiling : cases) {
        if (!other && spoiling.what == "owned by another user")
            continue;
        std::filesystem::remove_all(spoilt);
        std::filesystem::remove_all(elsewhere);
        spoiling.make();
        const int modeBefore = modeOf(spoilt);

        EXPECT_EQ(folderOf(SingleInstance::defaultServerName()), cacheFolder()) << spoiling.what;
        EXPECT_EQ(modeOf(cacheFolder().toStdString()), 0700) << spoiling.what;
        EXPECT_EQ(modeOf(spoilt), modeBefore) << spoiling.what;
        EXPECT_FALSE(std::filesystem::exists(elsewhere + "/varnelo")) << spoiling.what;
    }
}

TEST_F(InstanceFolderTest, RuntimeFolderIsUsedOnlyWhenPrivate)
{
    const std::string runtime = home.path("runtime");
    ::mkdir(runtime.c_str(), 0700);
    home.replace("XDG_RUNTIME_DIR", runtime);
    EXPECT_EQ(folderOf(SingleInstance::defaultServerName()), QString::fromStdString(runtime));

    ::chmod(runtime.c_str(), 0755);
    EXPECT_EQ(folderOf(SingleInstance::defaultServerName()), temporaryFolder());
}

TEST_F(InstanceFolderTest, WithoutAnySafeFolderTheStartRunsOnItsOwn)
{
    ::mkdir(temporaryFolder().toLocal8Bit().constData(), 0777);
    ::chmod(temporaryFolder().toLocal8Bit().constData(), 0777);
    std::filesystem::create_directories(home.path("cache"));
    std::filesystem::create_directory_symlink(temporary.path(), cacheFolder().toStdString());

    const QString serverName = SingleInstance::defaultServerName();
    EXPECT_TRUE(serverName.isEmpty()) << serverName.toStdString();
    ensureApplication();
    SingleInstance instance(serverName);
    EXPECT_TRUE(instance.claim());
    EXPECT_FALSE(instance.isListening());
}
