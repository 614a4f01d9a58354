// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// What every import reader's tree must be, whatever the file held: no deeper than the readers keep,
// every entry a web or file entry with a target that is no script or data address, titles one
// line of valid UTF-8 within the title bound, descriptions and addresses within theirs.

#include "fuzzsupport.h"

#include "base/address.h"
#include "import/importtext.h"
#include "import/importtree.h"

#include <string>

inline bool isBoundedTitle(const std::string& title)
{
    if (!isUtf8(title) || title.find_first_of("\r\n\t") != std::string::npos)
        return false;
    std::size_t characters = 0;
    for (const char c : title)
        characters += (static_cast<unsigned char>(c) & 0xC0) != 0x80 ? 1 : 0;
    return characters <= maxTitleCharacters;
}

inline void checkImportFolder(const ImportFolder& folder, int depth)
{
    FUZZ_CHECK(depth <= maxImportDepth);
    for (const ImportEntry& entry : folder.entries) {
        FUZZ_CHECK((entry.type == 0 || entry.type == 1) && !entry.target.empty());
        FUZZ_CHECK(entry.target.size() <= maxAddressBytes && (entry.type == 0 || !isScriptAddress(entry.target)));
        FUZZ_CHECK(isBoundedTitle(entry.name) && !entry.name.empty());
        FUZZ_CHECK(entry.comment.size() <= maxDescriptionBytes);
    }
    for (const ImportFolder& child : folder.folders) {
        FUZZ_CHECK(isBoundedTitle(child.name));
        checkImportFolder(child, depth + 1);
    }
}

inline void checkImportTree(const ImportTree& tree)
{
    FUZZ_CHECK(tree.skipped >= 0);
    checkImportFolder(tree.root, 0);
}
