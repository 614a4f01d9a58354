// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstddef>

// Long work tells how far it got and hears whether to go on. Work that cannot stop part-way without
// harm goes on whatever the answer.
class Progress {
public:
    virtual ~Progress() = default;

    // done of total steps; false asks the work to stop at its next consistent point.
    virtual bool advance(std::size_t done, std::size_t total) = 0;

    // For callers that show nothing: never asks to stop.
    static Progress& none();
};
