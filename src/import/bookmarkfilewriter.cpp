// SPDX-License-Identifier: GPL-3.0-or-later
#include "import/bookmarkfilewriter.h"

#include "import/bookmarkaddress.h"
#include "import/importtext.h"

#include <cerrno>
#include <cstdio>
#include <filesystem>
#include <random>

#include <fcntl.h>
#include <unistd.h>

namespace {

constexpr const char* cannotWriteFileText = "The file \"%s\" cannot be written.";

constexpr const char* fileHead =
    "<!DOCTYPE NETSCAPE-Bookmark-file-1>\n"
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
    for (const char c : validUtf8(raw)) {
        switch (c) {
        case '&': out += "&amp;"; break;
        case '<': out += "&lt;"; break;
        case '>': out += "&gt;"; break;
        case '"': out += "&quot;"; break;
        case '\'': out += "&#39;"; break;
        default:
            if (!isControl(static_cast<unsigned char>(c)))
                out += c;
        }
    }
}

void appendEntry(std::string& out, const std::string& indent, const ImportEntry& entry)
{
    out += indent + "<DT><A HREF=\"";
    appendEscaped(out, entry.type == 0 ? fileUrlFromPath(entry.target) : entry.target);
    out += "\">";
    appendEscaped(out, entry.name);
    out += "</A>\n";
    if (!entry.comment.empty()) {
        out += indent + "<DD>";
        appendEscaped(out, entry.comment);
        out += '\n';
    }
}

void appendList(std::string& out, const ImportFolder& folder, int depth)
{
    const std::string outer(static_cast<std::size_t>(depth) * 4, ' ');
    const std::string inner = outer + "    ";
    out += outer + "<DL><p>\n";
    for (const ImportFolder& child : folder.folders) {
        out += inner + "<DT><H3>";
        appendEscaped(out, child.name);
        out += "</H3>\n";
        appendList(out, child, depth + 1);
    }
    for (const ImportEntry& entry : folder.entries)
        appendEntry(out, inner, entry);
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

// A new file beside the target, created with the mode the user's umask gives any new file.
int createBeside(const std::string& path, std::string& temporary)
{
    std::random_device seed;
    for (int attempt = 0; attempt < 100; ++attempt) {
        char suffix[16];
        std::snprintf(suffix, sizeof suffix, ".%08x~", static_cast<unsigned>(seed()));
        temporary = path + suffix;
        const int fd = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
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

} // namespace

void writeBookmarkFile(const std::string& path, const ImportFolder& tree)
{
    std::string html = fileHead;
    appendList(html, tree, 0);

    std::string temporary;
    const int fd = createBeside(path, temporary);
    if (fd < 0)
        throwFileError(cannotWriteFileText, path);
    const bool written = writeAll(fd, html) && ::fsync(fd) == 0;
    const bool closed = ::close(fd) == 0;
    if (!written || !closed || ::rename(temporary.c_str(), path.c_str()) != 0) {
        ::unlink(temporary.c_str());
        throwFileError(cannotWriteFileText, path);
    }
    syncFolderOf(path);
}
