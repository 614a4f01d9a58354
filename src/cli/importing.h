// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "cli/cliapp.h"
#include "import/importtree.h"

// Stores what a reader found below the --category and says what was added, as the window says it.
// What was stored before a failure stays.
int storeTree(Invocation& run, const ImportTree& tree, const char* addedText);
