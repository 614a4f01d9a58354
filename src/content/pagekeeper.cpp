// SPDX-License-Identifier: GPL-3.0-or-later
#include "content/pagekeeper.h"

#include "base/files.h"
#include "content/keptpages.h"
#include "extract/markuptext.h"

#include <QEventLoop>
#include <QTimer>

#include <filesystem>

namespace content {

namespace {

// A page that names more than this many stylesheets and images keeps the rest at their addresses.
constexpr std::size_t mostResources = 200;
constexpr std::size_t largestKeptPage = 64 * 1024 * 1024;

bool isHtml(const std::string& contentType)
{
    const std::string type = contentType.substr(0, contentType.find(';'));
    return type.empty() || type == "text/html" || type == "application/xhtml+xml";
}

std::string kilobytes(std::size_t bytes)
{
    return std::to_string((bytes + 1023) / 1024) + " KB";
}

}  // namespace

std::size_t pageTextSize(const std::string& html)
{
    extract::TextSink sink(largestKeptPage, [](int, std::string_view) {});
    extract::MarkupText markup(sink, extract::htmlRules(), extract::MarkupText::Language::Html);
    markup.feed(html);
    markup.finish();
    sink.finish();
    return sink.size();
}

PageKeeper::PageKeeper(std::string pagesFolder, check::LinkCheckLimits limits, QObject* parent)
    : QObject(parent), folder(std::move(pagesFolder)), fetcher(limits)
{
    qRegisterMetaType<content::KeepResult>();
    connect(&fetcher, &check::LinkChecker::checked, this, &PageKeeper::onFetched);
}

void PageKeeper::keep(int id, const std::string& address)
{
    pages[id].address = address;
    jobs[nextJob] = {id, {}};
    fetcher.fetch(nextJob++, address);
}

void PageKeeper::onFetched(int job, const check::LinkResult& result)
{
    const auto place = jobs.find(job);
    if (place == jobs.end())
        return;
    const auto [id, resource] = place->second;
    jobs.erase(place);
    Page& page = pages[id];
    if (resource.empty()) {
        pageArrived(id, page, result);
        return;
    }
    if (result.kind == check::Kind::Ok || result.kind == check::Kind::Moved)
        page.resources[resource] = {result.contentType, result.body};
    if (--page.waiting == 0)
        finishPage(id);
}

void PageKeeper::pageArrived(int id, Page& page, const check::LinkResult& result)
{
    const bool answered = result.kind == check::Kind::Ok || result.kind == check::Kind::Moved;
    if (!answered || !isHtml(result.contentType)) {
        KeepResult failure;
        failure.detail = answered ? "the address gives " + result.contentType + ", not a page"
                                  : "the page could not be fetched: " + result.detail;
        const std::string old = keptCopyPath(folder, page.address);
        std::error_code ignored;
        if (std::filesystem::exists(old, ignored)) {
            failure.file = old;
            failure.detail += "; the kept copy stays as it was";
        }
        pages.erase(id);
        emit kept(id, failure);
        if (pages.empty())
            emit allKept();
        return;
    }
    page.html = result.body;
    page.finalAddress = result.finalAddress.empty() ? page.address : result.finalAddress;
    std::vector<std::string> resources = pageResources(page.html, page.finalAddress);
    if (resources.size() > mostResources)
        resources.resize(mostResources);
    page.waiting = int(resources.size());
    if (resources.empty()) {
        finishPage(id);
        return;
    }
    for (const std::string& resource : resources) {
        jobs[nextJob] = {id, resource};
        fetcher.fetch(nextJob++, resource);
    }
}

void PageKeeper::finishPage(int id)
{
    const auto place = pages.find(id);
    const KeepResult result = save(place->second);
    pages.erase(place);
    emit kept(id, result);
    if (pages.empty())
        emit allKept();
}

KeepResult PageKeeper::save(const Page& page) const
{
    KeepResult result;
    const std::string path = keptCopyPath(folder, page.address);
    const std::string html = keptPage(page.html, page.finalAddress, page.resources);
    if (html.empty()) {
        result.detail = "the page cannot be read as HTML";
        return result;
    }
    if (const auto old = readRegularFile(path, largestKeptPage)) {
        const std::size_t oldText = pageTextSize(*old);
        const std::size_t newText = pageTextSize(html);
        if (double(newText) < double(oldText) * smallestShareKept) {
            result.file = path;
            result.detail = "the page now holds much less text (" + kilobytes(newText) + " against "
                            + kilobytes(oldText) + "); the kept copy stays as it was";
            return result;
        }
    }
    if (!writeKeptCopy(folder, page.address, html)) {
        result.detail = "the copy cannot be written to " + folder;
        return result;
    }
    result.kept = true;
    result.file = path;
    return result;
}

std::vector<KeepResult> keepPagesNow(const std::vector<std::string>& addresses, const std::string& pagesFolder,
                                     Progress& progress)
{
    std::vector<KeepResult> results(addresses.size(), KeepResult{false, {}, "stopped before the page arrived"});
    if (addresses.empty())
        return results;
    PageKeeper keeper(pagesFolder);
    QEventLoop loop;
    std::size_t done = 0;
    QObject::connect(&keeper, &PageKeeper::kept, [&](int id, const KeepResult& result) {
        results[std::size_t(id)] = result;
        ++done;
    });
    QObject::connect(&keeper, &PageKeeper::allKept, &loop, &QEventLoop::quit);
    // Asked now and then: a page can take the whole wait the limits allow.
    QTimer asking;
    QObject::connect(&asking, &QTimer::timeout, [&] {
        if (!progress.advance(done, addresses.size()))
            loop.quit();
    });
    asking.start(100);
    for (std::size_t i = 0; i < addresses.size(); ++i)
        keeper.keep(int(i), addresses[i]);
    loop.exec();
    return results;
}

}  // namespace content
