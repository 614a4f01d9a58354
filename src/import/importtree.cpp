// SPDX-License-Identifier: GPL-3.0-or-later
#include "import/importtree.h"

int countFolders(const ImportFolder& folder)
{
    int count = 0;
    for (const ImportFolder& child : folder.folders)
        count += 1 + countFolders(child);
    return count;
}

int countEntries(const ImportFolder& folder)
{
    int count = static_cast<int>(folder.entries.size());
    for (const ImportFolder& child : folder.folders)
        count += countEntries(child);
    return count;
}
