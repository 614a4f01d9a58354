// SPDX-License-Identifier: GPL-3.0-or-later
#include "cataloguegenerator.h"

#include "storage/builtincategories.h"

#include <sqlite3.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <filesystem>
#include <random>
#include <stdexcept>
#include <vector>

namespace {

// The catalogue must be the same in every run, or figures of two runs could not be compared.
constexpr std::uint32_t seed = 20240611;
constexpr int deepestLevel = 4;
constexpr int builtInIconCount = 23;

// The program's own creation statements, word for word.
constexpr const char* createStatements[] = {
    "create table category_table (guid text,name text,level int,parent_guid text,system int,iconIndex int,"
    "itemorder integer primary key AUTOINCREMENT);",
    "create table link_table (guid text,name text,target text,category text,star int,comment text,type int,"
    "itemorder integer primary key AUTOINCREMENT);",
    "create table imagelist_table (id int primary key,data blob);",
};

// The indexes the program creates when it opens a catalogue; made here so that the first open
// in a benchmark does not pay for building them.
constexpr const char* indexStatements[] = {
    "create index if not exists link_table_guid on link_table(guid);",
    "create index if not exists link_table_category on link_table(category);",
    "create index if not exists category_table_guid on category_table(guid);",
    "create index if not exists category_table_parent_guid on category_table(parent_guid);",
};

constexpr const char* insertCategory =
    "insert into category_table (guid,name,level,parent_guid,system,iconIndex) values(?,?,?,?,?,?);";
constexpr const char* insertItem =
    "insert into link_table (guid,name,target,category,star,comment,type) values(?,?,?,?,?,?,?);";

// None of these, alone or combined as below, gives one of the two reserved names.
constexpr std::array topics = {
    "Projects",  "Invoices", "Contracts", "Photos",      "Travel",       "Recipes",       "Manuals",      "Taxes",
    "Insurance", "Music",    "Videos",    "Research",    "Reading list", "Courses",       "Clients",      "Meetings",
    "Design",    "Drafts",   "Archive",   "Receipts",    "Letters",      "Software",      "Tutorials",    "Hobbies",
    "Garden",    "Health",   "School",    "Conferences", "Reports",      "Presentations", "Spreadsheets", "Templates",
    "Family",    "Home",     "Car",       "Finance",     "Shopping",     "News",          "Sports",       "Cooking"};
constexpr std::array clients = {"Northwind",     "Acme",     "Harbor Bridge", "Blue Fjord",   "Lindqvist",
                                "Okafor & Sons", "Meridian", "Castellano",    "Tanaka Works", "Greenleaf",
                                "Vasquez Ltd",   "Polaris",  "Kestrel",       "Brightwater",  "Ironbark",
                                "Sundial",       "Marlow",   "Quillon",       "Redwood",      "Ostrava Steel"};
constexpr std::array places = {"Berlin", "Lisbon",    "Oslo",   "Kyoto", "Lagos", "Toronto", "Valparaiso", "Tallinn",
                               "Hobart", "Marrakesh", "Bergen", "Porto", "Cork",  "Graz",    "Busan",      "Quito"};
constexpr std::array documentKinds = {
    "Quarterly report", "Meeting notes", "Contract",  "Budget",    "Presentation", "Letter",  "Manual",
    "Recipe",           "Ticket",        "Receipt",   "Draft",     "Minutes",      "Offer",   "Timesheet",
    "Certificate",      "Specification", "Checklist", "Itinerary", "Statement",    "Proposal"};
constexpr std::array extensions = {".pdf", ".docx", ".xlsx", ".odt", ".ods", ".pptx",
                                   ".txt", ".md",   ".jpg",  ".png", ".mp3", ".mp4"};
constexpr std::array homeFolders = {"Documents", "Pictures", "Music", "Videos",
                                    "Downloads", "Desktop",  "Work",  "Projects"};
// At most 19 characters each, so one more folder never takes a path past 120 characters.
constexpr std::array folders = {
    "2019",    "2020",    "2021",    "2022",      "2023",        "archive",         "current",        "shared",
    "scans",   "old",     "Clients", "Finance",   "Family",      "Holidays",        "Invoices",       "Planning",
    "Reviews", "Backups", "exports", "Northwind", "Lisbon trip", "Kitchen remodel", "Board meetings", "Course notes"};
constexpr std::array pageKinds = {"pricing",   "support forum", "order status", "documentation", "blog",
                                  "login",     "timetable",     "recipes",      "news",          "careers",
                                  "downloads", "release notes", "contact",      "community wiki"};
constexpr std::array domains = {".com", ".org", ".net", ".io", ".de", ".co.uk", ".no", ".pt"};
constexpr std::array pathWords = {"products", "en",   "support", "articles", "help", "docs",   "v2",     "catalog",
                                  "category", "news", "archive", "2023",     "kb",   "guides", "topics", "store"};
constexpr std::array remarks = {"Signed copy",
                                "Needs review before the meeting",
                                "Sent to accounting",
                                "Final version",
                                "Keep until the end of the year",
                                "Shared with the team",
                                "Original in the filing cabinet",
                                "Ask about the report",
                                "Second draft, comments from Maria",
                                "Paid by bank transfer",
                                "Referenced in the yearly report",
                                "Check the figures again",
                                "Printed",
                                "Backup on the NAS"};

class Dice {
public:
    std::uint32_t below(std::uint32_t count) { return engine() % count; }
    bool chance(std::uint32_t percent) { return below(100) < percent; }

    template <class List>
    const char* pick(const List& list)
    {
        return list[below(static_cast<std::uint32_t>(list.size()))];
    }

    std::string number(int digits)
    {
        std::string text;
        for (int i = 0; i < digits; ++i)
            text += static_cast<char>('0' + below(10));
        return text;
    }

    // The program's own GUIDs: version 4, lowercase, hyphenated.
    std::string guid()
    {
        static constexpr char hex[] = "0123456789abcdef";
        std::string text;
        for (int i = 0; i < 32; ++i) {
            if (i == 8 || i == 12 || i == 16 || i == 20)
                text += '-';
            std::uint32_t digit = below(16);
            if (i == 12)
                digit = 4;
            else if (i == 16)
                digit = 8 + digit % 4;
            text += hex[digit];
        }
        return text;
    }

private:
    std::mt19937 engine{seed};
};

struct Category {
    std::string guid;
    std::string name;
    int level = 0;
    std::string parentGuid;
    int system = 0;
    int iconIndex = 0;
};

struct Item {
    std::string guid, name, target, category, comment;
    int star = 0;
    int type = 0;
};

std::string year(Dice& dice)
{
    return std::to_string(2008 + dice.below(17));
}

std::string twoDigits(int value)
{
    std::string text = std::to_string(value);
    if (text.size() < 2)
        text.insert(text.begin(), '0');
    return text;
}

std::string categoryName(Dice& dice, int level)
{
    switch (level == 0 ? 0 : dice.below(4)) {
    case 0:
        return dice.pick(topics);
    case 1:
        return std::string(dice.pick(topics)) + " " + year(dice);
    case 2:
        return dice.pick(clients);
    default:
        return std::string(dice.pick(topics)) + " " + dice.pick(places);
    }
}

// Folders are added until the path reaches a length between 60 and 100; the last one may take
// it up to 120.
std::string fileTarget(Dice& dice, const std::string& fileName)
{
    const std::size_t wanted = 60 + dice.below(41);
    std::string path = std::string("/home/anna/") + dice.pick(homeFolders) + "/";
    while (path.size() + fileName.size() < wanted)
        path += std::string(dice.pick(folders)) + "/";
    return path + fileName;
}

std::string webTarget(Dice& dice, const std::string& host, const std::string& page)
{
    const std::size_t wanted = 60 + dice.below(41);
    std::string address = "https://www." + host + "/";
    std::string slug = page;
    for (char& c : slug)
        if (c == ' ')
            c = '-';
    while (address.size() + slug.size() < wanted)
        address += std::string(dice.pick(pathWords)) + "/";
    return address + slug;
}

std::string hostOf(Dice& dice, const std::string& client)
{
    std::string host;
    for (char c : client) {
        if (c >= 'A' && c <= 'Z')
            host += static_cast<char>(c - 'A' + 'a');
        else if ((c >= 'a' && c <= 'z') || (c >= '0' && c <= '9'))
            host += c;
        else if (c == ' ' && !host.empty() && host.back() != '-')
            host += '-';
    }
    return host + dice.pick(domains);
}

std::string comment(Dice& dice)
{
    if (dice.chance(20))
        return {};
    std::string text = dice.pick(remarks);
    if (dice.chance(30))
        text += std::string(". ") + dice.pick(remarks);
    return text;
}

Item fileItem(Dice& dice)
{
    std::string name;
    if (dice.chance(15))
        name = "IMG_" + dice.number(4) + (dice.chance(50) ? ".jpg" : ".png");
    else if (dice.chance(50))
        name = std::string(dice.pick(documentKinds)) + " " + dice.pick(clients) + dice.pick(extensions);
    else
        name = std::string(dice.pick(documentKinds)) + " " + year(dice) + "-" + twoDigits(1 + dice.below(12))
               + dice.pick(extensions);
    Item item;
    item.target = fileTarget(dice, name);
    item.name = std::move(name);
    item.type = 0;
    return item;
}

Item webItem(Dice& dice)
{
    const std::string client = dice.pick(clients);
    const std::string page = dice.pick(pageKinds);
    Item item;
    item.name = client + " - " + page;
    item.target = webTarget(dice, hostOf(dice, client), page);
    item.type = 1;
    return item;
}

Item invoiceScan(Dice& dice)
{
    const std::string when = year(dice) + "-" + twoDigits(1 + dice.below(12)) + "-" + twoDigits(1 + dice.below(28));
    const std::string name = "Invoice " + when + " " + dice.pick(clients) + " " + dice.number(5) + ".pdf";
    Item item;
    item.name = name;
    item.target = "/home/anna/Documents/Finance/Scans/" + when.substr(0, 4) + "/" + name;
    item.comment = dice.chance(60) ? "Paid" : "Scanned " + when;
    item.type = 0;
    return item;
}

class Writer {
public:
    explicit Writer(const std::string& path)
    {
        if (sqlite3_open(path.c_str(), &db) != SQLITE_OK)
            fail("open");
    }
    ~Writer()
    {
        for (sqlite3_stmt* statement : statements)
            sqlite3_finalize(statement);
        sqlite3_close(db);
    }
    Writer(const Writer&) = delete;
    Writer& operator=(const Writer&) = delete;

    void execute(const char* sql)
    {
        if (sqlite3_exec(db, sql, nullptr, nullptr, nullptr) != SQLITE_OK)
            fail(sql);
    }

    sqlite3_stmt* prepare(const char* sql)
    {
        sqlite3_stmt* statement = nullptr;
        if (sqlite3_prepare_v2(db, sql, -1, &statement, nullptr) != SQLITE_OK)
            fail(sql);
        statements.push_back(statement);
        return statement;
    }

    void write(const Category& category, sqlite3_stmt* statement)
    {
        bindText(statement, 1, category.guid);
        bindText(statement, 2, category.name);
        sqlite3_bind_int(statement, 3, category.level);
        bindText(statement, 4, category.parentGuid);
        sqlite3_bind_int(statement, 5, category.system);
        sqlite3_bind_int(statement, 6, category.iconIndex);
        step(statement);
    }

    void write(const Item& item, sqlite3_stmt* statement)
    {
        bindText(statement, 1, item.guid);
        bindText(statement, 2, item.name);
        bindText(statement, 3, item.target);
        bindText(statement, 4, item.category);
        sqlite3_bind_int(statement, 5, item.star);
        bindText(statement, 6, item.comment);
        sqlite3_bind_int(statement, 7, item.type);
        step(statement);
    }

private:
    static void bindText(sqlite3_stmt* statement, int column, const std::string& text)
    {
        sqlite3_bind_text(statement, column, text.c_str(), static_cast<int>(text.size()), SQLITE_TRANSIENT);
    }

    void step(sqlite3_stmt* statement)
    {
        if (sqlite3_step(statement) != SQLITE_DONE)
            fail("insert");
        sqlite3_reset(statement);
    }

    [[noreturn]] void fail(const std::string& what)
    {
        throw std::runtime_error("catalogue generator: " + what + ": " + sqlite3_errmsg(db));
    }

    sqlite3* db = nullptr;
    std::vector<sqlite3_stmt*> statements;
};

// Category indices that may still take a child, one list for the subtree to be deleted and one
// for the rest of the tree.
struct Parents {
    std::vector<std::size_t> main, subtree;

    static void offer(std::vector<std::size_t>& list, const std::vector<Category>& all, std::size_t index)
    {
        if (all[index].level < deepestLevel)
            list.push_back(index);
    }
};

std::vector<Category> makeCategories(Dice& dice, const CatalogueSize& size, GeneratedCatalogue& made)
{
    const int generatedTop = size.topLevelCategories - 4;
    const int minimum = static_cast<int>(builtInCategories.size()) + generatedTop + size.deleteSubtreeCategories + 1;
    if (generatedTop < 1 || size.deleteSubtreeCategories < 1 || size.categories < minimum)
        throw std::invalid_argument("catalogue generator: too few categories for the shape asked for");

    std::vector<Category> all;
    all.reserve(static_cast<std::size_t>(size.categories));
    Parents parents;
    for (const BuiltInCategory& builtIn : builtInCategories) {
        all.push_back({builtIn.guid, builtIn.name, builtIn.level, builtIn.parentGuid, 1, 0});
        Parents::offer(parents.main, all, all.size() - 1);
    }

    const int subtreeTopAt = static_cast<int>(dice.below(static_cast<std::uint32_t>(generatedTop)));
    for (int i = 0; i < generatedTop; ++i) {
        const bool subtreeTop = i == subtreeTopAt;
        all.push_back({dice.guid(), subtreeTop ? deleteSubtreeName : categoryName(dice, 0), 0, "", 0,
                       static_cast<int>(dice.below(builtInIconCount))});
        Parents::offer(subtreeTop ? parents.subtree : parents.main, all, all.size() - 1);
        if (subtreeTop)
            made.deleteSubtreeGuid = all.back().guid;
    }

    // The large category comes a fifth of the way through, so that categories made before and
    // after it surround it in the table.
    const std::size_t largeAt =
        all.size() + static_cast<std::size_t>(size.categories - static_cast<int>(all.size())) / 5;
    int subtreeLeft = size.deleteSubtreeCategories - 1;
    bool largePlaced = false;
    while (static_cast<int>(all.size()) < size.categories) {
        if (!largePlaced && all.size() >= largeAt) {
            std::vector<std::size_t> levelOne;
            for (std::size_t index : parents.main)
                if (all[index].level == 1)
                    levelOne.push_back(index);
            const Category& parent = all[levelOne[dice.below(static_cast<std::uint32_t>(levelOne.size()))]];
            all.push_back({dice.guid(), largeCategoryName, 2, parent.guid, 0, 0});
            Parents::offer(parents.main, all, all.size() - 1);
            made.largeCategoryGuid = all.back().guid;
            largePlaced = true;
            continue;
        }
        const int othersLeft = size.categories - static_cast<int>(all.size()) - (largePlaced ? 0 : 1);
        const bool inSubtree =
            subtreeLeft > 0 && static_cast<int>(dice.below(static_cast<std::uint32_t>(othersLeft))) < subtreeLeft;
        std::vector<std::size_t>& candidates = inSubtree ? parents.subtree : parents.main;
        const Category& parent = all[candidates[dice.below(static_cast<std::uint32_t>(candidates.size()))]];
        const int level = parent.level + 1;
        all.push_back({dice.guid(), categoryName(dice, level), level, parent.guid, 0,
                       static_cast<int>(dice.below(builtInIconCount))});
        Parents::offer(candidates, all, all.size() - 1);
        if (inSubtree)
            --subtreeLeft;
        made.deepestLevel = std::max(made.deepestLevel, level);
    }
    return all;
}

}  // namespace

GeneratedCatalogue generateCatalogue(const std::string& path, const CatalogueSize& size)
{
    std::filesystem::remove(path);
    std::filesystem::remove(path + "-journal");
    if (size.largeCategoryItems > size.items)
        throw std::invalid_argument("catalogue generator: the large category holds more items than the catalogue");

    Dice dice;
    GeneratedCatalogue made;
    const std::vector<Category> categories = makeCategories(dice, size, made);

    Writer writer(path);
    // Durability does not matter while the file is being made; the result is the same file.
    writer.execute("pragma synchronous=off;");
    for (const char* statement : createStatements)
        writer.execute(statement);
    writer.execute("begin transaction;");
    sqlite3_stmt* categoryInsert = writer.prepare(insertCategory);
    for (const Category& category : categories)
        writer.write(category, categoryInsert);

    // Items of every category are interleaved, as when a user files things over the years.
    sqlite3_stmt* itemInsert = writer.prepare(insertItem);
    int largeLeft = size.largeCategoryItems;
    for (int i = 0; i < size.items; ++i) {
        const int itemsLeft = size.items - i;
        const bool large = static_cast<int>(dice.below(static_cast<std::uint32_t>(itemsLeft))) < largeLeft;
        Item item;
        if (large) {
            item = invoiceScan(dice);
            item.category = made.largeCategoryGuid;
            --largeLeft;
        } else {
            item = dice.chance(25) ? webItem(dice) : fileItem(dice);
            item.comment = comment(dice);
            const Category* category = nullptr;
            do
                category = &categories[dice.below(static_cast<std::uint32_t>(categories.size()))];
            while (category->guid == made.largeCategoryGuid);
            item.category = category->guid;
        }
        item.guid = dice.guid();
        item.star = dice.chance(3) ? 1 : 0;
        writer.write(item, itemInsert);
    }
    writer.execute("commit transaction;");
    for (const char* statement : indexStatements)
        writer.execute(statement);
    return made;
}
