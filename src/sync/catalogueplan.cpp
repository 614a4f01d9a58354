// SPDX-License-Identifier: GPL-3.0-or-later
#include "catalogueplan.h"

#include "storage/builtincategories.h"

#include <algorithm>
#include <unordered_map>

namespace {

constexpr char Separator = '\x1f';

std::string joined(std::initializer_list<std::string> parts)
{
    std::string text;
    for (const std::string& part : parts) {
        text += part;
        text += Separator;
    }
    return text;
}

int number(const std::map<std::string, std::string>& fields, const char* name)
{
    auto at = fields.find(name);
    try {
        return at == fields.end() ? 0 : std::stoi(at->second);
    } catch (const std::exception&) {
        return 0;
    }
}

std::string text(const std::map<std::string, std::string>& fields, const char* name)
{
    auto at = fields.find(name);
    return at == fields.end() ? std::string() : at->second;
}

// The part of path below folder, or nothing when path is not below it.
std::optional<std::string> below(const std::string& path, std::string folder)
{
    while (folder.size() > 1 && folder.back() == '/')
        folder.pop_back();
    if (folder.empty() || path.size() <= folder.size() + 1 || path.compare(0, folder.size(), folder) != 0
        || path[folder.size()] != '/')
        return std::nullopt;
    return path.substr(folder.size() + 1);
}

bool isPristineBuiltIn(const StoredCategory& row)
{
    return std::any_of(builtInCategories.begin(), builtInCategories.end(), [&](const BuiltInCategory& b) {
        return row.guid == b.guid && row.name == b.name && row.parent == b.parentGuid && row.system == 1
               && row.iconIndex == 0;
    });
}

std::string indexRef(int index)
{
    std::string ref(1, '#');
    ref += std::to_string(index);
    return ref;
}

}  // namespace

std::string rowText(const StoredCategory& row)
{
    return joined(
        {row.name, std::to_string(row.level), row.parent, std::to_string(row.system), std::to_string(row.iconIndex)});
}

std::string rowText(const StoredItem& row)
{
    return joined(
        {row.name, row.target, row.category, std::to_string(row.star), row.comment, std::to_string(row.type)});
}

std::string iconRef(int index, const std::string& hash, int builtInCount)
{
    return index < builtInCount || hash.empty() ? indexRef(index) : hash;
}

LocalObject localObject(const StoredCategory& row, const std::vector<std::string>& iconRefs)
{
    LocalObject object;
    object.content.kind = SyncRecord::Category;
    object.content.guid = row.guid;
    object.content.parent = row.parent;
    const bool known = row.iconIndex >= 0 && row.iconIndex < static_cast<int>(iconRefs.size());
    object.content.fields = {{"name", row.name},
                             {"system", std::to_string(row.system)},
                             {"icon", known ? iconRefs[row.iconIndex] : indexRef(row.iconIndex)}};
    object.row = rowText(row);
    object.pristine = isPristineBuiltIn(row);
    return object;
}

void itemContentInto(StoredItem& row, const std::vector<DocumentFolder>& folders, SyncRecord& content)
{
    content.kind = SyncRecord::Item;
    const DocumentFolder* mappedTo = nullptr;
    std::optional<std::string> relative;
    for (std::size_t i = 0; row.type == 0 && !mappedTo && i < folders.size(); ++i)
        if ((relative = below(row.target, folders[i].path)))
            mappedTo = &folders[i];
    // An item's fields in the map's order: a record that holds just these is written over in place.
    static const std::vector<std::string> plain = {"comment", "name", "star", "target", "type"},
                                          mapped = {"comment", "folder", "name", "relative", "star", "target", "type"};
    const std::vector<std::string>& names = mappedTo ? mapped : plain;
    auto& fields = content.fields;
    if (!std::equal(fields.begin(), fields.end(), names.begin(), names.end(),
                    [](const auto& field, const std::string& name) { return field.first == name; })) {
        fields.clear();
        for (const std::string& name : names)
            fields.emplace_hint(fields.end(), name, std::string());
    }
    auto field = fields.begin();
    std::swap((field++)->second, row.comment);
    if (mappedTo)
        (field++)->second = mappedTo->name;
    std::swap((field++)->second, row.name);
    if (mappedTo)
        (field++)->second = std::move(*relative);
    (field++)->second = std::to_string(row.star);
    std::swap((field++)->second, row.target);
    field->second = std::to_string(row.type);
    std::swap(content.guid, row.guid);
    std::swap(content.parent, row.category);
}

SyncRecord itemContent(StoredItem row, const std::vector<DocumentFolder>& folders)
{
    SyncRecord content;
    itemContentInto(row, folders, content);
    return content;
}

LocalObject localObject(const StoredItem& row, const std::vector<DocumentFolder>& folders)
{
    LocalObject object;
    object.content = itemContent(row, folders);
    object.row = rowText(row);
    return object;
}

LocalObject iconObject(const std::string& hash, const std::string& pngBase64, int slot)
{
    LocalObject object;
    object.content.kind = SyncRecord::Icon;
    object.content.guid = hash;
    object.content.fields = {{"png", pngBase64}, {"slot", std::to_string(slot)}};
    object.row = hash;
    return object;
}

IconPlan planIcons(const std::vector<std::string>& localHashes, const std::set<std::string>& neededRefs,
                   const RecordSet& state, int builtInCount)
{
    IconPlan plan;
    std::unordered_map<std::string, int> local;
    for (std::size_t i = 0; i < localHashes.size(); ++i)
        local.emplace(localHashes[i], static_cast<int>(i));
    int size = static_cast<int>(localHashes.size());

    for (const std::string& ref : neededRefs) {
        if (ref.starts_with('#')) {
            plan.indexOfRef[ref] = std::max(0, std::atoi(ref.c_str() + 1));
            continue;
        }
        if (auto at = local.find(ref); at != local.end()) {
            plan.indexOfRef[ref] = at->second;
            continue;
        }
        if (!state.count({SyncRecord::Icon, ref})) {
            plan.indexOfRef[ref] = 0;
            continue;
        }
        // A list is only ever appended to, so the built-in pictures must come first: another
        // device's copies of them are the same pictures.
        if (size == 0) {
            std::vector<std::string> builtIns(builtInCount);
            for (const auto& [key, record] : state) {
                const int slot = number(record.fields, "slot");
                if (key.first == SyncRecord::Icon && slot >= 0 && slot < builtInCount && builtIns[slot].empty())
                    builtIns[slot] = key.second;
            }
            if (std::find(builtIns.begin(), builtIns.end(), std::string()) != builtIns.end()) {
                plan.indexOfRef[ref] = 0;
                continue;
            }
            plan.seed = builtIns;
            for (int i = 0; i < builtInCount; ++i)
                local.emplace(builtIns[i], i);
            size = builtInCount;
            if (auto at = local.find(ref); at != local.end()) {
                plan.indexOfRef[ref] = at->second;
                continue;
            }
        }
        plan.append.push_back(ref);
        local.emplace(ref, size);
        plan.indexOfRef[ref] = size++;
    }
    return plan;
}

StoredCategory categoryRowOf(const ResolvedCatalogue::Category& category, const std::map<std::string, int>& indexOfRef)
{
    const auto& fields = category.record->fields;
    auto icon = indexOfRef.find(text(fields, "icon"));
    return {category.record->guid, text(fields, "name"),     category.level,
            category.parent,       number(fields, "system"), icon == indexOfRef.end() ? 0 : icon->second};
}

StoredItem itemRowOf(const ResolvedCatalogue::Item& item, const std::vector<DocumentFolder>& folders)
{
    const auto& fields = item.record->fields;
    std::string target = text(fields, "target");
    const std::string folderName = text(fields, "folder");
    if (!folderName.empty()) {
        for (const DocumentFolder& folder : folders) {
            if (folder.name == folderName) {
                std::string path = folder.path;
                while (path.size() > 1 && path.back() == '/')
                    path.pop_back();
                target = path + "/" + text(fields, "relative");
                break;
            }
        }
    }
    return {item.record->guid,       text(fields, "name"),  target, item.category, number(fields, "star"),
            text(fields, "comment"), number(fields, "type")};
}

namespace {

template <typename Row>
void plan(const std::vector<Row>& current, const std::vector<Row>& wanted, std::vector<Row>& write,
          std::vector<std::string>& remove)
{
    std::unordered_map<std::string, const Row*> stored;
    for (const Row& row : current)
        stored.emplace(row.guid, &row);
    std::unordered_map<std::string, bool> kept;
    for (const Row& row : wanted) {
        kept[row.guid] = true;
        auto at = stored.find(row.guid);
        if (at == stored.end() || !(*at->second == row))
            write.push_back(row);
    }
    for (const Row& row : current)
        if (!kept.count(row.guid)) {
            kept[row.guid] = true;
            remove.push_back(row.guid);
        }
}

}  // namespace

CataloguePlan planCatalogue(const std::vector<StoredCategory>& currentCategories,
                            const std::vector<StoredItem>& currentItems,
                            const std::vector<StoredCategory>& wantedCategories,
                            const std::vector<StoredItem>& wantedItems)
{
    CataloguePlan result;
    plan(currentCategories, wantedCategories, result.categoriesToWrite, result.categoriesToDelete);
    plan(currentItems, wantedItems, result.itemsToWrite, result.itemsToDelete);
    return result;
}
