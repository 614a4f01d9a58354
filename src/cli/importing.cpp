// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/importing.h"

#include "cli/categorypath.h"
#include "import/importsummary.h"
#include "import/treeimport.h"

int storeTree(Invocation& run, const ImportTree& tree, const char* addedText)
{
    CDBManager& db = run.catalogueForWriting();
    const CategoryIndex index(db.GetRootCategory());
    const CCategory& target = index.resolveCategory(*run.value("category"));
    const StoredImport stored = storeImportedTree(tree, target, db, Progress::none());
    run.out().message(addedMessage(addedText, stored.categories, stored.itemTypes, tree.skipped));
    return ExitSuccess;
}
