// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "model/ccategory.h"

#include <cstdint>
#include <map>

// Groups categories by level so they can be written parents first. Points at the categories,
// never owns them.
class CCategoryManager {
public:
    using Levels = std::map<std::uint32_t, CCategoryList>;

    void Add(CCategory* category);
    void Clear();

    bool empty() const { return levels.empty(); }
    // Levels ascending, each level's categories in the order they were added.
    Levels::const_iterator begin() const { return levels.begin(); }
    Levels::const_iterator end() const { return levels.end(); }

private:
    Levels levels;
};
