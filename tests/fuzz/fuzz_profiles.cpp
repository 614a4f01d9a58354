// SPDX-License-Identifier: GPL-3.0-or-later
// The browser profile lists: a home folder whose Firefox profiles.ini and Chromium Local State are
// both the fuzzed bytes, beside one real profile of each, searched by findBrowserProfiles. Every
// profile found points at a bookmarks file that is there.

#include "fuzzimport.h"

#include "import/browserprofiles.h"

#include <filesystem>
#include <string>

namespace fs = std::filesystem;

namespace {

constexpr char chromiumBookmarks[] =
    R"({"roots": {"bookmark_bar": {"type": "folder", "name": "bar", "children": [)"
    R"({"type": "url", "name": "Varnelo", "url": "https://example.org/"}]}}, "version": 1})";

struct Ground {
    FuzzFolder folder;
    std::string home = folder.path("home");
    std::string firefox = home + "/.mozilla/firefox";
    std::string chromium = home + "/.config/chromium";

    Ground()
    {
        fs::create_directories(firefox + "/default");
        fs::create_directories(chromium + "/Default");
        // An empty places.sqlite is no bookmark database: the profile is listed with no count.
        writeInput(firefox + "/default/places.sqlite", nullptr, 0);
        writeInput(chromium + "/Default/Bookmarks", reinterpret_cast<const uint8_t*>(chromiumBookmarks),
                   sizeof chromiumBookmarks - 1);
    }
};

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    ground<Ground>();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    Ground& g = ground<Ground>();
    writeInput(g.firefox + "/profiles.ini", data, size);
    writeInput(g.chromium + "/Local State", data, size);
    int chromiumProfiles = 0;
    for (const BrowserProfile& profile : findBrowserProfiles(g.home)) {
        std::error_code error;
        FUZZ_CHECK(fs::is_regular_file(profile.bookmarksPath, error));
        FUZZ_CHECK(profile.bookmarkCount >= -1);
        if (profile.kind == BrowserProfile::Kind::Chromium) {
            ++chromiumProfiles;
            FUZZ_CHECK(profile.bookmarksPath == g.chromium + "/Default/Bookmarks" && profile.bookmarkCount == 1);
        }
    }
    FUZZ_CHECK(chromiumProfiles == 1);
    return 0;
}
