// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "storage/cdbmanager.h"
#include "ui/find/searchworkers.h"

#include <QObject>
#include <QThread>

#include <atomic>
#include <functional>
#include <memory>
#include <string>
#include <vector>

class QLabel;
class QLineEdit;
class QSplitter;
class QStackedWidget;
class QStatusBar;
class QTimer;
class QToolBar;
class QTreeWidget;
class QTreeWidgetItem;
namespace search {
class SearchIndex;
}

// Find as you type: a field at the right of the toolbar whose hits (titles, then targets, then
// descriptions) replace the category's items in the list area until the field is cleared. The
// search index behind it is kept up to date on a worker thread; queries run on another, so typing
// never waits. Also answers the search dialog through the same index.
class QuickFind : public QObject {
    Q_OBJECT
public:
    // Where the hits' rows store which parts of a cell matched: a list of QPoint(start, length).
    static constexpr int MatchRole = Qt::UserRole + 20;
    static constexpr int pauseMs = 150;

    // Takes the splitter's widget at listIndex (the item list) into its list area, which takes its place.
    QuickFind(QToolBar* toolbar, QStatusBar* status, QSplitter* splitter, int listIndex, QObject* parent);
    ~QuickFind() override;

    // The widget that takes the item list's place: the list and the results, one shown at a time.
    QStackedWidget* listArea() const { return area; }
    // True once the search index has taken in the catalogue as it was last seen.
    bool indexSettled() const { return *settled; }
    // Follows the catalogue at this path; empty stops following.
    void setCatalogue(const std::string& cataloguePath);
    bool active() const;
    // Runs the shown query again, after the catalogue changed.
    void refresh();
    // Empties the field and shows the item list again.
    void leave();

    // The search dialog's query through the index: the same hits, in the same order, as the
    // catalogue's own search of db.
    std::vector<CSearchItem> searchItems(CDBManager& db, bool byName, bool byTarget, bool byComment,
                                         const std::string& keyword);

    const QuickFindHit* selectedHit() const;

signals:
    void openRequested(const QuickFindHit& hit);
    void popupRequested(const QuickFindHit& hit, const QPoint& globalPos);
    // The field was emptied: the selected category comes back.
    void left();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void startQuery();
    void showHits(quint64 generation, const QList<QuickFindHit>& hits, int total);
    void showCount(quint64 generation, int total);
    void openSelected();
    void stopWorkers();

    QLineEdit* field;
    QTreeWidget* results;
    QStackedWidget* area;
    QLabel* count;
    QTimer* pause;
    std::string cataloguePath;
    std::string indexPath;
    std::unique_ptr<search::SearchIndex> dialogIndex;

    QThread queryThread;
    QThread keeperThread;
    QuickFindWorker* worker = nullptr;
    IndexKeeper* keeper = nullptr;
    std::shared_ptr<std::atomic<bool>> settled = std::make_shared<std::atomic<bool>>(false);
    std::shared_ptr<std::atomic<quint64>> newest = std::make_shared<std::atomic<quint64>>(0);
    std::shared_ptr<std::atomic<bool>> stopping = std::make_shared<std::atomic<bool>>(false);
    QList<QuickFindHit> hits;
    int shownTotal = 0;
    bool openOnArrival = false;
};
