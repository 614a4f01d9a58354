// SPDX-License-Identifier: GPL-3.0-or-later
#include "model/ccategorymanager.h"
#include "model/treeassembly.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

struct Row {
    std::string guid;
    std::string parent;
    int level;
};

LoadedCategories rows(const std::vector<Row>& table)
{
    LoadedCategories loaded;
    for (const Row& row : table) {
        auto category = std::make_unique<CCategory>();
        category->SetGuid(row.guid);
        category->SetName("name of " + row.guid);
        category->SetParentGuid(row.parent);
        category->SetLevel(row.level);
        loaded.push_back(std::move(category));
    }
    return loaded;
}

// The tree below a category as "guid(child child ...)" so a whole shape is one comparison.
std::string shape(const CCategory& category)
{
    std::string text;
    for (int i = 0; i < category.GetChildCount(); ++i) {
        const CCategory& child = *category.GetChild(i);
        if (!text.empty())
            text += ' ';
        text += child.GetGuid();
        if (child.GetChildCount() > 0)
            text += '(' + shape(child) + ')';
    }
    return text;
}

}  // namespace

TEST(AssembleCategoryTree, LinksChildrenUnderParentsInRowOrderWhateverComesFirst)
{
    CCategory root;
    assembleCategoryTree(rows({{"c1", "p", 1}, {"p", "", 0}, {"c2", "p", 1}, {"g", "c1", 2}, {"q", "", 0}}), root);
    EXPECT_EQ(shape(root), "p(c1(g) c2) q");
    EXPECT_EQ(root.GetChild(0)->GetChild(0)->GetParentGuid(), "p");
    EXPECT_EQ(root.GetChild(0)->GetName(), "name of p");
}

TEST(AssembleCategoryTree, DuplicateGuidGetsTheChildrenOnItsFirstRow)
{
    CCategory root;
    assembleCategoryTree(rows({{"dup", "", 0}, {"dup", "", 0}, {"kid", "dup", 1}}), root);
    EXPECT_EQ(shape(root), "dup(kid) dup");
}

TEST(AssembleCategoryTree, RowsBelowAMissingParentStayOutOfTheTree)
{
    CCategory root;
    assembleCategoryTree(rows({{"top", "", 0}, {"lost", "gone", 2}, {"below", "lost", 3}, {"deeper", "below", 4}}),
                         root);
    EXPECT_EQ(shape(root), "top");
}

TEST(AssembleCategoryTree, LevelZeroRowIsTopLevelEvenWhenItsParentGuidMatches)
{
    CCategory root;
    assembleCategoryTree(rows({{"a", "", 0}, {"b", "a", 0}}), root);
    // Attached once only, so destroying the tree never releases it twice.
    EXPECT_EQ(shape(root), "a b");
    EXPECT_EQ(root.GetChild(1)->GetParentGuid(), "");
}

TEST(AssembleCategoryTree, CyclesAndSelfParentsAreLeftOutWithoutHangingOrLeaking)
{
    CCategory root;
    assembleCategoryTree(rows({{"x", "y", 1}, {"y", "x", 1}, {"self", "self", 2}, {"ok", "", 0}}), root);
    EXPECT_EQ(shape(root), "ok");
}

TEST(AssembleChildCategories, AppendsOnlyTheNextLevelAfterExistingChildren)
{
    CCategory parent;
    parent.SetGuid("P");
    parent.SetLevel(1);
    auto existing = std::make_unique<CCategory>();
    existing->SetGuid("old");
    parent.AddChild(std::move(existing));

    CCategoryList attached = assembleChildCategories(rows({{"n1", "P", 2}, {"wrong", "P", 5}, {"n2", "P", 2}}), parent);
    EXPECT_EQ(shape(parent), "old n1 n2");
    ASSERT_EQ(attached.size(), 2u);
    EXPECT_EQ(attached[0]->GetGuid(), "n1");
    EXPECT_EQ(attached[1]->GetGuid(), "n2");
}

TEST(AssembleChildCategories, SkipsRowsOfChildrenThatAreAlreadyHeld)
{
    CCategory parent;
    parent.SetGuid("P");
    auto held = std::make_unique<CCategory>();
    held->SetGuid("held");
    held->SetLevel(1);
    CCategory* heldRaw = held.get();
    parent.AddChild(std::move(held));

    CCategoryList attached =
        assembleChildCategories(rows({{"held", "P", 1}, {"new", "P", 1}, {"new", "P", 1}}), parent);
    EXPECT_EQ(shape(parent), "held new");
    EXPECT_EQ(parent.GetChild(0), heldRaw);
    ASSERT_EQ(attached.size(), 1u);
    EXPECT_EQ(attached[0]->GetGuid(), "new");
}

TEST(CCategoryManager, IteratesLevelsAscendingAndEachLevelInAddOrder)
{
    CCategory a, b, c;
    a.SetGuid("a");
    a.SetLevel(1);
    b.SetGuid("b");
    b.SetLevel(0);
    c.SetGuid("c");
    c.SetLevel(1);
    CCategoryManager manager;
    manager.Add(&a);
    manager.Add(&b);
    manager.Add(&c);

    std::string order;
    for (const auto& [level, list] : manager)
        for (CCategory* category : list)
            order += std::to_string(level) + category->GetGuid() + ' ';
    EXPECT_EQ(order, "0b 1a 1c ");
}

TEST(CCategoryManager, ClearAndDestructionLeaveTheCategoriesUntouched)
{
    CCategory kept;
    kept.SetGuid("kept");
    kept.SetName("still here");
    kept.SetLevel(2);
    {
        CCategoryManager manager;
        manager.Add(&kept);
        EXPECT_FALSE(manager.empty());
        manager.Clear();
        EXPECT_TRUE(manager.empty());
        EXPECT_EQ(manager.begin(), manager.end());
        manager.Add(&kept);
    }
    EXPECT_EQ(kept.GetGuid(), "kept");
    EXPECT_EQ(kept.GetName(), "still here");
    EXPECT_EQ(kept.GetLevel(), 2);
}
