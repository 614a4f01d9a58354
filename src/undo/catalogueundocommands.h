// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// One command of the history per kind of catalogue change, each named as the Edit menu shows it
// ("Undo Delete 3 Items", "Undo Move Category "News""). Each runs the catalogue command once; the
// history takes it back and forth from what was recorded then.

#include "commands/cataloguecommands.h"
#include "undo/recordedcommand.h"

#include <functional>
#include <memory>
#include <vector>

class AddItemsCommand : public RecordedCommand {
public:
    AddItemsCommand(CatalogueCommands& commands, CCategory& category, std::vector<ItemFields> items, Progress& progress,
                    CatalogueCommands::StoredItems stored);

private:
    void perform() override;
    CatalogueCommands& commands;
    CCategory& category;
    std::vector<ItemFields> items;
    Progress& progress;
    CatalogueCommands::StoredItems stored;
};

class AddCategoryCommand : public RecordedCommand {
public:
    AddCategoryCommand(CatalogueCommands& commands, CCategory& parent, std::string name, int iconIndex);
    CCategory* added() const { return category; }

private:
    void perform() override;
    CatalogueCommands& commands;
    CCategory& parent;
    std::string name;
    int iconIndex;
    CCategory* category = nullptr;
};

// A new name, a new icon, or both.
class EditCategoryCommand : public RecordedCommand {
public:
    EditCategoryCommand(CatalogueCommands& commands, CCategory& category, std::string name, int iconIndex);

private:
    void perform() override;
    CatalogueCommands& commands;
    CCategory& category;
    std::string name;
    int iconIndex;
};

class DeleteCategoryCommand : public RecordedCommand {
public:
    // The deleted category goes to detached, for the caller to drop what points into it before it goes.
    DeleteCategoryCommand(CatalogueCommands& commands, CCategory& parent, CCategory& category, Progress& progress,
                          std::unique_ptr<CCategory>& detached);

private:
    void perform() override;
    CatalogueCommands& commands;
    CCategory& parent;
    CCategory& category;
    Progress& progress;
    std::unique_ptr<CCategory>& detached;
};

class RenameItemCommand : public RecordedCommand {
public:
    RenameItemCommand(CatalogueCommands& commands, CLinkItem& item, std::string name);

private:
    void perform() override;
    CatalogueCommands& commands;
    CLinkItem& item;
    std::string name;
};

class EditItemCommand : public RecordedCommand {
public:
    EditItemCommand(CatalogueCommands& commands, CLinkItem& item, ItemFields fields);

private:
    void perform() override;
    CatalogueCommands& commands;
    CLinkItem& item;
    ItemFields fields;
};

class CopyItemsCommand : public RecordedCommand {
public:
    CopyItemsCommand(CatalogueCommands& commands, CLinkItems items, const CCategory& target, Progress& progress);

private:
    void perform() override;
    CatalogueCommands& commands;
    CLinkItems items;
    const CCategory& target;
    Progress& progress;
};

class MoveItemsCommand : public RecordedCommand {
public:
    MoveItemsCommand(CatalogueCommands& commands, CCategory& from, CLinkItems items, const CCategory& target,
                     Progress& progress, CatalogueCommands::Leaving leaving);

private:
    void perform() override;
    CatalogueCommands& commands;
    CCategory& from;
    CLinkItems items;
    const CCategory& target;
    Progress& progress;
    CatalogueCommands::Leaving leaving;
};

class DeleteItemsCommand : public RecordedCommand {
public:
    DeleteItemsCommand(CatalogueCommands& commands, CCategory& from, CLinkItems items, Progress& progress,
                       CatalogueCommands::Leaving leaving);

private:
    void perform() override;
    CatalogueCommands& commands;
    CCategory& from;
    CLinkItems items;
    Progress& progress;
    CatalogueCommands::Leaving leaving;
};

class MoveCategoryCommand : public RecordedCommand {
public:
    MoveCategoryCommand(CatalogueCommands& commands, CCategory& category, CCategory& newParent);

private:
    void perform() override;
    CatalogueCommands& commands;
    CCategory& category;
    CCategory& newParent;
};

class CopyCategoryCommand : public RecordedCommand {
public:
    CopyCategoryCommand(CatalogueCommands& commands, const CCategory& source, CCategory& newParent, Progress& progress);
    // The copy in the loaded tree; nullptr when it was cancelled.
    CCategory* copied() const { return copy; }

private:
    void perform() override;
    CatalogueCommands& commands;
    const CCategory& source;
    CCategory& newParent;
    Progress& progress;
    CCategory* copy = nullptr;
};

// An import of bookmarks, Favorites or a folder, or any other user command made of several changes
// (items relinked or deleted across categories): whatever the body stores is one command, and its
// undo takes back exactly that.
class ImportCommand : public RecordedCommand {
public:
    ImportCommand(CDBManager& db, const QString& text, std::function<void()> body);

private:
    void perform() override;
    std::function<void()> body;
};

// How the history names a command on items: "Delete Item "Manual"", "Delete 3 Items".
QString itemsCommandText(const char* verb, std::size_t count, const std::string& firstName);
