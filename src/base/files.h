// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstddef>
#include <optional>
#include <string>

// An open file descriptor, closed when the object goes.
class FileDescriptor {
public:
    explicit FileDescriptor(int value) : fd(value) {}
    ~FileDescriptor();
    FileDescriptor(FileDescriptor&& other) noexcept : fd(other.fd) { other.fd = -1; }
    FileDescriptor(const FileDescriptor&) = delete;
    FileDescriptor& operator=(const FileDescriptor&) = delete;
    FileDescriptor& operator=(FileDescriptor&&) = delete;
    int get() const { return fd; }

private:
    int fd;
};

// What a bounded read of an outside file found.
enum class ReadResult { Read, Missing, Refused };

// Reads a whole regular file of at most `limit` bytes (a symbolic link to one counts). Anything else
// (a folder, a FIFO, a device, a larger file, an unreadable one) is refused without blocking and
// without reading more than limit + 1 bytes, so a settings file linked to /dev/zero or made a FIFO
// reads like a broken one instead of hanging the program or eating its memory.
ReadResult readRegularFile(const std::string& path, std::size_t limit, std::string& contents);
std::optional<std::string> readRegularFile(const std::string& path, std::size_t limit);

// The path with its extension (the last dot of the file name and what follows) replaced by
// `replacement`, which is appended when the name has no dot: ("a/b.exe", ".INI") gives "a/b.INI".
std::string replaceExtension(const std::string& path, const std::string& replacement);

// The file that writing `path` replaces: the path itself, or, for a symbolic link, the file it
// points at, so that writing through the link updates the target and keeps the link.
std::string fileWrittenFor(const std::string& path);
