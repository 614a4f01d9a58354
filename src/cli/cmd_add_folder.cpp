// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/importing.h"
#include "import/foldertree.h"

namespace {

int addFolder(Invocation& run)
{
    if (!run.value("category"))
        throw UsageError("add-folder needs --category CATEGORY");
    return storeTree(run, readFolderTree(run.operands().front()), "Added");
}

} // namespace

extern const Subcommand cmd_add_folder = {
    "add-folder", "--category CATEGORY DIR",
    "Add a folder of documents: its subfolders become categories, its files items",
    {{"category", "CATEGORY", "the category the folder goes below"}}, 1, 1, addFolder};
