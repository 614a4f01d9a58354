// SPDX-License-Identifier: GPL-3.0-or-later
#include "shell/paths.h"

#include "shelltestutil.h"

#include <unistd.h>

namespace {

// A folder nobody can create files in, whoever runs the tests.
std::string folderRefusingFiles(TempHome& home)
{
    if (::geteuid() == 0)
        return "/proc";
    const std::string folder = home.path("readonly");
    std::filesystem::create_directories(folder);
    std::filesystem::permissions(folder, std::filesystem::perms::owner_read | std::filesystem::perms::owner_exec);
    return folder;
}

}  // namespace

TEST(SettingsFilePath, ReplacesExtensionBesideTheExecutable)
{
    TempHome home;
    const std::string bin = home.path("bin");
    std::filesystem::create_directories(bin);
    std::filesystem::create_directories(home.path("dotted.dir"));
    EXPECT_EQ(settingsFilePathFor(bin + "/catalog.exe"), bin + "/catalog.INI");
    EXPECT_EQ(settingsFilePathFor(bin + "/varnelo"), bin + "/varnelo.INI");
    EXPECT_EQ(settingsFilePathFor(bin + "/archive.v2.bin"), bin + "/archive.v2.INI");
    EXPECT_EQ(settingsFilePathFor(home.path("dotted.dir") + "/varnelo"), home.path("dotted.dir") + "/varnelo.INI");
}

TEST(SettingsFilePath, FallsBackToConfigFolderWhenExecutableFolderTakesNoFiles)
{
    TempHome home;
    const std::string folder = folderRefusingFiles(home);
    ASSERT_FALSE(folderTakesFiles(folder));

    const std::string path = settingsFilePathFor(folder + "/varnelo");

    EXPECT_EQ(path, home.path("config") + "/Varnelo/varnelo.INI");
    EXPECT_TRUE(std::filesystem::is_directory(home.path("config") + "/Varnelo"));
}

TEST(SettingsFilePath, RunningExecutableGivesItsOwnIniName)
{
    TempHome home;
    const std::string exe = executablePath();
    EXPECT_TRUE(std::filesystem::equivalent(exe, "/proc/self/exe"));
    const std::string expected = exe.substr(0, exe.find_last_of('/')) + "/test_shell.INI";
    const std::string path = settingsFilePath();
    EXPECT_TRUE(path == expected || path == home.path("config") + "/Varnelo/test_shell.INI") << path;
}

TEST(DatabaseFilePath, IsInDataFolderAndCreatesIt)
{
    TempHome home;
    const std::string path = databaseFilePath();
    EXPECT_EQ(path, home.path("data") + "/Varnelo/FavoritesDB.db");
    EXPECT_TRUE(std::filesystem::is_directory(home.path("data") + "/Varnelo"));
    EXPECT_FALSE(std::filesystem::exists(path)) << "the path rule must not create the database";
}

TEST(DatabaseFilePath, EmptyWhenTheFolderCannotBeMade)
{
    TempHome home;
    writeText(home.path("data"), "a file in the way");
    EXPECT_EQ(databaseFilePath(), "");
}

TEST(DatabaseFilePath, AVarneloFolderThatCannotBeMadeStillGivesThePath)
{
    TempHome home;
    std::filesystem::create_directories(home.path("data"));
    writeText(home.path("data") + "/Varnelo", "a file where the folder would be");
    // The open then fails with SQLite's reason while the window is up, instead of the program ending.
    EXPECT_EQ(databaseFilePath(), home.path("data") + "/Varnelo/FavoritesDB.db");
}
