// SPDX-License-Identifier: GPL-3.0-or-later
#include "model/ccategory.h"
#include "model/clinkitem.h"
#include "model/newguid.h"

#include <gtest/gtest.h>

#include <memory>
#include <regex>
#include <set>

namespace {

std::unique_ptr<CCategory> makeCategory(const std::string& guid, int level = 0)
{
    auto category = std::make_unique<CCategory>();
    category->SetGuid(guid);
    category->SetLevel(level);
    return category;
}

}  // namespace

TEST(NewGuid, IsLowercaseVersion4InGroupsOf8_4_4_4_12AndNeverRepeats)
{
    const std::regex form("^[0-9a-f]{8}-[0-9a-f]{4}-4[0-9a-f]{3}-[89ab][0-9a-f]{3}-[0-9a-f]{12}$");
    std::set<std::string> seen;
    for (int i = 0; i < 2000; ++i) {
        std::string guid = NewGuid();
        ASSERT_EQ(guid.size(), 36u);
        ASSERT_TRUE(std::regex_match(guid, form)) << guid;
        ASSERT_TRUE(seen.insert(guid).second) << "repeated " << guid;
    }
}

TEST(CLinkItem, DefaultsAreEmptyTextsAndZeroNumbers)
{
    CLinkItem item;
    EXPECT_EQ(item.GetGuid(), "");
    EXPECT_EQ(item.GetName(), "");
    EXPECT_EQ(item.GetTarget(), "");
    EXPECT_EQ(item.GetComment(), "");
    EXPECT_EQ(item.GetStar(), 0);
    EXPECT_EQ(item.GetType(), 0);
}

TEST(CLinkItem, CopyKeepsEveryFieldButDrawsAFreshGuid)
{
    CLinkItem web;
    web.SetGuid("original");
    web.SetName("Site");
    web.SetParentGuid("cat");
    web.SetTarget("http://example.org/");
    web.SetComment("note");
    web.SetStar(7);
    web.SetType(1);

    auto first = CLinkItem::Copy(web);
    auto second = CLinkItem::Copy(web);
    EXPECT_NE(first->GetGuid(), "original");
    EXPECT_NE(first->GetGuid(), second->GetGuid());
    EXPECT_EQ(first->GetGuid().size(), 36u);
    EXPECT_EQ(first->GetName(), "Site");
    EXPECT_EQ(first->GetParentGuid(), "cat");
    EXPECT_EQ(first->GetTarget(), "http://example.org/");
    EXPECT_EQ(first->GetComment(), "note");
    EXPECT_EQ(first->GetStar(), 7);
    EXPECT_EQ(first->GetType(), 1);
    EXPECT_EQ(web.GetGuid(), "original");
}

TEST(CCategory, SystemFlagIsFalseUntilSet)
{
    CCategory category;
    EXPECT_FALSE(category.IsSystem());
    category.SetSystem(true);
    EXPECT_TRUE(category.IsSystem());
    category.SetSystem(false);
    EXPECT_FALSE(category.IsSystem());
}

TEST(CCategory, GetChildAndGetItemAreNullOutsideTheRange)
{
    CCategory category;
    category.AddChild(makeCategory("a"));
    category.AddItem(std::make_unique<CLinkItem>());
    EXPECT_EQ(category.GetChild(-1), nullptr);
    EXPECT_EQ(category.GetChild(1), nullptr);
    EXPECT_NE(category.GetChild(0), nullptr);
    EXPECT_EQ(category.GetItem(-1), nullptr);
    EXPECT_EQ(category.GetItem(1), nullptr);
    EXPECT_NE(category.GetItem(0), nullptr);
}

TEST(CCategory, AddChildOverwritesParentGuidAlsoWithTheRootsEmptyOne)
{
    CCategory parent;
    parent.SetGuid("parent");
    auto child = makeCategory("child", 3);
    child->SetParentGuid("somewhere else");
    CCategory* raw = child.get();
    parent.AddChild(std::move(child));
    EXPECT_EQ(raw->GetParentGuid(), "parent");
    EXPECT_EQ(raw->GetLevel(), 3);

    CCategory root;
    auto top = makeCategory("top");
    top->SetParentGuid("stale");
    CCategory* topRaw = top.get();
    root.AddChild(std::move(top));
    EXPECT_EQ(topRaw->GetParentGuid(), "");
}

TEST(CCategory, RemoveChildHandsBackOwnershipAndKeepsTheOthersInOrder)
{
    CCategory parent;
    parent.SetGuid("p");
    for (const char* guid : {"a", "b", "c"})
        parent.AddChild(makeCategory(guid));
    CCategory stranger;

    EXPECT_EQ(parent.RemoveChild(&stranger), nullptr);
    EXPECT_EQ(parent.GetChildCount(), 3);

    CCategory* middle = parent.GetChild(1);
    std::unique_ptr<CCategory> removed = parent.RemoveChild(middle);
    ASSERT_EQ(removed.get(), middle);
    EXPECT_EQ(removed->GetParentGuid(), "p");
    ASSERT_EQ(parent.GetChildCount(), 2);
    EXPECT_EQ(parent.GetChild(0)->GetGuid(), "a");
    EXPECT_EQ(parent.GetChild(1)->GetGuid(), "c");
}

TEST(CCategory, RemoveItemDestroysOnlyItsOwnItemsKeepingOrder)
{
    CCategory category;
    for (const char* guid : {"1", "2", "3"}) {
        auto item = std::make_unique<CLinkItem>();
        item->SetGuid(guid);
        category.AddItem(std::move(item));
    }
    CLinkItem outsider;
    category.RemoveItem(&outsider);
    EXPECT_EQ(category.GetItemCount(), 3);

    category.RemoveItem(category.GetItem(0));
    ASSERT_EQ(category.GetItemCount(), 2);
    EXPECT_EQ(category.GetItem(0)->GetGuid(), "2");
    EXPECT_EQ(category.GetItem(1)->GetGuid(), "3");
}

TEST(CCategory, AddItemLeavesTheItemsParentGuidAlone)
{
    CCategory category;
    category.SetGuid("here");
    auto item = std::make_unique<CLinkItem>();
    item->SetParentGuid("there");
    category.AddItem(std::move(item));
    EXPECT_EQ(category.GetItem(0)->GetParentGuid(), "there");
}

TEST(CCategory, ClearChildrenReleasesEveryLevelAndItsItemsButNotTheCategoryItself)
{
    CCategory root;
    auto top = makeCategory("top");
    auto middle = makeCategory("middle", 1);
    auto bottom = makeCategory("bottom", 2);
    for (CCategory* holder : {top.get(), middle.get(), bottom.get()})
        for (int i = 0; i < 3; ++i)
            holder->AddItem(std::make_unique<CLinkItem>());
    root.AddItem(std::make_unique<CLinkItem>());
    middle->AddChild(std::move(bottom));
    top->AddChild(std::move(middle));
    root.AddChild(std::move(top));

    root.ClearChildren();
    EXPECT_EQ(root.GetChildCount(), 0);
    EXPECT_EQ(root.GetItemCount(), 0);
    // Leak checking under the sanitizer build proves the released subtree is destroyed.
    root.AddChild(makeCategory("again"));
    EXPECT_EQ(root.GetChildCount(), 1);
}

TEST(CCategory, AChainFarDeeperThanTheStackIsDestroyed)
{
    auto root = makeCategory("root");
    CCategory* deepest = root.get();
    for (int level = 1; level <= 1'000'000; ++level) {
        auto child = makeCategory("level", level);
        CCategory* next = child.get();
        deepest->AddChild(std::move(child));
        deepest = next;
    }
    deepest->AddItem(std::make_unique<CLinkItem>());
    root->ClearChildren();
    EXPECT_EQ(root->GetChildCount(), 0);
    // Leak checking under the sanitizer build proves every level is destroyed.
}

TEST(CCategory, ListsPointAtTheOwnedObjectsInOrder)
{
    CCategory category;
    category.AddChild(makeCategory("x"));
    category.AddChild(makeCategory("y"));
    category.AddItem(std::make_unique<CLinkItem>());
    CCategoryList children = category.GetChildren();
    CLinkItems items = category.GetItems();
    ASSERT_EQ(children.size(), 2u);
    EXPECT_EQ(children[0], category.GetChild(0));
    EXPECT_EQ(children[1], category.GetChild(1));
    ASSERT_EQ(items.size(), 1u);
    EXPECT_EQ(items[0], category.GetItem(0));
}
