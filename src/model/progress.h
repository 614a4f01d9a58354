// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstddef>
#include <functional>
#include <utility>

// Long work tells how far it got and hears whether to go on. Work that cannot stop part-way without
// harm goes on whatever the answer. Every long operation below the window speaks this one protocol,
// on whatever thread it runs: the caller's implementation decides what "how far" shows and where the
// answer comes from.
class Progress {
public:
    virtual ~Progress() = default;

    // done of total steps (total 0: not known); false asks the work to stop at its next consistent
    // point.
    virtual bool advance(std::size_t done, std::size_t total) = 0;

    // For callers that show nothing: never asks to stop.
    static Progress& none();
};

// Progress that shows nothing and asks a function whether to stop: for work a worker is told to drop
// (a shutdown, a query a newer keystroke overtook).
class StopWhen final : public Progress {
public:
    explicit StopWhen(std::function<bool()> stopNow) : stop(std::move(stopNow)) {}
    bool advance(std::size_t, std::size_t) override { return !stop(); }

private:
    std::function<bool()> stop;
};
