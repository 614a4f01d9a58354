// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/find/quickfindquery.h"

#include "content/contentindex.h"
#include "search/searchindex.h"

#include <QRegularExpression>

#include <algorithm>

#include <filesystem>
#include <unordered_set>

namespace {

QString toQ(const std::string& text)
{
    return QString::fromStdString(text);
}

// Marks no text holds: the snippet's marked words are found by them and they are taken out.
const content::SnippetMarks snippetMarks{"\x02", "\x03", "\u2026", 12};

QuickFindHit hitOf(const search::ItemText& row, const CategoryPaths& paths)
{
    QuickFindHit hit;
    hit.title = toQ(row.name);
    const auto path = paths.find(row.category);
    hit.categoryPath = path == paths.end() ? QString() : toQ(path->second);
    hit.target = toQ(row.target);
    hit.guid = row.guid;
    hit.category = row.category;
    hit.targetText = row.target;
    hit.type = row.type;
    hit.description = toQ(row.comment);
    return hit;
}

void takeMarks(QuickFindHit& hit, const std::string& snippet)
{
    const QString marked = toQ(snippet);
    int start = -1;
    for (QChar c : marked) {
        if (c == QChar(2)) {
            start = int(hit.snippet.size());
        } else if (c == QChar(3)) {
            if (start >= 0)
                hit.snippetMarks.append(QPoint(start, int(hit.snippet.size()) - start));
            start = -1;
        } else {
            hit.snippet += c;
        }
    }
}

}  // namespace

QuickFindQueries::QuickFindQueries(std::string catalogue, std::string indexFile, std::string contentFile,
                                   std::shared_ptr<std::atomic<quint64>> latest)
    : cataloguePath(std::move(catalogue)), indexPath(std::move(indexFile)), contentIndexPath(std::move(contentFile)),
      newest(std::move(latest))
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
    CategoryPaths paths = texts.empty() ? CategoryPaths() : searched.categoryPaths();
    answer.hits.reserve(qsizetype(texts.size()));
    for (const search::ItemText& row : texts) {
        answer.hits.append(hitOf(row, paths));
    }
    // Fewer than a screenful over all three columns is every hit there is.
    if (shown.size() < std::size_t(shownRows)) {
        addContentHits(generation, keyword, answer, paths);
        answer.total = int(answer.hits.size());
    }
    answer.overtaken = overtaken(generation);
    return answer;
}

int QuickFindQueries::count(quint64 generation, const QString& keyword)
{
    if (overtaken(generation))
        return -1;
    const std::size_t total =
        index(generation).find(keyword.toStdString(), search::AllColumns, SIZE_MAX, search::Matching::Folded).size();
    return overtaken(generation) ? -1 : int(total);
}

std::string QuickFindQueries::contentQuery(const QString& typed)
{
    const QStringList words = typed.split(QRegularExpression(QStringLiteral("\\s+")), Qt::SkipEmptyParts);
    std::string query;
    for (qsizetype i = 0; i < words.size(); ++i) {
        QString word = words[i];
        word.replace(QLatin1Char('"'), QStringLiteral("\"\""));
        query += (i ? " \"" : "\"") + word.toStdString() + "\"";
        if (i == words.size() - 1)
            query += "*";
    }
    return query;
}

// The items whose document or kept page holds the words and that no column hit showed already, best
// first. A content index that cannot be read adds nothing: the column hits are the answer.
void QuickFindQueries::addContentHits(quint64 generation, const QString& keyword, QuickFindAnswer& answer,
                                      CategoryPaths& paths)
{
    std::error_code absent;
    const std::string query = contentQuery(keyword);
    if (contentIndexPath.empty() || query.empty() || !std::filesystem::exists(contentIndexPath, absent))
        return;
    std::vector<content::ContentHit> found;
    try {
        if (!contentIndex)
            contentIndex = std::make_unique<content::ContentIndex>(contentIndexPath);
        contentIndex->connection().setProgress(&interruption, 2000);
        found = contentIndex->search(query, contentRows + std::size_t(answer.hits.size()), snippetMarks);
    } catch (const std::exception&) {
        contentIndex.reset();
        return;
    }
    if (overtaken(generation) || found.empty())
        return;
    std::unordered_set<std::string> shown;
    for (const QuickFindHit& hit : answer.hits)
        shown.insert(hit.guid);
    std::vector<std::string> guids;
    for (const content::ContentHit& hit : found)
        if (shown.insert(hit.guid).second && guids.size() < std::size_t(contentRows))
            guids.push_back(hit.guid);
    if (guids.empty())
        return;
    search::SearchIndex& searched = index(generation);
    // Read once per query: the column hits may have needed them already.
    if (paths.empty())
        paths = searched.categoryPaths();
    for (const search::ItemText& row : searched.textsOfItems(guids)) {
        const auto hit = std::find_if(found.begin(), found.end(),
                                      [&](const content::ContentHit& each) { return each.guid == row.guid; });
        QuickFindHit shownHit = hitOf(row, paths);
        shownHit.byContent = true;
        shownHit.page = hit->page;
        takeMarks(shownHit, hit->snippet);
        answer.hits.append(shownHit);
    }
}
