// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <string>

// A large catalogue written straight into a FavoritesDB.db, the same from run to run: its
// random numbers come from a fixed seed.

// The two categories the benchmarks look for by name; no other category carries these names.
inline constexpr const char* largeCategoryName = "Scanned invoices";
inline constexpr const char* deleteSubtreeName = "Old projects";

struct CatalogueSize {
    int categories = 10000;  // the six built-in ones included
    int items = 200000;
    int largeCategoryItems = 5000;      // all held by largeCategoryName
    int deleteSubtreeCategories = 300;  // deleteSubtreeName and everything below it
    int topLevelCategories = 45;        // the four built-in ones and deleteSubtreeName included
};

struct GeneratedCatalogue {
    std::string largeCategoryGuid;
    std::string deleteSubtreeGuid;
    int deepestLevel = 0;
};

// Writes a new catalogue at path (an existing file there is replaced): the program's three
// tables, the six built-in categories first, then the generated categories and items in
// insertion order, and the indexes the program creates on open. Raises std::runtime_error
// with SQLite's message when a statement fails.
GeneratedCatalogue generateCatalogue(const std::string& path, const CatalogueSize& size = {});
