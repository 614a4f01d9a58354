// SPDX-License-Identifier: GPL-3.0-or-later
#include "import/firefoxplaces.h"

#include "import/bookmarkaddress.h"
#include "import/importtext.h"
#include "storage/cppsqlite3.h"

#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include <fcntl.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

constexpr const char* notFirefoxPlacesText = "The file \"%s\" is not a Firefox bookmark database.";
constexpr const char* cannotCopyText = "The file \"%s\" cannot be copied to a temporary folder for reading.";

constexpr const char* bookmarksQuery =
    "select b.id, b.type, b.parent, b.title, b.guid, p.url from moz_bookmarks b "
    "left join moz_places p on p.id = b.fk order by b.parent, b.position, b.id";

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

struct Row {
    long long id;
    int type;
    std::string title;
    std::string url;
};

struct Places {
    std::unordered_map<long long, std::vector<Row>> children;   // by parent, in position order
    std::unordered_map<std::string, long long> ids;             // by guid
};

// A folder of our own (mode 0700) that is removed with everything in it, whatever happens.
class PrivateFolder {
public:
    explicit PrivateFolder(const std::string& placesPath)
    {
        std::error_code error;
        std::string pattern = (fs::temp_directory_path(error) / "varnelo-places-XXXXXX").string();
        if (error || !::mkdtemp(pattern.data()))
            throwFileError(cannotCopyText, placesPath);
        folder = pattern;
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
    InputFile source(from, UINTMAX_MAX);
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

long long integerField(const CppSQLite3Query& query, const char* field)
{
    const char* value = query.FieldValue(field);
    return value ? std::strtoll(value, nullptr, 10) : 0;
}

Places readPlaces(CppSQLite3DB& db)
{
    Places places;
    for (CppSQLite3Query query = db.ExecuteQuery(bookmarksQuery); !query.Eof(); query.NextRow()) {
        const long long id = integerField(query, "id");
        places.ids.emplace(query.fieldText("guid"), id);
        places.children[integerField(query, "parent")].push_back(
            {id, query.fieldInt("type"), query.fieldText("title"), query.fieldText("url")});
    }
    return places;
}

const std::vector<Row>& childrenOf(const Places& places, long long id)
{
    static const std::vector<Row> none;
    const auto found = places.children.find(id);
    return found == places.children.end() ? none : found->second;
}

// Everything below a folder that is too deep to keep; each row is counted once, even when a
// damaged database makes the parents go round in a circle.
int countBelow(const Places& places, long long id, std::unordered_set<long long>& visited)
{
    int count = 0;
    std::vector<long long> pending{id};
    while (!pending.empty()) {
        const std::vector<Row>& rows = childrenOf(places, pending.back());
        pending.pop_back();
        for (const Row& row : rows) {
            if (!visited.insert(row.id).second)
                continue;
            ++count;
            pending.push_back(row.id);
        }
    }
    return count;
}

void readFolder(const Places& places, long long id, ImportFolder& into, int depth, ImportTree& tree,
                std::unordered_set<long long>& visited)
{
    for (const Row& row : childrenOf(places, id)) {
        if (!visited.insert(row.id).second)
            continue;
        if (row.type == typeBookmark) {
            appendBookmark(into, tree.skipped, row.title, row.url);
        } else if (row.type == typeFolder && depth + 1 > maxImportDepth) {
            tree.skipped += 1 + countBelow(places, row.id, visited);
        } else if (row.type == typeFolder) {
            into.folders.push_back({row.title, {}, {}});
            readFolder(places, row.id, into.folders.back(), depth + 1, tree, visited);
        } else {
            ++tree.skipped;   // separators
        }
    }
}

ImportTree treeOf(const Places& places)
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
    return tree;
}

} // namespace

ImportTree readFirefoxPlaces(const std::string& placesPath)
{
    PrivateFolder copy(placesPath);
    copyFile(placesPath, copy.path("places.sqlite"), placesPath);
    std::error_code error;
    if (fs::exists(placesPath + "-wal", error))
        copyFile(placesPath + "-wal", copy.path("places.sqlite-wal"), placesPath);
    try {
        CppSQLite3DB db;
        db.SetBusyTimeout(1000);
        db.OpenReadOnly(copy.path("places.sqlite").c_str());
        return treeOf(readPlaces(db));
    } catch (const CppSQLite3Exception&) {
        throwFileError(notFirefoxPlacesText, placesPath);
    }
}
