// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "model/ccategory.h"
#include "model/ccategorymanager.h"
#include "model/clinkitem.h"
#include "model/progress.h"
#include "storage/cppsqlite3.h"

#include <optional>
#include <string>
#include <vector>

inline constexpr const char* category_table = "category_table";
inline constexpr const char* link_table = "link_table";
inline constexpr const char* imagelist_table = "imagelist_table";

// One hit of the keyword search: copies of the stored texts.
struct CSearchItem {
    std::string category;
    std::string guid;
    std::string name;
};

// An item a category save could not write, with SQLite's reason.
struct RefusedItem {
    const CLinkItem* item;
    CppSQLite3Exception error;
};

// The catalogue database: the connection plus the category tree it was loaded into.
// Every operation raises CppSQLite3Exception unless it says it catches.
class CDBManager : public CppSQLite3DB {
public:
    CDBManager() = default;
    ~CDBManager() override;

    // False for an empty path; SQLite's refusal to open raises. Without options, SQLite's defaults.
    bool Open(const std::string& path, const std::optional<OpenOptions>& options = std::nullopt);
    // Destroys the whole tree, then closes the connection; harmless when closed.
    void Close();
    const std::string& GetPath() const { return path; }

    bool CreateTables();
    // Seeds the six built-in categories only into a database without category_table.
    bool EnsureDefaultCategories();
    // What keeps an existing file from being a catalogue ("the table link_table has no column
    // target"), or "" when its tables hold every designed column or it has none yet. Reads only.
    std::string MissingDesignedColumn();
    bool SaveCategoryIndex(CCategoryManager& manager);
    // Indexes on the columns every lookup uses, when missing. Only for a catalogue that loaded: a
    // file the program refuses is left as it was. Failures (a read-only file) only cost speed.
    void CreateIndexes();
    CCategory& GetRootCategory() { return root; }
    const CCategory& GetRootCategory() const { return root; }

    bool LoadCategories();
    // The stored category tree assembled below `into` (an empty root of the caller's), leaving the
    // tree this manager holds alone.
    void ReadCategoryTree(CCategory& into);
    // Appends the stored children of the category it does not hold yet, with their items.
    bool LoadChildCategories(CCategory& parent);
    // Replaces the category's item objects with fresh ones read from the table.
    bool LoadItems(CCategory& category);
    // The category's stored items as they are in the table, leaving the ones in memory alone.
    std::vector<CLinkItem> ReadItems(const CCategory& category);
    // The first stored row with the item GUID as it is in the table now; nullopt when there is none.
    std::optional<CLinkItem> ReadItem(const std::string& guid);
    // Every row of the link table with this GUID, in stored order: one in a sound catalogue.
    std::vector<CLinkItem> ReadItemsWithGuid(const std::string& guid);
    // Whether a category row with the GUID is stored.
    bool HasCategory(const std::string& guid);
    // Writes the category's row when writeRow, and every item it holds whose stored row is missing or
    // differs, in one transaction. An item SQLite refuses is left out (and listed in refused) while the
    // others go ahead; an error that undoes the transaction, or any other failure, raises.
    bool SaveCategory(CCategory& category, bool writeRow, std::vector<RefusedItem>* refused = nullptr);
    // Writes the rows of these items of the category, and no other, in one transaction: what a command
    // that only added them changed. Refusals are handled as SaveCategory handles them.
    void SaveItems(const CLinkItems& items, std::vector<RefusedItem>* refused = nullptr);
    // Inserts or updates the item's row; false when the write is refused.
    bool SaveItem(const CLinkItem& item);
    // The same, raising the refusal instead, so the user can be told why.
    void StoreItem(const CLinkItem& item);
    // Inserts or updates the category's own row, raising a refusal; its items are left alone.
    void StoreCategoryRow(const CCategory& category);
    // The GUIDs of the parent's stored children in the order the catalogue shows them (row order).
    std::vector<std::string> StoredChildOrder(const CCategory& parent);
    // Deletes the rows of the category's subtree and their items in one transaction, then destroys
    // every descendant object; the caller detaches (and destroys) the category itself. A failure
    // rolls the whole delete back, raises, and leaves the objects as they were.
    void DeleteCategory(CCategory& category, Progress& progress = Progress::none());
    // What a delete of the category would take: its descendant categories, and the stored items of
    // the category and of all of them.
    struct SubtreeSize {
        int categories = 0;
        long long items = 0;
    };
    SubtreeSize MeasureSubtree(CCategory& category);
    bool DeleteItem(const CLinkItem& item);
    // The same, raising the refusal instead.
    void DeleteItemRow(const CLinkItem& item);

    // Writes every committed change into the main file, so that a copy of the file alone holds the
    // whole catalogue (a write-ahead log keeps recent commits beside it). False when a reader of
    // another connection keeps part of the log from being written back.
    bool Checkpoint();

    // A number that changes whenever another connection commits to the file (this connection's own
    // commits leave it alone); nullopt when it cannot be read without waiting for a lock, or when no
    // file is open. Never raises.
    std::optional<long long> DataVersion();

    // Never raises: a database error ends the search with the hits found so far.
    std::vector<CSearchItem> SearchItems(bool byName, bool byTarget, bool byComment, const std::string& keyword);

    // The stored icon list bytes; empty when there is none or it cannot be read.
    std::vector<unsigned char> LoadIconList();
    // Stores the bytes as the one icon list row; an empty blob writes nothing. Errors are ignored.
    bool SaveIconList(const std::vector<unsigned char>& blob);

private:
    void requireConnection();
    void writeChangedItems(const CCategory& category, std::vector<RefusedItem>* refused);
    void writeRefusable(const CLinkItem& item, bool exists, std::vector<RefusedItem>* refused);

    std::string path;
    CCategory root;
};
