// SPDX-License-Identifier: GPL-3.0-or-later
#include "base/files.h"

#include "tempfolder.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>

#include <sys/stat.h>

namespace {

void writeFile(const std::string& path, const std::string& text)
{
    std::ofstream(path, std::ios::binary) << text;
}

}  // namespace

TEST(ReadRegularFile, ReadsASmallFileAndOneReachedThroughALink)
{
    TempFolder folder;
    writeFile(folder.path("a.ini"), "[Settings]\nalways=1\n");
    std::filesystem::create_symlink(folder.path("a.ini"), folder.path("link.ini"));
    EXPECT_EQ(readRegularFile(folder.path("a.ini"), 100), "[Settings]\nalways=1\n");
    EXPECT_EQ(readRegularFile(folder.path("link.ini"), 100), "[Settings]\nalways=1\n");
    std::string contents = "old";
    EXPECT_EQ(readRegularFile(folder.path("missing.ini"), 100, contents), ReadResult::Missing);
    EXPECT_TRUE(contents.empty());
}

TEST(ReadRegularFile, RefusesWhatNeverEndsOrIsNoFileWithoutBlocking)
{
    TempFolder folder;
    std::filesystem::create_symlink("/dev/zero", folder.path("zero.ini"));
    ASSERT_EQ(::mkfifo(folder.path("fifo.ini").c_str(), 0600), 0);
    std::filesystem::create_directory(folder.path("folder.ini"));
    writeFile(folder.path("big.ini"), std::string(101, 'x'));
    writeFile(folder.path("exact.ini"), std::string(100, 'x'));
    std::string contents;
    for (const char* name : {"zero.ini", "fifo.ini", "folder.ini", "big.ini"})
        EXPECT_EQ(readRegularFile(folder.path(name), 100, contents), ReadResult::Refused) << name;
    EXPECT_EQ(readRegularFile(folder.path("exact.ini"), 100, contents), ReadResult::Read);
    EXPECT_EQ(contents.size(), 100u);
}

TEST(ReadRegularFile, ReadsAFileLongerThanTheSizeItReports)
{
    // The kernel's files report no size; what they hold is still read, up to the limit.
    std::ifstream in("/proc/self/mounts", std::ios::binary);
    const std::string expected((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    ASSERT_GT(expected.size(), 2u);
    EXPECT_EQ(readRegularFile("/proc/self/mounts", 1 << 20), expected);
    std::string contents;
    EXPECT_EQ(readRegularFile("/proc/self/mounts", expected.size() - 1, contents), ReadResult::Refused);
}

// The routines this replaced gave a new file 0644 in one place and the umask's mode in another.
TEST(ReplaceFileContents, WritesWholeTextWithOneModeRuleAndFailsInMissingFolder)
{
    TempFolder folder;
    const auto modeOf = [](const std::string& path) {
        struct stat info {};
        ::stat(path.c_str(), &info);
        return info.st_mode & 07777;
    };
    const mode_t umask = ::umask(022);
    ASSERT_TRUE(replaceFileContents(folder.path("private"), "first", NewFileMode::Private));
    ASSERT_TRUE(replaceFileContents(folder.path("document"), "first", NewFileMode::UserDocument));
    EXPECT_EQ(modeOf(folder.path("private")), 0600u);
    EXPECT_EQ(modeOf(folder.path("document")), 0644u);
    ::chmod(folder.path("document").c_str(), 0640);
    std::filesystem::create_symlink(folder.path("document"), folder.path("link"));
    ASSERT_TRUE(replaceFileContents(folder.path("link"), "second, longer", NewFileMode::Private));
    ::umask(umask);
    EXPECT_EQ(readRegularFile(folder.path("document"), 100), "second, longer");
    EXPECT_EQ(modeOf(folder.path("document")), 0640u) << "a replaced file keeps its mode";
    EXPECT_TRUE(std::filesystem::is_symlink(folder.path("link"))) << "and a link keeps pointing at it";
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(folder.path()), {}), 3) << "no temporary left";
    EXPECT_FALSE(replaceFileContents(folder.path("missing/out.txt"), "x", NewFileMode::UserDocument));
}

TEST(ReplaceExtension, ReplacesFromTheLastDotOfTheNameOrAppends)
{
    EXPECT_EQ(replaceExtension("/opt/cat/catalog.exe", ".INI"), "/opt/cat/catalog.INI");
    EXPECT_EQ(replaceExtension("/usr/bin/varnelo", ".INI"), "/usr/bin/varnelo.INI");
    EXPECT_EQ(replaceExtension("/home/a.b/varnelo", ".INI"), "/home/a.b/varnelo.INI");
    EXPECT_EQ(replaceExtension("/data/FavoritesDB.db", "bak"), "/data/FavoritesDBbak");
    EXPECT_EQ(replaceExtension("archive.tar.gz", "bak"), "archive.tarbak");
    EXPECT_EQ(replaceExtension("", "bak"), "bak");
}
