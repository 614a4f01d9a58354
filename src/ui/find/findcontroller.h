// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QObject>
#include <QPoint>
#include <QPointer>

#include <functional>
#include <memory>
#include <optional>
#include <string>

class CatalogueSession;
class CatalogueView;
class QAction;
class QMainWindow;
class QMenu;
class QuickFind;
struct QuickFindHit;
class QWidget;
namespace search {
class SearchIndex;
}

// Finding items: quick find in the toolbar, whose hits take the list's place, with the list's popup
// menu and "Show in Category" on a hit; and the search dialog, answered through the same search
// index as the catalogue's own keyword search would answer it.
class FindController : public QObject {
    Q_OBJECT
public:
    // listPopup: the list's popup menu, made ready for the selected row by preparePopup.
    FindController(CatalogueSession& session, CatalogueView& view, QMainWindow* window, QMenu& listPopup,
                   std::function<void()> preparePopup);
    ~FindController() override;

    // Edit > "Search": the one search dialog, shown beside the window the first time.
    void showSearchDialog();
    void closeSearchDialog();
    // The browser connector's "Open in Varnelo": the stored item is shown selected in its category,
    // the hits (if any) left for it, once the window is idle.
    void locateStoredItem(const std::string& itemGuid);

    // The results' popup, for the entries a window adds to it.
    QMenu* hitsPopup() const { return menuQuickFind; }

signals:
    // Quick find's hits took the list's place (true), or the list came back (false).
    void hitsShown(bool shown);
    // The user is typing into quick find.
    void typing();

private:
    void openHit(const QuickFindHit& hit);
    void popupOn(const QuickFindHit& hit, const QPoint& globalPos);
    void ShowInCategoryClick();
    void leftHits();
    QPoint besideWindow(const QSize& size) const;

    CatalogueSession& session;
    CatalogueView& view;
    QMainWindow* window;
    std::function<void()> preparePopup;
    QuickFind* quickFind;
    // The list's popup for a hit, plus the way to its category.
    QMenu* menuQuickFind;
    QAction* ShowInCategory;
    // The category shown before a hit's popup selected the hit's own; Esc brings it back.
    std::optional<std::string> categoryBeforeQuickFind;
    QPointer<QWidget> searchForm;
    // Where the user last put the search dialog, for the next one while the program runs.
    std::optional<QPoint> searchPlace;
    std::unique_ptr<search::SearchIndex> dialogIndex;
};
