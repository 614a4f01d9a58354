// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QObject>

#include <atomic>
#include <chrono>
#include <functional>
#include <memory>
#include <string>

class QTimer;
class Worker;

// Keeps the content index up to the catalogue and its files from the window: after the catalogue is
// opened and after each commit, a low-priority worker follows the items added, edited or deleted and
// reads the files that changed, one at a time in the reading process; when the user turned it on, it
// first keeps a copy of each new web item's page. It yields to the user: while quick find is typed in
// it stops between two files and goes on a moment later. Another program
// updating the index (varnelo-cli index) is waited for by looking again later.
class ContentKeeper : public QObject {
    Q_OBJECT
public:
    // cataloguePath: the open catalogue's path, asked at each look (the window opens it after this is
    // made, and again after a restore); settingsPath: where the content settings are, read at each look.
    ContentKeeper(std::function<std::string()> cataloguePath, std::string settingsPath, QObject* parent);
    ~ContentKeeper() override;

    // A commit reached the catalogue: the index takes it in after lookAfterMs.
    void lookSoon();
    // The user is typing: reading waits until pauseMs after the last key.
    void pause();

    static constexpr int lookAfterMs = 2000;
    static constexpr int pauseMs = 1500;

signals:
    // A look ended with the index holding every change it was told of.
    void settled();

private:
    struct State;
    void look();

    QTimer* soon;
    std::unique_ptr<Worker> worker;
    std::shared_ptr<State> state;
    std::shared_ptr<std::atomic<std::int64_t>> quietUntil = std::make_shared<std::atomic<std::int64_t>>(0);
    std::function<std::string()> catalogue;
    std::string settings;
    bool looking = false;
    bool lookAgain = false;
};
