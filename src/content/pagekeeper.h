// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "check/linkchecker.h"
#include "content/keptpage.h"
#include "model/progress.h"

#include <QObject>

#include <map>
#include <string>
#include <vector>

namespace content {

struct KeepResult {
    bool kept = false;   // a new copy was saved
    std::string file;    // the kept copy (new or old); "" when there is none
    std::string detail;  // why no new copy was saved, in words
};

// Fetches web pages with the link check's limits (2 at a time per host, 15 s, 10 MB) and keeps each as
// one self-contained HTML file in the pages folder (mode 0600): its stylesheets and images fetched
// under the same limits and put inside. An error answer or a page with much less text than the copy
// already kept leaves that copy as it was. Runs in the event loop of the thread that owns it.
class PageKeeper : public QObject {
    Q_OBJECT
public:
    explicit PageKeeper(std::string pagesFolder, check::LinkCheckLimits limits = {}, QObject* parent = nullptr);

    void keep(int id, const std::string& address);
    bool idle() const { return pages.empty(); }

    // A new page keeps the old copy when its text is less than this share of the old copy's.
    static constexpr double smallestShareKept = 0.5;

signals:
    void kept(int id, const content::KeepResult& result);
    void allKept();

private:
    struct Page {
        std::string address;
        std::string finalAddress;
        std::string html;
        std::map<std::string, FetchedResource> resources;
        int waiting = 0;
    };

    void onFetched(int job, const check::LinkResult& result);
    void pageArrived(int id, Page& page, const check::LinkResult& result);
    void finishPage(int id);
    KeepResult save(const Page& page) const;

    std::string folder;
    check::LinkChecker fetcher;
    std::map<int, Page> pages;
    // Fetch jobs: the page they belong to, and the resource address (empty for the page itself).
    std::map<int, std::pair<int, std::string>> jobs;
    int nextJob = 0;
};

// Keeps these pages now and returns once all are done, in the same order: for callers without an
// event loop of their own (the command line, a worker). Asks progress a few times a second and returns
// at once when it says stop, the pages still on their way left unkept. Needs a QCoreApplication.
std::vector<KeepResult> keepPagesNow(const std::vector<std::string>& addresses, const std::string& pagesFolder,
                                     Progress& progress = Progress::none());

// How much text a page holds, as the index would read it.
std::size_t pageTextSize(const std::string& html);

}  // namespace content

Q_DECLARE_METATYPE(content::KeepResult)
