// SPDX-License-Identifier: GPL-3.0-or-later
#include "import/bookmarkfilereader.h"
#include "import/bookmarkfilewriter.h"
#include "import/importtext.h"

#include "importtestutil.h"

#include <sys/resource.h>
#include <sys/stat.h>

namespace {

std::vector<std::string> namesIn(const std::string& folder)
{
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(folder))
        names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

ImportFolder sampleTree()
{
    ImportFolder root;
    ImportFolder work{"Work & \"Play\" <1>", {}, {}};
    work.folders.push_back({"Caf\xC3\xA9 \xE6\x97\xA5\xE6\x9C\xAC", {}, {{"Inner", "https://inner.example/", "", 1}}});
    work.folders.push_back({"", {}, {}});
    work.entries.push_back({"Bob's <b>page</b>", "https://x.example/?a=1&b='2'\"", "Line one\nline two & more", 1});
    work.entries.push_back({"", "https://no-name.example/", "", 1});
    work.entries.push_back({"Report", "/home/me/My Files/100% done #1?.pdf", "the report", 0});
    work.entries.push_back({"Latin-1 name", "/tmp/caf\xE9\xFF.txt", "", 0});
    work.entries.push_back({"Relative", "docs/a b.txt", "", 0});
    root.folders.push_back(std::move(work));
    root.entries.push_back({"Top", "https://top.example/", "", 1});
    return root;
}

}  // namespace

TEST(BookmarkFileWriter, WritesTheHeaderBrowsersLookFor)
{
    TempFolder temp;
    writeBookmarkFile(temp.path("out.html"), sampleTree());
    const std::string html = readText(temp.path("out.html"));
    EXPECT_EQ(html.rfind("<!DOCTYPE NETSCAPE-Bookmark-file-1>\n", 0), 0u);
    EXPECT_NE(html.find("\n<META HTTP-EQUIV=\"Content-Type\" CONTENT=\"text/html; charset=UTF-8\">\n"
                        "<TITLE>Bookmarks</TITLE>\n<H1>Bookmarks</H1>\n<DL><p>\n"),
              std::string::npos);
    EXPECT_NE(html.find("    <DT><H3>Work &amp; &quot;Play&quot; &lt;1&gt;</H3>\n"), std::string::npos);
    EXPECT_NE(html.find("<DT><A HREF=\"https://x.example/?a=1&amp;b=&#39;2&#39;&quot;\">"
                        "Bob&#39;s &lt;b&gt;page&lt;/b&gt;</A>\n"
                        "        <DD>Line one\nline two &amp; more\n"),
              std::string::npos);
    EXPECT_NE(html.find("<DT><A HREF=\"file:///home/me/My%20Files/100%25%20done%20%231%3F.pdf\">Report</A>"),
              std::string::npos);
}

TEST(BookmarkFileWriter, ReadingTheFileBackGivesTheSameTree)
{
    TempFolder temp;
    const ImportFolder tree = sampleTree();
    writeBookmarkFile(temp.path("out.html"), tree);
    const ImportTree back = readBookmarkFile(temp.path("out.html"));
    ImportFolder expected = tree;
    expected.folders[0].entries[1].name = "https://no-name.example/";  // untitled: named as browsers show it
    EXPECT_EQ(outline(back.root), outline(expected));
    EXPECT_EQ(back.skipped, 0);
}

TEST(BookmarkFileWriter, TextsThatAreNotUtf8AreWrittenWithReplacementCharacters)
{
    TempFolder temp;
    ImportFolder tree;
    tree.folders.push_back({"Caf\xE9", {}, {{"Gr\xFC\xDF", "https://x.example/\xFF", "bad \xC3", 1}}});
    writeBookmarkFile(temp.path("out.html"), tree);
    const std::string html = readText(temp.path("out.html"));
    EXPECT_TRUE(isUtf8(html)) << "the file is not valid UTF-8";
    EXPECT_EQ(outline(readBookmarkFile(temp.path("out.html")).root),
              "+ Caf\xEF\xBF\xBD\n"
              "  - Gr\xEF\xBF\xBD\xEF\xBF\xBD | https://x.example/\xEF\xBF\xBD | bad \xEF\xBF\xBD | 1\n");
}

TEST(BookmarkFileWriter, ReplacesAnExistingFileWhole)
{
    TempFolder temp;
    writeText(temp.path("out.html"), std::string(100000, 'x'));
    ImportFolder tree;
    tree.entries.push_back({"Only", "https://only.example/", "", 1});
    writeBookmarkFile(temp.path("out.html"), tree);
    EXPECT_EQ(outline(readBookmarkFile(temp.path("out.html")).root), "- Only | https://only.example/ |  | 1\n");
    EXPECT_EQ(namesIn(temp.path()), std::vector<std::string>{"out.html"});
}

TEST(BookmarkFileWriter, FailedWriteThrowsAndLeavesNoTemporaryFile)
{
    TempFolder temp;
    std::filesystem::create_directory(temp.path("taken.html"));
    EXPECT_EQ(errorOf(writeBookmarkFile, temp.path("taken.html"), sampleTree()),
              "The file \"" + temp.path("taken.html") + "\" cannot be written.");
    EXPECT_EQ(namesIn(temp.path()), std::vector<std::string>{"taken.html"});
    EXPECT_EQ(errorOf(writeBookmarkFile, temp.path("missing/out.html"), sampleTree()),
              "The file \"" + temp.path("missing/out.html") + "\" cannot be written.");
}

TEST(BookmarkFileWriter, FolderWithoutWriteRightIsRefused)
{
    TempFolder temp;
    openToEveryone(temp.path());
    writeText(temp.path("old.html"), "old");
    ::chmod(temp.path().c_str(), 0555);
    const std::string path = temp.path("old.html");
    EXPECT_EQ(asOrdinaryUser([&] { return errorOf(writeBookmarkFile, path, sampleTree()); }),
              "The file \"" + path + "\" cannot be written.");
    EXPECT_EQ(readText(path), "old");
    EXPECT_EQ(namesIn(temp.path()), std::vector<std::string>{"old.html"});
}

TEST(BookmarkFileWriter, ReplacedFilesKeepTheirModeAndLinksAndScriptLinksAreLeftOut)
{
    TempFolder temp;
    const std::string secret = temp.path("secret.html");
    writeText(secret, "old");
    ::chmod(secret.c_str(), 0600);
    std::filesystem::create_symlink("secret.html", temp.path("link.html"));
    ImportFolder tree = sampleTree();
    tree.entries.push_back({"Run", "java\tscript:alert(1)", "", 1});
    tree.entries.push_back({"Inline", " DATA:text/html,<b>x</b>", "", 1});
    tree.entries.push_back({"VB", "vbscript:msgbox", "", 1});

    EXPECT_EQ(writeBookmarkFile(temp.path("link.html"), tree), 3);
    EXPECT_TRUE(std::filesystem::is_symlink(temp.path("link.html")));
    struct stat info {};
    ASSERT_EQ(::stat(secret.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 07777, 0600u);
    const std::string html = readText(secret);
    EXPECT_NE(html.find("https://top.example/"), std::string::npos) << "the link's target got the export";
    for (const char* scheme : {"script:", "DATA:", "data:"})
        EXPECT_EQ(html.find(scheme), std::string::npos) << scheme;
    EXPECT_EQ(namesIn(temp.path()), (std::vector<std::string>{"link.html", "secret.html"}));
}

TEST(BookmarkFileWriter, DeepChainsStayLinearAndAFileSizeLimitIsAWriteError)
{
    TempFolder temp;
    ImportFolder root;
    ImportFolder* level = &root;
    for (int depth = 0; depth < 10000; ++depth) {
        level->folders.push_back({"F", {}, {}});
        level = &level->folders.back();
    }
    writeBookmarkFile(temp.path("deep.html"), root);
    // Three lines a level, each indented by at most 68 blanks (4 per level would make 600 MB).
    EXPECT_LT(std::filesystem::file_size(temp.path("deep.html")), 10000u * 256);
    root.folders.clear();  // frees the chain before the limit below

    rlimit saved{};
    ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &saved), 0);
    rlimit small = saved;
    small.rlim_cur = 4096;
    ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &small), 0);
    ImportFolder big;
    for (int i = 0; i < 200; ++i)
        big.entries.push_back({"Entry", "https://example.com/" + std::to_string(i), "", 1});
    const std::string error = errorOf(writeBookmarkFile, temp.path("limited.html"), big);
    ::setrlimit(RLIMIT_FSIZE, &saved);
    EXPECT_EQ(error, "The file \"" + temp.path("limited.html") + "\" cannot be written.");
    EXPECT_EQ(namesIn(temp.path()), std::vector<std::string>{"deep.html"});
}
