// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <string>

namespace check {

// What a check found about one item. Ok is stored too: it dates the last check and keeps a file's size.
enum class Kind { Ok, Missing, Dead, Moved, Unknown, Tls, Duplicate, PossibleDuplicate, NotChecked };

// Which check an item's stored result belongs to; an item has at most one result per aspect.
enum class Aspect { File, Link, Duplicate };

// The names the command line and the results table use.
const char* kindName(Kind kind);
Kind kindFromName(const std::string& name);
const char* aspectName(Aspect aspect);
// The text the results window shows for a kind, as a group heading.
const char* kindHeading(Kind kind);

// Whether an item with this finding gets a mark in the item list.
inline bool isBroken(Kind kind)
{
    return kind == Kind::Missing || kind == Kind::Dead;
}

struct Finding {
    std::string guid;
    Aspect aspect = Aspect::File;
    Kind kind = Kind::Ok;
    int code = 0;            // HTTP status, or errno for files; 0 when none applies
    std::string target;      // the target as stored when checked
    std::string detail;      // the reason in words
    std::string newTarget;   // moved: the new address
    std::string otherGuid;   // duplicates: the first item of the group
    std::int64_t size = -1;  // files: the size seen when present, -1 unknown
};

}  // namespace check
