// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/find/searchworkers.h"

#include "search/searchindex.h"

#include <QTimer>

namespace {

// A commit is taken into the index within this time; the query side never waits for it anyway.
constexpr int pollMs = 1000;

QString toQ(const std::string& text)
{
    return QString::fromStdString(text);
}

}  // namespace

QuickFindWorker::QuickFindWorker(std::string catalogue, std::string indexFile,
                                 std::shared_ptr<std::atomic<quint64>> latest)
    : cataloguePath(std::move(catalogue)), indexPath(std::move(indexFile)), newest(std::move(latest))
{
    qRegisterMetaType<QList<QuickFindHit>>();
}

QuickFindWorker::~QuickFindWorker() = default;

void QuickFindWorker::prepare()
{
    if (!index)
        index = std::make_unique<search::SearchIndex>(cataloguePath, indexPath);
    index->prepare();
}

void QuickFindWorker::find(quint64 generation, const QString& keyword)
{
    if (overtaken(generation))
        return;
    if (!index)
        index = std::make_unique<search::SearchIndex>(cataloguePath, indexPath);
    running = generation;
    index->setInterrupt(&interruption);
    const std::string text = keyword.toStdString();
    const std::vector<long long> shown = search::findByColumn(*index, text, shownRows);
    if (overtaken(generation))
        return;
    const std::vector<search::ItemText> texts = index->texts(shown);
    const auto paths = texts.empty() ? decltype(index->categoryPaths()){} : index->categoryPaths();
    QList<QuickFindHit> hits;
    hits.reserve(qsizetype(texts.size()));
    for (const search::ItemText& row : texts) {
        const auto path = paths.find(row.category);
        hits.append({toQ(row.name), path == paths.end() ? QString() : toQ(path->second), toQ(row.target), row.guid,
                     row.category, row.target, row.type});
    }
    if (overtaken(generation))
        return;
    // Fewer than a screenful over all three columns is every hit there is.
    const bool complete = shown.size() < std::size_t(shownRows);
    emit found(generation, hits, complete ? int(shown.size()) : -1);
    if (complete)
        return;
    const std::size_t total = index->find(text, search::AllColumns).size();
    if (!overtaken(generation))
        emit counted(generation, int(total));
}

IndexKeeper::IndexKeeper(std::string catalogue, std::string indexFile, std::shared_ptr<std::atomic<bool>> stop,
                         std::shared_ptr<std::atomic<bool>> upToDate)
    : cataloguePath(std::move(catalogue)), indexPath(std::move(indexFile)), stopping(std::move(stop)),
      settled(std::move(upToDate))
{
}

IndexKeeper::~IndexKeeper() = default;

void IndexKeeper::start()
{
    index = std::make_unique<search::SearchIndex>(cataloguePath, indexPath);
    poll = new QTimer(this);
    poll->setInterval(pollMs);
    connect(poll, &QTimer::timeout, this, &IndexKeeper::look);
    poll->start();
    look();
}

void IndexKeeper::look()
{
    if (!index || *stopping || (built && !index->catalogueChanged()))
        return;
    StopWhen stop([this] { return stopping->load(); });
    const bool done = index->update(stop);
    if (done && built)
        emit catalogueChanged();
    built = built || done;
    *settled = done;
}
