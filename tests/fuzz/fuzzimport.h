// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// What every import reader's tree must be, whatever the file held: no deeper than the readers keep,
// every entry a web or file entry with a target.

#include "fuzzsupport.h"

#include "import/importtree.h"

inline void checkImportFolder(const ImportFolder& folder, int depth)
{
    FUZZ_CHECK(depth <= maxImportDepth);
    for (const ImportEntry& entry : folder.entries)
        FUZZ_CHECK((entry.type == 0 || entry.type == 1) && !entry.target.empty());
    for (const ImportFolder& child : folder.folders)
        checkImportFolder(child, depth + 1);
}

inline void checkImportTree(const ImportTree& tree)
{
    FUZZ_CHECK(tree.skipped >= 0);
    checkImportFolder(tree.root, 0);
}
