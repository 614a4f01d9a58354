// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "import/importtree.h"
#include "model/progress.h"
#include "storage/cdbmanager.h"

// The branch of the catalogue as a tree for a bookmark file: the category itself as its top folder
// with every category below it and every stored item, in the stored order. The root category gives
// its top-level categories as the top folders. Items are read from the database, leaving the ones
// held in memory alone.
ImportFolder catalogueBranch(CDBManager& db, CCategory& category, Progress& progress);
