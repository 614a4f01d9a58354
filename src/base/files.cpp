// SPDX-License-Identifier: GPL-3.0-or-later
#include "base/files.h"

#include <algorithm>
#include <cerrno>
#include <filesystem>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

FileDescriptor::~FileDescriptor()
{
    if (fd >= 0)
        ::close(fd);
}

ReadResult readRegularFile(const std::string& path, std::size_t limit, std::string& contents)
{
    contents.clear();
    // Non-blocking, so opening a FIFO that nobody writes returns at once instead of waiting.
    const FileDescriptor file(::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY));
    if (file.get() < 0)
        return errno == ENOENT ? ReadResult::Missing : ReadResult::Refused;
    struct stat info {};
    if (::fstat(file.get(), &info) != 0 || !S_ISREG(info.st_mode) || static_cast<std::size_t>(info.st_size) > limit)
        return ReadResult::Refused;
    // The size is only a hint (the file may grow meanwhile, a /proc file says 0): the buffer starts
    // one byte past it and grows as reads fill it, so a small file costs no limit-sized buffer,
    // and nothing is read past the limit.
    contents.resize(std::min(static_cast<std::size_t>(info.st_size), limit) + 1);
    std::size_t got = 0;
    for (;;) {
        if (got == contents.size()) {
            if (got > limit)
                break;
            contents.resize(std::min(got * 2, limit + 1));
        }
        const ssize_t n = ::read(file.get(), contents.data() + got, contents.size() - got);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            return ReadResult::Refused;
        if (n == 0)
            break;
        got += static_cast<std::size_t>(n);
    }
    if (got > limit)
        return ReadResult::Refused;
    contents.resize(got);
    return ReadResult::Read;
}

std::optional<std::string> readRegularFile(const std::string& path, std::size_t limit)
{
    std::string contents;
    if (readRegularFile(path, limit, contents) != ReadResult::Read)
        return std::nullopt;
    return contents;
}

std::string replaceExtension(const std::string& path, const std::string& replacement)
{
    const std::size_t nameStart = path.find_last_of('/') + 1;
    const std::size_t dot = path.find_last_of('.');
    if (dot == std::string::npos || dot < nameStart)
        return path + replacement;
    return path.substr(0, dot) + replacement;
}

std::string fileWrittenFor(const std::string& path)
{
    std::error_code error;
    if (!std::filesystem::is_symlink(std::filesystem::symlink_status(path, error)))
        return path;
    const std::filesystem::path target = std::filesystem::canonical(path, error);
    return error ? path : target.string();
}
