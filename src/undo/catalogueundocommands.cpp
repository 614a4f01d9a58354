// SPDX-License-Identifier: GPL-3.0-or-later
#include "undo/catalogueundocommands.h"

#include <utility>

namespace {

QString quoted(const std::string& name)
{
    return QStringLiteral("\"%1\"").arg(QString::fromStdString(name));
}

QString itemsText(const char* verb, std::size_t count, const std::string& firstName)
{
    return itemsCommandText(verb, count, firstName);
}

QString itemsText(const char* verb, const CLinkItems& items)
{
    return itemsText(verb, items.size(), items.empty() ? std::string() : items.front()->GetName());
}

QString editCategoryText(const CCategory& category, const std::string& name, int iconIndex)
{
    if (name == category.GetName())
        return QStringLiteral("Change Icon of %1").arg(quoted(name));
    if (iconIndex == category.GetIconIndex())
        return QStringLiteral("Rename Category %1").arg(quoted(category.GetName()));
    return QStringLiteral("Edit Category %1").arg(quoted(category.GetName()));
}

}  // namespace

QString itemsCommandText(const char* verb, std::size_t count, const std::string& firstName)
{
    if (count == 1)
        return QStringLiteral("%1 Item %2").arg(QLatin1String(verb), quoted(firstName));
    return QStringLiteral("%1 %2 Items").arg(QLatin1String(verb)).arg(count);
}

AddItemsCommand::AddItemsCommand(CatalogueCommands& c, CCategory& into, std::vector<ItemFields> added, Progress& p,
                                 CatalogueCommands::StoredItems onStored)
    : RecordedCommand(c.catalogue(),
                      itemsText("Add", added.size(), added.empty() ? std::string() : added.front().name)),
      commands(c), category(into), items(std::move(added)), progress(p), stored(std::move(onStored))
{
}

void AddItemsCommand::perform()
{
    commands.appendItems(category, items, progress, stored);
}

AddCategoryCommand::AddCategoryCommand(CatalogueCommands& c, CCategory& under, std::string newName, int icon)
    : RecordedCommand(c.catalogue(), QStringLiteral("Add Category %1").arg(quoted(newName))), commands(c),
      parent(under), name(std::move(newName)), iconIndex(icon)
{
}

void AddCategoryCommand::perform()
{
    category = &commands.addCategory(parent, name, iconIndex);
}

EditCategoryCommand::EditCategoryCommand(CatalogueCommands& c, CCategory& edited, std::string newName, int icon)
    : RecordedCommand(c.catalogue(), editCategoryText(edited, newName, icon)), commands(c), category(edited),
      name(std::move(newName)), iconIndex(icon)
{
}

void EditCategoryCommand::perform()
{
    commands.editCategory(category, name, iconIndex);
}

DeleteCategoryCommand::DeleteCategoryCommand(CatalogueCommands& c, CCategory& holder, CCategory& deleted, Progress& p,
                                             std::unique_ptr<CCategory>& out)
    : RecordedCommand(c.catalogue(), QStringLiteral("Delete Category %1").arg(quoted(deleted.GetName()))), commands(c),
      parent(holder), category(deleted), progress(p), detached(out)
{
}

void DeleteCategoryCommand::perform()
{
    detached = commands.deleteCategory(parent, category, progress);
}

RenameItemCommand::RenameItemCommand(CatalogueCommands& c, CLinkItem& renamedItem, std::string newName)
    : RecordedCommand(c.catalogue(), QStringLiteral("Rename %1").arg(quoted(renamedItem.GetName()))), commands(c),
      item(renamedItem), name(std::move(newName))
{
}

void RenameItemCommand::perform()
{
    commands.renameItem(item, name);
}

EditItemCommand::EditItemCommand(CatalogueCommands& c, CLinkItem& edited, ItemFields newFields)
    : RecordedCommand(c.catalogue(), QStringLiteral("Edit Item %1").arg(quoted(edited.GetName()))), commands(c),
      item(edited), fields(std::move(newFields))
{
}

void EditItemCommand::perform()
{
    commands.editItem(item, fields);
}

CopyItemsCommand::CopyItemsCommand(CatalogueCommands& c, CLinkItems copied, const CCategory& into, Progress& p)
    : RecordedCommand(c.catalogue(), itemsText("Copy", copied)), commands(c), items(std::move(copied)), target(into),
      progress(p)
{
}

void CopyItemsCommand::perform()
{
    commands.copyItems(items, target, progress);
}

MoveItemsCommand::MoveItemsCommand(CatalogueCommands& c, CCategory& source, CLinkItems moved, const CCategory& into,
                                   Progress& p, CatalogueCommands::Leaving onLeaving)
    : RecordedCommand(c.catalogue(), itemsText("Move", moved)), commands(c), from(source), items(std::move(moved)),
      target(into), progress(p), leaving(std::move(onLeaving))
{
}

void MoveItemsCommand::perform()
{
    commands.moveItems(from, items, target, progress, leaving);
}

DeleteItemsCommand::DeleteItemsCommand(CatalogueCommands& c, CCategory& source, CLinkItems deleted, Progress& p,
                                       CatalogueCommands::Leaving onLeaving)
    : RecordedCommand(c.catalogue(), itemsText("Delete", deleted)), commands(c), from(source),
      items(std::move(deleted)), progress(p), leaving(std::move(onLeaving))
{
}

void DeleteItemsCommand::perform()
{
    commands.deleteItems(from, items, progress, leaving);
}

MoveCategoryCommand::MoveCategoryCommand(CatalogueCommands& c, CCategory& moved, CCategory& under)
    : RecordedCommand(c.catalogue(), QStringLiteral("Move Category %1").arg(quoted(moved.GetName()))), commands(c),
      category(moved), newParent(under)
{
}

void MoveCategoryCommand::perform()
{
    commands.moveCategory(category, newParent);
}

CopyCategoryCommand::CopyCategoryCommand(CatalogueCommands& c, const CCategory& copied, CCategory& under, Progress& p)
    : RecordedCommand(c.catalogue(), QStringLiteral("Copy Category %1").arg(quoted(copied.GetName()))), commands(c),
      source(copied), newParent(under), progress(p)
{
}

void CopyCategoryCommand::perform()
{
    copy = commands.copyCategory(source, newParent, progress);
}

ImportCommand::ImportCommand(CDBManager& db, const QString& text, std::function<void()> importBody)
    : RecordedCommand(db, text), body(std::move(importBody))
{
}

void ImportCommand::perform()
{
    body();
}
