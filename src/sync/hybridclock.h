// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "syncrecord.h"

// A hybrid logical clock: stamps follow the wall clock (in microseconds) but never fall behind the
// highest stamp seen from any device, so a device whose clock runs late still stamps its changes
// after the ones it has already merged, and one that ran ahead cannot win forever.
class HybridClock {
public:
    HybridClock(std::string device, long long last) : device(std::move(device)), latest(last) {}

    // A stamp newer than every stamp made or seen, given the wall clock now.
    Stamp tick(long long wallClock);
    // The same into a stamp kept for it, whose text keeps its room.
    void tick(long long wallClock, Stamp& into);
    void witness(long long clock);
    long long last() const { return latest; }

    // The wall clock in the units of a stamp.
    static long long wallClockNow();

private:
    std::string device;
    long long latest;
};

// How far a stamp may run ahead of this machine's clock before it counts as now: clocks a few minutes
// apart are taken as right.
inline constexpr long long clockTolerance = 5LL * 60 * 1000000;
