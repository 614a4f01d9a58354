// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/cliapp.h"
#include "cli/categorypath.h"
#include "commands/cataloguecommands.h"

namespace {

int removeCategory(Invocation& run)
{
    CDBManager& db = run.catalogue();
    const CategoryIndex index(db.GetRootCategory());
    CCategory& category = index.resolveCategory(run.operands().front());
    CatalogueCommands(db).deleteCategory(index.parentOf(category), category, Progress::none());
    return ExitSuccess;
}

} // namespace

extern const Subcommand cmd_rmcat = {
    "rmcat", "CATEGORY", "Delete a category with all its subcategories and items", {}, 1, 1, removeCategory};
