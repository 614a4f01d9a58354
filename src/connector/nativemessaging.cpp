// SPDX-License-Identifier: GPL-3.0-or-later
#include "connector/nativemessaging.h"

#include <algorithm>
#include <cerrno>
#include <cstdint>

#include <unistd.h>

namespace connector {

bool NativeMessaging::readExactly(char* into, std::size_t size)
{
    while (size > 0) {
        const ssize_t got = ::read(in, into, size);
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0)
            return false;
        into += got;
        size -= std::size_t(got);
    }
    return true;
}

std::optional<NativeMessaging::Incoming> NativeMessaging::read(std::size_t limit)
{
    std::uint32_t length = 0;
    if (!readExactly(reinterpret_cast<char*>(&length), sizeof length))
        return std::nullopt;
    Incoming incoming;
    incoming.length = length;
    if (length <= limit) {
        incoming.message.resize(length);
        if (!readExactly(incoming.message.data(), length))
            return std::nullopt;
        return incoming;
    }
    incoming.skipped = true;
    char piece[64 * 1024];
    for (std::size_t left = length; left > 0;) {
        const std::size_t size = std::min(left, sizeof piece);
        if (!readExactly(piece, size))
            return std::nullopt;
        left -= size;
    }
    return incoming;
}

bool NativeMessaging::write(std::string_view message)
{
    const auto length = static_cast<std::uint32_t>(message.size());
    std::string frame(reinterpret_cast<const char*>(&length), sizeof length);
    frame.append(message);
    for (std::size_t done = 0; done < frame.size();) {
        const ssize_t written = ::write(out, frame.data() + done, frame.size() - done);
        if (written < 0 && errno == EINTR)
            continue;
        if (written <= 0)
            return false;
        done += std::size_t(written);
    }
    return true;
}

}  // namespace connector
