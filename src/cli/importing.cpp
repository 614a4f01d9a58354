// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/importing.h"

#include "cli/categorypath.h"
#include "commands/writebatch.h"
#include "import/importsummary.h"
#include "import/treeimport.h"

int storeTree(Invocation& run, const ImportTree& tree, const char* addedText)
{
    CDBManager& db = run.catalogue();
    const CategoryIndex index(db.GetRootCategory());
    const CCategory& target = index.resolveCategory(*run.value("category"));
    WriteBatch batch(db, Progress::none(), importRowCount(tree.root));
    std::vector<int> types;
    storeImportTree(tree.root, target, db, batch, &types);
    batch.finish();
    run.out().message(addedMessage(addedText, batch.storedCategories(), types, tree.skipped));
    return ExitSuccess;
}
