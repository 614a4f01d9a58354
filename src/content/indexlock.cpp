// SPDX-License-Identifier: GPL-3.0-or-later
#include "content/indexlock.h"

#include <cerrno>

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
    if (fd < 0)
        fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_NOFOLLOW | O_CLOEXEC | O_NOCTTY, 0600);
    if (fd < 0)
        return false;
    int result;
    while ((result = ::flock(fd, LOCK_EX | (wait ? 0 : LOCK_NB))) != 0 && errno == EINTR) {
    }
    held = result == 0;
    return held;
}

bool IndexLock::tryLock()
{
    return take(false);
}

bool IndexLock::lock()
{
    return take(true);
}

}  // namespace content
