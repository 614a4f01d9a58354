// SPDX-License-Identifier: GPL-3.0-or-later
#include "content/extractorprocess.h"

#include "extract/wire.h"
#include "shell/paths.h"

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace content {

namespace {

using Clock = std::chrono::steady_clock;
namespace wire = extract::wire;

// The resident size is looked at this often while a file is read.
constexpr int watchMs = 50;

std::string megabytes(std::size_t bytes)
{
    return std::to_string(bytes / (1024 * 1024)) + " MB";
}

Extraction failed(std::string reason)
{
    Extraction result;
    result.outcome = Extraction::Outcome::Failed;
    result.reason = std::move(reason);
    return result;
}

}  // namespace

ExtractorProcess::ExtractorProcess(std::string program, ExtractLimits limits)
    : executable(std::move(program)), limit(limits)
{
}

ExtractorProcess::~ExtractorProcess()
{
    stop();
}

std::string ExtractorProcess::defaultExecutable()
{
    namespace fs = std::filesystem;
    std::error_code ignored;
    const fs::path beside = fs::path(executablePath()).parent_path() / "varnelo-extract";
    for (const fs::path& candidate : {beside, fs::path(VARNELO_EXTRACT_INSTALLED), fs::path(VARNELO_EXTRACT_BUILT)})
        if (fs::is_regular_file(candidate, ignored) && ::access(candidate.c_str(), X_OK) == 0)
            return candidate.string();
    return beside.string();
}

bool ExtractorProcess::spawn()
{
    int ends[2];
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, ends) != 0)
        return false;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, ends[1], STDIN_FILENO);
    posix_spawn_file_actions_adddup2(&actions, ends[1], STDOUT_FILENO);
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
    const std::string memory = std::to_string(limit.memoryBytes / (1024 * 1024));
    const std::string cpu = std::to_string(limit.cpuSeconds);
    std::vector<char*> argv{const_cast<char*>(executable.c_str()), const_cast<char*>("--memory-mb"),
                            const_cast<char*>(memory.c_str()),     const_cast<char*>("--cpu-seconds"),
                            const_cast<char*>(cpu.c_str()),        nullptr};
    const int failure = posix_spawn(&pid, executable.c_str(), &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    ::close(ends[1]);
    if (failure != 0) {
        ::close(ends[0]);
        pid = -1;
        return false;
    }
    channel = ends[0];
    ++started;
    return true;
}

void ExtractorProcess::stop()
{
    if (channel >= 0)
        ::close(channel);
    channel = -1;
    if (pid > 0) {
        ::kill(pid, SIGKILL);
        while (::waitpid(pid, nullptr, 0) < 0 && errno == EINTR) {
        }
    }
    pid = -1;
}

std::size_t ExtractorProcess::residentBytes() const
{
    std::ifstream statm("/proc/" + std::to_string(pid) + "/statm");
    std::size_t size = 0, resident = 0;
    statm >> size >> resident;
    return resident * std::size_t(::sysconf(_SC_PAGESIZE));
}

std::string ExtractorProcess::endReason(int status) const
{
    if (WIFSIGNALED(status)) {
        const int signal = WTERMSIG(status);
        if (signal == SIGXCPU)
            return "used more than " + std::to_string(limit.cpuSeconds) + " s of processor time";
        if (signal == SIGKILL)
            return "the reader was killed, most likely for want of memory";
        return std::string("the reader crashed (") + strsignal(signal) + ")";
    }
    if (WIFEXITED(status) && WEXITSTATUS(status) == 3)
        return "the reader could not shut itself off from the network";
    return "the reader stopped unexpectedly";
}

Extraction ExtractorProcess::read(const std::string& path, const std::string& knownHash, unsigned kinds)
{
    const std::string request = wire::encodeRequest({path, knownHash, limit.textBytes, kinds});
    // A process that died since the last file is found out here and replaced once.
    bool sent = false;
    for (int attempt = 0; attempt < 2 && !sent; ++attempt) {
        if (pid < 0 && !spawn())
            return failed("the reader " + executable + " cannot be started: " + std::strerror(errno));
        sent = wire::sendAll(channel, request);
        if (!sent)
            stop();
    }
    if (!sent)
        return failed("the reader does not take requests");

    Extraction result;
    std::size_t textBytes = 0;
    wire::FrameReader frames;
    const auto deadline = Clock::now() + std::chrono::seconds(limit.wallSeconds);
    std::string buffer(256 * 1024, '\0');
    auto giveUp = [&](std::string reason) {
        stop();
        return failed(std::move(reason));
    };
    for (;;) {
        while (auto frame = frames.next()) {
            switch (frame->type) {
            case wire::FrameType::Hash:
                result.hash = std::move(frame->payload);
                break;
            case wire::FrameType::ContentKind:
                result.contentType = std::move(frame->payload);
                break;
            case wire::FrameType::Page:
                if (const auto page = wire::decodePage(frame->payload)) {
                    textBytes += page->second.size();
                    if (!result.pages.empty() && result.pages.back().first == page->first)
                        result.pages.back().second.append(page->second);
                    else
                        result.pages.emplace_back(page->first, std::string(page->second));
                }
                break;
            case wire::FrameType::Unchanged:
                result.outcome = Extraction::Outcome::Unchanged;
                return result;
            case wire::FrameType::Done: {
                const char outcome = frame->payload.empty() ? 'F' : frame->payload.front();
                result.outcome = outcome == static_cast<char>(wire::Outcome::Text)     ? Extraction::Outcome::Text
                                 : outcome == static_cast<char>(wire::Outcome::NoText) ? Extraction::Outcome::NoText
                                                                                       : Extraction::Outcome::Failed;
                result.reason = frame->payload.empty() ? std::string() : frame->payload.substr(1);
                if (result.outcome != Extraction::Outcome::Text)
                    result.pages.clear();
                return result;
            }
            default:
                return giveUp("the reader's answer cannot be understood");
            }
            // The reader keeps to the limit itself; one that does not is not trusted further.
            if (textBytes > limit.textBytes + 1024 * 1024)
                return giveUp("it gave more than " + megabytes(limit.textBytes) + " of text");
        }
        if (frames.failed())
            return giveUp("the reader's answer cannot be understood");
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
        if (left <= 0)
            return giveUp("took longer than " + std::to_string(limit.wallSeconds) + " s");
        if (residentBytes() > limit.memoryBytes)
            return giveUp("used more than " + megabytes(limit.memoryBytes) + " of memory");
        pollfd ready{channel, POLLIN, 0};
        const int polled = ::poll(&ready, 1, int(std::min<long long>(left, watchMs)));
        if (polled < 0 && errno != EINTR)
            return giveUp(std::strerror(errno));
        if (polled <= 0)
            continue;
        const ssize_t got = ::recv(channel, buffer.data(), buffer.size(), 0);
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0) {
            int status = 0;
            ::close(channel);
            channel = -1;
            while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
            }
            pid = -1;
            return failed(endReason(status));
        }
        frames.add(std::string_view(buffer.data(), std::size_t(got)));
    }
}

}  // namespace content
