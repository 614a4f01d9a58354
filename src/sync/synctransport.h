// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArray>

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

struct RemoteEntry {
    std::string name;
    bool folder = false;
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
    virtual QByteArray get(const std::string& path) = 0;
    // The file appears whole or not at all: it is written under a temporary name and moved into place.
    virtual void put(const std::string& path, const QByteArray& data) = 0;
    // One that is gone already is fine.
    virtual void remove(const std::string& path) = 0;

    // Bytes of the files written and read; listings and folder requests aside.
    long long bytesSent() const { return sent; }
    long long bytesReceived() const { return received; }

protected:
    long long sent = 0;
    long long received = 0;
};

// The place as the user gives it: an http:// or https:// address, or a folder.
struct SyncPlace {
    std::string place;
    std::string user;
    std::string password;
    // Seconds a request may wait for the server before it counts as failed.
    int timeoutSeconds = 30;
};

bool isWebDavPlace(const std::string& place);
std::unique_ptr<SyncTransport> openTransport(const SyncPlace& place);
