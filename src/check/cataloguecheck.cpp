// SPDX-License-Identifier: GPL-3.0-or-later
#include "check/cataloguecheck.h"

#include "check/duplicates.h"
#include "check/filecheck.h"
#include "check/urlnormal.h"
#include "storage/cppsqlite3.h"

#include <QDateTime>
#include <QEventLoop>
#include <QTimer>

#include <functional>
#include <unordered_set>

namespace check {

namespace {

// Results are committed in groups: often enough that a cancelled or crashed check keeps nearly
// everything, seldom enough that 200,000 files do not take 200,000 commits.
constexpr std::size_t commitEvery = 2000;
constexpr qint64 commitAfterMs = 1000;
constexpr qint64 progressEveryMs = 100;

std::unordered_set<std::string> branchOf(CppSQLite3DB& db, const std::string& top)
{
    std::unordered_multimap<std::string, std::string> children;
    CppSQLite3Query row = db.ExecuteQuery("select guid, parent_guid from category_table;");
    for (; !row.Eof(); row.NextRow())
        children.emplace(row.fieldText("parent_guid"), row.fieldText("guid"));
    std::unordered_set<std::string> branch{top};
    std::vector<std::string> pending{top};
    while (!pending.empty()) {
        const std::string guid = std::move(pending.back());
        pending.pop_back();
        const auto [first, last] = children.equal_range(guid);
        for (auto it = first; it != last; ++it)
            if (branch.insert(it->second).second)
                pending.push_back(it->second);
    }
    return branch;
}

qint64 clock()
{
    return QDateTime::currentMSecsSinceEpoch();
}

}  // namespace

std::vector<CheckedItem> readItems(CppSQLite3DB& db, const std::string& categoryGuid)
{
    std::unordered_set<std::string> branch;
    if (!categoryGuid.empty())
        branch = branchOf(db, categoryGuid);
    std::vector<CheckedItem> items;
    CppSQLite3Query row =
        db.ExecuteQuery("select guid, name, target, category, type from link_table order by itemorder;");
    for (; !row.Eof(); row.NextRow()) {
        CheckedItem item{row.fieldText("guid"), row.fieldText("name"), row.fieldText("target"),
                         row.fieldText("category"), row.fieldInt("type")};
        if (categoryGuid.empty() || branch.count(item.category))
            items.push_back(std::move(item));
    }
    return items;
}

std::unordered_map<std::string, std::string> categoryPaths(CppSQLite3DB& db)
{
    struct Row {
        std::string name;
        std::string parent;
    };
    std::unordered_map<std::string, Row> rows;
    CppSQLite3Query row = db.ExecuteQuery("select guid, name, parent_guid from category_table;");
    for (; !row.Eof(); row.NextRow())
        rows[row.fieldText("guid")] = {row.fieldText("name"), row.fieldText("parent_guid")};
    std::unordered_map<std::string, std::string> paths;
    for (const auto& [guid, entry] : rows) {
        std::string path = entry.name;
        std::unordered_set<std::string> seen{guid};
        for (auto parent = rows.find(entry.parent); parent != rows.end() && seen.insert(parent->first).second;
             parent = rows.find(parent->second.parent))
            path = parent->second.name + "/" + path;
        paths[guid] = std::move(path);
    }
    return paths;
}

CatalogueCheck::CatalogueCheck(std::string path, CheckOptions checkOptions, QObject* parent)
    : QObject(parent), databasePath(std::move(path)), options(std::move(checkOptions))
{
    qRegisterMetaType<check::StoredFinding>();
    qRegisterMetaType<check::CheckSummary>();
}

CheckSummary CatalogueCheck::run()
{
    CheckSummary summary;
    CppSQLite3DB connection;
    CheckStore store(connection);
    db = &connection;
    results = &store;
    try {
        connection.Open(databasePath.c_str());
        runChecks(summary);
        commitNow();
    } catch (const std::exception& error) {
        summary.error = error.what();
        if (connection.IsOpen() && connection.InTransaction())
            connection.ExecuteStatement("rollback transaction;");
    }
    summary.cancelled = cancelRequested;
    db = nullptr;
    results = nullptr;
    emit progress(static_cast<qint64>(done), static_cast<qint64>(total));
    emit finished(summary);
    return summary;
}

void CatalogueCheck::runChecks(CheckSummary& summary)
{
    now = QDateTime::currentSecsSinceEpoch();
    if (!db->TableExists("link_table"))
        throw std::runtime_error("The file holds no catalogue");
    results->ensureTable();
    results->prune();
    results->loadPrevious();
    const std::vector<CheckedItem> items = readItems(*db, options.categoryGuid);
    summary.items = items.size();
    std::vector<const CheckedItem*> files;
    std::vector<const CheckedItem*> links;
    for (const CheckedItem& item : items)
        (item.type == 1 ? links : files).push_back(&item);
    total = (options.files ? files.size() : 0) + (options.links ? links.size() : 0)
            + (options.duplicates ? items.size() : 0);
    if (options.files)
        checkFiles(files, summary);
    if (options.links && !cancelRequested)
        checkLinks(links, summary);
    if (options.duplicates && !cancelRequested)
        checkDuplicates(items, summary);
}

void CatalogueCheck::store(const Finding& finding, CheckSummary& summary)
{
    if (uncommitted == 0)
        db->ExecuteStatement("begin transaction;");
    const StoredFinding stored = results->record(finding, now);
    ++uncommitted;
    if (finding.kind != Kind::Ok) {
        ++summary.problems;
        emit found(stored);
    }
    if (uncommitted >= commitEvery || clock() - lastCommit >= commitAfterMs)
        commitNow();
}

void CatalogueCheck::commitNow()
{
    if (uncommitted > 0)
        db->ExecuteStatement("commit transaction;");
    uncommitted = 0;
    lastCommit = clock();
}

void CatalogueCheck::step(CheckSummary& summary)
{
    ++done;
    ++summary.checked;
    const qint64 at = clock();
    if (at - lastProgress >= progressEveryMs) {
        lastProgress = at;
        emit progress(static_cast<qint64>(done), static_cast<qint64>(total));
    }
}

void CatalogueCheck::checkFiles(const std::vector<const CheckedItem*>& files, CheckSummary& summary)
{
    for (const CheckedItem* item : files) {
        if (cancelRequested)
            return;
        const FileState state = checkFile(item->target);
        Finding finding;
        finding.guid = item->guid;
        finding.aspect = Aspect::File;
        finding.kind = state.kind;
        finding.code = state.code;
        finding.target = item->target;
        finding.detail = state.detail;
        finding.size = state.size;
        store(finding, summary);
        step(summary);
    }
    results->finishRun(Aspect::File, options.categoryGuid, now);
}

void CatalogueCheck::checkLinks(const std::vector<const CheckedItem*>& links, CheckSummary& summary)
{
    LinkChecker checker(options.limits);
    QEventLoop loop;
    const auto linkFinding = [](const CheckedItem& item) {
        Finding finding;
        finding.guid = item.guid;
        finding.aspect = Aspect::Link;
        finding.target = item.target;
        return finding;
    };
    connect(&checker, &LinkChecker::checked, &loop, [&](int id, const LinkResult& result) {
        Finding finding = linkFinding(*links[static_cast<std::size_t>(id)]);
        finding.kind = result.kind;
        finding.code = result.code;
        finding.detail = result.detail;
        finding.newTarget = result.newTarget;
        store(finding, summary);
        step(summary);
    });
    connect(&checker, &LinkChecker::allChecked, &loop, &QEventLoop::quit);
    int queued = 0;
    for (std::size_t i = 0; i < links.size(); ++i) {
        const std::string address = webAddressOf(links[i]->target, 1);
        const std::string reason = notCheckedReason(address);
        if (reason.empty()) {
            checker.enqueue(static_cast<int>(i), address);
            ++queued;
            continue;
        }
        Finding finding = linkFinding(*links[i]);
        finding.kind = Kind::NotChecked;
        finding.detail = reason;
        store(finding, summary);
        step(summary);
    }
    if (queued == 0) {
        results->finishRun(Aspect::Link, options.categoryGuid, now);
        return;
    }
    QTimer watch;
    connect(&watch, &QTimer::timeout, &loop, [&] {
        if (cancelRequested)
            checker.cancel();
        else if (uncommitted > 0 && clock() - lastCommit >= commitAfterMs)
            commitNow();
    });
    watch.start(50);
    loop.exec();
    if (!cancelRequested)
        results->finishRun(Aspect::Link, options.categoryGuid, now);
}

void CatalogueCheck::checkDuplicates(const std::vector<CheckedItem>& items, CheckSummary& summary)
{
    std::vector<ItemAddress> addresses;
    std::vector<std::string> guids;
    addresses.reserve(items.size());
    for (const CheckedItem& item : items) {
        if (cancelRequested)
            return;
        addresses.push_back(
            {item.guid, item.type, item.target, item.type == 1 ? std::string() : resolvedFilePath(item.target)});
        guids.push_back(item.guid);
        step(summary);
    }
    // The old groups go in the same transaction as the new ones, so no moment shows neither.
    if (uncommitted == 0) {
        db->ExecuteStatement("begin transaction;");
        ++uncommitted;
    }
    results->clearDuplicates(guids, options.categoryGuid.empty());
    for (const Finding& finding : findDuplicates(addresses))
        store(finding, summary);
}

}  // namespace check
