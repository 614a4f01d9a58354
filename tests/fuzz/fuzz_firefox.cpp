// SPDX-License-Identifier: GPL-3.0-or-later
// The Firefox profile reader on the fuzzed bytes as a profile's places.sqlite.
// A file it cannot take is refused with a sentence (std::runtime_error); anything else is a tree
// within the readers' bounds.

#include "fuzzimport.h"

#include "import/firefoxplaces.h"

#include <stdexcept>
#include <string>

namespace {

const std::string& inputPath()
{
    static FuzzFolder folder;
    static const std::string path = folder.path("places.sqlite");
    return path;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    writeInput(inputPath(), data, size);
    try {
        checkImportTree(readFirefoxPlaces(inputPath()));
    } catch (const std::runtime_error&) {
    }
    return 0;
}
