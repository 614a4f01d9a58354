// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace connector {

// One message as the browsers frame it on a native messaging host's stdin and stdout: its length
// (32 bits, the machine's byte order), then that many bytes of UTF-8 JSON.
class NativeMessaging {
public:
    NativeMessaging(int input, int output) : in(input), out(output) {}

    struct Incoming {
        std::string message;
        std::size_t length = 0;  // what the frame announced
        bool skipped = false;    // longer than the limit: read past, not kept
    };
    // The next message; nothing at the end of the input (or a frame cut short). A message longer
    // than `limit` is read past in pieces, so the next one can still be read.
    std::optional<Incoming> read(std::size_t limit);
    // False when the browser has gone.
    bool write(std::string_view message);

    // Browsers take no more than this from a host in one message.
    static constexpr std::size_t largestAnswer = 1024 * 1024;

private:
    bool readExactly(char* into, std::size_t size);

    int in;
    int out;
};

}  // namespace connector
