// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "model/progress.h"
#include "storage/cdbmanager.h"

#include <sys/types.h>

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

namespace search {

// The item texts a keyword is looked for in, as flags.
enum Column : unsigned { Title = 1, Target = 2, Description = 4, AllColumns = 7 };

// How a keyword is compared with the texts. Like: as the catalogue's keyword search compares
// (SQLite's LIKE, ASCII letters without regard to case). Folded: case and accents left out in every
// script ("resume" finds "RÉSUMÉ"), '%' and '_' still wildcards.
enum class Matching { Like, Folded };

// The stored texts of one item, read for showing a hit.
struct ItemText {
    long long itemorder = 0;
    std::string guid;
    std::string category;
    std::string name;
    std::string target;
    int type = 0;
    std::string comment;
};

// A trigram index of the catalogue's item texts, kept in a file of its own beside nothing else:
// it can be deleted at any time and is made again. Answers are always those of the catalogue's
// keyword search (SQLite's LIKE '%keyword%': ASCII letters without regard to case, '%' and '_'
// as wildcards), in stored order. The index only narrows down where to look: rows the index does
// not reflect yet are looked at directly, and when it cannot help at all the catalogue is scanned.
//
// One object is one SQLite connection: use it on one thread only. Any number of them may work on
// the same files at once, in this and other processes.
class SearchIndex {
public:
    SearchIndex(std::string cataloguePath, std::string indexPath);
    ~SearchIndex();
    SearchIndex(const SearchIndex&) = delete;
    SearchIndex& operator=(const SearchIndex&) = delete;

    // Makes the index reflect the catalogue: builds it when missing, replaces a corrupt or foreign
    // file, and otherwise writes only the items that changed. Works in slices so that the catalogue
    // is never kept from writers for long; tells progress the slices done and stops between them when
    // it says so. False when stopped or when the catalogue cannot be read (the reason in lastError()).
    // Notes the catalogue's change stamp it is current with (storage/changestamp.h): while the
    // catalogue keeps it, neither this nor find() compares a row.
    bool update(Progress& progress = Progress::none());

    // Whether a commit reached the catalogue (or another file took its place) since the last update().
    bool catalogueChanged();

    // The itemorder of the items whose selected columns hold the keyword, in stored order: all of
    // them, or the first limit. A database error ends the search with the items found so far, as
    // the catalogue's own search does.
    std::vector<long long> find(const std::string& keyword, unsigned columns, std::size_t limit = SIZE_MAX,
                                Matching matching = Matching::Like);
    // Does now what the next find() would do first after a change: compares the index with the
    // catalogue. For a worker to call while nobody waits for it.
    void prepare();
    // Whether the last find() was answered through the index rather than by a scan.
    bool lastAnsweredByIndex() const { return answeredByIndex; }

    // The texts of these items, in the same order; items gone meanwhile are left out.
    std::vector<ItemText> texts(const std::vector<long long>& itemorders);
    // The same for the items of these GUIDs, in the same order.
    std::vector<ItemText> textsOfItems(const std::vector<std::string>& guids);

    // How many category rows the catalogue holds; 0 when it cannot be read.
    long long categoryCount();

    // Every category's path from the top, names joined by '/', by GUID.
    std::unordered_map<std::string, std::string> categoryPaths();

    // Asked now and then while a query runs; a false answer abandons the query (find() then returns
    // what it has, which the caller throws away). nullptr asks nothing; it must outlive the queries.
    void setInterrupt(Progress* progress);

    const std::string& lastError() const { return error; }

    // The index file for a catalogue inside cacheFolder: one per catalogue path, so that the
    // program and a command line run on another catalogue never share one.
    static std::string indexPathFor(const std::string& cataloguePath, const std::string& cacheFolder);

private:
    struct FileIdentity {
        dev_t device = 0;
        ino_t inode = 0;
        bool operator==(const FileIdentity&) const = default;
    };

    bool open();
    void close();
    bool openIndexFile(const std::string& file);
    bool attachCatalogue();
    void discardIndexFile();
    bool formatCurrent();
    void ensureSchema();
    bool catalogueReplaced() const;
    bool indexComplete();
    long long highestRow();
    void updateSlice(long long first, long long last, const std::optional<std::string>& startStamp, bool lastSlice);
    void noteStamp(const std::optional<std::string>& startStamp);
    bool stampCurrent();
    void updateChangedRows(long long first, long long last);
    bool refreshPending();
    std::vector<long long> scan(const std::string& keyword, unsigned columns, std::size_t limit, Matching matching);
    std::vector<long long> lookUp(const std::string& keyword, const std::string& folded, unsigned columns,
                                  std::size_t limit, Matching matching);
    void loadOddRows();
    void fail(const char* what);

    std::string cataloguePath;
    std::string indexPath;
    CppSQLite3DB db;
    FileIdentity catalogueIdentity;
    std::string error;
    bool answeredByIndex = false;
    bool indexUsable = false;
    Progress* interrupt = nullptr;

    // What this connection last saw of both files; a change of either means pending is recomputed.
    long long seenCatalogueVersion = -1;
    long long updatedCatalogueVersion = -1;
    long long seenIndexVersion = -1;
    // Items whose index entry differs from the catalogue's row (new, changed or deleted), sorted.
    std::vector<long long> pending;
    bool pendingValid = false;
    // Items the index alone cannot decide: texts beyond ASCII (checked when they are candidates)
    // and texts the index may not read as the search does (checked always). Both sorted.
    std::vector<long long> checkedRows;
    std::vector<long long> alwaysRows;
};

// Quick find's order, compared folded: the items whose title holds the keyword, then those whose target does, then
// those whose description does, each in stored order; the first rows of them. Stops early (with
// what it has) when the index's interrupt says so.
std::vector<long long> findByColumn(SearchIndex& index, const std::string& keyword, std::size_t rows);

// The catalogue's own keyword search (CDBManager::SearchItems) answered through the index: the same
// hits in the same order.
std::vector<CSearchItem> searchItems(SearchIndex& index, bool byName, bool byTarget, bool byComment,
                                     const std::string& keyword);

}  // namespace search
