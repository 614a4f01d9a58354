// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "check/finding.h"
#include "model/progress.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace check {

// The local path a file item points at: the target itself, or the path of a file:// URL. Empty when
// the target names no absolute local path (then nothing can be checked).
std::string localPathOf(const std::string& target);

struct FileState {
    Kind kind = Kind::Ok;  // Ok, Missing or NotChecked
    int code = 0;          // errno of the failed look-up
    std::string detail;
    std::int64_t size = -1;
};

// Looks the file up without opening it: missing (does not exist, or cannot be reached, with the
// reason) or present with its size.
FileState checkFile(const std::string& target);

// The path with "." and ".." resolved and symbolic links followed as far as the path exists, so two
// spellings of one file compare equal. Empty when the target names no local path.
std::string resolvedFilePath(const std::string& target);

// ---- relinking -----------------------------------------------------------------------------------

struct Candidate {
    std::string path;
    std::int64_t size = -1;
    int matchingComponents = 0;       // how many trailing path components agree with the lost path
    std::optional<bool> sizeMatches;  // unknown when the lost file's size is not known
};

struct RelinkSearch {
    std::vector<Candidate> candidates;  // best first: size confirmed, then longer matching suffix
    int unreadableFolders = 0;
    int loopsSkipped = 0;
    bool cancelled = false;
    bool truncated = false;  // more candidates than were kept
};

// Files below the folders whose name is the lost file's name. Folders reached twice (a symbolic link
// loop, or one folder below another in the list) are walked once; unreadable ones are counted.
// Progress hears the folders walked so far now and then; when it says stop, the walk ends with what
// was found.
RelinkSearch findCandidates(const std::string& lostPath, const std::vector<std::string>& folders,
                            std::int64_t knownSize, Progress& progress = Progress::none());

static constexpr std::size_t maxCandidates = 200;

// The folder move that one relink made: the lost path with prefix `from` now lives below `to`.
struct PrefixMove {
    std::string from;
    std::string to;
};

// The move between a lost path and its new place: the leading folders that differ, the trailing
// components they share. None when the file names differ.
std::optional<PrefixMove> prefixMoveOf(const std::string& lostPath, const std::string& newPath);

// The path moved the same way, or empty when it does not lie below move.from.
std::string movedPath(const std::string& path, const PrefixMove& move);

}  // namespace check
