// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// Filesystems that refuse writes the way a real disk does: a small tmpfs that runs full (ENOSPC) or
// is read-only (EROFS), mounted in a mount namespace of this test process alone, so nothing stays
// mounted however the test ends.

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <stdexcept>
#include <string>
#include <vector>

#include <fcntl.h>
#include <sched.h>
#include <sys/mount.h>
#include <sys/statvfs.h>
#include <unistd.h>

class SmallFilesystem {
public:
    // Empty when this process may mount filesystems of its own; otherwise why it may not.
    static const std::string& unavailable()
    {
        static const std::string reason = enterPrivateMounts();
        return reason;
    }

    SmallFilesystem(const std::string& folder, std::size_t bytes) : at(folder)
    {
        std::filesystem::create_directories(at);
        const std::string options = "size=" + std::to_string(bytes) + ",mode=0755";
        if (::mount("varnelo-test", at.c_str(), "tmpfs", MS_NOSUID | MS_NODEV, options.c_str()) != 0)
            throw std::runtime_error("cannot mount a tmpfs at " + at + ": " + std::strerror(errno));
    }
    ~SmallFilesystem() { ::umount2(at.c_str(), MNT_DETACH); }
    SmallFilesystem(const SmallFilesystem&) = delete;
    SmallFilesystem& operator=(const SmallFilesystem&) = delete;

    const std::string& path() const { return at; }

    std::size_t freeBytes() const
    {
        struct statvfs info {};
        ::statvfs(at.c_str(), &info);
        return static_cast<std::size_t>(info.f_bavail) * info.f_frsize;
    }

    // Takes the free space with a filler file, all but `leave` bytes (whole pages).
    void fill(std::size_t leave = 0)
    {
        const std::string filler = at + "/filler";
        const int fd = ::open(filler.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
        if (fd < 0)
            throw std::runtime_error("cannot make the filler file");
        const std::vector<char> block(65536, 'f');
        for (std::size_t size = block.size(); size > 0; size /= 16)
            while (::write(fd, block.data(), size) == static_cast<ssize_t>(size)) {
            }
        const off_t full = ::lseek(fd, 0, SEEK_END);
        const off_t kept = full > static_cast<off_t>(leave) ? full - static_cast<off_t>(leave) : 0;
        const bool truncated = ::ftruncate(fd, kept) == 0;
        ::close(fd);
        if (!truncated)
            throw std::runtime_error("cannot make room in the filler file");
    }

    // Gives back everything the filler took.
    void empty() { std::filesystem::remove(at + "/filler"); }

    void remountReadOnly()
    {
        if (::mount(nullptr, at.c_str(), nullptr, MS_REMOUNT | MS_RDONLY | MS_NOSUID | MS_NODEV, nullptr) != 0)
            throw std::runtime_error("cannot remount " + at + " read-only: " + std::strerror(errno));
    }

private:
    static std::string enterPrivateMounts()
    {
        if (::unshare(CLONE_NEWNS) != 0)
            return std::string("no mount namespace of its own (") + std::strerror(errno) + ")";
        if (::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0)
            return std::string("the mounts cannot be made private (") + std::strerror(errno) + ")";
        std::string probe = (std::filesystem::temp_directory_path() / "varnelo-mount-XXXXXX").string();
        if (!::mkdtemp(probe.data()))
            return "no folder to mount on";
        const bool mounted = ::mount("varnelo-test", probe.c_str(), "tmpfs", 0, "size=65536") == 0;
        const std::string reason = mounted ? "" : std::string("no tmpfs may be mounted (") + std::strerror(errno) + ")";
        if (mounted)
            ::umount2(probe.c_str(), MNT_DETACH);
        ::rmdir(probe.c_str());
        return reason;
    }

    std::string at;
};

// A full-disk case skips with this when no small filesystem can be had.
#define REQUIRE_SMALL_FILESYSTEM()                                                                                     \
    if (!SmallFilesystem::unavailable().empty()) {                                                                     \
        GTEST_SKIP() << "a small filesystem of the test's own needs the right to mount one: "                          \
                     << SmallFilesystem::unavailable();                                                                \
    }
