// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "commands/writebatch.h"
#include "import/favoritenode.h"
#include "storage/cdbmanager.h"

#include <string>

// The text every imported link carries as its description.
inline constexpr const char* importedLinkComment = "Export from IE Favorite";

// Stores one level of a Favorites tree below the category with GUID parentGuid at `level`:
// each folder becomes a category (its subtree first), then each link a web-address item.
// Database errors are raised; what was stored before stays. The rows go in through the batch,
// which commits them in groups; false when the user asked to stop.
bool ImportFavoriteLevel(const FavoriteNode* head, int level, const std::string& parentGuid, CDBManager& db,
                         WriteBatch& batch);
// The same with a batch of its own, which progress hears and may stop.
void ImportFavoriteLevel(const FavoriteNode* head, int level, const std::string& parentGuid, CDBManager& db,
                         Progress& progress = Progress::none());

// The folders and links of a whole tree: the rows its import writes.
std::size_t countFavoriteRows(const FavoriteNode* head);
