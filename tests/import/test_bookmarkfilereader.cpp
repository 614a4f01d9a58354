// SPDX-License-Identifier: GPL-3.0-or-later
#include "import/bookmarkfilereader.h"

#include "importtestutil.h"

#include <unistd.h>

namespace {

constexpr const char* header = "<!DOCTYPE NETSCAPE-Bookmark-file-1>\n"
                               "<META HTTP-EQUIV=\"Content-Type\" CONTENT=\"text/html; charset=UTF-8\">\n"
                               "<TITLE>Bookmarks</TITLE>\n<H1>Bookmarks</H1>\n";

class BookmarkFileTest : public ::testing::Test {
protected:
    ImportTree read(const std::string& html)
    {
        writeText(file, html);
        return readBookmarkFile(file);
    }

    TempFolder temp;
    const std::string file = temp.path("bookmarks.html");
};

}  // namespace

TEST_F(BookmarkFileTest, BrowserExportGivesFoldersLinksAndComments)
{
    const ImportTree tree = read(
        std::string(header)
        + "<DL><p>\n"
          "    <DT><H3 ADD_DATE=\"1\" PERSONAL_TOOLBAR_FOLDER=\"true\">Bookmarks bar</H3>\n"
          "    <DL><p>\n"
          "        <DT><A HREF=\"https://a.example/?x=1&amp;y=2\" ADD_DATE=\"2\" ICON=\"data:image/png;base64,AAAA\">"
          "A &lt;tag&gt; &amp; &#39;quote&#39;</A>\n"
          "        <DD>  About A  \n"
          "        <DT><H3>Inner</H3>\n"
          "        <DD>a folder description\n"
          "        <DL><p>\n"
          "            <DT><A HREF=\"https://inner.example/\">Caf\xC3\xA9 \xE2\x82\xAC</A>\n"
          "        </DL><p>\n"
          "        <HR>\n"
          "        <DT><A HREF=\"https://b.example/\">B</A>\n"
          "    </DL><p>\n"
          "    <DT><H3>Empty</H3>\n"
          "    <DL><p>\n"
          "    </DL><p>\n"
          "    <DT><A HREF=\"place:sort=8&maxResults=10\">Recent</A>\n"
          "    <DT><A HREF=\"JavaScript:alert(1)\">Script</A>\n"
          "    <DT><A HREF=\"\">Nothing</A>\n"
          "    <DT><A>No address</A>\n"
          "    <DT><A HREF=\"https://top.example/\">Top</A>\n"
          "</DL><p>\n");
    EXPECT_EQ(outline(tree.root), "+ Bookmarks bar\n"
                                  "  + Inner\n"
                                  "    - Caf\xC3\xA9 \xE2\x82\xAC | https://inner.example/ |  | 1\n"
                                  "  - A <tag> & 'quote' | https://a.example/?x=1&y=2 | About A | 1\n"
                                  "  - B | https://b.example/ |  | 1\n"
                                  "+ Empty\n"
                                  "- Top | https://top.example/ |  | 1\n");
    EXPECT_EQ(tree.skipped, 5) << "a separator, place:, javascript: and two empty addresses";
}

TEST_F(BookmarkFileTest, LooseHandWrittenMarkupStillReads)
{
    // Lower case, no DOCTYPE, nothing closed but the lists, the last list never closed.
    const ImportTree tree = read("<dl>\n<dt><h3>News</h3>\n<dl><dt><a href=\"https://one.example/\">One\n"
                                 "<dd>first <b>line</b>\nsecond line\n<dt><a href=https://two.example/>Two</a>\n"
                                 "</dl>\n<dt><a href='https://three.example/'>Three</a>");
    EXPECT_EQ(outline(tree.root), "+ News\n"
                                  "  - One | https://one.example/ | first line\nsecond line | 1\n"
                                  "  - Two | https://two.example/ |  | 1\n"
                                  "- Three | https://three.example/ |  | 1\n");
}

TEST_F(BookmarkFileTest, ListsWithoutHeadingStayInTheFolderAroundThem)
{
    const ImportTree tree = read("<DT><H3>Outer</H3><DL><DL><DL><DT><A HREF=\"https://a.example/\">A</A></DL></DL>"
                                 "<DT><A HREF=\"https://b.example/\">B</A></DL>"
                                 "<DT><A HREF=\"https://c.example/\">C</A>");
    EXPECT_EQ(outline(tree.root), "+ Outer\n"
                                  "  - A | https://a.example/ |  | 1\n"
                                  "  - B | https://b.example/ |  | 1\n"
                                  "- C | https://c.example/ |  | 1\n");
}

TEST_F(BookmarkFileTest, TextsAreUtf8WhetherDeclaredOrNot)
{
    EXPECT_EQ(outline(read("<DL><DT><A HREF=\"https://x.example/\">Gr\xC3\xBC\xC3\x9F \xE2\x82\xAC</A></DL>").root),
              "- Gr\xC3\xBC\xC3\x9F \xE2\x82\xAC | https://x.example/ |  | 1\n");
    EXPECT_EQ(outline(read("<META HTTP-EQUIV=\"Content-Type\" CONTENT=\"text/html; charset=windows-1252\">"
                           "<DL><DT><A HREF=\"https://x.example/\">Caf\xE9 \x80</A></DL>")
                          .root),
              "- Caf\xC3\xA9 \xE2\x82\xAC | https://x.example/ |  | 1\n");
}

TEST_F(BookmarkFileTest, BytesTheDeclaredEncodingCannotConvertEndTheReadQuietly)
{
    ::testing::internal::CaptureStderr();
    const ImportTree tree = read("<!DOCTYPE NETSCAPE-Bookmark-file-1>\n"
                                 "<META HTTP-EQUIV=\"Content-Type\" CONTENT=\"text/html; charset=Shift_JIS\">\n"
                                 "<DL><p>\n<DT><A HREF=\"https://a.example/\">Before</A>\n"
                                 "<DT><A HREF=\"https://b.example/\">Bad \x83>byte</A>\n</DL><p>\n");
    EXPECT_EQ(::testing::internal::GetCapturedStderr(), "");
    EXPECT_EQ(outline(tree.root), "- Before | https://a.example/ |  | 1\n");
}

TEST_F(BookmarkFileTest, FileAddressBecomesFileEntryWithItsExactPath)
{
    const ImportTree tree = read(std::string(header)
                                 + "<DL><p>\n"
                                   "<DT><A HREF=\"file:///home/me/My%20Report%2520(final).pdf\">Report</A>\n"
                                   "<DT><A HREF=\"FILE://localhost/tmp/caf%C3%A9%FF.txt\">Latin</A>\n"
                                   "<DT><A HREF=\"file://server/share/x.doc\">Remote</A>\n"
                                   "<DT><A HREF=\"file:///home/me/page.html#part\">Part</A>\n"
                                   "</DL><p>\n");
    EXPECT_EQ(outline(tree.root), "- Report | /home/me/My Report%20(final).pdf |  | 0\n"
                                  "- Latin | /tmp/caf\xC3\xA9\xFF.txt |  | 0\n"
                                  "- Remote | file://server/share/x.doc |  | 1\n"
                                  "- Part | file:///home/me/page.html#part |  | 1\n");
}

TEST_F(BookmarkFileTest, MegabytesOfIconDataPassThrough)
{
    const std::string icon = "data:image/png;base64," + std::string(8 * 1024 * 1024, 'Q');
    const ImportTree tree = read(std::string(header) + "<DL><p>\n<DT><A HREF=\"https://big.example/\" ICON=\"" + icon
                                 + "\">Big</A>\n<DT><A HREF=\"https://after.example/\">After</A>\n</DL><p>\n");
    EXPECT_EQ(outline(tree.root), "- Big | https://big.example/ |  | 1\n- After | https://after.example/ |  | 1\n");
}

TEST_F(BookmarkFileTest, FoldersBelowTheDepthLimitAreCountedAsSkipped)
{
    std::string html = header;
    const int levels = maxImportDepth + 5;
    for (int level = 1; level <= levels; ++level)
        html += "<DL><p><DT><H3>L" + std::to_string(level) + "</H3>\n";
    html += "<DL><p><DT><A HREF=\"https://deep.example/\">Deep</A><DT><A HREF=\"https://deep2.example/\">Deep2</A>";
    for (int level = 0; level <= levels; ++level)
        html += "</DL><p>\n";
    const ImportTree tree = read(html);
    EXPECT_EQ(countFolders(tree.root), maxImportDepth);
    EXPECT_EQ(countEntries(tree.root), 0);
    EXPECT_EQ(tree.skipped, 5 + 2) << "the five deeper folders and the two links in the deepest";
}

TEST_F(BookmarkFileTest, HundredThousandNestedListsEndWithoutCrash)
{
    std::string html = header;
    for (int level = 0; level < 100000; ++level)
        html += "<DL><DT><H3>f</H3>\n";
    const ImportTree tree = read(html);
    EXPECT_EQ(countFolders(tree.root), maxImportDepth);
    EXPECT_EQ(tree.skipped, 100000 - maxImportDepth);
}

TEST_F(BookmarkFileTest, FileCutOffGivesEverythingUpToTheCut)
{
    const ImportTree tree = read(std::string(header)
                                 + "<DL><p>\n<DT><H3>Work</H3>\n<DL><p>\n"
                                   "<DT><A HREF=\"https://kept.example/\">Kept</A>\n"
                                   "<DT><A HREF=\"https://cut.example/\">Cut ti");
    EXPECT_EQ(outline(tree.root),
              "+ Work\n  - Kept | https://kept.example/ |  | 1\n  - Cut ti | https://cut.example/ |  | 1\n");
}

TEST_F(BookmarkFileTest, FiftyMegabytesReadCompletely)
{
    std::string html = std::string(header) + "<DL><p>\n";
    int links = 0;
    while (html.size() < 50u * 1024 * 1024) {
        html += "<DT><A HREF=\"https://example.com/" + std::to_string(links)
                + "\" ADD_DATE=\"1600000000\" ICON=\"data:image/png;base64," + std::string(300, 'A') + "\">Page "
                + std::to_string(links) + "</A>\n<DD>note\n";
        ++links;
    }
    const ImportTree tree = read(html + "</DL><p>\n");
    ASSERT_EQ(countEntries(tree.root), links);
    EXPECT_EQ(tree.root.entries.back().name, "Page " + std::to_string(links - 1));
    EXPECT_EQ(tree.root.entries.back().comment, "note");
}

TEST_F(BookmarkFileTest, WhatIsNoBookmarkFileIsRefusedByName)
{
    const std::string refused = "The file \"" + file + "\" is not a bookmark file.";
    writeText(file, "");
    EXPECT_EQ(errorOf(readBookmarkFile, file), refused);
    writeText(file, "Just some notes.\nhttps://example.com/\n");
    EXPECT_EQ(errorOf(readBookmarkFile, file), refused);
    writeText(file, "<html><body><p>A page with <a href=\"https://x.example/\">a link</a>.</p></body></html>");
    EXPECT_EQ(errorOf(readBookmarkFile, file), refused);
    std::string garbage;
    for (int i = 0; i < 100000; ++i)
        garbage += static_cast<char>((i * 7919) % 256);
    writeText(file, garbage);
    EXPECT_EQ(errorOf(readBookmarkFile, file), refused);
}

TEST_F(BookmarkFileTest, DoctypeAloneMakesAnEmptyBookmarkFile)
{
    const ImportTree tree = read("<!DOCTYPE NETSCAPE-Bookmark-file-1>\n<TITLE>Bookmarks</TITLE>\n");
    EXPECT_EQ(outline(tree.root), "");
    EXPECT_EQ(tree.skipped, 0);
}

TEST_F(BookmarkFileTest, UnreadableAndOversizedFilesAreRefusedByName)
{
    const std::string missing = temp.path("missing.html");
    EXPECT_EQ(errorOf(readBookmarkFile, missing), "The file \"" + missing + "\" cannot be read.");
    EXPECT_EQ(errorOf(readBookmarkFile, temp.path()), "The file \"" + temp.path() + "\" cannot be read.");
    const std::string huge = temp.path("huge.html");
    writeText(huge, header);
    ASSERT_EQ(::truncate(huge.c_str(), 256ll * 1024 * 1024 + 1), 0);  // sparse: takes no disk space
    EXPECT_EQ(errorOf(readBookmarkFile, huge), "The file \"" + huge + "\" is too large to import.");
}

namespace {

// The text as UTF-16 (little-endian, with its byte-order mark); the text is ASCII with "\xFC" for ü.
std::string utf16le(const std::string& latin1)
{
    std::string bytes = "\xFF\xFE";
    for (const char c : latin1) {
        bytes += c;
        bytes += '\0';
    }
    return bytes;
}

}  // namespace

TEST_F(BookmarkFileTest, CraftedFilesAreReadAsBrowsersReadThem)
{
    const std::string list = std::string(header) + "<DL><p>\n";
    struct Case {
        const char* what;
        std::string html;
        std::string outline;
        int skipped;
    };
    const Case cases[] = {
        {"script and data links, however spelt, are left out",
         list
             + "<DT><A HREF=\"java&#x09;script:alert(1)\">J</A>\n<DT><A HREF=\" VBScript:x\">V</A>\n"
               "<DT><A HREF=\"\x01 DATA:text/html,x\">D</A>\n<DT><A HREF=\"https://ok.example/\">OK</A>\n",
         "- OK | https://ok.example/ |  | 1\n", 3},
        {"a NUL byte in an attribute stays in it",
         list + std::string("<DT><A HREF=\"https://a.example/\0b\" ADD_DATE=\"1\">Title</A>\n", 57),
         "- Title | https://a.example/\xEF\xBF\xBD"
         "b |  | 1\n",
         0},
        {"line breaks in a title are blanks, blanks around it are kept, a description keeps its lines",
         list
             + "<DT><A HREF=\"https://a.example/\"> one\ttwo\rthree </A>\n<DD>first\nsecond\n"
               "<DT><H3>Fol\nder</H3>\n<DL><p></DL><p>\n",
         "+ Fol der\n-  one two three  | https://a.example/ | first\nsecond | 1\n", 0},
        {"titles and descriptions are cut, an overlong address is left out",
         list + "<DT><A HREF=\"https://long.example/\">" + std::string(5000, 'x') + "</A>\n<DD>"
             + std::string(70000, 'd') + "\n<DT><A HREF=\"https://x.example/" + std::string(70000, 'a') + "\">X</A>\n",
         "- " + std::string(maxTitleCharacters, 'x') + " | https://long.example/ | "
             + std::string(maxDescriptionBytes, 'd') + " | 1\n",
         1},
        {"one bad byte in undeclared UTF-8 spoils only itself",
         "<DL><p>\n<DT><A HREF=\"https://a.example/\">bad \xFF</A>\n"
         "<DT><A HREF=\"https://b.example/\">M\xC3\xBCnchen</A>\n</DL><p>\n",
         "- bad \xEF\xBF\xBD | https://a.example/ |  | 1\n- M\xC3\xBCnchen | https://b.example/ |  | 1\n", 0},
        {"UTF-16 with its byte-order mark",
         utf16le("<!DOCTYPE NETSCAPE-Bookmark-file-1>\n<META HTTP-EQUIV=\"Content-Type\" CONTENT=\"text/html; "
                 "charset=UTF-16\">\n<DL><p>\n<DT><A HREF=\"https://m.example/\">M\xFCnchen</A>\n</DL><p>\n"),
         "- M\xC3\xBCnchen | https://m.example/ |  | 1\n", 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const ImportTree tree = read(c.html);
        EXPECT_EQ(outline(tree.root), c.outline);
        EXPECT_EQ(tree.skipped, c.skipped);
    }
}
