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
        "/opt/a\"quote/varnelo", "/opt/$HOME/varnelo", "/opt/back\\slash/varnelo", "/opt/100%/varnelo",
        "/opt/tab\there/varnelo", "/opt/it's/varnelo", "/opt/`cmd`/varnelo", "/opt/Zürich/varnelo",
        "/opt/semi;colon&amp/varnelo"};
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

TEST(SplitCommandLine, HandlesQuotesEscapesAndRepeatedBlanks)
{
    EXPECT_EQ(splitCommandLine("  a   \"b c\"  d\\e "), (std::vector<std::string>{"a", "b c", "d\\e"}));
    EXPECT_EQ(splitCommandLine("\"\" x"), (std::vector<std::string>{"", "x"}));
    EXPECT_EQ(splitCommandLine("\"q\\\"uote\""), (std::vector<std::string>{"q\"uote"}));
    EXPECT_TRUE(splitCommandLine("   ").empty());
}
