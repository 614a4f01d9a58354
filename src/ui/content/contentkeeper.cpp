// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/content/contentkeeper.h"

#include "content/contentindexer.h"
#include "content/indexlock.h"
#include "content/keptpages.h"
#include "session/worker.h"
#include "shell/paths.h"

#include <QTimer>

#include <utility>

namespace {

std::int64_t nowMs()
{
    return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

enum class Look { Done, Again, Failed };

bool sameSettings(const content::ContentSettings& a, const content::ContentSettings& b)
{
    return a.indexFiles == b.indexFiles && a.keepPages == b.keepPages && a.kinds == b.kinds
           && a.sizeCapMb == b.sizeCapMb;
}

}  // namespace

// Used on the worker's thread only: the reading process lives as long as the window.
struct ContentKeeper::State {
    std::unique_ptr<content::ContentIndexer> indexer;
    content::ContentSettings settings;
    std::string catalogue;
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
                if (!state->indexer || !sameSettings(state->settings, setup.settings)
                    || state->catalogue != setup.cataloguePath) {
                    state->indexer = std::make_unique<content::ContentIndexer>(setup);
                    state->settings = setup.settings;
                    state->catalogue = setup.cataloguePath;
                }
                state->indexer->updateFromCatalogue();
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
