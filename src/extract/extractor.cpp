// SPDX-License-Identifier: GPL-3.0-or-later
#include "extract/extractor.h"

#include "base/files.h"
#include "extract/format.h"
#include "extract/markuptext.h"
#include "extract/packagereaders.h"
#include "extract/pdfreader.h"
#include "extract/plaintext.h"
#include "extract/readfailure.h"
#include "extract/textsink.h"
#include "extract/zippackage.h"

#include <glib.h>

#include <cerrno>
#include <cstring>
#include <memory>
#include <new>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace extract {

namespace {

constexpr std::size_t headSize = 4096;
constexpr std::size_t readPiece = 256 * 1024;

// Non-blocking, so a FIFO or a device put in a file's place cannot hold the open up; only a regular
// file is read.
FileDescriptor openRegularFile(const std::string& path)
{
    FileDescriptor file(::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY));
    if (file.get() < 0)
        throw ReadFailure(std::strerror(errno));
    struct stat info {};
    if (::fstat(file.get(), &info) != 0)
        throw ReadFailure(std::strerror(errno));
    if (!S_ISREG(info.st_mode))
        throw ReadFailure("it is not a regular file");
    ::fcntl(file.get(), F_SETFL, ::fcntl(file.get(), F_GETFL) & ~O_NONBLOCK);
    return file;
}

// Reads the file from `offset` in pieces until it ends or `more` returns false.
void readFrom(int fd, off_t offset, const std::function<bool(std::string_view)>& more)
{
    std::string buffer(readPiece, '\0');
    for (;;) {
        const ssize_t got = ::pread(fd, buffer.data(), buffer.size(), offset);
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0)
            throw ReadFailure(std::strerror(errno));
        if (got == 0 || !more(std::string_view(buffer.data(), std::size_t(got))))
            return;
        offset += got;
    }
}

// SHA-256 of the whole file.
std::string hashFile(int fd)
{
    std::unique_ptr<GChecksum, decltype(&g_checksum_free)> checksum(g_checksum_new(G_CHECKSUM_SHA256), g_checksum_free);
    readFrom(fd, 0, [&](std::string_view piece) {
        g_checksum_update(checksum.get(), reinterpret_cast<const guchar*>(piece.data()), gssize(piece.size()));
        return true;
    });
    return g_checksum_get_string(checksum.get());
}

void readHtml(int fd, TextSink& sink)
{
    MarkupText markup(sink, htmlRules(), MarkupText::Language::Html);
    readFrom(fd, 0, [&](std::string_view piece) { return markup.feed(piece); });
    markup.finish();
}

void readPlainText(int fd, TextSink& sink, std::size_t limit)
{
    std::string bytes;
    bool cut = false;
    readFrom(fd, 0, [&](std::string_view piece) {
        bytes.append(piece.substr(0, limit - bytes.size()));
        cut = bytes.size() >= limit;
        return !cut;
    });
    sink.append(textAsUtf8(bytes, cut));
}

std::string baseName(const std::string& path)
{
    const std::size_t slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

void read(const wire::Request& request, Format format, int fd, TextSink& sink)
{
    // The readers that want a name get the open file's, so they read what was checked above.
    const std::string openFile = "/proc/self/fd/" + std::to_string(fd);
    switch (format) {
    case Format::Pdf:
        readPdf(openFile, sink);
        break;
    case Format::OpenDocument:
        readOpenDocument(ZipPackage(fd, largestPackagePart), sink);
        break;
    case Format::OfficeOpenXml:
        readOfficeOpenXml(ZipPackage(fd, largestPackagePart), sink);
        break;
    case Format::Epub:
        readEpub(ZipPackage(fd, largestPackagePart), sink);
        break;
    case Format::Html:
        readHtml(fd, sink);
        break;
    case Format::PlainText:
        readPlainText(fd, sink, std::size_t(request.textLimit));
        break;
    case Format::Other:
        break;
    }
}

void done(const std::function<void(wire::FrameType, std::string_view)>& send, wire::Outcome outcome,
          const std::string& reason)
{
    send(wire::FrameType::Done, std::string(1, static_cast<char>(outcome)) + reason);
}

}  // namespace

void answer(const wire::Request& request, const std::function<void(wire::FrameType, std::string_view)>& send)
{
    try {
        const FileDescriptor file = openRegularFile(request.path);
        std::string head;
        readFrom(file.get(), 0, [&](std::string_view piece) {
            head.append(piece.substr(0, headSize));
            return false;
        });
        const DetectedFormat detected = detectFormat(baseName(request.path), head);
        send(wire::FrameType::ContentKind, detected.contentType);
        // Files without text are not hashed: there is nothing to keep from reading them again.
        if (detected.format == Format::Other) {
            done(send, wire::Outcome::NoText, "no text is read from " + detected.contentType + " files");
            return;
        }
        if (!(kindOf(detected.format) & request.kinds)) {
            done(send, wire::Outcome::NoText, std::string(kindName(detected.format)) + " are not read");
            return;
        }
        const std::string hash = hashFile(file.get());
        send(wire::FrameType::Hash, hash);
        if (hash == request.knownHash) {
            send(wire::FrameType::Unchanged, {});
            return;
        }
        TextSink sink(std::size_t(request.textLimit), [&](int page, std::string_view text) {
            send(wire::FrameType::Page, wire::pagePayload(page, text));
        });
        read(request, detected.format, file.get(), sink);
        sink.finish();
        if (sink.size() == 0) {
            done(send, wire::Outcome::NoText, "it holds no text");
            return;
        }
        done(send, wire::Outcome::Text,
             sink.truncated() ? "only its first " + std::to_string(request.textLimit / (1024 * 1024)) + " MB of text"
                              : std::string());
    } catch (const ReadFailure& failure) {
        done(send, wire::Outcome::Failed, failure.what());
    } catch (const std::bad_alloc&) {
        done(send, wire::Outcome::Failed, "it needs more memory than a reader may use");
    } catch (const std::exception& failure) {
        done(send, wire::Outcome::Failed, failure.what());
    }
}

}  // namespace extract
