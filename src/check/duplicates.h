// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "check/finding.h"

#include <string>
#include <vector>

namespace check {

// One item as the duplicate search compares it. For a file item, `resolved` is its resolved path
// (resolvedFilePath); web items are compared by their address.
struct ItemAddress {
    std::string guid;
    int type = 0;
    std::string target;
    std::string resolved;
};

// Items that are the same (one normalised address, one resolved file) as Duplicate, and web items
// that only agree after the looser comparison as PossibleDuplicate; every member of a group gets a
// finding naming the group's first item (the first member names the second). Order of the input.
std::vector<Finding> findDuplicates(const std::vector<ItemAddress>& items);

}  // namespace check
