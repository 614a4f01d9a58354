// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "model/progress.h"

#include <QList>
#include <QMetaType>
#include <QObject>
#include <QString>

#include <atomic>
#include <memory>
#include <string>

class QTimer;
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
Q_DECLARE_METATYPE(QList<QuickFindHit>)

// Answers quick find on a thread of its own with its own connection, so that typing never waits for a
// query. Only the newest query counts: one that a newer one overtook is dropped, also halfway.
class QuickFindWorker : public QObject {
    Q_OBJECT
public:
    static constexpr int shownRows = 1000;

    QuickFindWorker(std::string cataloguePath, std::string indexPath, std::shared_ptr<std::atomic<quint64>> newest);
    ~QuickFindWorker() override;

public slots:
    // Opens the index and compares it with the catalogue before the first key comes.
    void prepare();
    void find(quint64 generation, const QString& keyword);

signals:
    // The first rows in showing order: title hits, then target hits, then description hits, each in
    // stored order; total is -1 while the rest is still being counted.
    void found(quint64 generation, const QList<QuickFindHit>& hits, int total);
    void counted(quint64 generation, int total);

private:
    bool overtaken(quint64 generation) const { return *newest != generation; }

    std::string cataloguePath;
    std::string indexPath;
    std::shared_ptr<std::atomic<quint64>> newest;
    std::unique_ptr<search::SearchIndex> index;
    // The query running now is dropped as soon as a newer keystroke overtakes it.
    quint64 running = 0;
    StopWhen interruption{[this] { return overtaken(running); }};
};

// Keeps the search index up to the catalogue on a thread of its own: builds it at start and writes
// the changes of every commit it notices, whoever made it.
class IndexKeeper : public QObject {
    Q_OBJECT
public:
    // `settled` is true while the index holds every commit the keeper has seen.
    IndexKeeper(std::string cataloguePath, std::string indexPath, std::shared_ptr<std::atomic<bool>> stopping,
                std::shared_ptr<std::atomic<bool>> settled);
    ~IndexKeeper() override;

public slots:
    void start();
    // Looks at once instead of at the next poll.
    void look();

signals:
    // A commit reached the catalogue and the index has taken it in.
    void catalogueChanged();

private:
    std::string cataloguePath;
    std::string indexPath;
    std::shared_ptr<std::atomic<bool>> stopping;
    std::shared_ptr<std::atomic<bool>> settled;
    std::unique_ptr<search::SearchIndex> index;
    QTimer* poll = nullptr;
    bool built = false;
};
