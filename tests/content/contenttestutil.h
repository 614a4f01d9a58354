// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "content/contentindexer.h"

#include "testcatalogue.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

// A catalogue, a folder of files for its items, and a content index of its own.
struct ContentTest : ::testing::Test {
    content::IndexerSetup setup(content::ExtractLimits limits = {}) const
    {
        content::IndexerSetup made;
        made.cataloguePath = catalogue.path;
        made.indexPath = files.path("cache/content.db");
        made.pagesFolder = files.path("pages");
        made.limits = limits;
        return made;
    }
    std::string file(const std::string& name) const { return files.path(name); }

    TestCatalogue catalogue;
    TempFolder files;
};

// The GUIDs of the items the words find, sorted.
inline std::vector<std::string> found(content::ContentIndex& index, const std::string& words)
{
    std::vector<std::string> guids;
    for (const content::ContentHit& hit : index.search(words, 100))
        guids.push_back(hit.guid);
    std::sort(guids.begin(), guids.end());
    return guids;
}

inline std::vector<std::string> sorted(std::vector<std::string> guids)
{
    std::sort(guids.begin(), guids.end());
    return guids;
}
