// SPDX-License-Identifier: GPL-3.0-or-later
// Faults the program meets on a real machine: a full disk, a read-only catalogue, a catalogue another
// program holds locked, a settings file that cannot be written. Each case pins the exact error the
// default error box shows, that nothing is reported done (a list row, a tree node, a count) that is
// not stored, and that the catalogue still opens as the program opens it and passes SQLite's
// integrity check.

#include "crashcatalogue.h"
#include "faultfilesystem.h"

#include "backup/backupfile.h"
#include "commands/cataloguecommands.h"
#include "commands/writebatch.h"
#include "import/bookmarkfilereader.h"
#include "import/cfavoriteengine.h"
#include "import/foldertree.h"
#include "import/importfavorites.h"
#include "import/treeimport.h"
#include "shell/appsettings.h"
#include "tempfolder.h"

#include <gtest/gtest.h>

#include <csignal>
#include <cstdio>
#include <exception>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

constexpr const char* generalGuid = "5EE0962C-217D-411a-BB72-6261B1B4F5BF";
constexpr const char* mediaGuid = "099C65A7-7E41-4d97-8294-6762A3E291F4";
constexpr const char* websitesGuid = "9EED3209-19C9-4a89-B8B3-5FA0F96697F4";
constexpr const char* catalogueMarker = "The catalogue as it was";
const std::string fullText = "SQLITE_FULL[13]: database or disk is full";
const std::string readOnlyText = "SQLITE_READONLY[8]: attempt to write a readonly database";
const std::string lockedText = "SQLITE_BUSY[5]: database is locked";
constexpr std::size_t MiB = 1024 * 1024;

// What the window's error box would be given: the storage error's message or the exception's text.
std::string errorOf(const std::function<void()>& work)
{
    try {
        work();
    } catch (const CppSQLite3Exception& error) {
        return error.ErrorMessage();
    } catch (const std::exception& error) {
        return error.what();
    }
    return "no error";
}

std::string readFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

std::string number(int value)
{
    char text[16];
    std::snprintf(text, sizeof text, "%05d", value);
    return text;
}

// Long texts, so that a few thousand rows take megabytes.
std::string padded(const std::string& start)
{
    return start + " " + std::string(190, 'x');
}

std::vector<ItemFields> files(int count, const std::string& prefix)
{
    std::vector<ItemFields> items;
    for (int i = 0; i < count; ++i)
        items.push_back({prefix + number(i), "/documents/" + prefix + number(i) + ".txt", std::string(1000, 'c'),
                         CLinkItem::FileType});
    return items;
}

std::vector<std::string> guidsOf(const CLinkItems& items)
{
    std::vector<std::string> guids;
    for (const CLinkItem* item : items)
        guids.push_back(item->GetGuid());
    return guids;
}

std::vector<std::string> guidsOf(const std::vector<CLinkItem>& items)
{
    std::vector<std::string> guids;
    for (const CLinkItem& item : items)
        guids.push_back(item.GetGuid());
    return guids;
}

// A branch as indented names, categories with their items, in the stored order.
std::string outline(const CCategory& category, const std::string& indent = "")
{
    std::string text;
    for (int i = 0; i < category.GetItemCount(); ++i)
        text += indent + "- " + category.GetItem(i)->GetName() + "\n";
    for (int i = 0; i < category.GetChildCount(); ++i)
        text += indent + "+ " + category.GetChild(i)->GetName() + "\n" + outline(*category.GetChild(i), indent + "  ");
    return text;
}

// Every row of both tables, in the stored order.
std::string tableRows(CDBManager& db)
{
    std::string text;
    for (const char* sql :
         {"select guid||'|'||name||'|'||level||'|'||parent_guid as r from category_table order by itemorder",
          "select guid||'|'||name||'|'||category as r from link_table order by itemorder"})
        for (CppSQLite3Query row = db.ExecuteQuery(sql); !row.Eof(); row.NextRow())
            text += row.fieldText("r") + "\n";
    return text;
}

// Two dumps of tableRows compared, saying where they part instead of printing both.
::testing::AssertionResult sameRows(const std::string& found, const std::string& expected)
{
    if (found == expected)
        return ::testing::AssertionSuccess();
    std::size_t line = 0, at = 0;
    while (at < found.size() && at < expected.size() && found[at] == expected[at])
        line += found[at++] == '\n' ? 1 : 0;
    const auto lineAt = [](const std::string& text, std::size_t from) {
        const std::size_t start = text.rfind('\n', from == 0 ? 0 : from - 1);
        const std::size_t begin = start == std::string::npos || from == 0 ? 0 : start + 1;
        return text.substr(begin, text.find('\n', begin) - begin);
    };
    return ::testing::AssertionFailure() << "the rows part at row " << line + 1 << ": found \"" << lineAt(found, at)
                                         << "\", expected \"" << lineAt(expected, at) << "\"";
}

std::string integrity(CDBManager& db)
{
    std::string verdict;
    for (CppSQLite3Query row = db.ExecuteQuery("pragma integrity_check;"); !row.Eof(); row.NextRow())
        verdict += (verdict.empty() ? "" : "; ") + row.fieldText("integrity_check");
    return verdict;
}

// Import inputs: three folders of `links` entries each, then one entry at the top, the folder first
// so the first row written is a category.
struct ImportInputs {
    std::string home;       // holds Favorites/
    std::string bookmarks;  // a bookmark file
    std::string documents;  // a folder of documents
    int rows = 0;
};

ImportInputs writeImportInputs(const std::string& at, int links)
{
    ImportInputs inputs{at + "/home", at + "/bookmarks.html", at + "/documents", 0};
    fs::create_directories(at);
    std::ofstream html(inputs.bookmarks, std::ios::binary);
    html << "<!DOCTYPE NETSCAPE-Bookmark-file-1>\n<TITLE>Bookmarks</TITLE>\n<DL><p>\n";
    int row = 0;
    for (int f = 0; f < 3; ++f) {
        const std::string folder = number(row++) + " folder";
        fs::create_directories(inputs.home + "/Favorites/" + folder);
        fs::create_directories(inputs.documents + "/" + folder);
        html << "<DT><H3>" << folder << "</H3>\n<DL><p>\n";
        for (int l = 0; l < links; ++l) {
            const std::string name = padded(number(row++));
            const std::string url = "https://example.com/" + name.substr(0, 5) + std::string(200, 'u');
            std::ofstream(inputs.home + "/Favorites/" + folder + "/" + name + ".url")
                << "[InternetShortcut]\nURL=" << url << "\n";
            std::ofstream(inputs.documents + "/" + folder + "/" + name) << row;
            html << "<DT><A HREF=\"" << url << "\">" << name << "</A>\n";
        }
        html << "</DL><p>\n";
    }
    const std::string top = padded(number(row++));
    std::ofstream(inputs.home + "/Favorites/" + top + ".url") << "[InternetShortcut]\nURL=https://example.com/top\n";
    std::ofstream(inputs.documents + "/" + top) << row;
    html << "<DT><A HREF=\"https://example.com/top\">" << top << "</A>\n</DL><p>\n";
    inputs.rows = row;
    return inputs;
}

// What an import left: the error the window would show, the counts it believed stored, and the branch
// the window shows after it (brought into memory from the database, as the window does).
struct ImportResult {
    std::string error = "no error";
    std::size_t categories = 0;
    std::size_t items = 0;
    std::string shown;
};

class FaultTest : public ::testing::Test {
protected:
    // A catalogue with a marker category, files in "General files" and a small subtree below "Media
    // files", made and opened the way the program makes and opens it.
    void makeCatalogue(const std::string& catalogue)
    {
        path = catalogue;
        {
            CDBManager maker;
            openAsTheProgramDoes(maker, path);
            CatalogueCommands making(maker);
            making.addCategory(maker.GetRootCategory(), catalogueMarker, 0);
            CCategory& makerGeneral = *findCategory(maker.GetRootCategory(), generalGuid).category;
            making.appendItems(makerGeneral, files(300, "old"), Progress::none(), [](const CLinkItems&) {});
            CCategory& branch =
                making.addCategory(*findCategory(maker.GetRootCategory(), mediaGuid).category, "Branch", 1);
            for (int i = 0; i < 5; ++i)
                making.appendItems(making.addCategory(branch, "Twig " + number(i), 0), files(3, "twig" + number(i)),
                                   Progress::none(), [](const CLinkItems&) {});
        }
        open();
    }

    void open()
    {
        openAsTheProgramDoes(db, path);
        general = findCategory(db.GetRootCategory(), generalGuid).category;
        media = findCategory(db.GetRootCategory(), mediaGuid).category;
        websites = findCategory(db.GetRootCategory(), websitesGuid).category;
        branch = media->GetChild(0);
        db.LoadItems(*general);
    }

    // The catalogue opened afresh as the program opens it; it must pass the integrity check.
    std::string reopenedRows()
    {
        CDBManager again;
        try {
            openAsTheProgramDoes(again, path);
        } catch (const std::exception& error) {
            ADD_FAILURE() << "the catalogue no longer opens: " << error.what();
            return {};
        }
        EXPECT_EQ(integrity(again), "ok");
        return tableRows(again);
    }

    // The branch below the category as a fresh open of the catalogue finds it.
    std::string reopenedBranch(const std::string& guid)
    {
        CDBManager again;
        openAsTheProgramDoes(again, path);
        EXPECT_EQ(integrity(again), "ok");
        CCategory* category = findCategory(again.GetRootCategory(), guid).category;
        std::vector<CCategory*> pending{category};
        while (!pending.empty()) {
            CCategory* at = pending.back();
            pending.pop_back();
            again.LoadItems(*at);
            for (int i = 0; i < at->GetChildCount(); ++i)
                pending.push_back(at->GetChild(i));
        }
        return outline(*category);
    }

    // The window's importTree: the rows through a batch, a failure kept, the new branch brought into
    // memory and the target's items shown again, then the failure shown.
    ImportResult importLikeTheWindow(CCategory& target, const std::function<void(WriteBatch&)>& store, std::size_t rows)
    {
        ImportResult result;
        std::exception_ptr failure;
        {
            WriteBatch batch(db, Progress::none(), rows);
            try {
                store(batch);
                batch.finish();
            } catch (...) {
                failure = std::current_exception();
            }
            result.categories = batch.storedCategories();
            result.items = batch.storedItems();
        }
        commands.reloadBranch(target);
        db.LoadItems(target);
        result.shown = outline(target);
        if (failure)
            result.error = errorOf([&] { std::rethrow_exception(failure); });
        return result;
    }

    ImportResult importFavorites(CCategory& target, const std::string& home)
    {
        CFavoriteEngine engine(home + "/Favorites");
        const FavoriteNode* favorites = engine.ReadFavorites();
        return importLikeTheWindow(
            target,
            [&](WriteBatch& batch) { ImportFavoriteLevel(favorites, target.GetLevel(), target.GetGuid(), db, batch); },
            countFavoriteRows(favorites));
    }

    ImportResult importTree(CCategory& target, const ImportTree& tree)
    {
        return importLikeTheWindow(
            target, [&](WriteBatch& batch) { storeImportTree(tree.root, target, db, batch); },
            importRowCount(tree.root));
    }

    // The stored rows of an import below the category: categories and items.
    int storedBelow(const std::string& guid)
    {
        CDBManager again;
        openAsTheProgramDoes(again, path);
        CppSQLite3Buffer sql;
        sql.Format(
            "with recursive below(guid) as (select '%q' union select c.guid from category_table c join below "
            "on c.parent_guid=below.guid) select (select count(*) from below)-1+(select count(*) from link_table "
            "where category in (select guid from below))",
            guid.c_str());
        return again.ExecuteScalar(sql);
    }

    TempFolder folder;
    std::string path;
    CDBManager db;
    CatalogueCommands commands{db};
    CCategory* general = nullptr;
    CCategory* media = nullptr;
    CCategory* websites = nullptr;
    CCategory* branch = nullptr;
};

// ---- a full disk -----------------------------------------------------------------------------

enum class FullDisk { SmallFilesystem, PageLimit };

std::string fullDiskName(const ::testing::TestParamInfo<FullDisk>& info)
{
    return info.param == FullDisk::SmallFilesystem ? "SmallFilesystem" : "PageLimit";
}

// The catalogue on a small filesystem of its own, or capped by SQLite's page limit where no
// filesystem can be mounted (only the catalogue's growth is refused then, not its journal).
class FullDiskTest : public FaultTest {
protected:
    void useSmallDisk(std::size_t size = 4 * MiB)
    {
        disk = std::make_unique<SmallFilesystem>(folder.path("disk"), size);
        makeCatalogue(disk->path() + "/FavoritesDB.db");
    }

    std::unique_ptr<SmallFilesystem> disk;
};

class FullCatalogueTest : public FullDiskTest, public ::testing::WithParamInterface<FullDisk> {
protected:
    void SetUp() override
    {
        if (GetParam() == FullDisk::PageLimit) {
            makeCatalogue(folder.path("FavoritesDB.db"));
            return;
        }
        REQUIRE_SMALL_FILESYSTEM();
        useSmallDisk();
    }

    void fullAfter(std::size_t bytes)
    {
        if (disk) {
            disk->fill(bytes);
            return;
        }
        const int pages =
            db.ExecuteScalar("pragma page_count;") + static_cast<int>(bytes) / db.ExecuteScalar("pragma page_size;");
        db.ExecuteStatement(("pragma max_page_count=" + std::to_string(pages) + ";").c_str());
    }

    void roomAgain()
    {
        if (disk)
            disk->empty();
        else
            db.ExecuteStatement("pragma max_page_count=1073741823;");
    }
};

class SmallDiskTest : public FullDiskTest {
protected:
    void SetUp() override
    {
        REQUIRE_SMALL_FILESYSTEM();
        useSmallDisk();
    }
};

}  // namespace

INSTANTIATE_TEST_SUITE_P(Disks, FullCatalogueTest, ::testing::Values(FullDisk::SmallFilesystem, FullDisk::PageLimit),
                         fullDiskName);

TEST_P(FullCatalogueTest, AppendItemsKeepsEveryReportedBatchAndTakesTheRefusedOneBack)
{
    fullAfter(600 * 1024);
    std::vector<std::string> reported;
    const std::string error = errorOf([&] {
        commands.appendItems(*general, files(1000, "new"), Progress::none(), [&](const CLinkItems& stored) {
            for (const std::string& guid : guidsOf(stored))
                reported.push_back(guid);
        });
    });
    EXPECT_EQ(error, fullText);
    EXPECT_FALSE(db.InTransaction());
    EXPECT_GT(reported.size(), 0u) << "the disk was full before the first batch";
    EXPECT_LT(reported.size(), 1000u);
    // The list shows the old items and the reported ones; memory and the table hold exactly those.
    EXPECT_EQ(guidsOf(general->GetItems()), guidsOf(db.ReadItems(*general)));
    EXPECT_EQ(general->GetItemCount(), 300 + static_cast<int>(reported.size()));
    const std::vector<std::string> inMemory = guidsOf(general->GetItems());
    EXPECT_EQ(std::vector<std::string>(inMemory.begin() + 300, inMemory.end()), reported);

    roomAgain();
    commands.appendItems(*general, files(1, "later"), Progress::none(), [](const CLinkItems&) {});
    EXPECT_EQ(db.ReadItems(*general).size(), 301 + reported.size());
    EXPECT_NE(reopenedRows(), "");
}

TEST_P(FullCatalogueTest, ImportsStopWithTheDiskFullAndShowOnlyWhatIsStored)
{
    const ImportInputs inputs = writeImportInputs(folder.path("inputs"), 1000);
    // Under the page limit a link's own insert is refused, which the Favorites import reports by name
    // with SQLite's reason; on a full filesystem the refusal comes with the commit, in SQLite's words.
    const bool linkRefused = GetParam() == FullDisk::PageLimit;
    const std::string favoritesError = linkRefused ? "Cannot store the favorite" : fullText;
    struct Import {
        const char* name;
        std::function<ImportResult(CCategory&)> run;
        std::string error;
    };
    const std::vector<Import> imports = {
        {"Favorites", [&](CCategory& target) { return importFavorites(target, inputs.home); }, favoritesError},
        {"bookmark file", [&](CCategory& target) { return importTree(target, readBookmarkFile(inputs.bookmarks)); },
         fullText},
        {"folder", [&](CCategory& target) { return importTree(target, readFolderTree(inputs.documents)); }, fullText},
    };
    for (const Import& import : imports) {
        SCOPED_TRACE(import.name);
        CCategory& target = commands.addCategory(*websites, import.name, 0);
        fullAfter(1 * MiB);
        const ImportResult result = import.run(target);
        roomAgain();
        if (import.error == "Cannot store the favorite") {
            const std::string start = "Cannot store the favorite \"", end = "\" in the catalogue: " + fullText;
            ASSERT_EQ(result.error.rfind(start, 0), 0u) << result.error;
            ASSERT_GT(result.error.size(), start.size() + end.size());
            EXPECT_EQ(result.error.substr(result.error.size() - end.size()), end);
            const std::string name = result.error.substr(start.size(), result.error.size() - start.size() - end.size());
            CppSQLite3Buffer sql;
            EXPECT_EQ(db.ExecuteScalar(sql.Format("select count(*) from link_table where name='%q'", name.c_str())), 0)
                << "the favorite named in the error is stored";
        } else {
            EXPECT_EQ(result.error, import.error);
        }
        EXPECT_FALSE(db.InTransaction());
        // What the window shows after the failure is what a fresh open finds; the rows the batch
        // counted as stored are among them.
        EXPECT_TRUE(sameRows(result.shown, reopenedBranch(target.GetGuid())));
        const int stored = storedBelow(target.GetGuid());
        EXPECT_GT(stored, 0) << "the disk was full before the first commit";
        EXPECT_LT(stored, inputs.rows);
        EXPECT_LE(static_cast<int>(result.categories + result.items), stored);
    }
    EXPECT_NE(reopenedRows(), "");
}

TEST_F(SmallDiskTest, AddCategoryOnAFullDiskJoinsNeitherTheTreeNorTheTable)
{
    const std::string before = tableRows(db);
    disk->fill();
    EXPECT_EQ(errorOf([&] { commands.addCategory(db.GetRootCategory(), "New top", 0); }), fullText);
    EXPECT_EQ(errorOf([&] { commands.addCategory(*general, "New child", 0); }), fullText);
    EXPECT_FALSE(db.InTransaction());
    EXPECT_EQ(db.GetRootCategory().GetChildCount(), 5);
    EXPECT_EQ(general->GetChildCount(), 0);
    EXPECT_TRUE(sameRows(reopenedRows(), before));
    disk->empty();
    commands.addCategory(*general, "New child", 0);
    EXPECT_EQ(general->GetChildCount(), 1);
}

TEST_F(SmallDiskTest, MoveItemsOnAFullDiskLeavesEveryItemWhereItIsStored)
{
    const std::string before = tableRows(db);
    const CLinkItems moving = general->GetItems();
    std::vector<std::string> left;
    disk->fill();
    const std::string error = errorOf([&] {
        commands.moveItems(*general, moving, *media, Progress::none(),
                           [&](const CLinkItem* item) { left.push_back(item->GetGuid()); });
    });
    EXPECT_EQ(error, fullText);
    EXPECT_FALSE(db.InTransaction());
    EXPECT_TRUE(left.empty()) << "a row left the list though nothing was moved";
    EXPECT_EQ(general->GetItemCount(), 300);
    for (const CLinkItem* item : general->GetItems())
        EXPECT_EQ(item->GetParentGuid(), generalGuid);
    EXPECT_EQ(guidsOf(general->GetItems()), guidsOf(db.ReadItems(*general)));
    EXPECT_TRUE(sameRows(reopenedRows(), before));
}

TEST_F(SmallDiskTest, CategoryDeleteOnAFullDiskKeepsTheWholeSubtree)
{
    const std::string before = tableRows(db);
    disk->fill();
    EXPECT_EQ(errorOf([&] { commands.deleteCategory(*media, *branch, Progress::none()); }), fullText);
    EXPECT_FALSE(db.InTransaction());
    ASSERT_EQ(media->GetChildCount(), 1);
    EXPECT_EQ(branch->GetChildCount(), 5);
    EXPECT_TRUE(sameRows(reopenedRows(), before));
}

TEST_F(SmallDiskTest, BackupOntoAFullDiskLeavesNoPartialFileAndSaysSo)
{
    // The catalogue lies elsewhere, larger than the small disk that receives the backup.
    const std::string large = folder.path("large.db");
    {
        CDBManager maker;
        openAsTheProgramDoes(maker, large);
        maker.ExecuteStatement("create table filler (data blob);");
        for (int i = 0; i < 24; ++i)
            maker.ExecuteStatement("insert into filler values(randomblob(131072));");
    }
    const std::string catalogueBytes = readFile(large);
    SmallFilesystem backups(folder.path("backups"), 1 * MiB);
    const std::string backup = backups.path() + "/catalogue.mbk";
    const BackupOutcome outcome = writeBackup(large, backup);
    EXPECT_FALSE(outcome.succeeded);
    EXPECT_EQ(outcome.message, backupWriteFailedText);
    EXPECT_FALSE(fs::exists(backup)) << "a partial backup stayed behind";
    EXPECT_EQ(readFile(large), catalogueBytes);
}

TEST_F(SmallDiskTest, RestoreWhoseStagingFileDoesNotFitLeavesTheCatalogueOpenAndAsItWas)
{
    const std::string source = folder.path("source.db");
    {
        CDBManager maker;
        openAsTheProgramDoes(maker, source);
        maker.ExecuteStatement("create table filler (data blob);");
        for (int i = 0; i < 48; ++i)
            maker.ExecuteStatement("insert into filler values(randomblob(131072));");
    }
    const std::string backup = folder.path("six.mbk");
    ASSERT_EQ(writeBackup(source, backup).message, backupSuccessText);
    const std::string before = tableRows(db);
    int closed = 0;
    const BackupOutcome outcome = restoreBackup(
        backup, path,
        [&] {
            ++closed;
            db.Close();
        },
        [&] { open(); });
    EXPECT_EQ(outcome.message, restoreStagingFailedText);
    EXPECT_EQ(closed, 0) << "the catalogue was closed for a restore that could not happen";
    EXPECT_TRUE(db.IsOpen());
    EXPECT_EQ(fs::file_size(stagingPath(path)), 0u);
    EXPECT_TRUE(sameRows(reopenedRows(), before));
}

TEST_F(SmallDiskTest, RestoreWhoseReplacementDoesNotFitKeepsTheOldCatalogueAndNoTemporary)
{
    const std::string source = folder.path("source.db");
    {
        CDBManager maker;
        openAsTheProgramDoes(maker, source);
        maker.ExecuteStatement("create table filler (data blob);");
        for (int i = 0; i < 20; ++i)
            maker.ExecuteStatement("insert into filler values(randomblob(131072));");
    }
    const std::string backup = folder.path("two-and-a-half.mbk");
    ASSERT_EQ(writeBackup(source, backup).message, backupSuccessText);
    const std::string before = tableRows(db);
    int closed = 0, reloaded = 0;
    const BackupOutcome outcome = restoreBackup(
        backup, path,
        [&] {
            ++closed;
            db.Close();
        },
        [&] {
            ++reloaded;
            open();
        });
    EXPECT_EQ(outcome.message, restoreReplaceFailedText);
    EXPECT_EQ(closed, 1);
    EXPECT_EQ(reloaded, 1) << "the window was left without a catalogue";
    EXPECT_NE(findCategory(db.GetRootCategory(), generalGuid).category, nullptr);
    EXPECT_FALSE(fs::exists(path + ".tmp"));
    EXPECT_TRUE(sameRows(reopenedRows(), before));
}

// ---- a read-only catalogue -------------------------------------------------------------------

// SQLite refuses to write a file whose header gives a file format write version it does not know
// (byte 18 above 2), whoever runs the program; file permissions would not stop root.
class ReadOnlyCatalogueTest : public FaultTest {
protected:
    void SetUp() override
    {
        makeCatalogue(folder.path("FavoritesDB.db"));
        db.Close();
        {
            std::fstream file(path, std::ios::in | std::ios::out | std::ios::binary);
            file.seekp(18);
            file.put(3);
        }
        bytes = readFile(path);
        open();
    }

    void TearDown() override
    {
        db.Close();
        EXPECT_EQ(readFile(path), bytes) << "the read-only catalogue was changed";
        if (!HasFatalFailure()) {
            EXPECT_NE(reopenedRows(), "");
        }
    }

    std::string bytes;
};

TEST_F(ReadOnlyCatalogueTest, EverySaveIsRefusedWithSQLitesReasonAndNothingIsShown)
{
    const std::string before = outline(db.GetRootCategory());
    bool shown = false;
    EXPECT_EQ(errorOf([&] {
                  commands.appendItems(*general, files(3, "new"), Progress::none(),
                                       [&](const CLinkItems&) { shown = true; });
              }),
              readOnlyText);
    EXPECT_FALSE(shown) << "a row was shown for an item that is not stored";
    EXPECT_EQ(errorOf([&] { commands.addCategory(*general, "New", 0); }), readOnlyText);
    EXPECT_EQ(errorOf([&] { commands.editCategory(*branch, "Renamed", 3); }), readOnlyText);
    EXPECT_EQ(errorOf([&] { commands.renameItem(*general->GetItem(0), "renamed"); }), readOnlyText);
    EXPECT_EQ(errorOf([&] {
                  commands.moveItems(*general, general->GetItems(), *media, Progress::none(),
                                     [&](const CLinkItem*) { shown = true; });
              }),
              readOnlyText);
    EXPECT_FALSE(shown) << "a row left the list though it was not moved";
    EXPECT_EQ(errorOf([&] { commands.deleteCategory(*media, *branch, Progress::none()); }), readOnlyText);
    EXPECT_FALSE(db.InTransaction());
    EXPECT_TRUE(sameRows(outline(db.GetRootCategory()), before));
}

TEST_F(ReadOnlyCatalogueTest, EveryImportIsRefusedWithSQLitesReasonAndShowsNothingNew)
{
    const ImportInputs inputs = writeImportInputs(folder.path("inputs"), 5);
    const std::string before = outline(*websites);
    for (const ImportResult& result :
         {importFavorites(*websites, inputs.home), importTree(*websites, readBookmarkFile(inputs.bookmarks)),
          importTree(*websites, readFolderTree(inputs.documents))}) {
        EXPECT_EQ(result.error, readOnlyText);
        EXPECT_EQ(result.categories + result.items, 0u);
        EXPECT_TRUE(sameRows(result.shown, before));
    }
    EXPECT_FALSE(db.InTransaction());
}

// ---- a catalogue another program holds locked ------------------------------------------------

// The other connection's exclusive lock keeps every statement of the program waiting: the program
// waits its busy timeout (short here), keeps its windows painting meanwhile, then gives up.
class LockedCatalogueTest : public FaultTest {
protected:
    void SetUp() override
    {
        makeCatalogue(folder.path("FavoritesDB.db"));
        before = tableRows(db);
        db.SetBusyTimeout(100);
        db.SetBusyWait([this] { ++waits; });
        other.Open(path.c_str());
        other.ExecuteStatement("begin exclusive;");
    }

    void TearDown() override
    {
        other.ExecuteStatement("rollback;");
        other.Close();
        EXPECT_FALSE(db.InTransaction());
        if (!HasFatalFailure()) {
            EXPECT_TRUE(sameRows(reopenedRows(), before));
        }
    }

    // The error of the work, which must have waited for the lock first.
    std::string errorAfterWaiting(const std::function<void()>& work)
    {
        waits = 0;
        const std::string error = errorOf(work);
        EXPECT_GT(waits, 0) << "the command did not wait for the lock";
        return error;
    }

    CppSQLite3DB other;
    std::string before;
    int waits = 0;
};

TEST_F(LockedCatalogueTest, EverySaveWaitsThenFailsAsLockedAndNothingIsShown)
{
    const std::string shape = outline(db.GetRootCategory());
    bool shown = false;
    EXPECT_EQ(errorAfterWaiting([&] {
                  commands.appendItems(*general, files(3, "new"), Progress::none(),
                                       [&](const CLinkItems&) { shown = true; });
              }),
              lockedText);
    EXPECT_EQ(errorAfterWaiting([&] { commands.addCategory(db.GetRootCategory(), "New", 0); }), lockedText);
    EXPECT_EQ(errorAfterWaiting([&] {
                  commands.moveItems(*general, general->GetItems(), *media, Progress::none(),
                                     [&](const CLinkItem*) { shown = true; });
              }),
              lockedText);
    EXPECT_EQ(errorAfterWaiting([&] { commands.deleteCategory(*media, *branch, Progress::none()); }), lockedText);
    EXPECT_FALSE(shown);
    EXPECT_TRUE(sameRows(outline(db.GetRootCategory()), shape));
}

TEST_F(LockedCatalogueTest, EveryImportWaitsThenFailsAsLockedAndStoresNothing)
{
    const ImportInputs inputs = writeImportInputs(folder.path("inputs"), 5);
    const std::vector<std::function<ImportResult()>> imports = {
        [&] { return importFavorites(*websites, inputs.home); },
        [&] { return importTree(*websites, readBookmarkFile(inputs.bookmarks)); },
        [&] { return importTree(*websites, readFolderTree(inputs.documents)); },
    };
    // After the failed import the window brings the branch up to date, which waits and fails too.
    for (const auto& import : imports)
        EXPECT_EQ(errorAfterWaiting([&] { throw std::runtime_error(import().error); }), lockedText);
}

TEST_F(LockedCatalogueTest, RestoreFailsAsLockedAndNeitherClosesNorReplacesTheCatalogue)
{
    const std::string source = folder.path("source.db");
    {
        CDBManager maker;
        openAsTheProgramDoes(maker, source);
    }
    const std::string backup = folder.path("backup.mbk");
    ASSERT_EQ(writeBackup(source, backup).message, backupSuccessText);
    int closed = 0;
    // The restore's own lock waits a moment, without the window's busy wait, then gives up.
    const std::string error = errorOf([&] {
        const BackupOutcome outcome = restoreBackup(
            backup, path,
            [&] {
                ++closed;
                db.Close();
            },
            [&] { open(); });
        throw std::runtime_error(outcome.message);
    });
    EXPECT_EQ(error, lockedText);
    EXPECT_EQ(closed, 0) << "the catalogue was closed for a restore that did not happen";
    EXPECT_TRUE(db.IsOpen());
    EXPECT_EQ(fs::file_size(stagingPath(path)), 0u);
}

TEST_F(LockedCatalogueTest, BackupFailsAsLockedAndWritesNoFile)
{
    // The window's backup: the catalogue's log written into the file first, then the copy.
    const std::string backup = folder.path("locked.mbk");
    const std::string error = errorOf([&] {
        if (db.IsOpen() && !db.Checkpoint())
            throw std::runtime_error("the checkpoint was refused");
        throw std::runtime_error(writeBackup(path, backup).message);
    });
    EXPECT_EQ(error, lockedText);
    EXPECT_FALSE(fs::exists(backup));
}

// ---- a settings file that cannot be written --------------------------------------------------

class UnwritableSettingsTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (const char* config = std::getenv("XDG_CONFIG_HOME"))
            savedConfig = config;
        ::setenv("XDG_CONFIG_HOME", folder.path("config").c_str(), 1);
        std::ofstream(ini, std::ios::binary) << original;
    }

    void TearDown() override
    {
        if (savedConfig)
            ::setenv("XDG_CONFIG_HOME", savedConfig->c_str(), 1);
        else
            ::unsetenv("XDG_CONFIG_HOME");
    }

    void expectRefused(const std::string& error)
    {
        EXPECT_EQ(error, "Unable to write to " + ini);
        EXPECT_FALSE(fs::exists(folder.path("config/autostart/varnelo.desktop")))
            << "the autorun entry changed after a failed save";
    }

    TempFolder folder;
    std::string ini = folder.path("varnelo.INI");
    std::string original = "[Settings]\nautorun=0\nalways=1\n";
    SettingsRecord changed{true, false, false, true, false};
    std::optional<std::string> savedConfig;
};

TEST_F(UnwritableSettingsTest, AFolderInPlaceOfTheFileIsReported)
{
    fs::remove(ini);
    fs::create_directories(ini);
    expectRefused(errorOf([&] { SaveSettings(changed, ini); }));
    EXPECT_TRUE(fs::is_directory(ini));
}

TEST_F(UnwritableSettingsTest, AFileSizeLimitOfNothingIsReportedAndTheFileKept)
{
    // In a child of its own: the limit and the ignored SIGXFSZ stay there.
    int channel[2];
    ASSERT_EQ(::pipe(channel), 0);
    const pid_t child = ::fork();
    if (child == 0) {
        ::close(channel[0]);
        std::signal(SIGXFSZ, SIG_IGN);
        const rlimit nothing{0, 0};
        ::setrlimit(RLIMIT_FSIZE, &nothing);
        const std::string error = errorOf([&] { SaveSettings(changed, ini); });
        [[maybe_unused]] const ssize_t wrote = ::write(channel[1], error.data(), error.size());
        ::_exit(0);
    }
    ::close(channel[1]);
    std::string error;
    char buffer[512];
    for (ssize_t got; (got = ::read(channel[0], buffer, sizeof buffer)) > 0;)
        error.append(buffer, static_cast<std::size_t>(got));
    ::close(channel[0]);
    int status = 0;
    ::waitpid(child, &status, 0);
    ASSERT_TRUE(WIFEXITED(status));
    expectRefused(error);
    EXPECT_EQ(readFile(ini), original);
    EXPECT_EQ(std::distance(fs::directory_iterator(folder.path()), fs::directory_iterator()), 1)
        << "a temporary of the failed save stayed behind";
}

TEST_F(UnwritableSettingsTest, AReadOnlyOrFullFilesystemIsReportedAndTheFileKept)
{
    REQUIRE_SMALL_FILESYSTEM();
    SmallFilesystem settings(folder.path("settings"), 1 * MiB);
    ini = settings.path() + "/varnelo.INI";
    std::ofstream(ini, std::ios::binary) << original;
    settings.fill();
    expectRefused(errorOf([&] { SaveSettings(changed, ini); }));
    EXPECT_EQ(readFile(ini), original);
    settings.empty();
    settings.remountReadOnly();
    expectRefused(errorOf([&] { SaveSettings(changed, ini); }));
    EXPECT_EQ(readFile(ini), original);
}

// ---- the lock of the backup and the restore takes nothing away -------------------------------

TEST(CatalogueFileLock, ADamagedCatalogueIsStillBackedUpAndReplacedByARestore)
{
    TempFolder folder;
    const std::string source = folder.path("source.db");
    {
        CDBManager maker;
        openAsTheProgramDoes(maker, source);
        CatalogueCommands(maker).addCategory(maker.GetRootCategory(), catalogueMarker, 0);
    }
    const std::string backup = folder.path("good.mbk");
    ASSERT_EQ(writeBackup(source, backup).message, backupSuccessText);
    // A catalogue SQLite cannot read takes no lock, and is still what the user can back up and restore over.
    const std::string damaged = folder.path("FavoritesDB.db");
    std::ofstream(damaged, std::ios::binary) << std::string(8192, '\x5a');
    EXPECT_EQ(writeBackup(damaged, folder.path("damaged.mbk")).message, backupSuccessText);
    CDBManager db;
    const BackupOutcome outcome = restoreBackup(
        backup, damaged, [&] { db.Close(); }, [&] { openAsTheProgramDoes(db, damaged); });
    EXPECT_EQ(outcome.message, restoreSuccessText);
    EXPECT_EQ(integrity(db), "ok");
    CppSQLite3Buffer sql;
    EXPECT_EQ(db.ExecuteScalar(sql.Format("select count(*) from category_table where name='%q'", catalogueMarker)), 1);
}
