// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/content/contentkeeper.h"

#include "content/contentindexer.h"
#include "content/indexlock.h"
#include "content/keptpages.h"
#include "content/pagekeeper.h"
#include "session/worker.h"
#include "shell/paths.h"

#include <QTimer>

#include <unordered_set>
#include <utility>

namespace {

std::int64_t nowMs()
{
    return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

enum class Look { Done, Again, Failed };

// With the user's leave, the pages of web items added since are fetched and kept before the reading,
// which then takes in their text; each page once while the window is open, so a dead link is not asked
// for again after every commit. False when the worker was told to stop meanwhile.
bool keepNewPages(content::ContentIndexer& indexer, const content::IndexerSetup& setup,
                  std::unordered_set<std::string>& askedFor, Progress& progress)
{
    if (!setup.settings.keepPages || setup.pagesFolder.empty())
        return true;
    std::vector<std::string> addresses;
    for (std::string& address : indexer.pagesNotKept())
        if (askedFor.insert(address).second)
            addresses.push_back(std::move(address));
    content::keepPagesNow(addresses, setup.pagesFolder, progress);
    return progress.advance(0, 0);
}

}  // namespace

// Used on the worker's thread only: the reading process lives as long as the window.
struct ContentKeeper::State {
    std::unique_ptr<content::ContentIndexer> indexer;
    content::ContentSettings settings;
    std::string catalogue;
    std::unordered_set<std::string> pagesAskedFor;
};

ContentKeeper::ContentKeeper(std::function<std::string()> cataloguePath, std::string settingsPath, QObject* parent)
    : QObject(parent), soon(new QTimer(this)), catalogue(std::move(cataloguePath)), settings(std::move(settingsPath))
{
    soon->setSingleShot(true);
    soon->setInterval(lookAfterMs);
    connect(soon, &QTimer::timeout, this, &ContentKeeper::look);
    if (cacheFolderPath().empty())
        return;
    worker = std::make_unique<Worker>(nullptr, QThread::LowestPriority);
    state = std::make_shared<State>();
    soon->start();
}

ContentKeeper::~ContentKeeper()
{
    if (worker)
        worker->stop();
}

void ContentKeeper::lookSoon()
{
    if (!soon->isActive())
        soon->start();
}

void ContentKeeper::pause()
{
    *quietUntil = nowMs() + pauseMs;
}

void ContentKeeper::look()
{
    const std::string cataloguePath = catalogue();
    if (!worker || cataloguePath.empty())
        return;
    if (looking) {
        lookAgain = true;
        return;
    }
    looking = true;
    content::IndexerSetup setup;
    setup.cataloguePath = cataloguePath;
    setup.indexPath = content::ContentIndex::pathFor(cataloguePath, cacheFolderPath());
    setup.pagesFolder = content::keptPagesFolder();
    setup.settings = content::loadContentSettings(settings);
    worker->start<Look>(
        [state = state, setup, quiet = quietUntil](Progress& progress) {
            StopWhen yielding([&] { return !progress.advance(0, 0) || nowMs() < *quiet; });
            try {
                content::IndexLock lock(setup.indexPath);
                if (!lock.tryLock())
                    return Look::Again;
                // Settings changed since the last look are taken in by a new indexer.
                if (!state->indexer || state->settings != setup.settings || state->catalogue != setup.cataloguePath) {
                    state->indexer = std::make_unique<content::ContentIndexer>(setup);
                    state->settings = setup.settings;
                    state->catalogue = setup.cataloguePath;
                    state->pagesAskedFor.clear();
                }
                state->indexer->updateFromCatalogue();
                if (!keepNewPages(*state->indexer, setup, state->pagesAskedFor, progress))
                    return Look::Again;
                return state->indexer->refresh(yielding).stopped ? Look::Again : Look::Done;
            } catch (const std::exception&) {
                // The index is a cache: the next commit tries again.
                state->indexer.reset();
                return Look::Failed;
            }
        },
        [this](const Look& result) {
            looking = false;
            if (result == Look::Again || std::exchange(lookAgain, false)) {
                lookSoon();
                return;
            }
            if (result == Look::Done)
                emit settled();
        });
}
