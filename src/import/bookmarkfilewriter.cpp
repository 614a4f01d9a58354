// SPDX-License-Identifier: GPL-3.0-or-later
#include "import/bookmarkfilewriter.h"

#include "base/address.h"
#include "base/files.h"
#include "import/bookmarkaddress.h"
#include "import/importtext.h"

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <filesystem>
#include <random>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

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

bool writeAll(int fd, const std::string& data)
{
    std::size_t done = 0;
    while (done < data.size()) {
        const ssize_t wrote = ::write(fd, data.data() + done, data.size() - done);
        if (wrote < 0 && errno == EINTR)
            continue;
        if (wrote <= 0)
            return false;
        done += static_cast<std::size_t>(wrote);
    }
    return true;
}

// A new file beside the target, with the mode of the file it replaces, or for a new file the mode
// the user's umask gives any new file.
int createBeside(const std::string& path, std::string& temporary)
{
    struct stat replaced {};
    const bool exists = ::stat(path.c_str(), &replaced) == 0 && S_ISREG(replaced.st_mode);
    std::random_device seed;
    for (int attempt = 0; attempt < 100; ++attempt) {
        char suffix[16];
        std::snprintf(suffix, sizeof suffix, ".%08x~", static_cast<unsigned>(seed()));
        temporary = path + suffix;
        const int fd = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd >= 0 && exists && ::fchmod(fd, replaced.st_mode & 07777) != 0) {
            ::close(fd);
            ::unlink(temporary.c_str());
            return -1;
        }
        if (fd >= 0 || errno != EEXIST)
            return fd;
    }
    return -1;
}

void syncFolderOf(const std::string& path)
{
    const std::filesystem::path folder = std::filesystem::path(path).parent_path();
    const int fd = ::open(folder.empty() ? "." : folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd >= 0) {
        ::fsync(fd);
        ::close(fd);
    }
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

    const std::string path = fileWrittenFor(givenPath);
    std::string temporary;
    const int fd = createBeside(path, temporary);
    if (fd < 0)
        throwFileError(cannotWriteFileText, givenPath);
    const bool written = writeAll(fd, html) && ::fsync(fd) == 0;
    const bool closed = ::close(fd) == 0;
    if (!written || !closed || ::rename(temporary.c_str(), path.c_str()) != 0) {
        ::unlink(temporary.c_str());
        throwFileError(cannotWriteFileText, givenPath);
    }
    syncFolderOf(path);
    return skipped;
}
