// SPDX-License-Identifier: GPL-3.0-or-later
#include "shell/appsettings.h"
#include "shell/autorun.h"

#include "shelltestutil.h"

#include <sys/stat.h>

namespace {

class SettingsTest : public ::testing::Test {
protected:
    SettingsRecord load()
    {
        SettingsRecord settings;
        LoadSettings(settings, ini);
        return settings;
    }

    bool flag(const std::string& value, bool defaultValue)
    {
        writeText(ini, "[Settings]\nautohide=" + value + "\n");
        return readIniFlag(ini, "Settings", "autohide", defaultValue);
    }

    TempHome home;
    const std::string ini = home.path("bin/varnelo.INI");
};

SettingsRecord record(bool autorun, bool closetray, bool minitray, bool autohide, bool always)
{
    SettingsRecord settings;
    settings.autorun = autorun;
    settings.closetray = closetray;
    settings.minitray = minitray;
    settings.autohide = autohide;
    settings.always = always;
    return settings;
}

void expectRecord(const SettingsRecord& actual, const SettingsRecord& expected)
{
    EXPECT_EQ(actual.autorun, expected.autorun);
    EXPECT_EQ(actual.closetray, expected.closetray);
    EXPECT_EQ(actual.minitray, expected.minitray);
    EXPECT_EQ(actual.autohide, expected.autohide);
    EXPECT_EQ(actual.always, expected.always);
}

}  // namespace

TEST_F(SettingsTest, FirstStartGivesDefaultsAndWritesNothing)
{
    expectRecord(load(), record(false, true, true, false, true));
    EXPECT_FALSE(std::filesystem::exists(ini));
    EXPECT_FALSE(std::filesystem::exists(autorunEntryPath()));
}

TEST_F(SettingsTest, SaveThenLoadRoundTripsEveryCombination)
{
    std::filesystem::create_directories(home.path("bin"));
    for (int bits = 0; bits < 32; ++bits) {
        const SettingsRecord saved = record(bits & 1, bits & 2, bits & 4, bits & 8, bits & 16);
        SaveSettings(saved, ini);
        ASSERT_TRUE(std::filesystem::exists(ini));
        SCOPED_TRACE(bits);
        expectRecord(load(), saved);
        EXPECT_EQ(std::filesystem::exists(autorunEntryPath()), saved.autorun);
    }
}

TEST_F(SettingsTest, SaveWritesAllFiveKeysAsDigitsWithoutBlanksOrSignature)
{
    std::filesystem::create_directories(home.path("bin"));
    SaveSettings(record(false, true, false, true, false), ini);
    EXPECT_EQ(readText(ini), "[Settings]\nautorun=0\nclosetray=1\nminitray=0\nautohide=1\nalways=0\n");
}

TEST_F(SettingsTest, IniOnButEntryMissingLoadsAutorunOff)
{
    writeText(ini, "[Settings]\nautorun=1\n");
    EXPECT_FALSE(load().autorun);
}

TEST_F(SettingsTest, IniOffButEntryPresentLoadsOffAndNextSaveRemovesEntry)
{
    writeText(ini, "[Settings]\nautorun=0\n");
    ASSERT_TRUE(writeAutorunEntry("/usr/bin/varnelo"));
    SettingsRecord settings = load();
    EXPECT_FALSE(settings.autorun);
    SaveSettings(settings, ini);
    EXPECT_FALSE(std::filesystem::exists(autorunEntryPath()));
}

TEST_F(SettingsTest, EntryWithBlankOrMissingExecLoadsAutorunOff)
{
    writeText(ini, "[Settings]\nautorun=1\n");
    writeText(autorunEntryPath(), "[Desktop Entry]\nType=Application\nName=Varnelo\nExec=  \t \n");
    EXPECT_FALSE(load().autorun);
    writeText(autorunEntryPath(), "[Desktop Entry]\nType=Application\nName=Varnelo\n");
    EXPECT_FALSE(load().autorun);
    writeText(autorunEntryPath(), "[Other Group]\nExec=/usr/bin/varnelo /tray\n");
    EXPECT_FALSE(load().autorun);
    writeText(autorunEntryPath(), "[Desktop Entry]\nExec = /usr/bin/varnelo /tray\n");
    EXPECT_TRUE(load().autorun);
}

TEST_F(SettingsTest, IntegerRuleDecidesEachFlag)
{
    EXPECT_TRUE(flag("1", false));
    EXPECT_TRUE(flag("2", false));
    EXPECT_TRUE(flag("-1", false));
    EXPECT_TRUE(flag("0x10", false));
    EXPECT_TRUE(flag("0x1", false));
    EXPECT_TRUE(flag("0XfF", false));
    EXPECT_TRUE(flag("0xFFFFFFFF", false));
    EXPECT_FALSE(flag("0", true));
    EXPECT_FALSE(flag("0x0", true));
    EXPECT_FALSE(flag("-0", true));
    EXPECT_FALSE(flag("true", false));
    EXPECT_TRUE(flag("yes", true));
    EXPECT_FALSE(flag("", false));
    EXPECT_TRUE(flag("", true));
    EXPECT_FALSE(flag("0x", false));
    EXPECT_FALSE(flag("12abc", false));
    EXPECT_FALSE(flag("99999999999", false));
    EXPECT_FALSE(flag("0x100000000", false));
    EXPECT_FALSE(flag("+", false));
    EXPECT_FALSE(flag(std::string(2999, '0') + "1", true)) << "only the first 2047 characters count";
}

TEST(ParseProfileInt, ConvertsSignedDecimalAndHexadecimal)
{
    int value = 99;
    ASSERT_TRUE(parseProfileInt("-2147483648", value));
    EXPECT_EQ(value, INT32_MIN);
    ASSERT_TRUE(parseProfileInt("2147483647", value));
    EXPECT_EQ(value, INT32_MAX);
    EXPECT_FALSE(parseProfileInt("2147483648", value));
    ASSERT_TRUE(parseProfileInt("0x7fffffff", value));
    EXPECT_EQ(value, INT32_MAX);
    ASSERT_TRUE(parseProfileInt("0xFFFFFFFE", value));
    EXPECT_EQ(value, -2);
    ASSERT_TRUE(parseProfileInt("+15", value));
    EXPECT_EQ(value, 15);
    EXPECT_FALSE(parseProfileInt("0xG", value));
    EXPECT_FALSE(parseProfileInt("1 2", value));
}

TEST_F(SettingsTest, NamesMatchWhateverTheirCaseAndKeepTheirSpelling)
{
    writeText(ini, "[SETTINGS]\nAutoHide=1\nALWAYS=0\n");
    SettingsRecord settings = load();
    EXPECT_TRUE(settings.autohide);
    EXPECT_FALSE(settings.always);
    settings.autohide = false;
    SaveSettings(settings, ini);
    const std::string text = readText(ini);
    EXPECT_NE(text.find("[SETTINGS]\n"), std::string::npos);
    EXPECT_NE(text.find("AutoHide=0\n"), std::string::npos);
    EXPECT_EQ(text.find("autohide"), std::string::npos) << "a second key was added";
    EXPECT_EQ(text.find("[Settings]"), std::string::npos) << "a second section was added";
}

TEST_F(SettingsTest, SaveKeepsOtherKeysSectionsCommentsAndSearchFlags)
{
    writeText(ini, "; written by hand\n[Settings]\n; the tray\nalways=1\ncolour=blue\n"
                   "[Search]\ntitle=0\nfilename=0x1\n[Window]\nwidth=800");
    SaveSettings(record(false, false, false, false, false), ini);
    const std::string text = readText(ini);
    for (const char* kept : {"; written by hand", "; the tray\nalways=0", "colour=blue", "[Search]", "title=0",
                             "filename=0x1", "[Window]", "width=800"})
        EXPECT_NE(text.find(kept), std::string::npos) << kept;
    EXPECT_FALSE(readIniFlag(ini, "Search", "title", true));
    EXPECT_TRUE(readIniFlag(ini, "Search", "filename", false));
}

TEST_F(SettingsTest, DuplicateKeyReadsFirstAndSaveChangesOnlyTheFirst)
{
    writeText(ini, "[Settings]\nautohide=1\nautohide=0\n");
    SettingsRecord settings = load();
    EXPECT_TRUE(settings.autohide);
    settings.autohide = false;
    SaveSettings(settings, ini);
    EXPECT_EQ(readText(ini).substr(0, 33), "[Settings]\nautohide=0\nautohide=0\n");
    settings.autohide = true;
    SaveSettings(settings, ini);
    EXPECT_EQ(readText(ini).substr(0, 33), "[Settings]\nautohide=1\nautohide=0\n");
    EXPECT_TRUE(load().autohide);
}

// Each hand-written file must come back byte for byte but for the values of the keys written and
// the lines added for keys it lacked.
TEST_F(SettingsTest, SaveChangesOnlyTheWrittenValuesOfAHandWrittenFile)
{
    struct Case {
        const char* what;
        std::string before;
        std::string after;
    };
    const SettingsRecord saved = record(false, false, true, true, false);
    const std::vector<Case> cases = {
        {"comments, odd spacing, duplicates, a line without '=', other sections, CRLF",
         "; written by hand\r\n"
         "[Window]\r\n"
         "autorun=1\r\n"
         "\r\n"
         "[ settings ] ; the five flags\r\n"
         "  AutoRun = 1 ; start with the session\r\n"
         "closetray\t=  1\r\n"
         "CLOSETRAY=1\r\n"
         "no equals sign here\r\n"
         "colour=blue ; kept\r\n"
         "# minitray=0\r\n"
         "\r\n"
         "[Search]\r\n"
         "always=1\r\n"
         "[Settings]\r\n"
         "minitray=0\r\n"
         "always =\t1   ",
         "; written by hand\r\n"
         "[Window]\r\n"
         "autorun=1\r\n"
         "\r\n"
         "[ settings ] ; the five flags\r\n"
         "  AutoRun = 0 ; start with the session\r\n"
         "closetray\t=  0\r\n"
         "CLOSETRAY=1\r\n"
         "no equals sign here\r\n"
         "colour=blue ; kept\r\n"
         "autohide=1\r\n"
         "# minitray=0\r\n"
         "\r\n"
         "[Search]\r\n"
         "always=1\r\n"
         "[Settings]\r\n"
         "minitray=1\r\n"
         "always =\t0   "},
        {"a comment after a value stays, on a line written unchanged and on one changed",
         "[Settings]\nminitray = 1 ; note\nalways=1 # was on\nautorun=0\nclosetray=0\nautohide=1\n",
         "[Settings]\nminitray = 1 ; note\nalways=0 # was on\nautorun=0\nclosetray=0\nautohide=1\n"},
        {"missing keys go after the section's last key, without a trailing newline",
         "[Settings]\nalways=1\n; end of the flags\n[Other]\nx=1",
         "[Settings]\nalways=0\nautorun=0\nclosetray=0\nminitray=1\nautohide=1\n; end of the flags\n[Other]\nx=1"},
        {"a section without keys and a file that ends in its last key",
         "\xEF\xBB\xBF[Settings]\r\n[Other]\r\nx=1\r\n[settings]\r\nautohide=0",
         "\xEF\xBB\xBF[Settings]\r\nautorun=0\r\nclosetray=0\r\nminitray=1\r\nalways=0\r\n[Other]\r\nx=1\r\n"
         "[settings]\r\nautohide=1"},
        {"a missing section is appended, keeping the file's line breaks", "[Other]\r\nautorun=1",
         "[Other]\r\nautorun=1\r\n[Settings]\r\nautorun=0\r\nclosetray=0\r\nminitray=1\r\nautohide=1\r\nalways=0"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        writeText(ini, c.before);
        ASSERT_TRUE(SaveSettings(saved, ini));
        EXPECT_EQ(readText(ini), c.after);
        expectRecord(load(), saved);
        ASSERT_TRUE(SaveSettings(saved, ini));
        EXPECT_EQ(readText(ini), c.after) << "a second save changed the file again";
    }
}

TEST_F(SettingsTest, SearchFlagsLeaveTheSameNamesInOtherSectionsAlone)
{
    const std::string before = "[Settings]\ntitle=1\n[Search]\ntitle = 1\n";
    writeText(ini, before);
    writeIniFlags(ini, "Search", {{"title", false}, {"comment", false}});
    EXPECT_EQ(readText(ini), "[Settings]\ntitle=1\n[Search]\ntitle = 0\ncomment=0\n");
    EXPECT_TRUE(readIniFlag(ini, "Settings", "title", false));
    EXPECT_FALSE(readIniFlag(ini, "Search", "title", true));
}

TEST_F(SettingsTest, MissingSectionAndNoTrailingNewlineStillWork)
{
    writeText(ini, "[Other]\nx=1");
    expectRecord(load(), record(false, true, true, false, true));
    writeText(ini, "[Other]\nx=1\n[Settings]\nalways=0");
    EXPECT_FALSE(load().always);
    SaveSettings(record(false, true, true, true, true), ini);
    EXPECT_TRUE(load().autohide);
    EXPECT_NE(readText(ini).find("x=1"), std::string::npos);
}

// The saved values must read back whatever bytes the file holds before them.
TEST_F(SettingsTest, ANulByteHidesNothingThatFollowsIt)
{
    using namespace std::string_literals;
    writeText(ini, "[Other]\nx=a\0b\n[Settings]\nalways=0\n"s);
    EXPECT_FALSE(load().always);
    writeText(ini, "[Other]\nx=a\0b\n"s);
    SaveSettings(record(false, false, false, true, false), ini);
    expectRecord(load(), record(false, false, false, true, false));
    EXPECT_EQ(readText(ini).substr(0, 14), "[Other]\nx=a\0b\n"s);
    // A NUL inside a name makes another name for the reader as for the writer.
    writeText(ini, "[Settings]\nalways\0=0\n"s);
    EXPECT_TRUE(load().always);
    SaveSettings(record(false, true, true, false, false), ini);
    EXPECT_FALSE(load().always);
}

// A line that opens a section and does not close it is no section header, also for the keys below.
TEST_F(SettingsTest, AnUnclosedSectionLineLeavesTheKeysBelowItWhereTheyAre)
{
    writeText(ini, "[Settings]\nalways=0\n[Broken\nautohide=1\n");
    SettingsRecord settings = load();
    EXPECT_FALSE(settings.always);
    EXPECT_TRUE(settings.autohide);
    settings.closetray = false;
    SaveSettings(settings, ini);
    EXPECT_FALSE(load().closetray);
    EXPECT_EQ(readText(ini).find("[Broken\nautohide=1\n"), 20u);
    // '[' alone on its line and the name on the next one are two lines that are no header: the key
    // below them is in [Other], and "always" keeps its default.
    writeText(ini, "[Other]\nx=1\n[\nSettings]\nalways=0\n");
    EXPECT_TRUE(load().always);
    // Behind a UTF-8 signature too.
    writeText(ini, "\xEF\xBB\xBF[");
    SaveSettings(record(false, false, true, true, false), ini);
    expectRecord(load(), record(false, false, true, true, false));
}

TEST_F(SettingsTest, ReadOnlyFileIsReportedAndLeftAsItWas)
{
    const std::string original = "[Settings]\nautohide=1\n";
    writeText(ini, original);
    std::filesystem::permissions(ini, std::filesystem::perms::owner_read);
    ASSERT_TRUE(writeAutorunEntry("/usr/bin/varnelo"));
    try {
        SaveSettings(record(false, true, true, false, true), ini);
        FAIL() << "no error raised";
    } catch (const std::runtime_error& error) {
        EXPECT_STREQ(error.what(), ("Unable to write to " + ini).c_str());
    }
    EXPECT_EQ(readText(ini), original);
    EXPECT_TRUE(std::filesystem::exists(autorunEntryPath())) << "the entry changed after a failed save";
}

TEST_F(SettingsTest, FolderInPlaceOfTheFileLoadsDefaultsAndRefusesSaves)
{
    std::filesystem::create_directories(ini);
    expectRecord(load(), record(false, true, true, false, true));
    EXPECT_TRUE(readIniFlag(ini, "Search", "title", true));
    EXPECT_THROW(SaveSettings(record(false, true, true, false, true), ini), std::runtime_error);
}

TEST_F(SettingsTest, FilesThatNeverEndGiveTheDefaultsWithoutHangingOrFillingMemory)
{
    std::filesystem::create_directories(home.path("bin"));
    std::filesystem::create_symlink("/dev/zero", ini);
    writeText(autorunEntryPath(), "");
    std::filesystem::remove(autorunEntryPath());
    std::filesystem::create_symlink("/dev/zero", autorunEntryPath());
    expectRecord(load(), record(false, true, true, false, true));
    EXPECT_FALSE(autorunEntryActive());
    std::filesystem::remove(ini);
    ASSERT_EQ(::mkfifo(ini.c_str(), 0600), 0);
    expectRecord(load(), record(false, true, true, false, true));
}

TEST_F(SettingsTest, MissingFolderIsReported)
{
    const std::string nowhere = home.path("no/such/varnelo.INI");
    EXPECT_THROW(SaveSettings(record(false, true, true, false, true), nowhere), std::runtime_error);
    EXPECT_THROW(writeIniFlags(nowhere, "Search", {{"title", true}}), std::runtime_error);
}

TEST_F(SettingsTest, SaveReplacesTheFileWholeAndLeavesNoTemporaryBehind)
{
    writeText(ini, "[Settings]\nalways=1\n");
    ::chmod(ini.c_str(), 0640);
    SaveSettings(record(false, true, true, false, false), ini);
    int entries = 0;
    for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator(home.path("bin")))
        ++entries;
    EXPECT_EQ(entries, 1);
    struct stat info {};
    ::stat(ini.c_str(), &info);
    EXPECT_EQ(info.st_mode & 0777, 0640u);
}

TEST_F(SettingsTest, SymbolicLinkToTheFileStaysALink)
{
    writeText(home.path("real/varnelo.INI"), "[Settings]\nalways=1\n");
    std::filesystem::create_directories(home.path("bin"));
    std::filesystem::create_symlink(home.path("real/varnelo.INI"), ini);
    SaveSettings(record(false, true, true, false, false), ini);
    EXPECT_TRUE(std::filesystem::is_symlink(ini));
    EXPECT_FALSE(readIniFlag(home.path("real/varnelo.INI"), "Settings", "always", true));
}

TEST_F(SettingsTest, SearchFlagsRoundTripWithoutTouchingSettings)
{
    writeText(ini, "[Settings]\nautohide=1\n");
    writeIniFlags(ini, "Search", {{"title", false}, {"filename", true}, {"comment", false}});
    EXPECT_FALSE(readIniFlag(ini, "Search", "title", true));
    EXPECT_TRUE(readIniFlag(ini, "Search", "filename", false));
    EXPECT_FALSE(readIniFlag(ini, "Search", "comment", true));
    EXPECT_TRUE(readIniFlag(ini, "Search", "missing", true));
    EXPECT_TRUE(load().autohide);
}
