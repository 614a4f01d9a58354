// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "model/progress.h"

#include <QList>
#include <QMetaType>
#include <QString>

#include <atomic>
#include <functional>
#include <memory>
#include <string>

namespace search {
class SearchIndex;
}

// One row of quick find's results.
struct QuickFindHit {
    QString title;
    QString categoryPath;
    QString target;
    std::string guid;
    std::string category;
    std::string targetText;  // the stored bytes, for opening
    int type = 0;
};

// What one query found: the first rows in showing order (title hits, then target hits, then
// description hits, each in stored order), and how many hits there are in all, -1 while that is
// not counted yet. Nothing when a newer query overtook it.
struct QuickFindAnswer {
    quint64 generation = 0;
    QList<QuickFindHit> hits;
    int total = -1;
    bool overtaken = false;
};

// Quick find's queries as its worker runs them, on its own connection to the search index: only
// the newest query counts, and one that a newer one overtook stops, also halfway. Used on the
// worker's thread only.
class QuickFindQueries {
public:
    static constexpr int shownRows = 1000;

    QuickFindQueries(std::string cataloguePath, std::string indexPath, std::shared_ptr<std::atomic<quint64>> newest);
    ~QuickFindQueries();

    // Opens the index and compares it with the catalogue before the first key comes.
    void prepare();
    QuickFindAnswer find(quint64 generation, const QString& keyword);
    // Every hit of the keyword counted; -1 when overtaken.
    int count(quint64 generation, const QString& keyword);

private:
    search::SearchIndex& index(quint64 generation);
    bool overtaken(quint64 generation) const { return *newest != generation; }

    std::string cataloguePath;
    std::string indexPath;
    std::shared_ptr<std::atomic<quint64>> newest;
    std::unique_ptr<search::SearchIndex> searchIndex;
    // The query running now; the index asks whether a newer one overtook it.
    quint64 running = 0;
    StopWhen interruption{[this] { return overtaken(running); }};
};
