#pragma once

#include "import/favoritenode.h"
#include "storage/cdbmanager.h"

#include <string>

// The text every imported link carries as its description.
inline constexpr const char* importedLinkComment = "Export from IE Favorite";

// Stores one level of a Favorites tree below the category with GUID parentGuid at `level`:
// each folder becomes a category (its subtree first), then each link a web-address item.
// Database errors are raised; what was stored before stays.
void ImportFavoriteLevel(const FavoriteNode* head, int level, const std::string& parentGuid,
                         CDBManager& db);
