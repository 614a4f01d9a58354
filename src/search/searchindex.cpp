// SPDX-License-Identifier: GPL-3.0-or-later
#include "search/searchindex.h"

#include "base/files.h"
#include "base/text.h"
#include "storage/cataloguerows.h"
#include "storage/changestamp.h"
#include "storage/statement.h"
#include "storage/textfolding.h"
#include "storage/transaction.h"

#include <sys/stat.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <limits>
#include <optional>
#include <unordered_set>

namespace search {

namespace {

// Bumped whenever the tables below change shape: an index of another shape is made again.
constexpr const char* indexFormat = "3";

// The rows' texts as the index holds them: what a row's entry is compared with, and where its old
// texts come from when the entry is taken out.
constexpr const char* createTexts = "create table if not exists items_content(id integer primary key, c0, c1, c2);";
// The texts folded (see foldText), one trigram index for both matchings: a LIKE hit is a hit of the
// folded keyword in the folded row, and in a row of ASCII text the two are the same. Detail "full"
// keeps the positions that make a phrase query a substring match, which lets most hits go without
// reading their row. Contentless, without per-row sizes: the file stays within 2.5 times the catalogue.
constexpr const char* createFolded = "create virtual table if not exists folded using fts5(name, target, comment, "
                                     "content='', tokenize='trigram', detail=full, columnsize=0);";
constexpr const char* schemaStatements[] = {
    "create table if not exists meta(key text primary key, value);",
    createTexts,
    createFolded,
    "create table if not exists odd(itemorder integer primary key, always int);",
};

// Rows whose index entry differs from the catalogue's row, with whether the index holds one.
constexpr const char* differingRows =
    "select c.itemorder, k.id is not null from cat.link_table c left join items_content k on k.id = c.itemorder "
    "where c.itemorder between ?1 and ?2 and (k.id is null or k.c0 is not c.name or k.c1 is not c.target "
    "or k.c2 is not c.comment) "
    "union all select k.id, 1 from items_content k where k.id between ?1 and ?2 "
    "and not exists (select 1 from cat.link_table c where c.itemorder = k.id);";

constexpr long long sliceRows = 20000;
// Beyond this many rows the index does not reflect, checking them one by one costs more than a scan.
constexpr std::size_t mostPendingRows = 20000;

enum Oddness { Plain = 0, CheckWhenCandidate = 1, CheckAlways = 2 };

// Strict UTF-8 is read alike by LIKE and by the tokenizer; anything else is checked row by row.
Oddness oddnessOf(const FunctionArgument& value)
{
    if (value.type == SqlType::Null)
        return Plain;
    if (value.type != SqlType::Text)
        return CheckAlways;
    if (value.text.find('\0') != std::string_view::npos || !isUtf8(value.text))
        return CheckAlways;
    return std::any_of(value.text.begin(), value.text.end(),
                       [](char c) { return static_cast<unsigned char>(c) >= 0x80; })
               ? CheckWhenCandidate
               : Plain;
}

// oddness(name, target, comment): how far the index can be trusted with a row's texts.
long long rowOddness(std::span<const FunctionArgument> values)
{
    int oddness = Plain;
    for (const FunctionArgument& value : values)
        oddness = std::max(oddness, int(oddnessOf(value)));
    return oddness;
}

// The condition a row's selected columns meet when they hold the pattern ?N.
std::string likeCondition(unsigned columns, Matching matching, int parameter)
{
    const char* names[] = {"name", "target", "comment"};
    std::string condition;
    for (int i = 0; i < 3; ++i)
        if (columns & (1u << i)) {
            const std::string column =
                matching == Matching::Folded ? std::string("fold(") + names[i] + ")" : std::string(names[i]);
            condition += (condition.empty() ? "" : " or ") + column + " like ?" + std::to_string(parameter);
        }
    return condition;
}

// The keyword's runs between wildcards that are long enough to hold a trigram, as an FTS5 query
// over the selected columns; empty when there is none.
std::string matchExpression(const std::string& keyword, unsigned columns)
{
    std::vector<std::string> runs;
    std::string run;
    int characters = 0;
    auto endRun = [&] {
        if (characters >= 3)
            runs.push_back(run);
        run.clear();
        characters = 0;
    };
    for (char c : keyword) {
        if (c == '%' || c == '_') {
            endRun();
            continue;
        }
        run += c;
        if ((static_cast<unsigned char>(c) & 0xC0) != 0x80)
            ++characters;
    }
    endRun();
    if (runs.empty())
        return {};
    std::string expression = "{";
    const char* names[] = {"name", "target", "comment"};
    for (int i = 0; i < 3; ++i)
        if (columns & (1u << i))
            expression += std::string(expression.size() > 1 ? " " : "") + names[i];
    expression += "} : (";
    for (std::size_t i = 0; i < runs.size(); ++i) {
        expression += i ? " AND \"" : "\"";
        for (char c : runs[i])
            expression += c == '"' ? std::string("\"\"") : std::string(1, c);
        expression += '"';
    }
    return expression + ")";
}

bool sortedContains(const std::vector<long long>& sorted, long long value)
{
    return std::binary_search(sorted.begin(), sorted.end(), value);
}

}  // namespace

SearchIndex::SearchIndex(std::string catalogue, std::string index)
    : cataloguePath(std::move(catalogue)), indexPath(std::move(index))
{
}

SearchIndex::~SearchIndex()
{
    close();
}

std::string SearchIndex::indexPathFor(const std::string& catalogue, const std::string& cacheFolder)
{
    std::error_code failure;
    const std::filesystem::path absolute = std::filesystem::weakly_canonical(catalogue, failure);
    const std::string key = failure ? catalogue : absolute.string();
    // FNV-1a: a short stable name, not a secret.
    std::uint64_t hash = 1469598103934665603ull;
    for (unsigned char c : key)
        hash = (hash ^ c) * 1099511628211ull;
    char name[64];
    std::snprintf(name, sizeof name, "search-%016llx.db", static_cast<unsigned long long>(hash));
    return (std::filesystem::path(cacheFolder) / name).string();
}

void SearchIndex::setInterrupt(Progress* progress)
{
    interrupt = progress;
    if (db.IsOpen())
        db.setProgress(interrupt, 2000);
}

void SearchIndex::fail(const char* what)
{
    error = std::string(what) + (db.IsOpen() ? std::string(": ") + db.lastErrorText() : std::string());
}

void SearchIndex::close()
{
    db.Close();
    pendingValid = false;
    seenCatalogueVersion = seenIndexVersion = updatedCatalogueVersion = -1;
}

bool SearchIndex::openIndexFile(const std::string& file)
{
    const bool inMemory = file == ":memory:";
    if (const std::string refusal = inMemory ? std::string() : claimCacheFile(file); !refusal.empty()) {
        error = "cannot open the search index: " + refusal;
        return false;
    }
    try {
        db.Open(file.c_str(), OpenOptions{.noFollow = !inMemory});
    } catch (const CppSQLite3Exception&) {
        fail("cannot open the search index");
        close();
        return false;
    }
    db.SetBusyTimeout(10000);
    setInterrupt(interrupt);
    return true;
}

void SearchIndex::discardIndexFile()
{
    close();
    std::error_code ignored;
    for (const char* suffix : {"", "-wal", "-shm", "-journal"})
        std::filesystem::remove(indexPath + suffix, ignored);
}

bool SearchIndex::formatCurrent()
{
    try {
        Statement format(db, "select value from meta where key='format';");
        return format.step() && format.text(0) == indexFormat;
    } catch (const CppSQLite3Exception& failure) {
        if (failure.isDamagedFile())
            throw;
        return false;
    }
}

void SearchIndex::ensureSchema()
{
    // A cache: losing its last commits to a power cut only means they are made again.
    db.ExecuteStatement("pragma journal_mode=wal;");
    db.ExecuteStatement("pragma synchronous=normal;");
    if (formatCurrent())
        return;
    // A reader and a writer opening a new file at once both get here; the write lock orders them.
    Transaction schema(db);
    if (!formatCurrent()) {
        for (const char* drop :
             {"drop table if exists items;", "drop table if exists items_content;", "drop table if exists folded;",
              "drop table if exists odd;", "drop table if exists meta;"})
            db.ExecuteStatement(drop);
        for (const char* create : schemaStatements)
            db.ExecuteStatement(create);
        db.ExecuteStatement("insert into meta values('complete', 0);");
        Statement format(db, "insert into meta values('format', ?1);");
        format.bind(1, indexFormat).run();
    }
    schema.Commit();
}

bool SearchIndex::attachCatalogue()
{
    struct stat info {};
    if (::stat(cataloguePath.c_str(), &info) != 0) {
        error = "the catalogue " + cataloguePath + " does not exist";
        return false;
    }
    db.attach(cataloguePath, "cat");
    catalogueIdentity = {info.st_dev, info.st_ino};
    return true;
}

bool SearchIndex::catalogueReplaced() const
{
    struct stat info {};
    return ::stat(cataloguePath.c_str(), &info) != 0 || FileIdentity{info.st_dev, info.st_ino} != catalogueIdentity;
}

bool SearchIndex::open()
{
    if (db.IsOpen() && !catalogueReplaced())
        return true;
    close();
    indexUsable = false;
    for (int attempt = 0; attempt < 2 && !indexUsable; ++attempt) {
        if (!openIndexFile(indexPath))
            break;
        try {
            ensureSchema();
            db.createFunction("oddness", 3, rowOddness);
            registerTextFolding(db);
            indexUsable = true;
        } catch (const CppSQLite3Exception& failure) {
            fail("cannot use the search index");
            if (failure.isDamagedFile())
                discardIndexFile();
        }
        if (!indexUsable)
            close();
    }
    // Without an index file the catalogue is still searched, by a scan.
    if (!indexUsable) {
        if (!openIndexFile(":memory:"))
            return false;
        registerTextFolding(db);
    }
    try {
        if (attachCatalogue())
            return true;
    } catch (const CppSQLite3Exception&) {
        fail("cannot read the catalogue");
    }
    close();
    return false;
}

bool SearchIndex::catalogueChanged()
{
    try {
        return open() && firstInteger(db, "pragma cat.data_version;") != updatedCatalogueVersion;
    } catch (const CppSQLite3Exception&) {
        return true;
    }
}

bool SearchIndex::indexComplete()
{
    return firstInteger(db, "select value from meta where key='complete';") == 1;
}

long long SearchIndex::highestRow()
{
    return std::max(firstInteger(db, "select coalesce(max(itemorder), 0) from cat.link_table;"),
                    firstInteger(db, "select coalesce(max(id), 0) from items_content;"));
}

bool SearchIndex::update(Progress& progress)
{
    for (int attempt = 0; attempt < 2; ++attempt) {
        if (!open() || !indexUsable)
            return false;
        try {
            const long long version = firstInteger(db, "pragma cat.data_version;");
            std::optional<std::string> stamp;
            {
                Transaction look(db, Transaction::Mode::Deferred);
                firstInteger(db, "select count(*) from cat.link_table where itemorder=0;");
                if (indexComplete() && stampCurrent()) {
                    updatedCatalogueVersion = version;
                    return true;
                }
                stamp = changeStamp(db, "cat");
                look.Commit();
            }
            // FTS5 merges what it wrote a moment ago: keep it at hand while writing, not afterwards.
            db.ExecuteStatement("pragma main.cache_size=-32768;");
            const long long lowest =
                std::min(firstInteger(db, "select coalesce(min(itemorder), 1) from cat.link_table;"),
                         firstInteger(db, "select coalesce(min(id), 1) from items_content;"));
            const long long highest = highestRow();
            const auto slices = static_cast<std::size_t>((highest - lowest) / sliceRows + 1);
            for (long long first = lowest;; first += sliceRows) {
                const bool last = first + sliceRows > highest;
                updateSlice(first, last ? std::numeric_limits<long long>::max() : first + sliceRows - 1, stamp, last);
                if (last) {
                    db.ExecuteStatement("pragma main.cache_size=-2000;");
                    updatedCatalogueVersion = version;
                    return true;
                }
                if (!progress.advance(static_cast<std::size_t>((first - lowest) / sliceRows + 1), slices))
                    return false;
            }
        } catch (const CppSQLite3Exception& failure) {
            fail("cannot bring the search index up to date");
            if (!failure.isDamagedFile())
                return false;
            discardIndexFile();
        }
    }
    return false;
}

void SearchIndex::updateSlice(long long first, long long last, const std::optional<std::string>& startStamp,
                              bool lastSlice)
{
    Transaction slice(db);
    // This connection's own commits leave its data_version alone: forget what it saw.
    pendingValid = false;
    seenIndexVersion = -1;
    Statement indexedRows(db, "select exists(select 1 from items_content where id between ?1 and ?2);");
    indexedRows.bind(1, first).bind(2, last);
    if (indexedRows.step() && indexedRows.integer(0) == 0) {
        // Nothing of this slice is in the index yet (a first build): one statement takes it all.
        Statement copy(db, "insert into items_content select itemorder, name, target, comment from cat.link_table "
                           "where itemorder between ?1 and ?2;");
        copy.bind(1, first).bind(2, last).run();
        Statement copyFolded(db, "insert into folded(rowid, name, target, comment) select itemorder, fold(name), "
                                 "fold(target), fold(comment) from cat.link_table where itemorder between ?1 and ?2;");
        copyFolded.bind(1, first).bind(2, last).run();
        Statement odd(db, "insert into odd select itemorder, oddness(name, target, comment) as o from cat.link_table "
                          "where itemorder between ?1 and ?2 and o > 0;");
        odd.bind(1, first).bind(2, last).run();
    } else {
        updateChangedRows(first, last);
    }
    if (lastSlice)
        db.ExecuteStatement("update meta set value=1 where key='complete';");
    // A slice may hold rows newer than the stamp noted before: only a whole pass notes one again.
    noteStamp(lastSlice ? startStamp : std::nullopt);
    slice.Commit();
}

void SearchIndex::updateChangedRows(long long first, long long last)
{
    std::vector<std::pair<long long, bool>> differing;
    {
        Statement diff(db, differingRows);
        diff.bind(1, first).bind(2, last);
        while (diff.step())
            differing.emplace_back(diff.integer(0), diff.integer(1) != 0);
    }
    Statement removeEntry(db, "delete from items_content where id=?1;");
    Statement removeFolded(db, "insert into folded(folded, rowid, name, target, comment) select 'delete', rowid, "
                               "fold(c0), fold(c1), fold(c2) from items_content where id=?1;");
    Statement insertFolded(db, "insert into folded(rowid, name, target, comment) values(?1, fold(?2), fold(?3), "
                               "fold(?4));");
    Statement removeOdd(db, "delete from odd where itemorder=?1;");
    Statement readRow(
        db, "select name, target, comment, oddness(name, target, comment) from cat.link_table where itemorder=?1;");
    Statement insertEntry(db, "insert into items_content values(?1, ?2, ?3, ?4);");
    Statement insertOdd(db, "insert into odd values(?1, ?2);");
    for (const auto& [itemorder, indexed] : differing) {
        if (indexed) {
            removeFolded.bind(1, itemorder).run();
            removeFolded.reset();
            removeEntry.bind(1, itemorder).run();
            removeEntry.reset();
            removeOdd.bind(1, itemorder).run();
            removeOdd.reset();
        }
        readRow.bind(1, itemorder);
        if (readRow.step()) {
            insertEntry.bind(1, itemorder);
            for (int column = 0; column < 3; ++column)
                insertEntry.bindColumn(column + 2, readRow, column);
            insertEntry.run();
            insertEntry.reset();
            insertFolded.bind(1, itemorder);
            for (int column = 0; column < 3; ++column)
                insertFolded.bindColumn(column + 2, readRow, column);
            insertFolded.run();
            insertFolded.reset();
            const long long oddness = readRow.integer(3);
            if (oddness != Plain) {
                insertOdd.bind(1, itemorder).bind(2, oddness).run();
                insertOdd.reset();
            }
        }
        readRow.reset();
    }
}

void SearchIndex::loadOddRows()
{
    checkedRows.clear();
    alwaysRows.clear();
    Statement odd(db, "select itemorder, always from odd order by itemorder;");
    while (odd.step())
        (odd.integer(1) == CheckAlways ? alwaysRows : checkedRows).push_back(odd.integer(0));
}

// The catalogue's stamp the index is current with: only when the catalogue kept it from the start of a
// whole pass to its end, since slices done before a commit hold the rows as they were.
void SearchIndex::noteStamp(const std::optional<std::string>& startStamp)
{
    if (startStamp && changeStamp(db, "cat") == startStamp) {
        Statement note(db, "insert or replace into meta values('stamp', ?1);");
        note.bind(1, *startStamp).run();
    } else {
        db.ExecuteStatement("delete from meta where key='stamp';");
    }
}

// Inside a transaction that has read the catalogue.
bool SearchIndex::stampCurrent()
{
    const std::optional<std::string> stamp = changeStamp(db, "cat");
    if (!stamp)
        return false;
    Statement noted(db, "select value from meta where key='stamp';");
    return noted.step() && noted.type(0) == SqlType::Text && noted.text(0) == *stamp;
}

bool SearchIndex::refreshPending()
{
    const long long catalogueVersion = firstInteger(db, "pragma cat.data_version;");
    const long long indexVersion = firstInteger(db, "pragma main.data_version;");
    if (pendingValid && catalogueVersion == seenCatalogueVersion && indexVersion == seenIndexVersion)
        return true;
    pendingValid = false;
    if (indexVersion != seenIndexVersion)
        loadOddRows();
    pending.clear();
    // Unmoved, the stamp spares reading every row of both files.
    if (!stampCurrent()) {
        Statement diff(db, differingRows);
        diff.bind(1, std::numeric_limits<long long>::min()).bind(2, std::numeric_limits<long long>::max());
        while (diff.step()) {
            pending.push_back(diff.integer(0));
            if (pending.size() > mostPendingRows)
                return false;
        }
        std::sort(pending.begin(), pending.end());
    }
    seenCatalogueVersion = catalogueVersion;
    seenIndexVersion = indexVersion;
    pendingValid = true;
    return true;
}

std::vector<long long> SearchIndex::find(const std::string& keyword, unsigned columns, std::size_t limit,
                                         Matching matching)
{
    answeredByIndex = false;
    // The catalogue's search formats the keyword as a C string: it ends at the first NUL.
    const std::string text = matching == Matching::Folded ? foldText(keyword.c_str()) : std::string(keyword.c_str());
    if (!(columns & AllColumns) || !open())
        return {};
    columns &= AllColumns;
    // The index holds the rows folded: a keyword is looked up folded whatever the matching.
    const std::string folded = matching == Matching::Folded ? text : foldText(text.c_str());
    const bool indexable = indexUsable && isUtf8(text) && !matchExpression(folded, columns).empty();
    std::vector<long long> found;
    bool indexBroken = false;
    try {
        std::optional<Transaction> snapshot(std::in_place, db, Transaction::Mode::Deferred);
        try {
            // Reading both files first pins one snapshot of each for everything below.
            firstInteger(db, "select count(*) from cat.link_table where itemorder=0;");
            if (indexable && indexComplete() && refreshPending()) {
                found = lookUp(text, folded, columns, limit, matching);
                answeredByIndex = true;
            }
        } catch (const CppSQLite3Exception& failure) {
            if (failure.isInterrupted())
                throw;
            // An index that cannot be read is no reason to fail the search.
            indexBroken = true;
            found.clear();
            snapshot.reset();
            snapshot.emplace(db, Transaction::Mode::Deferred);
        }
        if (!answeredByIndex)
            found = scan(text, columns, limit, matching);
        snapshot->Commit();
    } catch (const CppSQLite3Exception&) {
        // What was found before the failure is still the answer.
    }
    if (indexBroken)
        close();
    return found;
}

void SearchIndex::prepare()
{
    if (!open() || !indexUsable)
        return;
    try {
        Transaction snapshot(db, Transaction::Mode::Deferred);
        if (indexComplete())
            refreshPending();
        snapshot.Commit();
    } catch (const CppSQLite3Exception&) {
        // The next find() compares again.
    }
}

std::vector<long long> SearchIndex::scan(const std::string& keyword, unsigned columns, std::size_t limit,
                                         Matching matching)
{
    const std::string condition = likeCondition(columns, matching, 1);
    std::vector<long long> found;
    try {
        Statement rows(db, "select itemorder from cat.link_table where " + condition + ";");
        rows.bind(1, "%" + keyword + "%");
        while (found.size() < limit && rows.step())
            found.push_back(rows.integer(0));
    } catch (const CppSQLite3Exception& failure) {
        if (failure.isInterrupted())
            throw;
        // The hits read before the failure are still worth showing.
    }
    return found;
}

std::vector<long long> SearchIndex::lookUp(const std::string& keyword, const std::string& folded, unsigned columns,
                                           std::size_t limit, Matching matching)
{
    const std::string pattern = "%" + keyword + "%";
    // Without wildcards, in a row of ASCII text, a phrase of trigrams of the folded keyword found in a
    // folded column is exactly what LIKE finds there (folding ASCII only makes it lower case), and what
    // the folded keyword finds in the row folded.
    const bool exact = keyword.find_first_of("%_") == std::string::npos
                       && (matching == Matching::Folded || std::none_of(keyword.begin(), keyword.end(), [](char c) {
                               return static_cast<unsigned char>(c) >= 0x80;
                           }));
    Statement verifyRow(db, "select 1 from cat.link_table where itemorder=?1 and ("
                                + likeCondition(columns, matching, 2) + ");");
    std::vector<long long> found;
    auto check = [&](long long itemorder) {
        verifyRow.bind(1, itemorder).bind(2, pattern);
        if (verifyRow.step())
            found.push_back(itemorder);
        verifyRow.reset();
    };
    Statement candidates(db, "select rowid from folded where folded match ?1 order by rowid;");
    candidates.bind(1, matchExpression(folded, columns));
    while (found.size() < limit && candidates.step()) {
        const long long itemorder = candidates.integer(0);
        if (sortedContains(pending, itemorder) || sortedContains(alwaysRows, itemorder))
            continue;
        if (exact && !sortedContains(checkedRows, itemorder))
            found.push_back(itemorder);
        else
            check(itemorder);
    }
    // Rows the index does not reflect, or may read otherwise than LIKE, are looked at directly; those
    // past the last candidate taken cannot come before it.
    const long long lastTaken = found.size() < limit ? std::numeric_limits<long long>::max() : found.back();
    const std::size_t indexed = found.size();
    std::vector<long long> extra;
    std::set_union(pending.begin(), pending.end(), alwaysRows.begin(), alwaysRows.end(), std::back_inserter(extra));
    for (long long itemorder : extra)
        if (itemorder < lastTaken)
            check(itemorder);
    std::inplace_merge(found.begin(), found.begin() + std::ptrdiff_t(indexed), found.end());
    if (found.size() > limit)
        found.resize(limit);
    return found;
}

std::vector<ItemText> SearchIndex::texts(const std::vector<long long>& itemorders)
{
    std::vector<ItemText> rows;
    if (itemorders.empty() || !open())
        return rows;
    try {
        Statement row(db, "select guid, category, name, target, type, comment from cat.link_table where itemorder=?1;");
        for (long long itemorder : itemorders) {
            row.bind(1, itemorder);
            if (row.step())
                rows.push_back(
                    {itemorder, row.text(0), row.text(1), row.text(2), row.text(3), int(row.integer(4)), row.text(5)});
            row.reset();
        }
    } catch (const CppSQLite3Exception&) {
        // Rows read so far are shown; the next search reads again.
    }
    return rows;
}

std::vector<ItemText> SearchIndex::textsOfItems(const std::vector<std::string>& guids)
{
    std::vector<long long> itemorders;
    if (guids.empty() || !open())
        return {};
    try {
        Statement row(db, "select itemorder from cat.link_table where guid=?1 order by itemorder limit 1;");
        for (const std::string& guid : guids) {
            row.bind(1, guid);
            if (row.step())
                itemorders.push_back(row.integer(0));
            row.reset();
        }
    } catch (const CppSQLite3Exception&) {
        // The items found so far are shown.
    }
    return texts(itemorders);
}

std::vector<long long> findByColumn(SearchIndex& index, const std::string& keyword, std::size_t rows)
{
    std::vector<long long> shown;
    std::unordered_set<long long> taken;
    for (unsigned column : {Title, Target, Description}) {
        if (shown.size() >= rows)
            break;
        // Items already taken for an earlier column may be among these: ask for that many more.
        for (long long itemorder : index.find(keyword, column, rows + shown.size(), Matching::Folded))
            if (shown.size() < rows && taken.insert(itemorder).second)
                shown.push_back(itemorder);
    }
    return shown;
}

std::vector<CSearchItem> searchItems(SearchIndex& index, bool byName, bool byTarget, bool byComment,
                                     const std::string& keyword)
{
    const unsigned columns =
        (byName ? unsigned(Title) : 0u) | (byTarget ? unsigned(Target) : 0u) | (byComment ? unsigned(Description) : 0u);
    std::vector<CSearchItem> found;
    for (const ItemText& row : index.texts(index.find(keyword, columns)))
        found.push_back({row.category, row.guid, row.name});
    return found;
}

long long SearchIndex::categoryCount()
{
    if (!open())
        return 0;
    try {
        return firstInteger(db, "select count(*) from cat.category_table;");
    } catch (const CppSQLite3Exception&) {
        return 0;
    }
}

std::unordered_map<std::string, std::string> SearchIndex::categoryPaths()
{
    if (!open())
        return {};
    try {
        return ::categoryPaths(readCategoryRows(db, "cat"));
    } catch (const CppSQLite3Exception&) {
        return {};
    }
}

}  // namespace search
