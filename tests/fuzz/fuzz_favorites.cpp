// SPDX-License-Identifier: GPL-3.0-or-later
// The Favorites readers: a folder holding the fuzzed bytes as x.url and as x.desktop, read by
// CFavoriteEngine. Each link the engine keeps has a URL and a name in valid UTF-8: the shortcut is
// named "x" after its file, and the desktop entry by its trimmed Name= when it has one.

#include "fuzzsupport.h"

#include "base/text.h"
#include "import/cfavoriteengine.h"
#include "import/importtext.h"

#include <filesystem>
#include <string>

namespace {

struct Ground {
    FuzzFolder folder;
    std::string favorites = folder.path("Favorites");
    Ground() { std::filesystem::create_directory(favorites); }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    Ground& g = ground<Ground>();
    writeInput(g.favorites + "/x.url", data, size);
    writeInput(g.favorites + "/x.desktop", data, size);
    CFavoriteEngine engine(g.favorites);
    const FavoriteNode* root = engine.ReadFavorites();
    FUZZ_CHECK(root != nullptr && root->nextFolder == nullptr);
    int links = 0;
    int namedInside = 0;
    for (const FavoriteNode* link = root->nextLink.get(); link; link = link->nextLink.get()) {
        ++links;
        FUZZ_CHECK(link->kind == FavoriteNode::kindLink);
        FUZZ_CHECK(!link->url.empty() && isUtf8(link->url));
        FUZZ_CHECK(!link->name.empty() && isUtf8(link->name) && trimControl(link->name) == link->name);
        if (link->name != "x")
            ++namedInside;
    }
    FUZZ_CHECK(links <= 2 && namedInside <= 1);
    return 0;
}
