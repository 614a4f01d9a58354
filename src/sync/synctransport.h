// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArray>
#include <QIODevice>

#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

// A failure to reach or use the place, with the message the user reads.
class SyncError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// The server refused the user name or password: the one failure a window answers by asking for the
// password again.
class SyncCredentialsError : public SyncError {
public:
    SyncCredentialsError() : SyncError("the server refused the user name or password") {}
};

struct RemoteEntry {
    std::string name;
    bool folder = false;
    // -1 when the place does not say.
    long long size = -1;
    // Milliseconds since the epoch by the place's clock; 0 when it does not say.
    long long modified = 0;
};

// How much a place may send in one answer before it is refused.
struct TransportLimits {
    long long fileBytes = 1LL << 30;
    long long listingBytes = 16LL << 20;
    int listingEntries = 100'000;
};

// Where the devices meet: a folder kept in step by a file-sync tool, or a WebDAV server. Paths are
// relative to the place, with '/' between parts. Every failure raises SyncError.
class SyncTransport {
public:
    virtual ~SyncTransport() = default;

    // The entries of a folder; nullopt when the folder does not exist.
    virtual std::optional<std::vector<RemoteEntry>> list(const std::string& folder) = 0;
    // Creates the folder (its parent exists); one that exists already is fine.
    virtual void makeFolder(const std::string& folder) = 0;
    // Streams the file into `into`; more than limits().fileBytes is refused.
    virtual void fetch(const std::string& path, QIODevice& into) = 0;
    // The file appears whole or not at all: it is written under a temporary name and moved into place.
    // `from` is read from its start to its end.
    virtual void put(const std::string& path, QIODevice& from) = 0;
    // A put in two steps, so that the caller can go on while the file is sent: place() moves it into
    // place (and raises what the put would have raised); a file never placed does not appear.
    class Sending {
    public:
        virtual ~Sending() = default;
        virtual void place() = 0;
    };
    // `from` is the sending's until place() returned or the sending is gone. By default the whole put
    // is made at place().
    virtual std::unique_ptr<Sending> startPut(const std::string& path, QIODevice& from);
    // Writes the file only where none is yet (whole or not at all); false when one was there.
    virtual bool create(const std::string& path, const QByteArray& data) = 0;
    // One that is gone already is fine.
    virtual void remove(const std::string& path) = 0;
    virtual void removeFolder(const std::string& folder) = 0;
    // How far the place's clock is ahead of this machine's (microseconds), by its last answer; nullopt
    // for a place without a clock of its own (a folder).
    virtual std::optional<long long> clockOffset() const { return std::nullopt; }

    // The file to read from its start: fetched whole into a temporary file before anything reads it,
    // or, in a folder, the file itself.
    virtual std::unique_ptr<QIODevice> open(const std::string& path);
    // A small file whole.
    QByteArray fetchSmall(const std::string& path);
    void put(const std::string& path, const QByteArray& data);

    const TransportLimits& limits() const { return bounds; }
    void setLimits(const TransportLimits& limits) { bounds = limits; }
    // Bytes of the files written and read; listings and folder requests aside.
    long long bytesSent() const { return sent; }
    long long bytesReceived() const { return received; }

protected:
    long long sent = 0;
    long long received = 0;
    TransportLimits bounds;
};

// The place as the user gives it: an http:// or https:// address, or a folder.
struct SyncPlace {
    std::string place;
    std::string user;
    std::string password;
    // Seconds a request may go without progress before it counts as failed.
    int timeoutSeconds = 30;
};

bool isWebDavPlace(const std::string& place);
std::unique_ptr<SyncTransport> openTransport(const SyncPlace& place);
