// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "ui/find/quickfindquery.h"

#include <QObject>
#include <QVariant>

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
class Worker;

// Find as you type: a field at the right of the toolbar whose hits (titles, then targets, then
// descriptions) replace the category's items in the list area until the field is cleared. Queries
// run on a worker of their own through the search index (which the session keeps up to date), so
// typing never waits.
class QuickFind : public QObject {
    Q_OBJECT
public:
    // Where the hits' rows store which parts of a cell matched: a list of QPoint(start, length).
    static constexpr int MatchRole = Qt::UserRole + 20;
    static constexpr int pauseMs = 150;
    static constexpr int prepareAfterMs = 1000;

    // Takes the splitter's widget at listIndex (the item list) into its list area, which takes its place.
    QuickFind(QToolBar* toolbar, QStatusBar* status, QSplitter* splitter, int listIndex, QObject* parent);
    ~QuickFind() override;

    // The widget that takes the item list's place: the list and the results, one shown at a time.
    QStackedWidget* listArea() const { return area; }
    // Queries the catalogue at this path through its index file; empty paths stop querying.
    // contentIndexPath: where the words inside documents are found ("" for none).
    void setCatalogue(const std::string& cataloguePath, const std::string& indexPath,
                      const std::string& contentIndexPath = {});
    bool active() const;
    // Runs the shown query again, after the catalogue changed.
    void refresh();
    // Empties the field and shows the item list again.
    void leave();

    const QuickFindHit* selectedHit() const;
    // The field, then its hits, right after `previous` in the Tab chain.
    void followInTabChain(QWidget* previous);
    // Where the folded runs of a keyword stand in a text: QPoint(start, length) in the text as written.
    static QVariantList matchedSpans(const QString& text, const QStringList& foldedRuns);

signals:
    void openRequested(const QuickFindHit& hit);
    void popupRequested(const QuickFindHit& hit, const QPoint& globalPos);
    // The field was emptied: the selected category comes back.
    void left();
    // The hits took the list's place (true), or the list came back (false).
    void hitsShown(bool shown);
    // The user typed into the field: work that competes with the queries may wait.
    void typing();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void startQuery();
    void showHits(const QuickFindAnswer& answer);
    void showCount(quint64 generation, int total);
    void showWhereFound(QTreeWidgetItem& row, const QuickFindHit& hit, const QStringList& runs,
                        bool notInTitleOrTarget);
    static QString excerpt(const QString& text, const QStringList& runs);
    void openSelected();

    QLineEdit* field;
    QTreeWidget* results;
    QStackedWidget* area;
    QLabel* count;
    QTimer* pause;

    std::unique_ptr<Worker> worker;
    std::shared_ptr<QuickFindQueries> queries;
    std::shared_ptr<std::atomic<quint64>> newest = std::make_shared<std::atomic<quint64>>(0);
    QList<QuickFindHit> hits;
    int shownTotal = 0;
    bool openOnArrival = false;
};
