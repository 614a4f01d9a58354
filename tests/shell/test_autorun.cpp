// SPDX-License-Identifier: GPL-3.0-or-later
#include "shell/autorun.h"

#include "shelltestutil.h"

TEST(Autorun, EntryLivesInTheConfiguredAutostartFolder)
{
    TempHome home;
    EXPECT_EQ(autorunEntryPath(), home.path("config") + "/autostart/varnelo.desktop");
    home.replace("XDG_CONFIG_HOME", home.path("elsewhere"));
    EXPECT_EQ(autorunEntryPath(), home.path("elsewhere") + "/autostart/varnelo.desktop");
}

TEST(Autorun, PlainPathIsWrittenUnquotedWithTray)
{
    TempHome home;
    ASSERT_TRUE(writeAutorunEntry("/usr/bin/varnelo"));
    EXPECT_EQ(readText(autorunEntryPath()),
              "[Desktop Entry]\nType=Application\nName=Varnelo\nExec=/usr/bin/varnelo /tray\n");
    EXPECT_TRUE(autorunEntryActive());
}

TEST(Autorun, PathWithBlanksIsQuotedAndReadsBack)
{
    TempHome home;
    const std::string exe = "/opt/My Apps/varnelo";
    EXPECT_EQ(autorunCommandLine(exe), "\"/opt/My Apps/varnelo\" /tray");
    ASSERT_TRUE(writeAutorunEntry(exe));
    EXPECT_EQ(splitCommandLine(readAutorunCommandLine()), (std::vector<std::string>{exe, "/tray"}));
}

TEST(Autorun, ReservedCharactersSurviveTheRoundTrip)
{
    TempHome home;
    const std::vector<std::string> paths = {
        "/opt/a\"quote/varnelo", "/opt/$HOME/varnelo",     "/opt/back\\slash/varnelo",
        "/opt/100%/varnelo",     "/opt/tab\there/varnelo", "/opt/it's/varnelo",
        "/opt/`cmd`/varnelo",    "/opt/Zürich/varnelo",    "/opt/semi;colon&amp/varnelo"};
    for (const std::string& exe : paths) {
        SCOPED_TRACE(exe);
        ASSERT_TRUE(writeAutorunEntry(exe));
        EXPECT_EQ(splitCommandLine(readAutorunCommandLine()), (std::vector<std::string>{exe, "/tray"}));
    }
}

TEST(Autorun, PercentIsDoubledInTheFile)
{
    TempHome home;
    ASSERT_TRUE(writeAutorunEntry("/opt/100%/varnelo"));
    EXPECT_NE(readText(autorunEntryPath()).find("Exec=/opt/100%%/varnelo /tray\n"), std::string::npos);
}

TEST(Autorun, RemovingTwiceIsNoFailure)
{
    TempHome home;
    ASSERT_TRUE(writeAutorunEntry("/usr/bin/varnelo"));
    EXPECT_TRUE(removeAutorunEntry());
    EXPECT_FALSE(std::filesystem::exists(autorunEntryPath()));
    EXPECT_FALSE(autorunEntryActive());
    EXPECT_TRUE(removeAutorunEntry());
}

TEST(Autorun, EntryIsReplacedNotAppended)
{
    TempHome home;
    ASSERT_TRUE(writeAutorunEntry("/old/varnelo"));
    ASSERT_TRUE(writeAutorunEntry("/new/varnelo"));
    EXPECT_EQ(readAutorunCommandLine(), "/new/varnelo /tray");
}

TEST(Autorun, UnwritableConfigFolderReportsFailure)
{
    TempHome home;
    writeText(home.path("config"), "a file where the folder should be");
    EXPECT_FALSE(writeAutorunEntry("/usr/bin/varnelo"));
    EXPECT_FALSE(autorunEntryActive());
}

TEST(Autorun, EntryIsReadByTheDesktopEntryRules)
{
    TempHome home;
    const auto execOf = [](const std::string& entry) {
        writeText(autorunEntryPath(), entry);
        return readAutorunCommandLine();
    };
    EXPECT_EQ(execOf("[Desktop Entry]\r\nExec=\\s/opt/a\\sb\\\\c\\q /tray\r\n"), " /opt/a b\\c\\q /tray")
        << "\\s, \\\\ and an unknown escape, which keeps its backslash";
    EXPECT_EQ(execOf("[Desktop Entry]\nExec=/old /tray\nExec=/new /tray\n"), "/new /tray");
    EXPECT_EQ(execOf("# comment\n[Other]\nExec=/other\n[Desktop Entry]\nExec[de]=/de\nExec=/main /tray\n"),
              "/main /tray");
    EXPECT_EQ(execOf("[Desktop Entry]\nnot a key line\nExec=/opt/varnelo /tray\n"), "")
        << "a file that is no desktop entry has no Exec";
    EXPECT_FALSE(autorunEntryActive());
    EXPECT_EQ(execOf("[Desktop Entry]\nExec=\\t\\n\n"), "\t\n");
    EXPECT_FALSE(autorunEntryActive()) << "an Exec of control characters only is blank";
}

TEST(SplitCommandLine, HandlesQuotesEscapesAndRepeatedBlanks)
{
    EXPECT_EQ(splitCommandLine("  a   \"b c\"  d\\e "), (std::vector<std::string>{"a", "b c", "d\\e"}));
    EXPECT_EQ(splitCommandLine("\"\" x"), (std::vector<std::string>{"", "x"}));
    EXPECT_EQ(splitCommandLine("\"q\\\"uote\""), (std::vector<std::string>{"q\"uote"}));
    EXPECT_TRUE(splitCommandLine("   ").empty());
}
