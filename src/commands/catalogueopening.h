// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "storage/cdbmanager.h"

#include <string>

// Deeper catalogues are refused at load; ten thousand levels open and expand.
inline constexpr int maxCategoryLevels = 10000;

// Opens the catalogue file as every front end does: a stale restore temporary beside it removed, the
// file made with the built-in categories when it has no category table, the whole tree loaded, and
// the lookup indexes added. A catalogue nested deeper than maxCategoryLevels is closed again, unchanged,
// and refused with std::runtime_error; SQLite's refusal raises CppSQLite3Exception.
void openCatalogue(CDBManager& db, const std::string& path);
