// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

// The conversation between the indexer and its reading process, over one stream socket: the
// indexer sends a request, the reader answers with frames and ends with one of Unchanged or Done.
// A frame is its type byte, its payload's length (4 bytes, little-endian) and the payload.
namespace extract::wire {

enum class FrameType : char {
    Request = 'R',      // the file to read (see Request)
    Hash = 'H',         // the file's content hash, as hex
    ContentKind = 'K',  // the content type the reader found
    Page = 'P',         // 4 bytes of page number, then a piece of that page's text
    Unchanged = 'U',    // the file's hash is the one the request named: nothing was read
    Done = 'D',         // 1 byte of Outcome, then the reason in words (empty for text)
};

enum class Outcome : char { Text = 'T', NoText = 'N', Failed = 'F' };

// Which kinds of file are read; a file of a kind left out has no text.
enum Kinds : unsigned {
    Pdf = 1,
    Office = 2,  // OpenDocument and Office Open XML
    Epub = 4,
    Html = 8,
    PlainText = 16,  // plain text, Markdown, CSV, source
    AllKinds = 31,
};

struct Request {
    std::string path;
    std::string knownHash;  // the hash of the text already held; empty when none is
    std::uint64_t textLimit = 0;
    unsigned kinds = AllKinds;
};

struct Frame {
    FrameType type;
    std::string payload;
};

std::string encodeFrame(FrameType type, std::string_view payload);
std::string encodeRequest(const Request& request);
std::optional<Request> decodeRequest(std::string_view payload);
std::string pagePayload(int page, std::string_view text);
// The page number and text of a Page frame's payload; nullopt when it is too short.
std::optional<std::pair<int, std::string_view>> decodePage(std::string_view payload);

// Sends all the bytes on the socket (retrying short sends, never raising SIGPIPE); false when the
// other end is gone.
bool sendAll(int socket, std::string_view bytes);

// Takes bytes as they arrive and hands out whole frames.
class FrameReader {
public:
    void add(std::string_view bytes) { buffer.append(bytes); }
    // The next whole frame, if one has arrived; frames longer than maxPayload make it fail.
    std::optional<Frame> next();
    bool failed() const { return broken; }
    std::size_t buffered() const { return buffer.size(); }

    static constexpr std::size_t maxPayload = 16 * 1024 * 1024;

private:
    std::string buffer;
    std::size_t start = 0;
    bool broken = false;
};

}  // namespace extract::wire
