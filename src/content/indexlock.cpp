// SPDX-License-Identifier: GPL-3.0-or-later
#include "content/indexlock.h"

#include "content/contentindex.h"

#include <cerrno>
#include <cstring>
#include <filesystem>

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

namespace content {

IndexLock::IndexLock(const std::string& indexPath) : path(indexPath + ".lock")
{
}

IndexLock::~IndexLock()
{
    if (fd >= 0)
        ::close(fd);
}

bool IndexLock::take(bool wait)
{
    if (held)
        return true;
    if (fd < 0) {
        std::error_code ignored;
        const std::filesystem::path folder = std::filesystem::path(path).parent_path();
        if (!folder.empty() && std::filesystem::create_directories(folder, ignored))
            std::filesystem::permissions(folder, std::filesystem::perms::owner_all, ignored);
        fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_NOFOLLOW | O_CLOEXEC | O_NOCTTY, 0600);
    }
    if (fd < 0)
        throw ContentIndexError("Cannot lock the content index: " + path + ": " + std::strerror(errno));
    int result;
    while ((result = ::flock(fd, LOCK_EX | (wait ? 0 : LOCK_NB))) != 0 && errno == EINTR) {
    }
    if (result != 0 && errno != EWOULDBLOCK)
        throw ContentIndexError("Cannot lock the content index: " + path + ": " + std::strerror(errno));
    held = result == 0;
    return held;
}

bool IndexLock::tryLock()
{
    return take(false);
}

void IndexLock::lock()
{
    take(true);
}

}  // namespace content
