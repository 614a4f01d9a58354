// SPDX-License-Identifier: GPL-3.0-or-later
#include "backup/backupio.h"

#include "base/files.h"

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <memory>
#include <new>
#include <system_error>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace backupio {

namespace {

constexpr std::size_t replaceChunk = 0x100000;
// errno for a name that leads to a folder, FIFO or device: none of them is a file to copy.
constexpr int notRegularFile = EMEDIUMTYPE;
constexpr const char* notRegularFileText = "It is not a regular file.";

}  // namespace

FilePtr openForReading(const std::string& path)
{
    // Without O_NONBLOCK, opening a FIFO would wait for a writer for ever, the window frozen.
    const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    if (fd < 0)
        return nullptr;
    struct stat info {};
    if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
        ::close(fd);
        errno = notRegularFile;
        return nullptr;
    }
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    std::FILE* file = ::fdopen(fd, "rb");
    if (!file)
        ::close(fd);
    return FilePtr(file);
}

FilePtr createForWriting(const std::string& path)
{
    // A FIFO without a reader refuses at once (ENXIO) instead of blocking the window.
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_NONBLOCK | O_CLOEXEC | O_NOCTTY, 0666);
    if (fd < 0)
        return nullptr;
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    std::FILE* file = ::fdopen(fd, "wb");
    if (!file)
        ::close(fd);
    return FilePtr(file);
}

std::string openFailureText(const std::string& path, int error)
{
    const std::string reason = error == notRegularFile ? notRegularFileText : std::strerror(error);
    return "Cannot open file \"" + path + "\". " + reason;
}

std::string createFailureText(const std::string& path, const std::string& reason)
{
    return "Cannot create file \"" + path + "\". " + reason;
}

int64_t fileSize(std::FILE* file)
{
    struct stat info {};
    if (::fstat(::fileno(file), &info) != 0)
        return -1;
    return static_cast<int64_t>(info.st_size);
}

bool writeAll(std::FILE* file, const void* data, std::size_t length)
{
    return std::fwrite(data, 1, length, file) == length;
}

std::size_t readUpTo(std::FILE* file, void* data, std::size_t length)
{
    return std::fread(data, 1, length, file);
}

CopyResult copyRest(std::FILE* from, std::FILE* to, unsigned char* buffer, std::size_t chunk, Progress& progress)
{
    const int64_t size = fileSize(from);
    const long start = std::ftell(from);
    std::size_t copied = 0;
    for (;;) {
        const std::size_t got = std::fread(buffer, 1, chunk, from);
        if (got > 0 && !writeAll(to, buffer, got))
            return CopyResult::WriteFailed;
        if (got < chunk)
            return std::ferror(from) ? CopyResult::ReadFailed : CopyResult::Done;
        copied += got;
        if (size > 0 && start >= 0)
            progress.advance(copied, static_cast<std::size_t>(size - start));
    }
}

CopyResult copyRestInKernel(std::FILE* from, std::FILE* to, unsigned char* buffer, std::size_t chunk)
{
    // The streams' buffers may run ahead of or behind their descriptors: copy between the logical
    // positions and leave both streams where the copy ended.
    if (std::fflush(to) != 0)
        return CopyResult::WriteFailed;
    off_t in = std::ftell(from);
    off_t out = std::ftell(to);
    if (in < 0 || out < 0)
        return copyRest(from, to, buffer, chunk);
    for (bool first = true;; first = false) {
        const ssize_t copied = ::copy_file_range(::fileno(from), &in, ::fileno(to), &out, 1 << 30, 0);
        if (copied == 0)
            break;
        if (copied < 0) {
            const bool unsupported = errno == ENOSYS || errno == EXDEV || errno == EINVAL || errno == EOPNOTSUPP;
            if (first && unsupported)
                return copyRest(from, to, buffer, chunk);
            return CopyResult::WriteFailed;
        }
    }
    if (std::fseek(from, in, SEEK_SET) != 0 || std::fseek(to, out, SEEK_SET) != 0)
        return CopyResult::WriteFailed;
    return CopyResult::Done;
}

bool syncAndClose(FilePtr& file)
{
    std::FILE* raw = file.release();
    bool ok = std::fflush(raw) == 0;
    // Devices and pipes cannot be synced; only a failing sync of a real file counts.
    if (ok && ::fsync(::fileno(raw)) != 0 && errno != EINVAL && errno != EROFS)
        ok = false;
    return std::fclose(raw) == 0 && ok;
}

void removeRegularFile(const std::string& path)
{
    std::error_code error;
    if (fs::is_regular_file(fs::symlink_status(path, error)))
        fs::remove(path, error);
}

bool sameFile(const std::string& first, const std::string& second)
{
    std::error_code error;
    return fs::equivalent(first, second, error) && !error;
}

std::string replacementTemporary(const std::string& target)
{
    return fileWrittenFor(target) + ".tmp";
}

bool replaceAtomically(const std::string& source, const std::string& link)
{
    const std::string temporary = replacementTemporary(link);
    // A copy cut short by a crash is of no use to anyone.
    removeRegularFile(temporary);
    FilePtr from = openForReading(source);
    FileReplacement replacement(link, NewFileMode::Private, temporary);
    std::unique_ptr<char[]> buffer(new (std::nothrow) char[replaceChunk]);
    if (!from || !replacement.isOpen() || !buffer)
        return false;
    for (;;) {
        const std::size_t got = std::fread(buffer.get(), 1, replaceChunk, from.get());
        if (got > 0 && !replacement.write(std::string_view(buffer.get(), got)))
            return false;
        if (got < replaceChunk)
            break;
    }
    return !std::ferror(from.get()) && replacement.commit();
}

}  // namespace backupio
