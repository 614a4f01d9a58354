// SPDX-License-Identifier: GPL-3.0-or-later
#include "model/ccategory.h"

#include <algorithm>
#include <iterator>

namespace {

template <class T>
T* elementAt(const std::vector<std::unique_ptr<T>>& list, int index)
{
    if (index < 0 || static_cast<std::size_t>(index) >= list.size())
        return nullptr;
    return list[static_cast<std::size_t>(index)].get();
}

template <class T>
auto findElement(std::vector<std::unique_ptr<T>>& list, const T* element)
{
    return std::find_if(list.begin(), list.end(),
                        [element](const std::unique_ptr<T>& owned) { return owned.get() == element; });
}

}  // namespace

CCategory::~CCategory()
{
    ClearChildren();
}

int CCategory::GetChildCount() const
{
    return static_cast<int>(children.size());
}

CCategory* CCategory::GetChild(int index) const
{
    return elementAt(children, index);
}

void CCategory::AddChild(std::unique_ptr<CCategory> child)
{
    if (!child)
        return;
    child->SetParentGuid(GetGuid());
    children.push_back(std::move(child));
}

std::unique_ptr<CCategory> CCategory::RemoveChild(CCategory* child)
{
    auto found = findElement(children, child);
    if (found == children.end())
        return nullptr;
    std::unique_ptr<CCategory> released = std::move(*found);
    children.erase(found);
    return released;
}

void CCategory::ClearChildren()
{
    // Each subtree is taken apart from a worklist: nested destructors would take one stack frame per
    // level, and a chain of categories can be many thousands of levels deep.
    std::vector<std::unique_ptr<CCategory>> doomed = std::move(children);
    children.clear();
    while (!doomed.empty()) {
        std::unique_ptr<CCategory> next = std::move(doomed.back());
        doomed.pop_back();
        std::move(next->children.begin(), next->children.end(), std::back_inserter(doomed));
        next->children.clear();
    }
    ClearItems();
}

int CCategory::GetItemCount() const
{
    return static_cast<int>(items.size());
}

CLinkItem* CCategory::GetItem(int index) const
{
    return elementAt(items, index);
}

void CCategory::AddItem(std::unique_ptr<CLinkItem> item)
{
    if (item)
        items.push_back(std::move(item));
}

void CCategory::RemoveItem(CLinkItem* item)
{
    auto found = findElement(items, item);
    if (found != items.end())
        items.erase(found);
}

void CCategory::ClearItems()
{
    items.clear();
}

CCategoryList CCategory::GetChildren() const
{
    CCategoryList list;
    list.reserve(children.size());
    for (const auto& child : children)
        list.push_back(child.get());
    return list;
}

CLinkItems CCategory::GetItems() const
{
    CLinkItems list;
    list.reserve(items.size());
    for (const auto& item : items)
        list.push_back(item.get());
    return list;
}
