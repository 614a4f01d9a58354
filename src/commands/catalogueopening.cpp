// SPDX-License-Identifier: GPL-3.0-or-later
#include "commands/catalogueopening.h"

#include "backup/backupfile.h"
#include "model/treeassembly.h"

#include <stdexcept>

void openCatalogue(CDBManager& db, const std::string& path, const std::function<void()>& opened)
{
    db.Close();
    // A restore killed during its final copy leaves a database-sized temporary beside the file.
    removeStaleRestoreTemporary(path);
    db.Open(path);
    if (opened)
        opened();
    // Another program's database is refused before anything of ours (tables, indexes) is written to it.
    if (const std::string missing = db.MissingDesignedColumn(); !missing.empty()) {
        db.Close();
        throw std::runtime_error("The file \"" + path + "\" is not a Varnelo catalogue: " + missing
                                 + ". The file was not changed.");
    }
    db.EnsureDefaultCategories();
    db.LoadCategories();
    // Views lay out expanded levels recursively, so a chain of tens of thousands of levels would
    // overflow the stack: such a file is refused before anything more is written to it.
    const int depth = treeDepth(db.GetRootCategory());
    if (depth > maxCategoryLevels) {
        db.Close();
        throw std::runtime_error("The catalogue \"" + path + "\" nests its categories " + std::to_string(depth)
                                 + " levels deep; Varnelo opens catalogues of up to "
                                 + std::to_string(maxCategoryLevels) + " levels. The file was not changed.");
    }
    db.CreateIndexes();
}
