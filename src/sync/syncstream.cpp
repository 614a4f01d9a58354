// SPDX-License-Identifier: GPL-3.0-or-later
#include "syncstream.h"

#include "synctransport.h"

#include <sodium.h>
#include <zstd.h>
#include <zstd_errors.h>

#include <chrono>
#include <cstring>

namespace {

// Plain bytes per secret-stream message.
constexpr std::size_t MessageSize = 64 * 1024;
constexpr std::size_t MessageLimit = MessageSize + crypto_secretstream_xchacha20poly1305_ABYTES;
constexpr int CompressionLevel = 1;
// The largest window a file may ask the decompressor for (128 MiB), whatever its header says.
constexpr int WindowLogLimit = 27;
constexpr unsigned char zstdMagic[] = {0x28, 0xB5, 0x2F, 0xFD};

const unsigned char* adOf(const std::string& name)
{
    return reinterpret_cast<const unsigned char*>(name.data());
}

}  // namespace

// ---- writing --------------------------------------------------------------------------------------

struct SyncStreamWriter::State {
    ZSTD_CCtx* zstd = ZSTD_createCCtx();
    std::vector<char> compressed = std::vector<char>(ZSTD_CStreamOutSize());
    bool encrypt = false;
    // Set while the key is still being derived.
    std::shared_future<SyncKey> comingKey;
    std::string boundName;
    crypto_secretstream_xchacha20poly1305_state stream{};
    // Compressed bytes waiting for a whole message (or for the key).
    std::vector<char> pendingMessage;
    std::vector<unsigned char> cipher;
    bool finished = false;
    ~State() { ZSTD_freeCCtx(zstd); }
};

SyncStreamWriter::SyncStreamWriter(QIODevice& out, const SyncKey* key, const std::string& boundName)
    : out(out), state(std::make_unique<State>())
{
    if (!state->zstd)
        throw SyncError("Not enough memory to compress a sync file.");
    ZSTD_CCtx_setParameter(state->zstd, ZSTD_c_compressionLevel, CompressionLevel);
    ZSTD_CCtx_setParameter(state->zstd, ZSTD_c_checksumFlag, 1);
    if (!key)
        return;
    encryptAs(boundName);
    startEncrypting(*key);
}

SyncStreamWriter::SyncStreamWriter(QIODevice& out, std::shared_future<SyncKey> comingKey, const std::string& boundName)
    : SyncStreamWriter(out, nullptr, boundName)
{
    encryptAs(boundName);
    state->comingKey = std::move(comingKey);
}

void SyncStreamWriter::encryptAs(const std::string& boundName)
{
    if (sodium_init() < 0)
        throw SyncError("The encryption library (libsodium) cannot start on this machine.");
    state->encrypt = true;
    state->boundName = boundName;
}

void SyncStreamWriter::startEncrypting(const SyncKey& key)
{
    unsigned char header[crypto_secretstream_xchacha20poly1305_HEADERBYTES];
    crypto_secretstream_xchacha20poly1305_init_push(&state->stream, header, key.bytes.data());
    put(encryptedMagic, encryptedMagicSize);
    put(reinterpret_cast<const char*>(header), sizeof header);
}

SyncStreamWriter::~SyncStreamWriter() = default;

void SyncStreamWriter::put(const char* data, std::size_t size)
{
    if (size > 0 && out.write(data, static_cast<qint64>(size)) != static_cast<qint64>(size))
        throw SyncError("Cannot write a sync file: " + out.errorString().toStdString());
}

void SyncStreamWriter::write(const char* data, std::size_t size)
{
    compress(data, size, false);
}

void SyncStreamWriter::finish()
{
    if (state->finished)
        return;
    compress(nullptr, 0, true);
    sendOut(nullptr, 0, true);
    state->finished = true;
}

void SyncStreamWriter::compress(const char* data, std::size_t size, bool end)
{
    ZSTD_inBuffer input{data, size, 0};
    for (;;) {
        ZSTD_outBuffer output{state->compressed.data(), state->compressed.size(), 0};
        const std::size_t left = ZSTD_compressStream2(state->zstd, &output, &input, end ? ZSTD_e_end : ZSTD_e_continue);
        if (ZSTD_isError(left))
            throw SyncError(std::string("Cannot compress a sync file: ") + ZSTD_getErrorName(left));
        sendOut(state->compressed.data(), output.pos, false);
        if (end ? left == 0 : input.pos == input.size)
            return;
    }
}

void SyncStreamWriter::sendOut(const char* data, std::size_t size, bool last)
{
    if (!state->encrypt) {
        put(data, size);
        return;
    }
    std::vector<char>& pending = state->pendingMessage;
    pending.insert(pending.end(), data, data + size);
    if (state->comingKey.valid()) {
        if (!last && state->comingKey.wait_for(std::chrono::seconds(0)) != std::future_status::ready)
            return;
        startEncrypting(state->comingKey.get());
        state->comingKey = {};
    }
    // Whole messages from the front; a rest shorter than one waits, unless this is the end.
    std::size_t done = 0;
    while (pending.size() - done >= MessageSize || last) {
        const std::size_t take = std::min(pending.size() - done, MessageSize);
        const bool final = last && done + take == pending.size();
        std::vector<unsigned char>& cipher = state->cipher;
        cipher.resize(take + crypto_secretstream_xchacha20poly1305_ABYTES);
        unsigned long long written = 0;
        crypto_secretstream_xchacha20poly1305_push(&state->stream, cipher.data(), &written,
                                                   reinterpret_cast<const unsigned char*>(pending.data() + done), take,
                                                   adOf(state->boundName), state->boundName.size(),
                                                   final ? crypto_secretstream_xchacha20poly1305_TAG_FINAL : 0);
        const unsigned char length[4] = {static_cast<unsigned char>(written), static_cast<unsigned char>(written >> 8),
                                         static_cast<unsigned char>(written >> 16),
                                         static_cast<unsigned char>(written >> 24)};
        put(reinterpret_cast<const char*>(length), sizeof length);
        put(reinterpret_cast<const char*>(cipher.data()), written);
        done += take;
        if (final)
            break;
    }
    pending.erase(pending.begin(), pending.begin() + static_cast<std::ptrdiff_t>(done));
}

// ---- reading --------------------------------------------------------------------------------------

struct SyncStreamReader::State {
    ZSTD_DCtx* zstd = ZSTD_createDCtx();
    std::vector<char> compressed;
    std::size_t compressedAt = 0;
    // The frame was decoded whole: any byte after it is damage.
    bool frameEnded = false;
    bool inputEnded = false;
    std::size_t lastHint = 1;
    crypto_secretstream_xchacha20poly1305_state stream{};
    std::string boundName;
    bool finalSeen = false;
    // Bytes peeked to tell the kind, given back before anything else is read.
    std::string peeked;
    ~State() { ZSTD_freeDCtx(zstd); }
};

SyncStreamReader::SyncStreamReader(QIODevice& in, const SyncKey* key, const std::string& boundName, long long maxPlain)
    : in(in), state(std::make_unique<State>()), maxPlain(maxPlain)
{
    if (!state->zstd)
        throw SyncError("Not enough memory to read a sync file.");
    ZSTD_DCtx_setParameter(state->zstd, ZSTD_d_windowLogMax, WindowLogLimit);
    char first[encryptedMagicSize];
    const std::size_t got = readRaw(first, sizeof first);
    const std::string start(first, got);
    if (got == encryptedMagicSize && std::memcmp(first, encryptedMagic, encryptedMagicSize) == 0) {
        kind = Encrypted;
        if (!key)
            throw SyncFileError(SyncFileError::Encrypted, "is encrypted, and no sync passphrase is set here");
        if (sodium_init() < 0)
            throw SyncError("The encryption library (libsodium) cannot start on this machine.");
        unsigned char header[crypto_secretstream_xchacha20poly1305_HEADERBYTES];
        if (readRaw(reinterpret_cast<char*>(header), sizeof header) != sizeof header)
            throw SyncFileError(SyncFileError::CutShort, "is cut short");
        if (crypto_secretstream_xchacha20poly1305_init_pull(&state->stream, header, key->bytes.data()) != 0)
            throw SyncFileError(SyncFileError::WrongKey, "cannot be opened with this key");
        state->boundName = boundName;
    } else if (got >= sizeof zstdMagic && std::memcmp(first, zstdMagic, sizeof zstdMagic) == 0) {
        kind = Compressed;
        state->compressed.assign(first, first + got);
    } else if (got > 0 && first[0] == '{') {
        kind = Legacy;
        state->peeked = start;
    } else {
        throw SyncFileError(got == 0 ? SyncFileError::CutShort : SyncFileError::NotASyncFile,
                            got == 0 ? "is empty" : "is not a sync file");
    }
}

SyncStreamReader::~SyncStreamReader() = default;

std::size_t SyncStreamReader::readRaw(char* into, std::size_t size)
{
    std::size_t total = 0;
    while (total < size) {
        const qint64 got = in.read(into + total, static_cast<qint64>(size - total));
        if (got < 0)
            throw SyncError("Cannot read a sync file: " + in.errorString().toStdString());
        if (got == 0)
            break;
        total += static_cast<std::size_t>(got);
    }
    return total;
}

// The next compressed bytes into state->compressed; false at the end of the input.
bool SyncStreamReader::fillCompressed()
{
    std::vector<char>& buffer = state->compressed;
    buffer.erase(buffer.begin(), buffer.begin() + static_cast<std::ptrdiff_t>(state->compressedAt));
    state->compressedAt = 0;
    if (kind == Compressed) {
        const std::size_t had = buffer.size();
        buffer.resize(had + ZSTD_DStreamInSize());
        const std::size_t got = readRaw(buffer.data() + had, ZSTD_DStreamInSize());
        buffer.resize(had + got);
        return got > 0;
    }
    if (state->finalSeen) {
        char extra;
        if (readRaw(&extra, 1) != 0)
            throw SyncFileError(SyncFileError::Damaged, "holds bytes after its end");
        return false;
    }
    unsigned char length[4];
    const std::size_t got = readRaw(reinterpret_cast<char*>(length), sizeof length);
    if (got != sizeof length)
        throw SyncFileError(SyncFileError::CutShort, "is cut short");
    const std::size_t size = length[0] | length[1] << 8 | length[2] << 16 | static_cast<std::size_t>(length[3]) << 24;
    if (size < crypto_secretstream_xchacha20poly1305_ABYTES || size > MessageLimit)
        throw SyncFileError(SyncFileError::Damaged, "was changed by someone without the key");
    std::vector<unsigned char> cipher(size);
    if (readRaw(reinterpret_cast<char*>(cipher.data()), size) != size)
        throw SyncFileError(SyncFileError::CutShort, "is cut short");
    const std::size_t had = buffer.size();
    buffer.resize(had + size);
    unsigned long long plain = 0;
    unsigned char tag = 0;
    if (crypto_secretstream_xchacha20poly1305_pull(&state->stream,
                                                   reinterpret_cast<unsigned char*>(buffer.data() + had), &plain, &tag,
                                                   cipher.data(), size, adOf(state->boundName), state->boundName.size())
        != 0)
        throw SyncFileError(SyncFileError::WrongKey, "was changed by someone without the key");
    buffer.resize(had + plain);
    state->finalSeen = tag == crypto_secretstream_xchacha20poly1305_TAG_FINAL;
    return true;
}

std::size_t SyncStreamReader::read(char* into, std::size_t size)
{
    if (size == 0)
        return 0;
    std::size_t got = 0;
    if (kind == Legacy) {
        if (!state->peeked.empty()) {
            got = std::min(size, state->peeked.size());
            std::memcpy(into, state->peeked.data(), got);
            state->peeked.erase(0, got);
        } else {
            got = readRaw(into, size);
        }
    } else {
        while (got == 0) {
            if (state->compressedAt == state->compressed.size()) {
                if (!fillCompressed()) {
                    if (!state->frameEnded || (kind == Encrypted && !state->finalSeen))
                        throw SyncFileError(SyncFileError::CutShort, "is cut short");
                    return 0;
                }
                continue;
            }
            if (state->frameEnded)
                throw SyncFileError(SyncFileError::Damaged, "holds bytes after its end");
            ZSTD_inBuffer input{state->compressed.data(), state->compressed.size(), state->compressedAt};
            ZSTD_outBuffer output{into, size, 0};
            const std::size_t hint = ZSTD_decompressStream(state->zstd, &output, &input);
            if (ZSTD_isError(hint))
                throw SyncFileError(ZSTD_getErrorCode(hint) == ZSTD_error_frameParameter_windowTooLarge
                                        ? SyncFileError::TooLarge
                                        : SyncFileError::Damaged,
                                    std::string("is damaged (") + ZSTD_getErrorName(hint) + ")");
            state->compressedAt = input.pos;
            state->frameEnded = hint == 0;
            got = output.pos;
        }
    }
    produced += static_cast<long long>(got);
    if (produced > maxPlain)
        throw SyncFileError(SyncFileError::TooLarge,
                            "holds more than " + std::to_string(maxPlain >> 20) + " MiB once uncompressed");
    return got;
}
