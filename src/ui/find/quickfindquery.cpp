// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/find/quickfindquery.h"

#include "search/searchindex.h"

namespace {

QString toQ(const std::string& text)
{
    return QString::fromStdString(text);
}

}  // namespace

QuickFindQueries::QuickFindQueries(std::string catalogue, std::string indexFile,
                                   std::shared_ptr<std::atomic<quint64>> latest)
    : cataloguePath(std::move(catalogue)), indexPath(std::move(indexFile)), newest(std::move(latest))
{
}

QuickFindQueries::~QuickFindQueries() = default;

search::SearchIndex& QuickFindQueries::index(quint64 generation)
{
    if (!searchIndex)
        searchIndex = std::make_unique<search::SearchIndex>(cataloguePath, indexPath);
    running = generation;
    searchIndex->setInterrupt(&interruption);
    return *searchIndex;
}

void QuickFindQueries::prepare()
{
    index(*newest).prepare();
}

QuickFindAnswer QuickFindQueries::find(quint64 generation, const QString& keyword)
{
    QuickFindAnswer answer{generation, {}, -1, true};
    if (overtaken(generation))
        return answer;
    search::SearchIndex& searched = index(generation);
    const std::vector<long long> shown = search::findByColumn(searched, keyword.toStdString(), shownRows);
    if (overtaken(generation))
        return answer;
    const std::vector<search::ItemText> texts = searched.texts(shown);
    const auto paths = texts.empty() ? decltype(searched.categoryPaths()){} : searched.categoryPaths();
    answer.hits.reserve(qsizetype(texts.size()));
    for (const search::ItemText& row : texts) {
        const auto path = paths.find(row.category);
        answer.hits.append({toQ(row.name), path == paths.end() ? QString() : toQ(path->second), toQ(row.target),
                            row.guid, row.category, row.target, row.type});
    }
    // Fewer than a screenful over all three columns is every hit there is.
    if (shown.size() < std::size_t(shownRows))
        answer.total = int(shown.size());
    answer.overtaken = overtaken(generation);
    return answer;
}

int QuickFindQueries::count(quint64 generation, const QString& keyword)
{
    if (overtaken(generation))
        return -1;
    const std::size_t total = index(generation).find(keyword.toStdString(), search::AllColumns).size();
    return overtaken(generation) ? -1 : int(total);
}
