#include "shell/singleinstance.h"

#include "shelltestutil.h"

#include <QElapsedTimer>
#include <QEventLoop>
#include <QFileInfo>
#include <QLocalSocket>
#include <QTemporaryDir>
#include <QThread>
#include <QTimer>

#include <gtest/gtest.h>

#include <atomic>
#include <latch>
#include <memory>
#include <vector>

#include <sys/socket.h>
#include <sys/un.h>
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

// What a crashed instance leaves: a socket file bound to the name that nobody listens on.
void leaveStaleSocket(const QString& path)
{
    const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
    ASSERT_GE(fd, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    const QByteArray bytes = QFile::encodeName(path);
    ASSERT_LT(static_cast<size_t>(bytes.size()), sizeof(address.sun_path));
    std::copy(bytes.begin(), bytes.end(), address.sun_path);
    ASSERT_EQ(::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof(address)), 0);
    ::close(fd);
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

TEST(SingleInstanceName, DependsOnUserAndDisplay)
{
    const QByteArray savedDisplay = qgetenv("DISPLAY");
    const QByteArray savedWayland = qgetenv("WAYLAND_DISPLAY");
    qunsetenv("WAYLAND_DISPLAY");
    qputenv("DISPLAY", ":0");
    const QString onZero = SingleInstance::defaultServerName();
    qputenv("DISPLAY", ":1");
    const QString onOne = SingleInstance::defaultServerName();
    qputenv("WAYLAND_DISPLAY", "wayland-0");
    const QString onWayland = SingleInstance::defaultServerName();
    qputenv("DISPLAY", savedDisplay);
    if (savedWayland.isNull())
        qunsetenv("WAYLAND_DISPLAY");
    else
        qputenv("WAYLAND_DISPLAY", savedWayland);

    EXPECT_NE(onZero, onOne);
    EXPECT_NE(onOne, onWayland);
    EXPECT_TRUE(QFileInfo(onZero).fileName().startsWith(QStringLiteral("TSDIAppForm-%1-").arg(getuid())));
    EXPECT_TRUE(onWayland.endsWith(QStringLiteral("wayland-0")));
}
