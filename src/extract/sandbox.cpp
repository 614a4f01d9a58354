// SPDX-License-Identifier: GPL-3.0-or-later
#include "extract/sandbox.h"

#include <cerrno>
#include <cstddef>

#include <linux/audit.h>
#include <linux/filter.h>
#include <linux/seccomp.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/syscall.h>

namespace extract {

namespace {

#if defined(__x86_64__)
constexpr unsigned thisArchitecture = AUDIT_ARCH_X86_64;
#elif defined(__aarch64__)
constexpr unsigned thisArchitecture = AUDIT_ARCH_AARCH64;
#else
constexpr unsigned thisArchitecture = 0;
#endif

// AddressSanitizer reserves terabytes of address space up front; there the parent's watch on the
// resident size alone bounds the memory.
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
constexpr bool addressSpaceLimitWorks = false;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer) || __has_feature(thread_sanitizer)
constexpr bool addressSpaceLimitWorks = false;
#else
constexpr bool addressSpaceLimitWorks = true;
#endif
#else
constexpr bool addressSpaceLimitWorks = true;
#endif

bool refuseNetworkSockets()
{
    if (thisArchitecture == 0)
        return false;
    // socket(domain, ...) with any domain but AF_UNIX fails with EACCES; calls of another ABI
    // (x32) are refused outright, since their numbers differ.
    sock_filter filter[] = {
        BPF_STMT(BPF_LD | BPF_W | BPF_ABS, offsetof(seccomp_data, arch)),
        BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, thisArchitecture, 1, 0),
        BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_KILL_PROCESS),
        BPF_STMT(BPF_LD | BPF_W | BPF_ABS, offsetof(seccomp_data, nr)),
        BPF_JUMP(BPF_JMP | BPF_JGE | BPF_K, 0x40000000, 0, 1),
        BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_ERRNO | EACCES),
        BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, __NR_socket, 0, 3),
        BPF_STMT(BPF_LD | BPF_W | BPF_ABS, offsetof(seccomp_data, args[0])),
        BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, AF_UNIX, 1, 0),
        BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_ERRNO | EACCES),
        BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_ALLOW),
    };
    sock_fprog program{static_cast<unsigned short>(sizeof filter / sizeof filter[0]), filter};
    return prctl(PR_SET_NO_NEW_PRIVS, 1, 0, 0, 0) == 0
           && prctl(PR_SET_SECCOMP, SECCOMP_MODE_FILTER, &program, 0, 0) == 0;
}

}  // namespace

bool enterSandbox(const SandboxLimits& limits)
{
    const rlimit noCore{0, 0};
    setrlimit(RLIMIT_CORE, &noCore);
    if (limits.memoryBytes > 0 && addressSpaceLimitWorks) {
        const rlimit memory{limits.memoryBytes, limits.memoryBytes};
        setrlimit(RLIMIT_AS, &memory);
    }
    return refuseNetworkSockets();
}

void startFileClock(int cpuSecondsPerFile)
{
    if (cpuSecondsPerFile <= 0)
        return;
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    const rlim_t used = rlim_t(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) + 1;
    // The hard limit stays open so the soft one can be moved on for the next file.
    const rlimit cpu{used + rlim_t(cpuSecondsPerFile), RLIM_INFINITY};
    setrlimit(RLIMIT_CPU, &cpu);
}

}  // namespace extract
