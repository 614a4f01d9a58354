// SPDX-License-Identifier: GPL-3.0-or-later
#include "session/indexkeeper.h"

#include "search/searchindex.h"
#include "session/worker.h"
#include "shell/paths.h"

#include <QTimer>

// Used on the worker's thread only.
struct IndexKeeper::State {
    std::unique_ptr<search::SearchIndex> index;
    bool built = false;
};

IndexKeeper::IndexKeeper(QObject* parent) : QObject(parent), soon(new QTimer(this))
{
    soon->setSingleShot(true);
    soon->setInterval(lookAfterMs);
    connect(soon, &QTimer::timeout, this, &IndexKeeper::look);
}

IndexKeeper::~IndexKeeper() = default;

void IndexKeeper::follow(const std::string& cataloguePath)
{
    if (cataloguePath == catalogue)
        return;
    worker.reset();
    catalogue = cataloguePath;
    const std::string cache = cacheFolderPath();
    index = catalogue.empty() || cache.empty() ? std::string() : search::SearchIndex::indexPathFor(catalogue, cache);
    *isSettled = false;
    if (index.empty())
        return;
    worker = std::make_unique<Worker>(nullptr, QThread::LowPriority);
    state = std::make_shared<State>();
    lookWaiting = std::make_shared<std::atomic<bool>>(false);
    // The window opens and shows its tree first; a commit meanwhile is taken in by this first look.
    soon->start();
}

void IndexKeeper::lookSoon()
{
    if (!soon->isActive())
        soon->start();
}

void IndexKeeper::look()
{
    if (!worker || lookWaiting->exchange(true))
        return;
    worker->start<bool>(
        [state = state, waiting = lookWaiting, settled = isSettled, catalogue = catalogue,
         index = index](Progress& progress) {
            *waiting = false;
            if (!state->index)
                state->index = std::make_unique<search::SearchIndex>(catalogue, index);
            if (state->built && !state->index->catalogueChanged())
                return false;
            const bool done = state->index->update(progress);
            const bool takenIn = done && state->built;
            state->built = state->built || done;
            *settled = done;
            return takenIn;
        },
        [this](const bool& takenIn) {
            if (takenIn)
                emit updated();
        });
}
