// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/cliapp.h"
#include "cli/itemlookup.h"
#include "commands/cataloguecommands.h"

namespace {

int move(Invocation& run)
{
    if (!run.value("to"))
        throw UsageError("mv needs --to CATEGORY");
    CDBManager& db = run.catalogueForWriting();
    const CategoryIndex index(db.GetRootCategory());
    CCategory& target = index.resolveCategory(*run.value("to"));
    const std::vector<FoundItem> found = findItems(db, index, run.operands());
    CatalogueCommands commands(db);
    for (const auto& [category, items] : byCategory(found))
        if (category != &target)
            commands.moveItems(*category, items, target, Progress::none(), [](const CLinkItem*) {});
    return ExitSuccess;
}

}  // namespace

extern const Subcommand cmd_mv = {"mv",
                                  "GUID... --to CATEGORY",
                                  "Move items to another category",
                                  {{"to", "CATEGORY", "the category they go to"}},
                                  1,
                                  -1,
                                  move};
