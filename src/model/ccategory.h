// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "model/clinkitem.h"
#include "model/clinkobject.h"

#include <memory>
#include <vector>

class CCategory;

// Ordered lists of objects that are pointed at, never owned through the list.
using CCategoryList = std::vector<CCategory*>;
using CLinkItems = std::vector<CLinkItem*>;

// A node of the category tree. It owns its subcategories and its loaded items.
class CCategory : public CLinkObject {
public:
    CCategory() = default;
    CCategory(const CCategory&) = delete;
    CCategory& operator=(const CCategory&) = delete;
    ~CCategory();

    int GetChildCount() const;
    CCategory* GetChild(int index) const;  // nullptr out of range
    // Takes ownership and makes the child carry this category's GUID as its parent; level untouched.
    void AddChild(std::unique_ptr<CCategory> child);
    // Hands the child back to the caller; nullptr (and nothing changed) when it is not a child here.
    std::unique_ptr<CCategory> RemoveChild(CCategory* child);
    void ClearChildren();  // destroys the subtree with its items

    int GetItemCount() const;
    CLinkItem* GetItem(int index) const;            // nullptr out of range
    void AddItem(std::unique_ptr<CLinkItem> item);  // parentGuid is the caller's business
    void RemoveItem(CLinkItem* item);               // destroys it; unknown pointers are ignored
    void ClearItems();                              // destroys every item

    CCategoryList GetChildren() const;
    CLinkItems GetItems() const;

    int GetLevel() const { return level; }
    void SetLevel(int value) { level = value; }
    int GetIconIndex() const { return iconIndex; }
    void SetIconIndex(int value) { iconIndex = value; }
    bool IsSystem() const { return system == 1; }
    void SetSystem(bool value) { system = value ? 1 : 0; }

private:
    std::vector<std::unique_ptr<CCategory>> children;
    std::vector<std::unique_ptr<CLinkItem>> items;
    int level = 0;
    int system = 0;
    int iconIndex = 0;
};
