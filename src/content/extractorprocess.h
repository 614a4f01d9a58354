// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <sys/types.h>

#include <cstddef>
#include <string>
#include <utility>
#include <vector>

namespace content {

// What one file may cost the reading process.
struct ExtractLimits {
    int wallSeconds = 30;
    int cpuSeconds = 20;
    std::size_t memoryBytes = 512u * 1024 * 1024;
    std::size_t textBytes = 16u * 1024 * 1024;
};

struct Extraction {
    enum class Outcome { Text, NoText, Unchanged, Failed };
    Outcome outcome = Outcome::Failed;
    std::vector<std::pair<int, std::string>> pages;  // page number (0: no pages) and its text, in order
    std::string hash;
    std::string contentType;
    // Failed: why ("took longer than 30 s"); NoText: what was left out; Text: a note ("only its first
    // 16 MB of text") or nothing.
    std::string reason;
};

// The reading process (varnelo-extract), started on first use, fed one file at a time and watched:
// a file that runs past the wall clock, grows past the memory limit, floods it with text or makes it
// die is answered Failed with the reason, the process is ended, and the next file gets a new one.
// One object serves one thread.
class ExtractorProcess {
public:
    ExtractorProcess(std::string executable, ExtractLimits limits);
    ~ExtractorProcess();
    ExtractorProcess(const ExtractorProcess&) = delete;
    ExtractorProcess& operator=(const ExtractorProcess&) = delete;

    // kinds: the wire kinds to read (extract::wire::Kinds).
    Extraction read(const std::string& path, const std::string& knownHash, unsigned kinds);

    // How many times a reading process was started.
    int starts() const { return started; }
    const ExtractLimits& limits() const { return limit; }

    // The installed or built varnelo-extract: beside the running program, then in the library folder
    // the install puts it in, then where the build made it.
    static std::string defaultExecutable();

private:
    bool spawn();
    void stop();
    std::string endReason(int waitStatus) const;
    std::size_t residentBytes() const;

    std::string executable;
    ExtractLimits limit;
    pid_t pid = -1;
    int channel = -1;
    int started = 0;
};

}  // namespace content
