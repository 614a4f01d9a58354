// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/cliapp.h"
#include "cli/records.h"
#include "commands/cataloguecommands.h"

#include <charconv>

namespace {

int iconIndex(const std::optional<std::string>& text)
{
    int value = 0;
    if (!text)
        return value;
    const auto [end, error] = std::from_chars(text->data(), text->data() + text->size(), value);
    if (error != std::errc() || end != text->data() + text->size() || value < 0)
        throw UsageError("--icon needs a number from 0 up, not \"" + *text + "\"");
    return value;
}

int makeCategory(Invocation& run)
{
    const int icon = iconIndex(run.value("icon"));
    CDBManager& db = run.catalogueForWriting();
    const CategoryIndex index(db.GetRootCategory());
    const auto [parent, name] = index.resolveParent(run.operands().front());
    if (name.empty())
        throw Failure("A category needs a name");
    for (const CCategory* sibling : parent->GetChildren())
        if (sibling->GetName() == name)
            throw Failure("\"" + run.operands().front() + "\" exists already (" + sibling->GetGuid() + ")");
    const CCategory& made = CatalogueCommands(db).addCategory(*parent, name, icon);
    run.out().print(categoryRecord(CategoryIndex(db.GetRootCategory()), made));
    return ExitSuccess;
}

}  // namespace

extern const Subcommand cmd_mkcat = {"mkcat",
                                     "[--icon N] CATEGORY",
                                     "Make the path's last category below the existing rest; print it",
                                     {{"icon", "N", "the icon's number in the icon list (default 0)"}},
                                     1,
                                     1,
                                     makeCategory};
