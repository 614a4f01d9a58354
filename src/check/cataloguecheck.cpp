// SPDX-License-Identifier: GPL-3.0-or-later
#include "check/cataloguecheck.h"

#include "base/address.h"
#include "check/duplicates.h"
#include "check/filecheck.h"
#include "check/urlnormal.h"
#include "storage/cdbmanager.h"

#include <QDateTime>
#include <QEventLoop>
#include <QTimer>

#include <unordered_set>
#include <utility>

namespace check {

namespace {

// Results are committed in groups: often enough that a cancelled or crashed check keeps nearly
// everything, seldom enough that 200,000 files do not take 200,000 commits.
constexpr std::size_t commitEvery = 2000;
constexpr qint64 commitAfterMs = 1000;

qint64 clock()
{
    return QDateTime::currentMSecsSinceEpoch();
}

}  // namespace

std::vector<CheckedItem> readItems(CppSQLite3DB& db, const std::string& categoryGuid)
{
    std::vector<CheckedItem> items = readItemRows(db);
    if (!categoryGuid.empty()) {
        const std::unordered_set<std::string> branch = branchOf(readCategoryRows(db), categoryGuid);
        std::erase_if(items, [&](const CheckedItem& item) { return !branch.count(item.category); });
    }
    return items;
}

std::unordered_map<std::string, std::string> categoryPaths(CppSQLite3DB& db)
{
    return ::categoryPaths(readCategoryRows(db));
}

CatalogueCheck::CatalogueCheck(std::string path, CheckOptions checkOptions, QObject* parent)
    : QObject(parent), databasePath(std::move(path)), options(std::move(checkOptions))
{
    qRegisterMetaType<check::StoredFinding>();
    qRegisterMetaType<check::CheckSummary>();
}

CheckSummary CatalogueCheck::run(Progress& heard)
{
    CheckSummary summary;
    CppSQLite3DB connection;
    CheckStore store(connection);
    progress = &heard;
    stopped = false;
    db = &connection;
    results = &store;
    try {
        connection.Open(databasePath.c_str());
        runChecks(summary);
        commitNow();
    } catch (const std::exception& error) {
        summary.error = error.what();
        batch.reset();
    }
    summary.cancelled = stopped;
    db = nullptr;
    results = nullptr;
    progress->advance(done, total);
    progress = nullptr;
    emit finished(summary);
    return summary;
}

void CatalogueCheck::runChecks(CheckSummary& summary)
{
    now = QDateTime::currentSecsSinceEpoch();
    if (!db->TableExists(link_table))
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
    if (options.links && !stopped)
        checkLinks(links, summary);
    if (options.duplicates && !stopped)
        checkDuplicates(items, summary);
}

void CatalogueCheck::store(const Finding& finding, CheckSummary& summary)
{
    if (!batch)
        batch.emplace(*db);
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
    if (batch)
        batch->Commit();
    batch.reset();
    uncommitted = 0;
    lastCommit = clock();
}

void CatalogueCheck::step(CheckSummary& summary)
{
    ++done;
    ++summary.checked;
    keepGoing();
}

bool CatalogueCheck::keepGoing()
{
    if (!stopped)
        stopped = !progress->advance(done, total);
    return !stopped;
}

void CatalogueCheck::checkFiles(const std::vector<const CheckedItem*>& files, CheckSummary& summary)
{
    for (const CheckedItem* item : files) {
        if (stopped)
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
    // The link checker's question is answered by the whole check, at its own count.
    StopWhen linkProgress([this] { return !keepGoing(); });
    LinkChecker checker(options.limits, linkProgress);
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
        if (uncommitted > 0 && clock() - lastCommit >= commitAfterMs)
            commitNow();
    });
    watch.start(50);
    loop.exec();
    if (!stopped)
        results->finishRun(Aspect::Link, options.categoryGuid, now);
}

void CatalogueCheck::checkDuplicates(const std::vector<CheckedItem>& items, CheckSummary& summary)
{
    std::vector<ItemAddress> addresses;
    std::vector<std::string> guids;
    addresses.reserve(items.size());
    for (const CheckedItem& item : items) {
        if (stopped)
            return;
        addresses.push_back(
            {item.guid, item.type, item.target, item.type == 1 ? std::string() : resolvedFilePath(item.target)});
        guids.push_back(item.guid);
        step(summary);
    }
    // The old groups go in the same transaction as the new ones, so no moment shows neither.
    if (!batch) {
        batch.emplace(*db);
        ++uncommitted;
    }
    results->clearDuplicates(guids, options.categoryGuid.empty());
    for (const Finding& finding : findDuplicates(addresses))
        store(finding, summary);
}

}  // namespace check
