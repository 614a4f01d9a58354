// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QObject>

#include <atomic>
#include <memory>
#include <string>

class QTimer;
class Worker;

// Keeps the search index up to the catalogue on a low-priority worker of its own: builds it for the
// catalogue followed and takes in each commit it is told of, whoever made it. The index lies in the
// cache folder and may be deleted at any time; it is then made again.
class IndexKeeper : public QObject {
    Q_OBJECT
public:
    explicit IndexKeeper(QObject* parent = nullptr);
    ~IndexKeeper() override;

    // Follows the catalogue at this path (empty: none) and builds or updates its index.
    void follow(const std::string& cataloguePath);
    // A commit reached the catalogue: the index takes it in after lookAfterMs, with the commits
    // that come meanwhile.
    void lookSoon();
    // The same at once. Looks already waiting count as one.
    void look();

    // True while the index holds every commit the keeper was told of.
    bool settled() const { return *isSettled; }
    // The index file of the catalogue followed; empty when there is none.
    const std::string& indexPath() const { return index; }

    // How long after the catalogue opens, or after a commit, the index is looked at: quick find
    // answers without it meanwhile, the window is shown before the worker competes with it, and a
    // command right after another rarely waits for the index's writes.
    static constexpr int lookAfterMs = 1000;

signals:
    // The index took in a commit after it was first built.
    void updated();

private:
    struct State;

    QTimer* soon;
    std::unique_ptr<Worker> worker;
    std::shared_ptr<State> state;
    std::shared_ptr<std::atomic<bool>> isSettled = std::make_shared<std::atomic<bool>>(false);
    std::shared_ptr<std::atomic<bool>> lookWaiting = std::make_shared<std::atomic<bool>>(false);
    std::string catalogue;
    std::string index;
};
