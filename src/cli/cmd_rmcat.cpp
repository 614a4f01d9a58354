// SPDX-License-Identifier: GPL-3.0-or-later
#include "backup/automaticbackups.h"
#include "cli/automaticbackup.h"
#include "cli/categorypath.h"
#include "cli/cliapp.h"
#include "commands/cataloguecommands.h"

namespace {

int removeCategory(Invocation& run)
{
    CDBManager& db = run.catalogueForWriting();
    const CategoryIndex index(db.GetRootCategory());
    CCategory& category = index.resolveCategory(run.operands().front());
    if (const auto risk = autobackup::categoryDeleteRisk(run.databasePath(), category.GetGuid(), category.GetName()))
        backUpBefore(run, *risk);
    CatalogueCommands(db).deleteCategory(index.parentOf(category), category, Progress::none());
    return ExitSuccess;
}

}  // namespace

extern const Subcommand cmd_rmcat = {
    "rmcat", "CATEGORY", "Delete a category with all its subcategories and items", {}, 1, 1, removeCategory};
