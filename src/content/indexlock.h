// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <string>

namespace content {

// One writer of a content index at a time, across programs: an advisory lock on a private file
// beside the index. Readers need none. Released when the object goes (or the program ends).
class IndexLock {
public:
    explicit IndexLock(const std::string& indexPath);
    ~IndexLock();
    IndexLock(const IndexLock&) = delete;
    IndexLock& operator=(const IndexLock&) = delete;

    // False when another program holds it. Both raise ContentIndexError when the lock file cannot be
    // made (its folder included).
    bool tryLock();
    // Waits until the other program lets go.
    void lock();

private:
    bool take(bool wait);

    std::string path;
    int fd = -1;
    bool held = false;
};

}  // namespace content
