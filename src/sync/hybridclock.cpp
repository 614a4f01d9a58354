// SPDX-License-Identifier: GPL-3.0-or-later
#include "hybridclock.h"

#include <algorithm>
#include <chrono>

Stamp HybridClock::tick(long long wallClock)
{
    Stamp stamp;
    tick(wallClock, stamp);
    return stamp;
}

void HybridClock::tick(long long wallClock, Stamp& into)
{
    latest = std::max(wallClock, latest + 1);
    into.clock = latest;
    into.device.assign(device);
}

void HybridClock::witness(long long clock)
{
    latest = std::max(latest, clock);
}

long long HybridClock::wallClockNow()
{
    using namespace std::chrono;
    return duration_cast<microseconds>(system_clock::now().time_since_epoch()).count();
}
