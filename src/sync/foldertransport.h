// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "synctransport.h"

#include <filesystem>

// A folder that a file-sync tool (Syncthing, a Nextcloud or Dropbox client) keeps in step between
// machines, or a shared mount.
class FolderTransport : public SyncTransport {
public:
    explicit FolderTransport(std::filesystem::path root);

    std::optional<std::vector<RemoteEntry>> list(const std::string& folder) override;
    void makeFolder(const std::string& folder) override;
    void fetch(const std::string& path, QIODevice& into) override;
    void put(const std::string& path, QIODevice& from) override;
    bool create(const std::string& path, const QByteArray& data) override;
    void remove(const std::string& path) override;
    void removeFolder(const std::string& folder) override;
    std::unique_ptr<QIODevice> open(const std::string& path) override;
    using SyncTransport::put;

private:
    std::filesystem::path root;
};
