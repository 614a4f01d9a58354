// SPDX-License-Identifier: GPL-3.0-or-later
// The password against a real Secret Service: gnome-keyring in a D-Bus session of the test's own.
#include "sync/syncpassword.h"

#include "childprocess.h"
#include "tempfolder.h"

#include <QCoreApplication>
#include <QStandardPaths>

#include <gtest/gtest.h>

#include <filesystem>

namespace {

constexpr const char* InSession = "VARNELO_TEST_IN_KEYRING_SESSION";

// The checks themselves, run inside the session.
int checkKeyring()
{
    int argc = 1;
    char name[] = "test_sync";
    char* argv[] = {name, nullptr};
    QCoreApplication app(argc, argv);
    const std::string place = "https://cloud.example.org/remote.php/dav/files/ann/";
    int failures = 0;
    auto expect = [&](bool ok, const char* what) {
        if (!ok) {
            std::fprintf(stderr, "keyring check failed: %s\n", what);
            ++failures;
        }
    };
    const KeyringAnswer stored = storeSyncPassword(place, "ann", "s3cret päss");
    expect(stored.ok, stored.problem.c_str());
    expect(readSyncPassword(place, "ann") == std::optional<std::string>("s3cret päss"), "the password reads back");
    KeyringAnswer other;
    expect(!readSyncPassword(place, "bob", &other), "another user has no password");
    expect(other.problem == "No sync password is stored in the keyring.", other.problem.c_str());
    expect(forgetSyncPassword(place, "ann").ok, "the password is forgotten");
    expect(!readSyncPassword(place, "ann"), "a forgotten password is gone");
    // The key of an encrypted place is kept apart from the password of the same place.
    expect(storeSyncKey(place, "a2V5").ok, "the key is kept");
    expect(readSyncKey(place) == std::optional<std::string>("a2V5"), "the key reads back");
    expect(!readSyncPassword(place, "ann"), "the key is no password");
    expect(forgetSyncKey(place).ok && !readSyncKey(place), "a forgotten key is gone");
    return failures;
}

}  // namespace

TEST(SyncPassword, KeptInTheSecretServiceAndReadBack)
{
    if (qEnvironmentVariableIsSet(InSession)) {
        EXPECT_EQ(checkKeyring(), 0);
        return;
    }
    if (QStandardPaths::findExecutable("dbus-run-session").isEmpty()
        || QStandardPaths::findExecutable("gnome-keyring-daemon").isEmpty())
        GTEST_SKIP() << "no dbus-run-session or gnome-keyring-daemon";
    TempFolder home;
    ChildProcess session;
    // A known password unlocks (and first makes) the session's login keyring.
    session.start("dbus-run-session",
                  {"--", "sh", "-c",
                   "printf 'varnelo-test' | gnome-keyring-daemon --unlock --components=secrets >/dev/null || exit 77; "
                   "exec \"$0\" --gtest_filter=SyncPassword.*",
                   QString::fromStdString(std::filesystem::read_symlink("/proc/self/exe").string())},
                  {std::string(InSession) + "=1", "HOME=" + home.path(), "XDG_DATA_HOME=" + home.path("data"),
                   "XDG_RUNTIME_DIR=" + home.path()});
    session.waitForFinished(std::chrono::seconds(60));
    const QString output = QString::fromStdString(session.output());
    if (session.exitCode() == 77)
        GTEST_SKIP() << "gnome-keyring does not run here: " << output.toStdString();
    EXPECT_EQ(session.exitCode(), 0) << output.toStdString();
    EXPECT_TRUE(output.contains("[  PASSED  ] 1 test")) << output.toStdString();
}
