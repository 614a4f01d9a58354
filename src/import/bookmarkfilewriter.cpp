// SPDX-License-Identifier: GPL-3.0-or-later
#include "import/bookmarkfilewriter.h"

#include "base/address.h"
#include "base/files.h"
#include "import/bookmarkaddress.h"
#include "import/importtext.h"

#include <algorithm>
#include <csignal>

namespace {

constexpr const char* cannotWriteFileText = "The file \"%s\" cannot be written.";

constexpr const char* fileHead = "<!DOCTYPE NETSCAPE-Bookmark-file-1>\n"
                                 "<!-- This is an automatically generated file.\n"
                                 "     It will be read and overwritten.\n"
                                 "     DO NOT EDIT! -->\n"
                                 "<META HTTP-EQUIV=\"Content-Type\" CONTENT=\"text/html; charset=UTF-8\">\n"
                                 "<TITLE>Bookmarks</TITLE>\n"
                                 "<H1>Bookmarks</H1>\n";

// HTML knows no other control characters, and parsers drop them, so they are left out.
bool isControl(unsigned char c)
{
    return (c < 0x20 && c != '\t' && c != '\n' && c != '\r') || c == 0x7F;
}

void appendEscaped(std::string& out, const std::string& raw)
{
    for (const char c : repairedUtf8(raw)) {
        switch (c) {
        case '&':
            out += "&amp;";
            break;
        case '<':
            out += "&lt;";
            break;
        case '>':
            out += "&gt;";
            break;
        case '"':
            out += "&quot;";
            break;
        case '\'':
            out += "&#39;";
            break;
        default:
            if (!isControl(static_cast<unsigned char>(c)))
                out += c;
        }
    }
}

// A browser would run a script or data link; such an entry is left out, whatever the catalogue holds.
// A web address is written as the program opens it, so "localhost:3000" reaches the browser as
// http://localhost:3000 rather than as the scheme "localhost".
bool appendEntry(std::string& out, const std::string& indent, const ImportEntry& entry)
{
    if (entry.type != 0 && isScriptAddress(entry.target))
        return false;
    out += indent + "<DT><A HREF=\"";
    appendEscaped(out, entry.type == 0 ? fileUrlFromPath(entry.target) : webAddressOf(entry.target, 1));
    out += "\">";
    appendEscaped(out, entry.name);
    out += "</A>\n";
    if (!entry.comment.empty()) {
        out += indent + "<DD>";
        appendEscaped(out, entry.comment);
        out += '\n';
    }
    return true;
}

// Past a few levels the indentation stays as it is, so a deep chain costs no more per level than
// its own markup.
std::string indentation(int depth)
{
    constexpr int deepestIndented = 16;
    return std::string(static_cast<std::size_t>(std::min(depth, deepestIndented)) * 4, ' ');
}

void appendList(std::string& out, const ImportFolder& folder, int depth, int& skipped)
{
    const std::string outer = indentation(depth);
    const std::string inner = indentation(depth + 1);
    out += outer + "<DL><p>\n";
    for (const ImportFolder& child : folder.folders) {
        out += inner + "<DT><H3>";
        appendEscaped(out, child.name);
        out += "</H3>\n";
        appendList(out, child, depth + 1, skipped);
    }
    for (const ImportEntry& entry : folder.entries)
        if (!appendEntry(out, inner, entry))
            ++skipped;
    out += outer + "</DL><p>\n";
}

}  // namespace

int writeBookmarkFile(const std::string& givenPath, const ImportFolder& tree)
{
    // Past a file-size limit a write fails with EFBIG, reported like a full disk, instead of the
    // signal ending the program with the temporary file left behind.
    static const bool fileSizeSignalIgnored = std::signal(SIGXFSZ, SIG_IGN) != SIG_ERR;
    (void)fileSizeSignalIgnored;
    std::string html = fileHead;
    int skipped = 0;
    appendList(html, tree, 0, skipped);

    if (!replaceFileContents(givenPath, html, NewFileMode::UserDocument))
        throwFileError(cannotWriteFileText, givenPath);
    return skipped;
}
