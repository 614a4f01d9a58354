// SPDX-License-Identifier: GPL-3.0-or-later
// varnelo-extract: reads the text of one file at a time for Varnelo's content index, in a process of
// its own so that a document that crashes, hangs or floods a reader costs only itself. Requests
// come on stdin and answers go to stdout (both the one socket the indexer made); see extract/wire.h.
#include "extract/extractor.h"
#include "extract/markuptext.h"
#include "extract/sandbox.h"
#include "extract/wire.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <string>

#include <unistd.h>

namespace {

long option(int argc, char** argv, const char* name)
{
    for (int i = 1; i + 1 < argc; ++i)
        if (std::strcmp(argv[i], name) == 0)
            return std::strtol(argv[i + 1], nullptr, 10);
    return 0;
}

}  // namespace

int main(int argc, char** argv)
{
    extract::SandboxLimits limits;
    limits.memoryBytes = std::size_t(option(argc, argv, "--memory-mb")) * 1024 * 1024;
    limits.cpuSecondsPerFile = int(option(argc, argv, "--cpu-seconds"));
    extract::quietLibxml();
    if (!extract::enterSandbox(limits))
        return 3;
    extract::wire::FrameReader frames;
    std::string buffer(64 * 1024, '\0');
    for (;;) {
        const ssize_t got = ::read(STDIN_FILENO, buffer.data(), buffer.size());
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0)
            return 0;
        frames.add(std::string_view(buffer.data(), std::size_t(got)));
        while (auto frame = frames.next()) {
            const auto request = frame->type == extract::wire::FrameType::Request
                                     ? extract::wire::decodeRequest(frame->payload)
                                     : std::nullopt;
            if (!request)
                return 2;
            extract::startFileClock(limits.cpuSecondsPerFile);
            bool sent = true;
            extract::answer(*request, [&](extract::wire::FrameType type, std::string_view payload) {
                sent = sent && extract::wire::sendAll(STDOUT_FILENO, extract::wire::encodeFrame(type, payload));
            });
            if (!sent)
                return 0;
        }
        if (frames.failed())
            return 2;
    }
}
