// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "import/favoritenode.h"

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

// The current user's Favorites folder: ~/Favorites.
std::string defaultFavoritesFolder();

// Reads a Favorites folder into a tree of folders and links. Links are ".url" files with a URL
// in their [InternetShortcut] section, named after the file, and ".desktop" files of type Link,
// named as a desktop shows them (Name[xx] for the user's language, then Name, then the file);
// hidden entries and everything else are skipped. Each level is sorted by file name.
class CFavoriteEngine {
public:
    explicit CFavoriteEngine(std::string folder = defaultFavoritesFolder());
    CFavoriteEngine(const CFavoriteEngine&) = delete;
    CFavoriteEngine& operator=(const CFavoriteEngine&) = delete;
    virtual ~CFavoriteEngine();

    // The root head of a freshly read tree, owned by the engine; nullptr when the folder is missing.
    const FavoriteNode* ReadFavorites();

    // A file name as catalogue text: valid UTF-8 stays, stray bytes are read as Windows-1252.
    virtual std::string ConvertDisplayName(const std::string& raw) const;

private:
    // Appends the folder's contents to the level `head`; false when the folder cannot be listed.
    // A subfolder that can be entered but not listed becomes an empty folder node.
    // `chain` holds the canonical paths from the root down, so a link back up is not followed.
    bool ReadFolder(const std::filesystem::path& folder, FavoriteNode& head, std::vector<std::filesystem::path>& chain);
    void FreeTree();

    std::string folder;
    std::unique_ptr<FavoriteNode> root;
};
