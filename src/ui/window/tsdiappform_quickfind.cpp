// SPDX-License-Identifier: GPL-3.0-or-later
// The main window's side of quick find: where its field and results go, and what opening a hit,
// its popup menu and "Show in Category" do with the window's own commands.
#include "ui/window/tsdiappform.h"

#include "model/clinkitem.h"
#include "ui/common/desktop.h"
#include "ui/common/errorbox.h"
#include "ui/find/quickfind.h"
#include "ui/views/categorytreeview.h"
#include "ui/views/itemlistview.h"

#include <QMenu>
#include <QSplitter>
#include <QStatusBar>
#include <QTreeWidget>

void TSDIAppForm::createQuickFind()
{
    quickFind = new QuickFind(ToolBar1, statusBar(), Splitter1, Splitter1->indexOf(listContent), this);
    quickFind->setCatalogue(db.GetPath());
    connect(quickFind, &QuickFind::openRequested, this,
            [this](const QuickFindHit& hit) { runCommand(this, [&] { openQuickFindHit(hit); }); });
    connect(quickFind, &QuickFind::popupRequested, this,
            [this](const QuickFindHit& hit, const QPoint& at) { runCommand(this, [&] { quickFindPopup(hit, at); }); });
    connect(quickFind, &QuickFind::left, this, [this] { runCommand(this, [&] { quickFindLeft(); }); });
    // Choosing a category is leaving the hits for it.
    connect(treeCategory, &QTreeWidget::itemClicked, quickFind, &QuickFind::leave);

    menuQuickFind = new QMenu(this);
    menuQuickFind->setObjectName(QStringLiteral("menuQuickFind"));
    menuQuickFind->addActions(menuListView->actions());
    menuQuickFind->addSeparator();
    ShowInCategory = makeAction("ShowInCategory", QStringLiteral("Show in Category"));
    bind(ShowInCategory, &TSDIAppForm::ShowInCategoryClick);
    menuQuickFind->addAction(ShowInCategory);
    // What the entry did may have changed or removed the hit: the hits are found again.
    connect(menuQuickFind, &QMenu::triggered, this, [this](QAction* chosen) {
        if (chosen != ShowInCategory)
            quickFind->refresh();
    });
}

void TSDIAppForm::openQuickFindHit(const QuickFindHit& hit)
{
    CLinkItem item;
    item.SetTarget(hit.targetText);
    item.SetType(hit.type);
    requireOpenableTarget(item);
    Desktop::instance().openTarget(item.GetTarget(), item.GetType());
}

// The design's list popup works on the selected row of the selected category: the hit's category and
// row are selected behind the hits first, so every entry acts on the hit.
void TSDIAppForm::quickFindPopup(const QuickFindHit& hit, const QPoint& globalPos)
{
    QTreeWidgetItem* node = treeCategory->findNode(hit.category);
    if (!node)
        return;
    if (!categoryBeforeQuickFind) {
        const CCategory* shown = GetSelectedCategory();
        categoryBeforeQuickFind = shown ? shown->GetGuid() : std::string();
    }
    treeCategory->reveal(node);
    if (!listContent->selectOnly(hit.guid))
        return;
    listContentContextPopup();
    menuQuickFind->popup(globalPos);
}

void TSDIAppForm::ShowInCategoryClick()
{
    const QuickFindHit* hit = quickFind->selectedHit();
    if (!hit)
        return;
    const QuickFindHit chosen = *hit;
    categoryBeforeQuickFind.reset();
    quickFind->leave();
    LocateItem(chosen.category, chosen.guid);
}

void TSDIAppForm::quickFindLeft()
{
    if (const auto before = std::exchange(categoryBeforeQuickFind, std::nullopt)) {
        if (QTreeWidgetItem* node = treeCategory->findNode(*before)) {
            treeCategory->reveal(node);
            return;
        }
    }
    // The list was out of sight while the hits were shown; it shows the category as it is now.
    if (CCategory* category = GetSelectedCategory())
        ShowCategoryItems(category);
}
