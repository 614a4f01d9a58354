// SPDX-License-Identifier: GPL-3.0-or-later
#include "import/placesdatabase.h"

#include "import/foldertree.h"
#include "import/importtext.h"
#include "storage/statement.h"

#include <chrono>
#include <optional>

namespace {

constexpr const char* notFirefoxPlacesText = "The file \"%s\" is not a Firefox bookmark database.";
constexpr const char* tooSlowText = "The file \"%s\" takes too long to read; it is no Firefox bookmark database.";

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

// One read-only connection to the copy, bounded in time and in the size of any value, that trusts
// nothing in the file's schema.
class PlacesConnection {
public:
    PlacesConnection(const std::string& copy, const std::string& original, Progress& progress)
        : placesPath(original), watch(progress)
    {
        try {
            db.Open(copy.c_str(), OpenOptions{.readOnly = true, .noFollow = true});
            db.distrustSchema();
            db.setLimit(SqlLimit::ValueLength, longestValue);
            db.SetBusyTimeout(1000);
            db.setProgress(&watch, 1000);
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

PlacesRows readPlaces(PlacesConnection& db)
{
    PlacesRows places;
    db.each(bookmarksQuery, [&](const Statement& row) {
        const long long id = row.integer(0);
        places.ids.emplace(row.text(4), id);
        places.all.insert(id);
        places.children[row.integer(2)].push_back({id, static_cast<int>(row.integer(1)), row.text(3), row.text(5)});
    });
    return places;
}

}  // namespace

PlacesRows readPlacesRows(const std::string& copyPath, const std::string& placesPath, Progress& progress)
{
    PlacesConnection db(copyPath, placesPath, progress);
    requireFirefoxSchema(db, placesPath);
    return readPlaces(db);
}
