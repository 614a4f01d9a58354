// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/categorypath.h"
#include "cli/cliapp.h"
#include "import/bookmarkfilewriter.h"
#include "import/catalogueexport.h"
#include "import/importsummary.h"

namespace {

int exportBookmarks(Invocation& run)
{
    CDBManager& db = run.catalogue();
    const CategoryIndex index(db.GetRootCategory());
    CCategory& branch = index.resolve(run.value("category").value_or(std::string()));
    const ImportFolder tree = catalogueBranch(db, branch, Progress::none());
    const int leftOut = writeBookmarkFile(run.operands().front(), tree);
    run.out().message(exportedMessage(static_cast<std::size_t>(countFolders(tree)),
                                      static_cast<std::size_t>(countEntries(tree) - leftOut),
                                      static_cast<std::size_t>(leftOut)));
    return ExitSuccess;
}

}  // namespace

extern const Subcommand cmd_export = {
    "export",
    "[--category CATEGORY] FILE",
    "Write the catalogue, or one category's branch, as a bookmark file browsers import",
    {{"category", "CATEGORY", "the branch to write (default: the whole catalogue)"}},
    1,
    1,
    exportBookmarks};
