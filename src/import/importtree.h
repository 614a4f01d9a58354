// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstddef>
#include <string>
#include <vector>

// One thing to store as an item: a web address (type 1) or a file (type 0).
struct ImportEntry {
    std::string name;
    std::string target;
    std::string comment;
    int type = 1;
};
// A folder becomes a category; its folders and entries keep the order of the source.
struct ImportFolder {
    std::string name;
    std::vector<ImportFolder> folders;
    std::vector<ImportEntry> entries;
};
// What a reader found: root's own name is unused (its contents go straight under the category the
// user chose); skipped counts what was deliberately left out (place:, script and data addresses,
// empty or overlong addresses, separators, unreadable subfolders, anything nested too deep, folders
// whose parents go round in a circle).
struct ImportTree {
    ImportFolder root;
    int skipped = 0;
};
int countFolders(const ImportFolder&);  // below the given one, recursively
int countEntries(const ImportFolder&);  // in it and below it

// Folder levels below the root that a reader keeps; a folder deeper down is left out with
// everything in it, each of its folders and entries counted as skipped.
inline constexpr int maxImportDepth = 200;

// What a reader keeps of one bookmark, as browsers bound it: a title is cut after this many
// characters, a description after this many bytes; a longer address is no bookmark.
inline constexpr std::size_t maxTitleCharacters = 4096;
inline constexpr std::size_t maxDescriptionBytes = 64 * 1024;
inline constexpr std::size_t maxAddressBytes = 64 * 1024;
