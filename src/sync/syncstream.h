// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "syncencryption.h"

#include <QIODevice>

#include <future>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

// The bytes of a sync file: text compressed as one zstd frame with its checksum and, when the place
// is encrypted, that frame cut into XChaCha20-Poly1305 secret-stream messages, each bound to the file's
// name so no file can stand in for another. Both directions stream: no file is ever held whole.

// Why the bytes of a file are refused; the caller names the device and the file.
class SyncFileError : public std::runtime_error {
public:
    enum Reason { CutShort, Damaged, Encrypted, WrongKey, TooLarge, NotASyncFile };
    SyncFileError(Reason reason, const std::string& text) : std::runtime_error(text), reason(reason) {}
    Reason reason;
};

class SyncStreamWriter {
public:
    // key: nullptr for a plain file. boundName: "<device>/<file name>".
    SyncStreamWriter(QIODevice& out, const SyncKey* key, const std::string& boundName);
    // An encrypted file whose key is still being derived: what is compressed meanwhile waits in memory,
    // and finish() waits for the key.
    SyncStreamWriter(QIODevice& out, std::shared_future<SyncKey> comingKey, const std::string& boundName);
    ~SyncStreamWriter();
    SyncStreamWriter(const SyncStreamWriter&) = delete;
    SyncStreamWriter& operator=(const SyncStreamWriter&) = delete;

    void write(const char* data, std::size_t size);
    void write(const std::string& text) { write(text.data(), text.size()); }
    // Ends the frame (and the stream); nothing may be written after it.
    void finish();

private:
    struct State;
    void compress(const char* data, std::size_t size, bool end);
    void sendOut(const char* data, std::size_t size, bool last);
    void put(const char* data, std::size_t size);
    void encryptAs(const std::string& boundName);
    void startEncrypting(const SyncKey& key);

    QIODevice& out;
    std::unique_ptr<State> state;
};

class SyncStreamReader {
public:
    // maxPlain: the most text the file may hold once uncompressed.
    SyncStreamReader(QIODevice& in, const SyncKey* key, const std::string& boundName, long long maxPlain);
    ~SyncStreamReader();
    SyncStreamReader(const SyncStreamReader&) = delete;
    SyncStreamReader& operator=(const SyncStreamReader&) = delete;

    // Up to size bytes of text; 0 only at the end, once the file is proven whole.
    std::size_t read(char* into, std::size_t size);
    // The first format: plain JSON lines, neither compressed nor encrypted.
    bool legacy() const { return kind == Legacy; }
    bool encrypted() const { return kind == Encrypted; }

private:
    struct State;
    enum Kind { Legacy, Compressed, Encrypted };
    bool fillCompressed();
    std::size_t readRaw(char* into, std::size_t size);

    QIODevice& in;
    Kind kind = Compressed;
    std::unique_ptr<State> state;
    long long maxPlain;
    long long produced = 0;
};
