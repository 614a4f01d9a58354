// SPDX-License-Identifier: GPL-3.0-or-later
#include "base/files.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>

#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

FileDescriptor::~FileDescriptor()
{
    if (fd >= 0)
        ::close(fd);
}

namespace fs = std::filesystem;

namespace {

constexpr mode_t privateMode = 0600;
constexpr mode_t documentMode = 0666;

std::atomic<unsigned> temporaryCounter{0};

bool processRuns(long pid)
{
    return pid > 0 && (::kill(static_cast<pid_t>(pid), 0) == 0 || errno != ESRCH);
}

}  // namespace

// ---- bounded reads ---------------------------------------------------------------------------------

BoundedFile::BoundedFile(const std::string& path, std::uintmax_t sizeLimit) : limit(sizeLimit)
{
    // Non-blocking, so opening a FIFO that nobody writes returns at once instead of waiting.
    fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    if (fd < 0) {
        status = errno == ENOENT ? ReadResult::Missing : ReadResult::Refused;
        return;
    }
    struct stat info {};
    if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode))
        status = ReadResult::Refused;
    else if (static_cast<std::uintmax_t>(info.st_size) > limit)
        status = ReadResult::TooLarge;
    reported = static_cast<std::uintmax_t>(std::max<off_t>(info.st_size, 0));
}

BoundedFile::~BoundedFile()
{
    if (fd >= 0)
        ::close(fd);
}

std::optional<std::size_t> BoundedFile::read(char* buffer, std::size_t size)
{
    if (status != ReadResult::Read)
        return std::nullopt;
    for (;;) {
        const ssize_t got = ::read(fd, buffer, size);
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0) {
            status = ReadResult::Refused;
            return std::nullopt;
        }
        total += static_cast<std::uintmax_t>(got);
        // The file may have grown since it was opened.
        if (total > limit) {
            status = ReadResult::TooLarge;
            return std::nullopt;
        }
        return static_cast<std::size_t>(got);
    }
}

ReadResult readRegularFile(const std::string& path, std::size_t limit, std::string& contents)
{
    contents.clear();
    BoundedFile file(path, limit);
    if (file.state() != ReadResult::Read)
        return file.state() == ReadResult::Missing ? ReadResult::Missing : ReadResult::Refused;
    // The buffer starts one byte past the reported size and grows as reads fill it, so a small file
    // costs no limit-sized buffer, and a file that grew is seen as too large after one byte more.
    contents.resize(static_cast<std::size_t>(std::min<std::uintmax_t>(file.sizeHint(), limit)) + 1);
    std::size_t got = 0;
    for (;;) {
        if (got == contents.size())
            contents.resize(std::min(got * 2, limit + 1));
        const std::optional<std::size_t> n = file.read(contents.data() + got, contents.size() - got);
        if (!n) {
            contents.clear();
            return ReadResult::Refused;
        }
        if (*n == 0)
            break;
        got += *n;
    }
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

// ---- names -----------------------------------------------------------------------------------------

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
    if (!fs::is_symlink(fs::symlink_status(path, error)))
        return path;
    const fs::path target = fs::canonical(path, error);
    return error ? path : target.string();
}

// ---- replacing files durably -----------------------------------------------------------------------

void syncFolderOf(const std::string& path)
{
    const fs::path folder = fs::path(path).parent_path();
    const int fd = ::open(folder.empty() ? "." : folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0)
        return;
    ::fsync(fd);
    ::close(fd);
}

bool putInPlace(const std::string& written, const std::string& target, NewFileMode mode)
{
    struct stat replaced {};
    if (::stat(target.c_str(), &replaced) == 0 && S_ISREG(replaced.st_mode))
        ::chmod(written.c_str(), replaced.st_mode & 07777);
    else if (mode == NewFileMode::Private)
        ::chmod(written.c_str(), privateMode);
    if (::rename(written.c_str(), target.c_str()) != 0)
        return false;
    syncFolderOf(target);
    return true;
}

FileReplacement::FileReplacement(const std::string& path, NewFileMode newMode, const std::string& temporaryPath)
    : target(fileWrittenFor(path)), mode(newMode)
{
    temporary = !temporaryPath.empty() ? temporaryPath : processTemporaryName(target + ".", ".tmp");
    // Only a file made here and now: a name already taken (a stale link that would be written
    // through, a folder) fails instead. The umask has its say over a user's document.
    fd = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC | O_NOCTTY,
                mode == NewFileMode::Private ? privateMode : documentMode);
    if (fd < 0)
        temporary.clear();
}

FileReplacement::~FileReplacement()
{
    if (fd >= 0)
        ::close(fd);
    if (!temporary.empty())
        ::unlink(temporary.c_str());
}

bool FileReplacement::write(std::string_view bytes)
{
    while (!failed && !bytes.empty()) {
        const ssize_t wrote = ::write(fd, bytes.data(), bytes.size());
        if (wrote < 0 && errno == EINTR)
            continue;
        if (wrote <= 0)
            failed = true;
        else
            bytes.remove_prefix(static_cast<std::size_t>(wrote));
    }
    return !failed && fd >= 0;
}

bool FileReplacement::commit()
{
    if (fd < 0)
        return false;
    const bool flushed = !failed && ::fsync(fd) == 0;
    const bool closed = ::close(fd) == 0;
    fd = -1;
    if (!flushed || !closed || !putInPlace(temporary, target, mode))
        return false;
    temporary.clear();
    return true;
}

bool replaceFileContents(const std::string& target, std::string_view contents, NewFileMode mode,
                         const std::string& temporary)
{
    FileReplacement replacement(target, mode, temporary);
    return replacement.isOpen() && replacement.write(contents) && replacement.commit();
}

// ---- temporaries named after their process ---------------------------------------------------------

std::string processTemporaryName(std::string_view prefix, std::string_view suffix)
{
    return std::string(prefix) + std::to_string(::getpid()) + "-" + std::to_string(temporaryCounter++)
           + std::string(suffix);
}

void removeOrphanedTemporaries(const std::string& folder, std::string_view prefix)
{
    std::error_code error;
    for (fs::directory_iterator it(folder, error); !error && it != fs::directory_iterator(); it.increment(error)) {
        const std::string name = it->path().filename().string();
        if (name.rfind(prefix, 0) != 0 || processRuns(std::strtol(name.c_str() + prefix.size(), nullptr, 10)))
            continue;
        std::error_code ignored;
        const fs::file_status status = it->symlink_status(ignored);
        if (fs::is_regular_file(status) || fs::is_directory(status))
            fs::remove_all(it->path(), ignored);
    }
}

namespace {

// Whether the name holds nothing, or a regular file of this user that has no other name.
bool missingOrOurs(const std::string& path)
{
    struct stat info {};
    if (::lstat(path.c_str(), &info) != 0)
        return errno == ENOENT;
    return S_ISREG(info.st_mode) && info.st_uid == ::geteuid() && info.st_nlink == 1;
}

bool moveAside(const std::string& path)
{
    for (int n = 1; n < 1000; ++n) {
        const std::string aside = path + ".not-ours-" + std::to_string(n);
        struct stat info {};
        if (::lstat(aside.c_str(), &info) != 0 && errno == ENOENT)
            return std::rename(path.c_str(), aside.c_str()) == 0;
    }
    return false;
}

}  // namespace

std::string claimCacheFile(const std::string& path)
{
    const std::string folder = std::filesystem::path(path).parent_path().string();
    std::error_code ignored;
    std::filesystem::create_directories(folder, ignored);
    struct stat info {};
    if (::lstat(folder.c_str(), &info) != 0 || !S_ISDIR(info.st_mode) || info.st_uid != ::geteuid())
        return "the folder " + folder + " is not a folder of this user";
    if ((info.st_mode & 077) != 0)
        ::chmod(folder.c_str(), 0700);
    // The companions first: SQLite follows links to them even where it refuses one for the file.
    for (const char* suffix : {"-wal", "-shm", "-journal", ""}) {
        const std::string name = path + suffix;
        if (!missingOrOurs(name) && !moveAside(name))
            return "cannot move " + name + " aside: " + std::strerror(errno);
    }
    const FileDescriptor file(::open(path.c_str(), O_RDWR | O_CREAT | O_NOFOLLOW | O_CLOEXEC | O_NOCTTY, 0600));
    if (file.get() < 0)
        return "cannot open " + path + ": " + std::strerror(errno);
    if (::fstat(file.get(), &info) == 0 && (info.st_mode & 077) != 0)
        ::fchmod(file.get(), 0600);
    return {};
}
