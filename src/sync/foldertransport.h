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
    QByteArray get(const std::string& path) override;
    void put(const std::string& path, const QByteArray& data) override;
    void remove(const std::string& path) override;

private:
    std::filesystem::path root;
};
