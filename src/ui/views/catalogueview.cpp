// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/views/catalogueview.h"

#include "commands/catalogueopening.h"
#include "model/treeassembly.h"
#include "session/cataloguesession.h"
#include "ui/common/dialogseam.h"
#include "ui/common/errorbox.h"
#include "ui/views/categorytreeview.h"
#include "ui/views/droptarget.h"
#include "ui/views/itemlistview.h"
#include "ui/views/viewplace.h"

#include "model/clinkitem.h"

#include <QAction>
#include <QApplication>
#include <QScopedValueRollback>
#include <QTimer>

#include <set>
#include <utility>

namespace {

// How often work that waits for the window to be idle looks again.
constexpr int idleRetryMs = 200;

}  // namespace

CatalogueView::CatalogueView(CatalogueSession& catalogueSession, QWidget* parent)
    : QSplitter(Qt::Horizontal, parent), session(catalogueSession),
      treeCategory(new CategoryTreeView(catalogueSession.icons())), listContent(new ItemListView)
{
    setObjectName(QStringLiteral("Splitter1"));
    setOpaqueResize(true);
    setChildrenCollapsible(false);
    addWidget(treeCategory);
    addWidget(listContent);
    setStretchFactor(1, 1);
    setSizes({241, 580});

    // Files and addresses dropped onto the list go to the selected category, onto a node to its own.
    const auto dropped = [this](CCategory& category, const QList<QUrl>& urls) { emit urlsDropped(category, urls); };
    new DropTarget(
        listContent, [this](const QPoint&) { return selectedCategory(); }, dropped);
    new DropTarget(
        treeCategory, [this](const QPoint& at) { return treeCategory->categoryOf(treeCategory->itemAt(at)); }, dropped);
}

// Rows and nodes point into the catalogue, which the session discards after this view.
CatalogueView::~CatalogueView()
{
    disconnect(treeCategory, nullptr, nullptr, nullptr);
    clear();
}

// ---- filling -----------------------------------------------------------------------------------

void CatalogueView::fill()
{
    const QScopedValueRollback<bool> guard(reloading, true);
    listContent->clear();
    treeCategory->fill(session.root());
}

void CatalogueView::clear()
{
    const QScopedValueRollback<bool> guard(reloading, true);
    listContent->clear();
    treeCategory->clearQuietly();
}

void CatalogueView::showItems(CCategory& category)
{
    // The rows go before the reload destroys the items they point at.
    listContent->clear();
    session.loadItems(category);
    for (int i = 0; i < category.GetItemCount(); ++i)
        listContent->addRow(*category.GetItem(i));
    if (marks)
        if (const auto reasons = marks(category); !reasons.empty())
            markRows(reasons, false);
}

void CatalogueView::showSelectedCategory()
{
    if (reloading)
        return;
    // With no selected category the rows could point at discarded items, so the list is emptied.
    CCategory* category = selectedCategory();
    if (!category) {
        listContent->clear();
        return;
    }
    showItems(*category);
}

QTreeWidgetItem* CatalogueView::addItemRow(CLinkItem& item)
{
    return listContent->addRow(item);
}

void CatalogueView::addBranch(CCategory& category, const CCategory* parent)
{
    QTreeWidgetItem* parentNode = parent ? treeCategory->nodeOf(parent) : nullptr;
    treeCategory->addChildNodes(category, treeCategory->addNode(category, parentNode));
}

void CatalogueView::showAddedBranches(CCategory& parent, const CCategoryList& added)
{
    QTreeWidgetItem* node = treeCategory->nodeOf(&parent);
    if (!node)
        return;
    for (CCategory* category : added)
        treeCategory->addChildNodes(*category, treeCategory->addNode(*category, node));
}

void CatalogueView::refreshIcons()
{
    treeCategory->refreshIcons();
}

// ---- the user's place --------------------------------------------------------------------------

QTreeWidgetItem* CatalogueView::selectedNode() const
{
    return treeCategory->selectedNode();
}

CCategory* CatalogueView::selectedCategory() const
{
    return treeCategory->selectedCategory();
}

CLinkItem* CatalogueView::selectedItem() const
{
    return listContent->itemOf(listContent->firstSelectedRow());
}

CLinkItems CatalogueView::selectedItems() const
{
    return listContent->selectedListItems();
}

void CatalogueView::locateItem(const std::string& categoryGuid, const std::string& itemGuid)
{
    bool found = false;
    if (QTreeWidgetItem* node = treeCategory->findNode(categoryGuid)) {
        treeCategory->reveal(node);
        found = listContent->selectOnly(itemGuid);
    }
    if (!found)
        seam::message(window(), QMessageBox::Critical, QStringLiteral("Error"),
                      QStringLiteral("The selected item does not exist"), QMessageBox::Ok);
}

void CatalogueView::showRestored(const std::vector<Changeset::DeletedRow>& rows)
{
    std::set<std::string> categories;
    for (const Changeset::DeletedRow& row : rows)
        if (row.category)
            categories.insert(row.guid);
    for (const Changeset::DeletedRow& row : rows) {
        if (!row.category || categories.count(row.holder))
            continue;
        if (QTreeWidgetItem* node = treeCategory->findNode(row.guid)) {
            treeCategory->reveal(node);
            return;
        }
    }
    std::set<std::string> items;
    const Changeset::DeletedRow* first = nullptr;
    for (const Changeset::DeletedRow& row : rows)
        if (!row.category && items.insert(row.guid).second && !first)
            first = &row;
    QTreeWidgetItem* node = first ? treeCategory->findNode(first->holder) : nullptr;
    if (!node)
        return;
    treeCategory->reveal(node);
    listContent->clearSelection();
    for (int i = 0; i < listContent->topLevelItemCount(); ++i) {
        QTreeWidgetItem* shown = listContent->topLevelItem(i);
        const CLinkItem* item = listContent->itemOf(shown);
        if (item && items.count(item->GetGuid())) {
            shown->setSelected(true);
            listContent->scrollToItem(shown);
        }
    }
}

CatalogueCommands::Leaving CatalogueView::rowRemover()
{
    return [this](const CLinkItem* item) { delete listContent->rowOf(item); };
}

// ---- reading afresh ----------------------------------------------------------------------------

void CatalogueView::reloadKeepingPlace()
{
    reopenKeepingPlace([this] { session.reloadCategories(); });
}

void CatalogueView::reopenKeepingPlace(const std::function<void()>& reopen)
{
    const ViewPlace place = ViewPlace::of(*treeCategory, *listContent);
    {
        const QScopedValueRollback<bool> guard(reloading, true);
        clear();
        try {
            reopen();
        } catch (...) {
            fill();
            throw;
        }
        fill();
        place.restoreTree(*treeCategory);
    }
    if (CCategory* category = selectedCategory()) {
        showItems(*category);
        place.restoreList(*listContent);
    }
}

void CatalogueView::reloadFromStore()
{
    // A hidden window reads nothing; what changed meanwhile shows when it comes back.
    if (!isVisible()) {
        reloadWhenShown = true;
        return;
    }
    reloadWhenIdle();
}

void CatalogueView::reloadWhenIdle()
{
    if (busy()) {
        if (!std::exchange(reloadWaiting, true))
            whenIdle([this] {
                reloadWaiting = false;
                reloadWhenIdle();
            });
        return;
    }
    runCommand(this, [this] { reloadNow(); });
}

void CatalogueView::reloadNow()
{
    const ViewPlace place = ViewPlace::of(*treeCategory, *listContent);
    // Nodes and rows stay as they are where nothing they show changed: no flicker, and nothing
    // that points at them is lost. A replaced file is opened afresh.
    // With no catalogue at its path the one on screen stays: opening the path would make an empty one.
    if (session.detached())
        return;
    auto stored = std::make_unique<CCategory>();
    if (!session.fileWasReplaced()) {
        session.database().ReadCategoryTree(*stored);
        if (sameCategoryTree(*stored, session.root())) {
            CCategory* category = selectedCategory();
            if (category && !sameItems(*category, session.database().ReadItems(*category))) {
                showItems(*category);
                place.restoreList(*listContent);
            }
            // A check elsewhere (the command line, the check's worker) may have marked rows.
            remark();
            return;
        }
    }
    {
        const QScopedValueRollback<bool> guard(reloading, true);
        clear();
        if (session.fileWasReplaced() || treeDepth(*stored) > maxCategoryLevels) {
            const std::string path = session.path();
            session.open(path);
        } else {
            // The tree just read takes the place of the one held: the file needs no second read.
            CCategory& root = session.root();
            root.ClearChildren();
            while (CCategory* child = stored->GetChild(0))
                root.AddChild(stored->RemoveChild(child));
        }
        fill();
        place.restoreTree(*treeCategory);
    }
    if (CCategory* category = selectedCategory()) {
        showItems(*category);
        place.restoreList(*listContent);
    }
}

void CatalogueView::refreshStaleItems(CCategory& category)
{
    if (!isVisible() || !session.changedSinceSeen())
        return;
    if (selectedCategory() != &category) {
        session.loadItems(category);
        return;
    }
    const ViewPlace place = ViewPlace::of(*treeCategory, *listContent);
    showItems(category);
    place.restoreList(*listContent);
}

bool CatalogueView::busy() const
{
    return runningCommands() > 0 || QApplication::activeModalWidget() || QApplication::activePopupWidget()
           || listContent->interacting() || treeCategory->interacting() || session.catalogue().InTransaction();
}

void CatalogueView::whenIdle(std::function<void()> work)
{
    idleWork.push_back(std::move(work));
    if (idleWork.size() == 1)
        QTimer::singleShot(busy() ? idleRetryMs : 0, this, &CatalogueView::runIdleWork);
}

void CatalogueView::runIdleWork()
{
    if (busy()) {
        QTimer::singleShot(idleRetryMs, this, &CatalogueView::runIdleWork);
        return;
    }
    const std::vector<std::function<void()>> work = std::exchange(idleWork, {});
    for (const auto& each : work)
        each();
}

// A command starts on what is stored now, not on what the window showed before another program's
// commit that the next look would have found.
void CatalogueView::runOnTrigger(QAction* action, QWidget* owner, std::function<void()> handler)
{
    connect(action, &QAction::triggered, owner, [this, owner, handler = std::move(handler)] {
        if (isVisible() && !busy())
            session.lookNow();
        runCommand(owner, handler);
    });
}

void CatalogueView::showEvent(QShowEvent* event)
{
    QSplitter::showEvent(event);
    if (std::exchange(reloadWhenShown, false))
        reloadWhenIdle();
}

// ---- marks and drops ---------------------------------------------------------------------------

void CatalogueView::setRowMarks(RowMarks rowMarks)
{
    marks = std::move(rowMarks);
}

void CatalogueView::remark()
{
    const CCategory* category = selectedCategory();
    if (marks && category)
        markRows(marks(*category), true);
}

// Rows are marked one by one only where a mark changes: a category of thousands of rows is shown
// without touching each of them again.
void CatalogueView::markRows(const std::unordered_map<std::string, QString>& reasons, bool unmarkOthers)
{
    for (int i = 0; i < listContent->topLevelItemCount(); ++i) {
        QTreeWidgetItem* row = listContent->topLevelItem(i);
        const CLinkItem* item = listContent->itemOf(row);
        const auto found = item ? reasons.find(item->GetGuid()) : reasons.end();
        if (found != reasons.end())
            listContent->markBroken(row, found->second);
        else if (unmarkOthers && !row->toolTip(0).isEmpty())
            listContent->markBroken(row, QString());
    }
}

void CatalogueView::takeInternalDrops(InternalDrop::Accepts accepts, InternalDrop::Dropped dropped)
{
    new InternalDrop(treeCategory, {treeCategory, listContent}, std::move(accepts), std::move(dropped));
}
