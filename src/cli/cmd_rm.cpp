// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/cliapp.h"
#include "cli/itemlookup.h"
#include "commands/cataloguecommands.h"

namespace {

int remove(Invocation& run)
{
    CDBManager& db = run.catalogueForWriting();
    const CategoryIndex index(db.GetRootCategory());
    const std::vector<FoundItem> found = findItems(db, index, run.operands());
    CatalogueCommands commands(db);
    for (const auto& [category, items] : byCategory(found))
        commands.deleteItems(*category, items, Progress::none(), [](const CLinkItem*) {});
    return ExitSuccess;
}

}  // namespace

extern const Subcommand cmd_rm = {"rm", "GUID...", "Delete items", {}, 1, -1, remove};
