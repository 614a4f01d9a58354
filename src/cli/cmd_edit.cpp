// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/cliapp.h"
#include "cli/itemlookup.h"
#include "cli/records.h"
#include "commands/cataloguecommands.h"

namespace {

int edit(Invocation& run)
{
    if (!run.has("title") && !run.has("target") && !run.has("description"))
        throw UsageError("edit needs --title, --target or --description");
    if (run.value("target"))
        refuseScriptAddress(*run.value("target"));
    CDBManager& db = run.catalogueForWriting();
    const CategoryIndex index(db.GetRootCategory());
    CLinkItem& item = *findItems(db, index, run.operands()).front().item;
    CatalogueCommands(db).editItem(item, {run.value("title").value_or(item.GetName()),
                                          run.value("target").value_or(item.GetTarget()),
                                          run.value("description").value_or(item.GetComment()), item.GetType()});
    run.out().print(itemRecord(index, item));
    return ExitSuccess;
}

}  // namespace

extern const Subcommand cmd_edit = {
    "edit",
    "GUID [--title T] [--target X] [--description D]",
    "Change an item's title, target or description; print the item",
    {{"title", "T", "the new title"}, {"target", "X", "the new target"}, {"description", "D", "the new description"}},
    1,
    1,
    edit};
