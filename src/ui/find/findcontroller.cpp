// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/find/findcontroller.h"

#include "content/contentindex.h"
#include "model/clinkitem.h"
#include "search/searchindex.h"
#include "session/cataloguesession.h"
#include "shell/paths.h"
#include "ui/common/desktop.h"
#include "ui/common/errorbox.h"
#include "ui/common/openguard.h"
#include "ui/dialogs/tsearchitemform.h"
#include "ui/find/quickfind.h"
#include "ui/views/catalogueview.h"
#include "ui/views/categorytreeview.h"
#include "ui/views/itemlistview.h"

#include <QAction>
#include <QMainWindow>
#include <QMenu>
#include <QScreen>
#include <QStatusBar>
#include <QToolBar>

#include <algorithm>

FindController::FindController(CatalogueSession& catalogueSession, CatalogueView& catalogueView, QMainWindow* owner,
                               QMenu& listPopup, std::function<void()> prepare)
    : QObject(owner), session(catalogueSession), view(catalogueView), window(owner), preparePopup(std::move(prepare)),
      quickFind(new QuickFind(owner->findChild<QToolBar*>(QStringLiteral("ToolBar1")), owner->statusBar(), &view,
                              view.indexOf(view.list()), this)),
      menuQuickFind(new QMenu(owner)), ShowInCategory(new QAction(QStringLiteral("Show in Category"), owner))
{
    const std::string cache = cacheFolderPath();
    quickFind->setCatalogue(session.path(), session.indexPath(),
                            cache.empty() ? std::string() : content::ContentIndex::pathFor(session.path(), cache));
    connect(quickFind, &QuickFind::hitsShown, this, &FindController::hitsShown);
    connect(quickFind, &QuickFind::typing, this, &FindController::typing);
    // Tab keeps going between the tree and the list; Ctrl+K and "/" reach the field, which Tab
    // reaches only after the list.
    QWidget::setTabOrder(view.tree(), view.list());
    quickFind->followInTabChain(view.list());
    // Hits come from the catalogue as it is now, whether or not the index took the commit in yet.
    connect(&session, &CatalogueSession::changed, quickFind, &QuickFind::refresh);
    connect(quickFind, &QuickFind::openRequested, this,
            [this](const QuickFindHit& hit) { runCommand(window, [&] { openHit(hit); }); });
    connect(quickFind, &QuickFind::popupRequested, this,
            [this](const QuickFindHit& hit, const QPoint& at) { runCommand(window, [&] { popupOn(hit, at); }); });
    connect(quickFind, &QuickFind::left, this, [this] { runCommand(window, [&] { leftHits(); }); });
    // Choosing a category is leaving the hits for it.
    connect(view.tree(), &QTreeWidget::itemClicked, quickFind, &QuickFind::leave);

    menuQuickFind->setObjectName(QStringLiteral("menuQuickFind"));
    // The hits stand in no category: nothing is added from their popup.
    for (QAction* entry : listPopup.actions()) {
        const bool adds = entry->objectName().startsWith(QLatin1String("Add"));
        const bool doubleSeparator = entry->isSeparator() && !menuQuickFind->actions().isEmpty()
                                     && menuQuickFind->actions().constLast()->isSeparator();
        if (!adds && !doubleSeparator)
            menuQuickFind->addAction(entry);
    }
    menuQuickFind->addSeparator();
    ShowInCategory->setObjectName(QStringLiteral("ShowInCategory"));
    view.runOnTrigger(ShowInCategory, window, [this] { ShowInCategoryClick(); });
    menuQuickFind->addAction(ShowInCategory);
    // What the entry did may have changed or removed the hit: the hits are found again.
    connect(menuQuickFind, &QMenu::triggered, this, [this](QAction* chosen) {
        if (chosen != ShowInCategory)
            quickFind->refresh();
    });
}

FindController::~FindController() = default;

void FindController::openHit(const QuickFindHit& hit)
{
    CLinkItem item;
    item.SetTarget(hit.targetText);
    item.SetType(hit.type);
    refuseUnsafeTarget(item);
    Desktop::instance().openTarget(item.GetTarget(), item.GetType());
}

// The list's popup works on the selected row of the selected category: the hit's category and row
// are selected behind the hits first, so every entry acts on the hit.
void FindController::popupOn(const QuickFindHit& hit, const QPoint& globalPos)
{
    QTreeWidgetItem* node = view.tree()->findNode(hit.category);
    if (!node)
        return;
    if (!categoryBeforeQuickFind) {
        const CCategory* shown = view.selectedCategory();
        categoryBeforeQuickFind = shown ? shown->GetGuid() : std::string();
    }
    view.tree()->reveal(node);
    if (!view.list()->selectOnly(hit.guid))
        return;
    preparePopup();
    menuQuickFind->popup(globalPos);
}

void FindController::ShowInCategoryClick()
{
    const QuickFindHit* hit = quickFind->selectedHit();
    if (!hit)
        return;
    const QuickFindHit chosen = *hit;
    categoryBeforeQuickFind.reset();
    quickFind->leave();
    view.locateItem(chosen.category, chosen.guid);
}

void FindController::locateStoredItem(const std::string& itemGuid)
{
    view.whenIdle([this, itemGuid] {
        runCommand(window, [&] {
            const std::optional<CLinkItem> item = session.database().ReadItem(itemGuid);
            categoryBeforeQuickFind.reset();
            quickFind->leave();
            view.locateItem(item ? item->GetParentGuid() : std::string(), itemGuid);
        });
    });
}

void FindController::leftHits()
{
    if (const auto before = std::exchange(categoryBeforeQuickFind, std::nullopt)) {
        if (QTreeWidgetItem* node = view.tree()->findNode(*before)) {
            view.tree()->reveal(node);
            return;
        }
    }
    // The list was out of sight while the hits were shown; it shows the category as it is now.
    if (CCategory* category = view.selectedCategory())
        view.showItems(*category);
}

// ---- the search dialog -------------------------------------------------------------------------

void FindController::showSearchDialog()
{
    auto* form = qobject_cast<TSearchItemForm*>(searchForm.data());
    if (!form) {
        form = new TSearchItemForm(window, settingsFilePath());
        form->setLocator([this](const std::string& categoryGuid, const std::string& itemGuid) {
            runCommand(window, [&] { view.locateItem(categoryGuid, itemGuid); });
        });
        // Beside the window, not over the list where a found row is shown; then where the user put it.
        form->move(searchPlace.value_or(besideWindow(form->size())));
        connect(form, &TSearchItemForm::moved, this, [this](const QPoint& place) { searchPlace = place; });
        searchForm = form;
    }
    form->setDatabase(&session.database());
    // The same hits, in the same order, as the catalogue's own search, through the search index.
    form->setSearcher([this](bool byName, bool byTarget, bool byComment, const std::string& keyword) {
        if (session.indexPath().empty())
            return session.database().SearchItems(byName, byTarget, byComment, keyword);
        if (!dialogIndex)
            dialogIndex = std::make_unique<search::SearchIndex>(session.path(), session.indexPath());
        return search::searchItems(*dialogIndex, byName, byTarget, byComment, keyword);
    });
    form->show();
    form->raise();
    form->activateWindow();
}

void FindController::closeSearchDialog()
{
    delete searchForm.data();
}

// Right of the window when the screen has room there, else left of it, else at the screen's right
// edge, where it covers the end of the rows rather than their names.
QPoint FindController::besideWindow(const QSize& size) const
{
    const QRect frame = window->frameGeometry();
    const QRect available = window->screen() ? window->screen()->availableGeometry() : frame;
    constexpr int gap = 8;
    if (frame.right() + gap + size.width() <= available.right())
        return {frame.right() + gap, frame.top()};
    if (frame.left() - gap - size.width() >= available.left())
        return {frame.left() - gap - size.width(), frame.top()};
    return {std::max(available.left(), available.right() - size.width()), frame.top()};
}
