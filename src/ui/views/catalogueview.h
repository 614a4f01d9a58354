// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "storage/changeset.h"

#include "commands/cataloguecommands.h"
#include "ui/views/internaldrop.h"

#include <QList>
#include <QSplitter>
#include <QUrl>

#include <functional>
#include <string>
#include <unordered_map>
#include <vector>

class CatalogueSession;
class CategoryTreeView;
class ItemListView;
class QAction;
class QTreeWidgetItem;

// The window's view of the open catalogue: the category tree beside the selected category's items,
// split as the user drags. It keeps both in step with the session's loaded catalogue, keeps the
// user's place (selected category and rows, open branches, scrolling) when the catalogue is read
// afresh, hands on what is dropped onto it, and marks rows (greyed check results). Nodes and rows
// point into the session's catalogue; they go before the objects they show.
class CatalogueView : public QSplitter {
    Q_OBJECT
public:
    explicit CatalogueView(CatalogueSession& session, QWidget* parent = nullptr);
    ~CatalogueView() override;

    CategoryTreeView* tree() const { return treeCategory; }
    ItemListView* list() const { return listContent; }

    // ---- filling

    // The tree rebuilt from the loaded catalogue, nothing selected; the list emptied.
    void fill();
    // Tree and list emptied without looking at what their nodes and rows point at.
    void clear();
    // The category's items read afresh and listed, marked as the marks say.
    void showItems(CCategory& category);
    // The list follows the tree's selection; with none, it is emptied.
    void showSelectedCategory();
    QTreeWidgetItem* addItemRow(CLinkItem& item);
    // Nodes for the category and everything below it, under the node of parent (none: top level).
    void addBranch(CCategory& category, const CCategory* parent);
    // Nodes for categories just taken into memory below parent, and its rows again when it is shown.
    void showAddedBranches(CCategory& parent, const CCategoryList& added);
    // Node texts and icons from their categories and the icon list.
    void refreshIcons();

    // ---- the user's place

    QTreeWidgetItem* selectedNode() const;
    CCategory* selectedCategory() const;
    CLinkItem* selectedItem() const;
    CLinkItems selectedItems() const;
    // Selects the item's category and its row, or says "The selected item does not exist".
    void locateItem(const std::string& categoryGuid, const std::string& itemGuid);
    // Lands on what an undo brought back: the topmost restored category, selected and shown, else
    // the restored items selected in their category. Rows no longer there are passed over.
    void showRestored(const std::vector<Changeset::DeletedRow>& rows);
    // Before each item leaves memory, its row goes.
    CatalogueCommands::Leaving rowRemover();

    // ---- reading afresh

    // Tree and list read afresh from what is stored, keeping the user's place: after the history
    // took a command back or made it again.
    void reloadKeepingPlace();
    // The same around reopen, which replaces the loaded categories (the catalogue opened again); when
    // it fails, what is loaded is shown again.
    void reopenKeepingPlace(const std::function<void()>& reopen);
    // The same at once, whether the window is shown or not (a sync merged changes into the file).
    void reloadWhenIdle();
    // A category about to be saved whole is read afresh first when another program changed the
    // file since the last look: a save of the items held would write theirs back.
    void refreshStaleItems(CCategory& category);
    // A command, a dialog, a menu, an edit in place or a drag may hold objects of the catalogue.
    bool busy() const;
    // Runs the work once nothing of the window is busy.
    void whenIdle(std::function<void()> work);
    // The action runs the handler as a command of the window, on the catalogue as stored now.
    void runOnTrigger(QAction* action, QWidget* owner, std::function<void()> handler);

    // ---- marks and drops

    // The reasons to grey rows of a category, by item GUID; asked each time a category is shown.
    using RowMarks = std::function<std::unordered_map<std::string, QString>(const CCategory&)>;
    void setRowMarks(RowMarks marks);
    // The shown rows marked again (the results changed).
    void remark();
    // Drags of nodes and rows within the window, onto the tree.
    void takeInternalDrops(InternalDrop::Accepts accepts, InternalDrop::Dropped dropped);

public slots:
    // Another program changed the catalogue: what changed is shown, the user's place kept. Waits
    // while a command or dialog of the window is under way, and while the window is hidden.
    void reloadFromStore();

signals:
    // Files or web addresses from another program were dropped on a category (the list: the
    // selected one).
    void urlsDropped(CCategory& category, const QList<QUrl>& urls);

protected:
    void showEvent(QShowEvent* event) override;

private:
    void reloadNow();
    void runIdleWork();
    void markRows(const std::unordered_map<std::string, QString>& reasons, bool unmarkOthers);

    CatalogueSession& session;
    CategoryTreeView* treeCategory;
    ItemListView* listContent;
    RowMarks marks;
    // While the tree is rebuilt, its selection changes are not the user's.
    bool reloading = false;
    bool reloadWaiting = false;
    bool reloadWhenShown = false;
    std::vector<std::function<void()>> idleWork;
};
