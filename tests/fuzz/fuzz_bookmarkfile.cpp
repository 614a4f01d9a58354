// SPDX-License-Identifier: GPL-3.0-or-later
// The Netscape bookmark-file reader on the fuzzed bytes as an exported bookmark file.
// A file it cannot take is refused with a sentence (std::runtime_error); anything else is a tree
// within the readers' bounds.

#include "fuzzimport.h"

#include "import/bookmarkfilereader.h"

#include <stdexcept>
#include <string>

namespace {

const std::string& inputPath()
{
    static FuzzFolder folder;
    static const std::string path = folder.path("bookmarks.html");
    return path;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    writeInput(inputPath(), data, size);
    try {
        checkImportTree(readBookmarkFile(inputPath()));
    } catch (const std::runtime_error&) {
    }
    return 0;
}
