// SPDX-License-Identifier: GPL-3.0-or-later
#include "import/firefoxplaces.h"

#include "base/files.h"
#include "import/bookmarkaddress.h"
#include "import/foldertree.h"
#include "import/importtext.h"
#include "import/placesdatabase.h"

#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <string_view>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

constexpr const char* cannotCopyText = "The file \"%s\" cannot be copied to a temporary folder for reading.";

// Real places.sqlite files are tens of megabytes; the copy of anything larger is refused.
constexpr std::uintmax_t largestPlaces = 1024ull * 1024 * 1024;
// moz_bookmarks.type
constexpr int typeBookmark = 1;
constexpr int typeFolder = 2;

struct Root {
    const char* guid;
    const char* name;
};
constexpr Root roots[] = {{"menu________", "Bookmarks Menu"},
                          {"toolbar_____", "Bookmarks Toolbar"},
                          {"unfiled_____", "Other Bookmarks"},
                          {"mobile______", "Mobile Bookmarks"}};
constexpr const char* placesRootGuid = "root________";
constexpr const char* tagsRootGuid = "tags________";

// The folder of our own that holds the copies being read: one subfolder per read, named after the
// process, so a later start can tell the leftovers of a killed one from those of a running one.
fs::path copiesFolder()
{
    const char* cache = std::getenv("XDG_CACHE_HOME");
    const char* home = std::getenv("HOME");
    const fs::path base =
        cache && fs::path(cache).is_absolute() ? fs::path(cache) : fs::path(home && *home ? home : "/") / ".cache";
    return base / "varnelo" / "profile-copies";
}

constexpr std::string_view copyPrefix = "places-";

// A folder of our own (mode 0700) that is removed with everything in it, whatever happens.
class PrivateFolder {
public:
    explicit PrivateFolder(const std::string& placesPath)
    {
        std::error_code error;
        const fs::path parent = copiesFolder();
        fs::create_directories(parent, error);
        folder = parent / processTemporaryName(copyPrefix);
        if (::mkdir(folder.c_str(), 0700) != 0)
            throwFileError(cannotCopyText, placesPath);
    }
    PrivateFolder(const PrivateFolder&) = delete;
    PrivateFolder& operator=(const PrivateFolder&) = delete;
    ~PrivateFolder()
    {
        std::error_code ignored;
        fs::remove_all(folder, ignored);
    }

    std::string path(const char* name) const { return (folder / name).string(); }

private:
    fs::path folder;
};

bool writeAll(int fd, const char* data, std::size_t size)
{
    while (size > 0) {
        const ssize_t wrote = ::write(fd, data, size);
        if (wrote < 0 && errno == EINTR)
            continue;
        if (wrote <= 0)
            return false;
        data += wrote;
        size -= static_cast<std::size_t>(wrote);
    }
    return true;
}

// Copies by reading only, so the browser's file keeps its bytes and times.
void copyFile(const std::string& from, const std::string& to, const std::string& placesPath)
{
    InputFile source(from, largestPlaces);
    const int fd = ::open(to.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    if (fd < 0)
        throwFileError(cannotCopyText, placesPath);
    std::vector<char> buffer(1 << 16);
    bool copied = true;
    try {
        while (const std::size_t got = source.read(buffer.data(), buffer.size()))
            if (!(copied = writeAll(fd, buffer.data(), got)))
                break;
    } catch (...) {
        ::close(fd);
        throw;
    }
    if (::close(fd) != 0 || !copied)
        throwFileError(cannotCopyText, placesPath);
}

const std::vector<PlacesRow>& childrenOf(const PlacesRows& places, long long id)
{
    static const std::vector<PlacesRow> none;
    const auto found = places.children.find(id);
    return found == places.children.end() ? none : found->second;
}

// Everything below a folder that is too deep to keep; each row is counted once, even when a
// damaged database makes the parents go round in a circle.
int countBelow(const PlacesRows& places, long long id, std::unordered_set<long long>& visited)
{
    int count = 0;
    std::vector<long long> pending{id};
    while (!pending.empty()) {
        const std::vector<PlacesRow>& rows = childrenOf(places, pending.back());
        pending.pop_back();
        for (const PlacesRow& row : rows) {
            if (!visited.insert(row.id).second)
                continue;
            ++count;
            pending.push_back(row.id);
        }
    }
    return count;
}

void readFolder(const PlacesRows& places, long long id, ImportFolder& into, int depth, ImportTree& tree,
                std::unordered_set<long long>& visited)
{
    for (const PlacesRow& row : childrenOf(places, id)) {
        if (!visited.insert(row.id).second)
            continue;
        if (row.type == typeBookmark) {
            appendBookmark(into, tree.skipped, row.title, row.url);
        } else if (row.type == typeFolder && depth + 1 > maxImportDepth) {
            tree.skipped += 1 + countBelow(places, row.id, visited);
        } else if (row.type == typeFolder) {
            into.folders.push_back({importedTitle(row.title), {}, {}});
            readFolder(places, row.id, into.folders.back(), depth + 1, tree, visited);
        } else {
            ++tree.skipped;  // separators
        }
    }
}

ImportTree treeOf(const PlacesRows& places)
{
    ImportTree tree;
    std::unordered_set<long long> visited;
    for (const Root& root : roots)
        if (const auto found = places.ids.find(root.guid); found != places.ids.end())
            visited.insert(found->second);
    for (const Root& root : roots) {
        const auto found = places.ids.find(root.guid);
        if (found == places.ids.end())
            continue;
        ImportFolder folder{root.name, {}, {}};
        readFolder(places, found->second, folder, 1, tree, visited);
        if (!folder.folders.empty() || !folder.entries.empty())
            tree.root.folders.push_back(std::move(folder));
    }
    // The root of all roots and the tags are no bookmarks; whatever else was not reached sits in a
    // loop of parents, or below a parent that does not exist, and is counted as left out.
    for (const char* guid : {placesRootGuid, tagsRootGuid})
        if (const auto found = places.ids.find(guid); found != places.ids.end() && visited.insert(found->second).second)
            countBelow(places, found->second, visited);
    for (const long long id : places.all)
        if (!visited.count(id))
            ++tree.skipped;
    return tree;
}

}  // namespace

void removeLeftoverProfileCopies()
{
    removeOrphanedTemporaries(copiesFolder().string(), copyPrefix);
}

ImportTree readFirefoxPlaces(const std::string& placesPath, Progress& progress)
{
    removeLeftoverProfileCopies();
    PrivateFolder copy(placesPath);
    copyFile(placesPath, copy.path("places.sqlite"), placesPath);
    std::error_code error;
    if (fs::exists(placesPath + "-wal", error))
        copyFile(placesPath + "-wal", copy.path("places.sqlite-wal"), placesPath);
    return treeOf(readPlacesRows(copy.path("places.sqlite"), placesPath, progress));
}
