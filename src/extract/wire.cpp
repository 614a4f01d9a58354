// SPDX-License-Identifier: GPL-3.0-or-later
#include "extract/wire.h"

#include <cerrno>

#include <sys/socket.h>

namespace extract::wire {

namespace {

void putNumber(std::string& out, std::uint64_t value, int bytes)
{
    for (int i = 0; i < bytes; ++i)
        out += static_cast<char>((value >> (8 * i)) & 0xFF);
}

std::uint64_t number(std::string_view bytes, std::size_t at, int count)
{
    std::uint64_t value = 0;
    for (int i = 0; i < count; ++i)
        value |= std::uint64_t(static_cast<unsigned char>(bytes[at + i])) << (8 * i);
    return value;
}

void putText(std::string& out, std::string_view text)
{
    putNumber(out, text.size(), 4);
    out += text;
}

// The text at `at` (its 4-byte length first), moving `at` past it; nullopt when the payload ends early.
std::optional<std::string> takeText(std::string_view bytes, std::size_t& at)
{
    if (bytes.size() - at < 4)
        return std::nullopt;
    const std::uint64_t length = number(bytes, at, 4);
    at += 4;
    if (bytes.size() - at < length)
        return std::nullopt;
    std::string text(bytes.substr(at, length));
    at += length;
    return text;
}

}  // namespace

std::string encodeFrame(FrameType type, std::string_view payload)
{
    std::string frame(1, static_cast<char>(type));
    putNumber(frame, payload.size(), 4);
    frame += payload;
    return frame;
}

std::string encodeRequest(const Request& request)
{
    std::string payload;
    putText(payload, request.path);
    putText(payload, request.knownHash);
    putNumber(payload, request.textLimit, 8);
    putNumber(payload, request.kinds, 4);
    return encodeFrame(FrameType::Request, payload);
}

std::optional<Request> decodeRequest(std::string_view payload)
{
    Request request;
    std::size_t at = 0;
    auto path = takeText(payload, at);
    auto hash = path ? takeText(payload, at) : std::nullopt;
    if (!hash || payload.size() - at != 12)
        return std::nullopt;
    request.path = std::move(*path);
    request.knownHash = std::move(*hash);
    request.textLimit = number(payload, at, 8);
    request.kinds = static_cast<unsigned>(number(payload, at + 8, 4));
    return request;
}

std::string pagePayload(int page, std::string_view text)
{
    std::string payload;
    putNumber(payload, static_cast<std::uint32_t>(page), 4);
    payload += text;
    return payload;
}

std::optional<std::pair<int, std::string_view>> decodePage(std::string_view payload)
{
    if (payload.size() < 4)
        return std::nullopt;
    return std::make_pair(static_cast<int>(number(payload, 0, 4)), payload.substr(4));
}

bool sendAll(int socket, std::string_view bytes)
{
    while (!bytes.empty()) {
        const ssize_t sent = ::send(socket, bytes.data(), bytes.size(), MSG_NOSIGNAL);
        if (sent < 0 && errno == EINTR)
            continue;
        if (sent <= 0)
            return false;
        bytes.remove_prefix(std::size_t(sent));
    }
    return true;
}

std::optional<Frame> FrameReader::next()
{
    if (broken || buffer.size() - start < 5)
        return std::nullopt;
    const std::uint64_t length = number(buffer, start + 1, 4);
    if (length > maxPayload) {
        broken = true;
        return std::nullopt;
    }
    if (buffer.size() - start - 5 < length)
        return std::nullopt;
    Frame frame{static_cast<FrameType>(buffer[start]), buffer.substr(start + 5, length)};
    start += 5 + length;
    // The consumed bytes are dropped once they are the larger part, so appending stays cheap.
    if (start > buffer.size() / 2) {
        buffer.erase(0, start);
        start = 0;
    }
    return frame;
}

}  // namespace extract::wire
