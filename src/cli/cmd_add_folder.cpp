// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/automaticbackup.h"
#include "cli/importing.h"
#include "import/foldertree.h"

#include <filesystem>

namespace {

int addFolder(Invocation& run)
{
    if (!run.value("category"))
        throw UsageError("add-folder needs --category CATEGORY");
    const ImportTree tree = readFolderTree(run.operands().front());
    backUpBefore(run, "adding folder " + std::filesystem::path(run.operands().front()).filename().string());
    return storeTree(run, tree, "Added");
}

}  // namespace

extern const Subcommand cmd_add_folder = {
    "add-folder",
    "--category CATEGORY DIR",
    "Add a folder of documents: its subfolders become categories, its files items",
    {{"category", "CATEGORY", "the category the folder goes below"}},
    1,
    1,
    addFolder};
