// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstddef>

namespace extract {

struct SandboxLimits {
    std::size_t memoryBytes = 0;  // address space; 0 for none
    int cpuSecondsPerFile = 0;    // 0 for none
};

// Confines the reading process for good: no core files, at most this much memory, and no sockets
// but local ones (a seccomp filter), so a document can reach no network. False when the kernel
// refused the filter.
bool enterSandbox(const SandboxLimits& limits);

// Gives the next file its own share of processor time: the limit is moved to what was used so far
// plus the share, and the kernel ends the process with SIGXCPU when the file takes more.
void startFileClock(int cpuSecondsPerFile);

}  // namespace extract
