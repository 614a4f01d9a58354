// SPDX-License-Identifier: GPL-3.0-or-later
// mvcat and cpcat: a category with its whole branch moved or copied under another one, by the same
// catalogue commands the window's drag and drop runs.
#include "cli/categorypath.h"
#include "cli/cliapp.h"
#include "cli/records.h"
#include "commands/cataloguecommands.h"

namespace {

// The category named by the operand and the one --to names ("/" for the top level).
std::pair<CCategory*, CCategory*> placement(Invocation& run, const CategoryIndex& index)
{
    const std::optional<std::string> to = run.value("to");
    if (!to)
        throw UsageError("--to CATEGORY is required (\"/\" for the top level)");
    return {&index.resolveCategory(run.operands().front()), &index.resolve(*to)};
}

// The category with its path in the catalogue as it is now.
int printed(Invocation& run, const CCategory& category)
{
    const CategoryIndex index(run.catalogue().GetRootCategory());
    run.out().print(categoryRecord(index, category));
    return ExitSuccess;
}

int moveCategory(Invocation& run)
{
    CatalogueCommands commands(run.catalogue());
    const CategoryIndex index(run.catalogue().GetRootCategory());
    const auto [category, target] = placement(run, index);
    commands.moveCategory(*category, *target);
    return printed(run, *category);
}

int copyCategory(Invocation& run)
{
    CatalogueCommands commands(run.catalogue());
    const CategoryIndex index(run.catalogue().GetRootCategory());
    const auto [category, target] = placement(run, index);
    return printed(run, *commands.copyCategory(*category, *target, Progress::none()));
}

const std::vector<OptionSpec> toOption = {{"to", "CATEGORY", "where it goes: a category, or \"/\" for the top level"}};

}  // namespace

extern const Subcommand cmd_mvcat = {"mvcat",
                                     "CATEGORY --to CATEGORY",
                                     "Move a category with its subcategories and items under another category",
                                     toOption,
                                     1,
                                     1,
                                     moveCategory};

extern const Subcommand cmd_cpcat = {"cpcat",
                                     "CATEGORY --to CATEGORY",
                                     "Copy a category with its subcategories and items under another category",
                                     toOption,
                                     1,
                                     1,
                                     copyCategory};
