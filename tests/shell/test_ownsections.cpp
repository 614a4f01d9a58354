// SPDX-License-Identifier: GPL-3.0-or-later
#include "shell/appsettings.h"
#include "shell/ownsections.h"
#include "shell/paths.h"

#include "shelltestutil.h"

#include <sys/stat.h>

namespace {

class OwnSectionsTest : public ::testing::Test {
protected:
    void SetUp() override { ensureApplication(); }

    TempHome home;
    const std::string ini = home.path("bin/varnelo.INI");
};

}  // namespace

// Faults caught: a section left behind (written again at every start), a designed byte changed, a
// value lost on the way, and a second start overwriting what the user changed since.
TEST_F(OwnSectionsTest, SectionsOfOurOwnLeaveTheSettingsFileOnceWithTheirValues)
{
    writeText(ini, "; kept by hand\r\n[Settings]\r\nautorun=0\r\n[Window]\r\ngeometry=1,2,3,4\r\n"
                   "columns=200,250,150\r\n[Search]\r\ntitle=1\r\n[Folders]\r\nAdd File(s)=/home/a b\r\n"
                   "[Content]\r\nindex=0\r\n[AutomaticBackups]\r\nkeep=9\r\n[window]\r\nmaximized=1\r\n");
    moveOwnSectionsOut(ini);

    const std::string designed = "; kept by hand\r\n[Settings]\r\nautorun=0\r\n[Search]\r\ntitle=1\r\n";
    EXPECT_EQ(readText(ini), designed);
    const std::string state = windowStateFilePath();
    EXPECT_EQ(state, home.path("state/Varnelo/window.ini"));
    const struct {
        std::string file, section, key, value;
    } moved[] = {
        {state, "Window", "geometry", "1,2,3,4"},
        {state, "Window", "columns", "200,250,150"},
        {state, "Folders", "Add File(s)", "/home/a b"},
        {optionsFilePath(), "Content", "index", "0"},
        {optionsFilePath(), "AutomaticBackups", "keep", "9"},
    };
    for (const auto& entry : moved)
        EXPECT_EQ(readIniText(entry.file, entry.section, entry.key), entry.value) << entry.section << entry.key;

    writeIniTexts(state, "Window", {{"geometry", "5,6,7,8"}});
    moveOwnSectionsOut(ini);
    EXPECT_EQ(readText(ini), designed);
    EXPECT_EQ(readIniText(state, "Window", "geometry"), "5,6,7,8");
}

TEST_F(OwnSectionsTest, ASettingsFileWithOnlyDesignedSectionsIsNotTouched)
{
    const std::string designed = "[Settings]\nalways=1\n\n[Search]\ncomment=0";
    writeText(ini, designed);
    struct stat before {};
    ASSERT_EQ(::stat(ini.c_str(), &before), 0);
    moveOwnSectionsOut(ini);
    struct stat after {};
    ASSERT_EQ(::stat(ini.c_str(), &after), 0);
    EXPECT_EQ(readText(ini), designed);
    EXPECT_EQ(before.st_ino, after.st_ino);
    moveOwnSectionsOut(home.path("bin/missing.INI"));
    EXPECT_FALSE(std::filesystem::exists(home.path("bin/missing.INI")));
}
