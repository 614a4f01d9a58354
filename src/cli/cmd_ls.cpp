// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/categorypath.h"
#include "cli/cliapp.h"
#include "cli/records.h"

namespace {

int list(Invocation& run)
{
    CDBManager& db = run.catalogue();
    const CategoryIndex index(db.GetRootCategory());
    if (run.operands().empty()) {
        for (const CCategory* category : index.all())
            run.out().print(categoryRecord(index, *category));
        return ExitSuccess;
    }
    CCategory& category = index.resolve(run.operands().front());
    for (const CCategory* child : category.GetChildren())
        run.out().print(categoryRecord(index, *child));
    if (&category == &index.root())
        return ExitSuccess;
    for (const CLinkItem& item : db.ReadItems(category))
        run.out().print(itemRecord(index, item));
    return ExitSuccess;
}

}  // namespace

extern const Subcommand cmd_ls = {
    "ls", "[CATEGORY]", "List the category tree, or one category's subcategories and items", {}, 0, 1, list};
