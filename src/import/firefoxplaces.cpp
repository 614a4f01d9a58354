// SPDX-License-Identifier: GPL-3.0-or-later
#include "import/firefoxplaces.h"

#include "base/files.h"
#include "import/bookmarkaddress.h"
#include "import/foldertree.h"
#include "import/importtext.h"
#include "storage/statement.h"

#include <cerrno>
#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <optional>
#include <string_view>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

constexpr const char* notFirefoxPlacesText = "The file \"%s\" is not a Firefox bookmark database.";
constexpr const char* cannotCopyText = "The file \"%s\" cannot be copied to a temporary folder for reading.";
constexpr const char* tooSlowText = "The file \"%s\" takes too long to read; it is no Firefox bookmark database.";

// Real places.sqlite files are tens of megabytes; the copy of anything larger is refused.
constexpr std::uintmax_t largestPlaces = 1024ull * 1024 * 1024;
// A read that takes longer is stopped; a real profile is read in well under a second.
constexpr auto readBudget = std::chrono::seconds(20);
// No value a reader needs is this long; a generated or crafted one ends the read instead of
// filling the memory.
constexpr int longestValue = 16 * 1024 * 1024;

// Titles are cut a character past what is kept and addresses a byte past, so what is over the
// bounds is still seen as such; the database does the cutting, so no huge value is ever held.
constexpr const char* bookmarksQuery =
    "select b.id, b.type, b.parent, substr(b.title, 1, 4097), substr(b.guid, 1, 64), "
    "substr(cast(p.url as blob), 1, 65537) from moz_bookmarks b "
    "left join moz_places p on p.id = b.fk order by b.parent, b.position, b.id";

// The tables and columns read, as Firefox makes them: plain tables, no view, no virtual or
// generated column whose reading could run any amount of work.
struct Table {
    const char* name;
    std::vector<std::string> columns;
};
const Table placesTables[] = {{"moz_bookmarks", {"id", "type", "fk", "parent", "position", "title", "guid"}},
                              {"moz_places", {"id", "url"}}};

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

struct Row {
    long long id;
    int type;
    std::string title;
    std::string url;
};

struct Places {
    std::unordered_map<long long, std::vector<Row>> children;  // by parent, in position order
    std::unordered_map<std::string, long long> ids;            // by guid
    std::unordered_set<long long> all;
};

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

// One read-only connection to the copy, bounded in time and in the size of any value, that trusts
// nothing in the file's schema.
class PlacesConnection {
public:
    PlacesConnection(const std::string& copy, const std::string& original, Progress& progress)
        : placesPath(original), watch(progress)
    {
        try {
            db.Open(copy.c_str(), OpenOptions{.readOnly = true, .noFollow = true});
            db.DistrustSchema();
            db.SetLimit(SqlLimit::ValueLength, longestValue);
            db.SetBusyTimeout(1000);
            db.SetProgress(&watch, 1000);
        } catch (const CppSQLite3Exception&) {
            refuse();
        }
    }

    // Runs the query, handing each row to `row`; any failure ends the read with its reason.
    template <class RowFunction>
    void each(Statement& statement, RowFunction&& row)
    {
        if (!watch.advance(0, 0))
            failed();
        try {
            while (statement.step())
                row(statement);
        } catch (const CppSQLite3Exception&) {
            failed();
        }
    }
    template <class RowFunction>
    void each(const char* sql, RowFunction&& row)
    {
        std::optional<Statement> statement;
        try {
            statement.emplace(db, sql);
        } catch (const CppSQLite3Exception&) {
            failed();
        }
        each(*statement, row);
    }
    Statement prepare(const char* sql)
    {
        try {
            return Statement(db, sql);
        } catch (const CppSQLite3Exception&) {
            failed();
        }
    }

private:
    // The caller's progress, and the time the read may take.
    class Watch final : public Progress {
    public:
        explicit Watch(Progress& caller) : outer(caller), deadline(std::chrono::steady_clock::now() + readBudget) {}
        bool advance(std::size_t done, std::size_t) override
        {
            stopped = !outer.advance(done, 0);
            late = std::chrono::steady_clock::now() > deadline;
            return !stopped && !late;
        }
        bool stopped = false;
        bool late = false;

    private:
        Progress& outer;
        std::chrono::steady_clock::time_point deadline;
    };

    [[noreturn]] void failed()
    {
        if (watch.stopped)
            throw ReadStopped();
        if (watch.late)
            throwFileError(tooSlowText, placesPath);
        refuse();
    }
    [[noreturn]] void refuse() { throwFileError(notFirefoxPlacesText, placesPath); }

    CppSQLite3DB db;
    std::string placesPath;
    Watch watch;
};

void requireFirefoxSchema(PlacesConnection& db, const std::string& placesPath)
{
    for (const Table& table : placesTables) {
        bool plainTable = false;
        Statement schema = db.prepare("select type, sql from sqlite_schema where name = ?1");
        schema.bind(1, table.name);
        db.each(schema, [&](const Statement& row) {
            plainTable = row.text(0) == "table" && startsWithIgnoringCase(row.text(1), "create table");
        });
        std::unordered_set<std::string> plainColumns;
        Statement columns = db.prepare("select name, hidden from pragma_table_xinfo(?1)");
        columns.bind(1, table.name);
        db.each(columns, [&](const Statement& row) {
            if (row.integer(1) == 0)
                plainColumns.insert(row.text(0));
        });
        for (const std::string& column : table.columns)
            plainTable = plainTable && plainColumns.count(column) > 0;
        if (!plainTable)
            throwFileError(notFirefoxPlacesText, placesPath);
    }
}

Places readPlaces(PlacesConnection& db)
{
    Places places;
    db.each(bookmarksQuery, [&](const Statement& row) {
        const long long id = row.integer(0);
        places.ids.emplace(row.text(4), id);
        places.all.insert(id);
        places.children[row.integer(2)].push_back({id, static_cast<int>(row.integer(1)), row.text(3), row.text(5)});
    });
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
            into.folders.push_back({importedTitle(row.title), {}, {}});
            readFolder(places, row.id, into.folders.back(), depth + 1, tree, visited);
        } else {
            ++tree.skipped;  // separators
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
    PlacesConnection db(copy.path("places.sqlite"), placesPath, progress);
    requireFirefoxSchema(db, placesPath);
    return treeOf(readPlaces(db));
}
