// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "model/progress.h"

#include <QList>
#include <QMetaType>
#include <QPoint>
#include <QString>

#include <atomic>
#include <functional>
#include <memory>
#include <string>
#include <unordered_map>

namespace content {
class ContentIndex;
}
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
    QString description;
    // Found by the words inside its document or kept page: the passage that holds them, the marked
    // parts as QPoint(start, length), and the PDF page (0 when the document has none).
    bool byContent = false;
    QString snippet;
    QList<QPoint> snippetMarks;
    int page = 0;
};

// What one query found: the first rows in showing order (title hits, then target hits, then
// description hits, each in stored order, then the best content hits), and how many hits there are in all, -1 while
// that is not counted yet. Nothing when a newer query overtook it.
struct QuickFindAnswer {
    quint64 generation = 0;
    QList<QuickFindHit> hits;
    int total = -1;
    bool overtaken = false;
};

// Quick find's queries as its worker runs them, on its own connection to the search index: only
// the newest query counts, and one that a newer one overtook stops, also halfway. Used on the
// worker's thread only.
// Each category's path ("Office/Word documents") by its GUID.
using CategoryPaths = std::unordered_map<std::string, std::string>;

class QuickFindQueries {
public:
    static constexpr int shownRows = 1000;
    static constexpr int contentRows = 100;

    // contentIndexPath: the content index beside the quick find index ("" for none); it is only read.
    QuickFindQueries(std::string cataloguePath, std::string indexPath, std::string contentIndexPath,
                     std::shared_ptr<std::atomic<quint64>> newest);
    ~QuickFindQueries();

    // Opens the index and compares it with the catalogue before the first key comes.
    void prepare();
    QuickFindAnswer find(quint64 generation, const QString& keyword);
    // Every hit of the keyword counted; -1 when overtaken.
    int count(quint64 generation, const QString& keyword);

    // The typed words as a content query: each word as written, the last one also as a prefix, so
    // that half a word finds and no sign is read as an operator.
    static std::string contentQuery(const QString& typed);

private:
    search::SearchIndex& index(quint64 generation);
    void addContentHits(quint64 generation, const QString& keyword, QuickFindAnswer& answer, CategoryPaths& paths);
    bool overtaken(quint64 generation) const { return *newest != generation; }

    std::string cataloguePath;
    std::string indexPath;
    std::string contentIndexPath;
    std::shared_ptr<std::atomic<quint64>> newest;
    std::unique_ptr<search::SearchIndex> searchIndex;
    std::unique_ptr<content::ContentIndex> contentIndex;
    // The query running now; the index asks whether a newer one overtook it.
    quint64 running = 0;
    StopWhen interruption{[this] { return overtaken(running); }};
};
