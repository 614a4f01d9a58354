// SPDX-License-Identifier: GPL-3.0-or-later
// Kills the crash driver with SIGKILL at random moments of each command, then opens the catalogue as
// the program does and holds it against the driver's report log: everything reported done is there,
// the file passes SQLite's integrity check, and no batch, restore or delete is left half done.
// CRASH_TRIALS sets the trials per command (5 by default); CRASH_SEED replays a run's kill times.

#include "crashcatalogue.h"

#include "backup/automaticbackups.h"
#include "backup/backupfile.h"
#include "commands/cataloguecommands.h"
#include "import/importfavorites.h"
#include "tempfolder.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iostream>
#include <iterator>
#include <map>
#include <optional>
#include <random>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include <csignal>
#include <fcntl.h>
#include <poll.h>
#include <sys/wait.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

constexpr const char* generalGuid = "5EE0962C-217D-411a-BB72-6261B1B4F5BF";
constexpr const char* mediaGuid = "099C65A7-7E41-4d97-8294-6762A3E291F4";
constexpr const char* websitesGuid = "9EED3209-19C9-4a89-B8B3-5FA0F96697F4";
constexpr const char* wordGuid = "6C6FCDD3-6C95-49d9-AC6A-CC0913ABE5C1";
constexpr const char* oldMarker = "The catalogue before the restore";
constexpr const char* restoredMarker = "The catalogue of the backup";

using Clock = std::chrono::steady_clock;

std::size_t trialsPerCommand()
{
    const char* text = std::getenv("CRASH_TRIALS");
    const long value = text ? std::atol(text) : 0;
    return value > 0 ? static_cast<std::size_t>(value) : 5;
}

std::uint64_t runSeed()
{
    if (const char* text = std::getenv("CRASH_SEED"))
        return std::strtoull(text, nullptr, 10);
    return (static_cast<std::uint64_t>(std::random_device{}()) << 32) | std::random_device{}();
}

std::string fiveDigits(int number)
{
    char text[16];
    std::snprintf(text, sizeof text, "%05d", number);
    return text;
}

std::string readFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// The complete lines of the log; a line the kill cut short was never reported.
std::vector<std::string> completeLines(const std::string& path)
{
    const std::string text = readFile(path);
    std::vector<std::string> lines;
    std::size_t start = 0;
    for (std::size_t end; (end = text.find('\n', start)) != std::string::npos; start = end + 1)
        lines.push_back(text.substr(start, end - start));
    return lines;
}

std::vector<std::string> words(const std::string& line)
{
    std::istringstream in(line);
    return std::vector<std::string>(std::istream_iterator<std::string>(in), std::istream_iterator<std::string>());
}

int count(CDBManager& db, const std::string& sql)
{
    return db.ExecuteScalar(sql.c_str());
}

std::string integrity(CDBManager& db)
{
    std::string verdict;
    for (CppSQLite3Query row = db.ExecuteQuery("pragma integrity_check;"); !row.Eof(); row.NextRow())
        verdict += (verdict.empty() ? "" : "; ") + row.fieldText("integrity_check");
    return verdict;
}

std::vector<ItemFields> namedFiles(const std::string& prefix, int count)
{
    std::vector<ItemFields> files;
    for (int i = 0; i < count; ++i)
        files.push_back(
            {prefix + fiveDigits(i), "/documents/" + prefix + fiveDigits(i) + ".txt", "", CLinkItem::FileType});
    return files;
}

// ---- the driver ------------------------------------------------------------------------------

struct DriverRun {
    bool ready = false;  // reached its command
    bool killed = false;
    bool hung = false;
    int exitCode = -1;
    double commandMs = 0;  // from the start of its command to its end or the kill
    std::string errors;
};

// Starts the driver and, once it says its command starts, gives it killAfterMs to end before it is
// killed; without a delay it runs to the end. A deadline stops a driver that hangs.
DriverRun runDriver(const std::vector<std::string>& arguments, const std::string& home,
                    std::optional<double> killAfterMs, const std::string& errorsPath)
{
    int out[2];
    if (::pipe2(out, O_CLOEXEC) != 0)
        throw std::runtime_error("no pipe");
    const pid_t child = ::fork();
    if (child == 0) {
        ::dup2(out[1], STDOUT_FILENO);
        const int errors = ::open(errorsPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        ::dup2(errors, STDERR_FILENO);
        if (!home.empty())
            ::setenv("HOME", home.c_str(), 1);
        std::vector<std::string> all{CRASH_DRIVER};
        all.insert(all.end(), arguments.begin(), arguments.end());
        std::vector<char*> argv;
        for (std::string& argument : all)
            argv.push_back(argument.data());
        argv.push_back(nullptr);
        ::execv(CRASH_DRIVER, argv.data());
        ::_exit(127);
    }
    ::close(out[1]);

    DriverRun run;
    const Clock::time_point deadline = Clock::now() + std::chrono::seconds(120);
    Clock::time_point started{};
    std::string said;
    bool ended = false;
    // Reads what the driver says until it ends (its end of the pipe closes) or `until` passes.
    const auto listenUntil = [&](Clock::time_point until, bool stopWhenReady) {
        while (!ended && !(stopWhenReady && run.ready)) {
            const Clock::time_point now = Clock::now();
            if (now >= until)
                return;
            const auto left = std::chrono::duration_cast<std::chrono::nanoseconds>(until - now);
            const timespec wait{static_cast<time_t>(left.count() / 1000000000),
                                static_cast<long>(left.count() % 1000000000)};
            pollfd listening{out[0], POLLIN, 0};
            if (::ppoll(&listening, 1, &wait, nullptr) <= 0)
                continue;
            char buffer[256];
            const ssize_t got = ::read(out[0], buffer, sizeof buffer);
            if (got <= 0) {
                ended = true;
                break;
            }
            said.append(buffer, static_cast<std::size_t>(got));
            if (!run.ready && said.find(driverReadyLine) != std::string::npos) {
                run.ready = true;
                started = Clock::now();
            }
        }
    };
    listenUntil(deadline, true);
    if (run.ready) {
        const Clock::time_point killAt = killAfterMs ? started
                                                           + std::chrono::duration_cast<Clock::duration>(
                                                               std::chrono::duration<double, std::milli>(*killAfterMs))
                                                     : deadline;
        listenUntil(std::min(killAt, deadline), false);
    }
    const Clock::time_point stopped = Clock::now();
    if (!ended) {
        ::kill(child, SIGKILL);
        run.hung = !killAfterMs || stopped >= deadline;
    }
    int status = 0;
    ::waitpid(child, &status, 0);
    ::close(out[0]);
    run.killed = WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL;
    run.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    if (run.ready)
        run.commandMs = std::chrono::duration<double, std::milli>(stopped - started).count();
    run.errors = readFile(errorsPath);
    return run;
}

// ---- what a trial leaves ---------------------------------------------------------------------

struct Trial {
    std::size_t index = 0;
    std::string catalogue;
    std::optional<double> killAfterMs;
    DriverRun run;
    std::vector<std::string> report;
    bool journalLeft = false;    // a transaction was cut off (SQLite rolls it back at the open)
    bool temporaryLeft = false;  // a restore was cut off while copying over the database

    // The report lines that begin with the word.
    std::vector<std::vector<std::string>> reported(const char* word) const
    {
        std::vector<std::vector<std::string>> found;
        for (const std::string& line : report)
            if (std::vector<std::string> parts = words(line); !parts.empty() && parts[0] == word)
                found.push_back(parts);
        return found;
    }
};

// The catalogue every trial starts from: built-in categories, old items in "General files", a marker
// for the restore and, below "Media files", a subtree of a few hundred categories for the delete.
struct BaseCatalogue {
    static constexpr int oldItems = 2000;
    static constexpr int doomedMiddle = 15;
    static constexpr int doomedLeaves = 20;  // per middle category
    static constexpr int doomedItemsEach = 4;
    std::string doomedGuid;
    int doomedCategories = 0;
    int doomedItems = 0;
    int categories = 0;
    int items = 0;
};

BaseCatalogue makeBaseCatalogue(const std::string& path)
{
    BaseCatalogue base;
    CDBManager db;
    openAsTheProgramDoes(db, path);
    // Only the trials' writes are under test; the starting catalogue may be written quickly.
    db.ExecuteStatement("pragma synchronous=off;");
    CatalogueCommands commands(db);
    CCategory& root = db.GetRootCategory();
    commands.appendItems(*findCategory(root, generalGuid).category, namedFiles("old", BaseCatalogue::oldItems),
                         Progress::none(), [](const CLinkItems&) {});
    commands.addCategory(root, oldMarker, 0);
    CCategory& doomed = commands.addCategory(*findCategory(root, mediaGuid).category, "doomed top", 2);
    base.doomedGuid = doomed.GetGuid();
    std::vector<CCategory*> subtree{&doomed};
    for (int i = 0; i < BaseCatalogue::doomedMiddle; ++i) {
        CCategory& middle = commands.addCategory(doomed, "doomed " + fiveDigits(i), 0);
        subtree.push_back(&middle);
        for (int j = 0; j < BaseCatalogue::doomedLeaves; ++j)
            subtree.push_back(&commands.addCategory(middle, "doomed " + fiveDigits(i) + "-" + fiveDigits(j), 0));
    }
    for (CCategory* category : subtree)
        commands.appendItems(*category,
                             namedFiles("doomed-item-" + category->GetName() + "-", BaseCatalogue::doomedItemsEach),
                             Progress::none(), [](const CLinkItems&) {});
    base.doomedCategories = static_cast<int>(subtree.size());
    base.doomedItems = base.doomedCategories * BaseCatalogue::doomedItemsEach;
    base.categories = count(db, "select count(*) from category_table");
    base.items = count(db, "select count(*) from link_table");
    return base;
}

// ---- import inputs ---------------------------------------------------------------------------

// An import's rows in the order the import writes them: each folder, then its subtree, then its
// links. Every name starts with its place in that order, which also keeps each level sorted.
struct ExpectedRow {
    bool category = false;
    std::string name;
    std::string target;
    int parent = -1;  // the row number of the folder it lies in; -1 for the chosen category
    int depth = 1;    // folder levels below the chosen category
};

struct ImportFolderModel {
    int row = -1;
    std::string name;
    std::vector<ImportFolderModel> folders;
    std::vector<int> links;
};

struct ImportModel {
    ImportFolderModel root;
    std::vector<ExpectedRow> rows;
    int folders = 0;
    int links = 0;
};

// topFolders folders, each with subFolders subfolders of linksPerSub links and linksPerTop links of
// its own, then rootLinks links in the chosen category itself.
ImportModel makeImportModel(int topFolders, int subFolders, int linksPerSub, int linksPerTop, int rootLinks,
                            const std::function<std::string(int)>& linkName)
{
    ImportModel model;
    const std::function<void(ImportFolderModel&, int)> fill = [&](ImportFolderModel& folder, int depth) {
        const int folderCount = depth == 0 ? topFolders : depth == 1 ? subFolders : 0;
        const int linkCount = depth == 0 ? rootLinks : depth == 1 ? linksPerTop : linksPerSub;
        for (int i = 0; i < folderCount; ++i) {
            ImportFolderModel child;
            child.row = static_cast<int>(model.rows.size());
            child.name = fiveDigits(child.row) + " folder";
            model.rows.push_back({true, child.name, "", folder.row, depth + 1});
            ++model.folders;
            fill(child, depth + 1);
            folder.folders.push_back(std::move(child));
        }
        for (int i = 0; i < linkCount; ++i) {
            const int row = static_cast<int>(model.rows.size());
            model.rows.push_back({false, linkName(row), "https://example.com/" + fiveDigits(row), folder.row, depth});
            folder.links.push_back(row);
            ++model.links;
        }
    };
    fill(model.root, 0);
    return model;
}

void writeFavorites(const ImportModel& model, const ImportFolderModel& folder, const fs::path& at)
{
    fs::create_directories(at);
    for (const ImportFolderModel& child : folder.folders)
        writeFavorites(model, child, at / child.name);
    for (int row : folder.links)
        std::ofstream(at / (model.rows[row].name + ".url"), std::ios::binary)
            << "[InternetShortcut]\r\nURL=" << model.rows[row].target << "\r\n";
}

void writeBookmarkLevel(const ImportModel& model, const ImportFolderModel& folder, std::ostream& out,
                        const std::string& indent)
{
    out << indent << "<DL><p>\n";
    for (const ImportFolderModel& child : folder.folders) {
        out << indent << "    <DT><H3>" << child.name << "</H3>\n";
        writeBookmarkLevel(model, child, out, indent + "    ");
    }
    for (int row : folder.links)
        out << indent << "    <DT><A HREF=\"" << model.rows[row].target << "\">" << model.rows[row].name << "</A>\n";
    out << indent << "</DL><p>\n";
}

void writeBookmarkFile(const ImportModel& model, const std::string& path)
{
    std::ofstream out(path, std::ios::binary);
    out << "<!DOCTYPE NETSCAPE-Bookmark-file-1>\n"
           "<META HTTP-EQUIV=\"Content-Type\" CONTENT=\"text/html; charset=UTF-8\">\n"
           "<TITLE>Bookmarks</TITLE>\n<H1>Bookmarks</H1>\n";
    writeBookmarkLevel(model, model.root, out, "");
}

// Files of the folder import: their targets become their paths.
void writeDocuments(ImportModel& model, const ImportFolderModel& folder, const fs::path& at)
{
    fs::create_directories(at);
    for (const ImportFolderModel& child : folder.folders)
        writeDocuments(model, child, at / child.name);
    for (int row : folder.links) {
        model.rows[row].target = (at / model.rows[row].name).string();
        std::ofstream(model.rows[row].target, std::ios::binary) << row;
    }
}

// ---- the fixture -----------------------------------------------------------------------------

class CrashSafetyTest : public ::testing::Test {
protected:
    using Arguments = std::function<std::vector<std::string>(const std::string& catalogue, const std::string& log)>;
    // Checks a trial on the catalogue opened as the program opens it; returns what it found, for the record.
    using Check = std::function<std::string(CDBManager& db, const Trial& trial)>;

    void SetUp() override { base = makeBaseCatalogue(basePath); }

    // Runs to the end measure the command (and show the finished command holds up too); then each
    // trial kills a fresh copy of the catalogue at a random moment within the longest of them, so that
    // the last steps of a command whose time varies are reached too.
    void runTrials(const std::string& command, const Arguments& arguments, const Check& check,
                   const std::string& home = {})
    {
        const std::uint64_t seed = runSeed();
        const std::size_t trials = trialsPerCommand();
        RecordProperty("seed", std::to_string(seed));
        std::cout << "[ crash    ] " << command << ": " << trials << " trials, seed " << seed << " (CRASH_SEED=" << seed
                  << " replays the kill times)" << std::endl;
        double duration = 0;
        for (std::size_t run = 0; run < measuringRuns; ++run) {
            const Trial measured = runTrial(command, run, std::nullopt, arguments, check, home, seed);
            if (HasFatalFailure() || measured.run.killed)
                return;
            duration = std::max(duration, measured.run.commandMs);
        }
        std::mt19937_64 random(seed);
        std::uniform_real_distribution<double> moment(0.0, duration);
        std::size_t killed = 0;
        for (std::size_t i = measuringRuns; i < measuringRuns + trials; ++i) {
            const Trial trial = runTrial(command, i, moment(random), arguments, check, home, seed);
            if (HasFatalFailure())
                return;
            killed += trial.run.killed ? 1 : 0;
        }
        std::cout << "[ crash    ] " << command << ": " << killed << " of " << trials
                  << " trials killed part-way, the rest had finished" << std::endl;
    }

    Trial runTrial(const std::string& command, std::size_t index, std::optional<double> killAfterMs,
                   const Arguments& arguments, const Check& check, const std::string& home, std::uint64_t seed)
    {
        Trial trial;
        trial.index = index;
        trial.killAfterMs = killAfterMs;
        const fs::path place = fs::path(folder.path("trial-" + std::to_string(index)));
        fs::create_directories(place);
        trial.catalogue = (place / "FavoritesDB.db").string();
        fs::copy_file(basePath, trial.catalogue);
        const std::string log = (place / "report.log").string();

        std::ostringstream when;
        when << command << " trial " << index << " (seed " << seed << "): "
             << (killAfterMs ? "kill after " + std::to_string(*killAfterMs) + " ms" : std::string("run to the end"));
        SCOPED_TRACE(when.str());
        // Every run starts with nothing of the runs before it waiting to be written, so that the
        // disk is as fast for the trials as it was for the runs that measured the command.
        ::sync();
        trial.run = runDriver(arguments(trial.catalogue, log), home, killAfterMs, (place / "errors.txt").string());
        trial.report = completeLines(log);
        EXPECT_FALSE(trial.run.hung) << "the driver did not end: " << trial.run.errors;
        if (!trial.run.ready) {
            ADD_FAILURE() << "the driver never started its command: " << trial.run.errors;
            return trial;
        }
        if (!trial.run.killed) {
            EXPECT_EQ(trial.run.exitCode, 0) << trial.run.errors;
        }
        trial.journalLeft = fs::exists(trial.catalogue + "-journal");
        trial.temporaryLeft = fs::exists(trial.catalogue + ".tmp");

        CDBManager db;
        try {
            openAsTheProgramDoes(db, trial.catalogue);
        } catch (const std::exception& error) {
            ADD_FAILURE() << "the catalogue no longer opens: " << error.what();
            return trial;
        }
        EXPECT_EQ(integrity(db), "ok");
        EXPECT_FALSE(fs::exists(trial.catalogue + ".tmp")) << "the open left the restore's temporary behind";
        const std::string found = check(db, trial);
        std::cout << "[ crash    ] " << command << " " << index << ": "
                  << (killAfterMs
                          ? "killed at " + std::to_string(static_cast<int>(std::lround(trial.run.commandMs))) + " ms"
                          : "ran to the end in " + std::to_string(static_cast<int>(std::lround(trial.run.commandMs)))
                                + " ms")
                  << (killAfterMs && !trial.run.killed ? " (had already finished)" : "")
                  << (trial.journalLeft ? ", transaction cut off" : "")
                  << (trial.temporaryLeft ? ", restore temporary left and removed at the open" : "") << "; " << found
                  << std::endl;
        return trial;
    }

    // Rows of an import, matched to the expected order: a prefix of it, each in its place.
    std::string checkImport(CDBManager& db, const Trial& trial, const ImportModel& model, const std::string& targetGuid,
                            int targetLevel, int itemType, const std::string& comment)
    {
        std::map<int, std::string> categoryGuids;  // row → stored GUID
        std::map<int, std::string> parents;        // row → parent or category GUID as stored
        std::set<int> rows;
        const auto rowOf = [](const std::string& name) {
            return name.size() > 6 && name[5] == ' ' && name.find_first_not_of("0123456789") == 5
                       ? std::atoi(name.substr(0, 5).c_str())
                       : -1;
        };
        for (CppSQLite3Query row = db.ExecuteQuery("select guid,name,level,parent_guid from category_table");
             !row.Eof(); row.NextRow()) {
            const int at = rowOf(row.fieldText("name"));
            if (at < 0)
                continue;
            EXPECT_TRUE(rows.insert(at).second) << "row " << at << " stored twice";
            if (at >= static_cast<int>(model.rows.size()) || !model.rows[at].category) {
                ADD_FAILURE() << "unexpected category " << row.fieldText("name");
                continue;
            }
            EXPECT_EQ(row.fieldText("name"), model.rows[at].name);
            EXPECT_EQ(row.fieldInt("level"), targetLevel + model.rows[at].depth) << model.rows[at].name;
            categoryGuids[at] = row.fieldText("guid");
            parents[at] = row.fieldText("parent_guid");
        }
        for (CppSQLite3Query row = db.ExecuteQuery("select name,target,category,type,comment from link_table");
             !row.Eof(); row.NextRow()) {
            const int at = rowOf(row.fieldText("name"));
            if (at < 0)
                continue;
            EXPECT_TRUE(rows.insert(at).second) << "row " << at << " stored twice";
            if (at >= static_cast<int>(model.rows.size()) || model.rows[at].category) {
                ADD_FAILURE() << "unexpected item " << row.fieldText("name");
                continue;
            }
            EXPECT_EQ(row.fieldText("name"), model.rows[at].name);
            EXPECT_EQ(row.fieldText("target"), model.rows[at].target);
            EXPECT_EQ(row.fieldInt("type"), itemType);
            EXPECT_EQ(row.fieldText("comment"), comment);
            parents[at] = row.fieldText("category");
        }
        // A cut-off import keeps what it committed, and it commits in the order it writes: no hole,
        // and every row lies in the category made for its folder.
        const int stored = static_cast<int>(rows.size());
        EXPECT_TRUE(rows.empty() || *rows.rbegin() == stored - 1) << "the stored rows are not the first " << stored;
        for (const auto& [at, parent] : parents) {
            const int expectedParent = model.rows[at].parent;
            const std::string wanted = expectedParent < 0 ? targetGuid : categoryGuids[expectedParent];
            EXPECT_EQ(parent, wanted) << model.rows[at].name << " is not in its folder's category";
        }
        EXPECT_EQ(count(db, "select count(*) from category_table") - static_cast<int>(categoryGuids.size()),
                  base.categories);
        EXPECT_EQ(count(db, "select count(*) from link_table") - (stored - static_cast<int>(categoryGuids.size())),
                  base.items);

        const auto ends = trial.reported(reportImported);
        if (!trial.run.killed) {
            EXPECT_EQ(ends.size(), 1u) << "a finished import reported no end";
        }
        if (!ends.empty()) {
            EXPECT_EQ(stored, static_cast<int>(model.rows.size()))
                << "the end was reported before every row was stored";
            EXPECT_EQ(ends[0].at(1), std::to_string(model.folders));
            EXPECT_EQ(ends[0].at(2), std::to_string(model.links));
        }
        return std::to_string(stored) + " of " + std::to_string(model.rows.size()) + " rows stored"
               + (ends.empty()
                      ? ""
                      : ", end reported with " + ends[0].at(1) + " categories and " + ends[0].at(2) + " items");
    }

    static constexpr std::size_t measuringRuns = 3;
    TempFolder folder;
    std::string basePath = folder.path("base.db");
    BaseCatalogue base;
};

}  // namespace

TEST_F(CrashSafetyTest, AppendItemsKeepsEveryReportedBatchAndStoresBatchesWhole)
{
    constexpr int added = 3000;
    runTrials(
        "append",
        [&](const std::string& catalogue, const std::string& log) {
            return std::vector<std::string>{"append", catalogue, log, generalGuid, std::to_string(added)};
        },
        [&](CDBManager& db, const Trial& trial) {
            const auto reported = trial.reported(reportStored);
            for (const auto& line : reported) {
                CppSQLite3Buffer sql;
                sql.Format("select category from link_table where guid='%q'", line.at(1).c_str());
                std::vector<std::string> categories;
                for (CppSQLite3Query row = db.ExecuteQuery(sql); !row.Eof(); row.NextRow())
                    categories.push_back(row.fieldText("category"));
                EXPECT_EQ(line.at(2), generalGuid);
                EXPECT_EQ(categories, std::vector<std::string>{generalGuid}) << "reported item " << line.at(1);
            }
            std::vector<std::string> stored;
            std::vector<std::string> storedGuids;
            CppSQLite3Buffer sql;
            sql.Format("select guid,name from link_table where category='%q' and name like 'new%%' order by itemorder",
                       generalGuid);
            for (CppSQLite3Query row = db.ExecuteQuery(sql); !row.Eof(); row.NextRow()) {
                stored.push_back(row.fieldText("name"));
                storedGuids.push_back(row.fieldText("guid"));
            }
            const int n = static_cast<int>(stored.size());
            EXPECT_TRUE(n % static_cast<int>(CatalogueCommands::batchSize) == 0 || n == added)
                << n << " rows: a batch was cut";
            for (int i = 0; i < n; ++i)
                EXPECT_EQ(stored[i], "new" + fiveDigits(i));
            EXPECT_LE(reported.size(), stored.size());
            for (std::size_t i = 0; i < reported.size() && i < storedGuids.size(); ++i)
                EXPECT_EQ(reported[i].at(1), storedGuids[i]) << "the reports are not the stored order";
            if (!trial.run.killed) {
                EXPECT_EQ(reported.size(), static_cast<std::size_t>(added));
            }
            sql.Format("select count(*) from link_table where category='%q' and name like 'old%%'", generalGuid);
            EXPECT_EQ(count(db, std::string(sql)), BaseCatalogue::oldItems);
            EXPECT_EQ(count(db, "select count(*) from link_table"), base.items + n);
            return std::to_string(n) + " of " + std::to_string(added) + " items stored, "
                   + std::to_string(reported.size()) + " reported";
        });
}

TEST_F(CrashSafetyTest, FavoritesImportKeepsAPrefixOfItsRowsAndAllOfThemOnceItEnds)
{
    const std::string home = folder.path("home");
    const ImportModel model = makeImportModel(24, 6, 20, 10, 40, [](int row) { return fiveDigits(row) + " link"; });
    writeFavorites(model, model.root, fs::path(home) / "Favorites");
    runTrials(
        "favorites",
        [&](const std::string& catalogue, const std::string& log) {
            return std::vector<std::string>{"favorites", catalogue, log, websitesGuid};
        },
        [&](CDBManager& db, const Trial& trial) {
            return checkImport(db, trial, model, websitesGuid, 0, CLinkItem::WebType, importedLinkComment);
        },
        home);
}

TEST_F(CrashSafetyTest, BookmarkImportKeepsAPrefixOfItsRowsAndAllOfThemOnceItEnds)
{
    const std::string file = folder.path("bookmarks.html");
    const ImportModel model = makeImportModel(30, 6, 25, 10, 40, [](int row) { return fiveDigits(row) + " link"; });
    writeBookmarkFile(model, file);
    runTrials(
        "bookmarks",
        [&](const std::string& catalogue, const std::string& log) {
            return std::vector<std::string>{"bookmarks", catalogue, log, websitesGuid, file};
        },
        [&](CDBManager& db, const Trial& trial) {
            return checkImport(db, trial, model, websitesGuid, 0, CLinkItem::WebType, "");
        });
}

TEST_F(CrashSafetyTest, FolderImportKeepsAPrefixOfItsRowsAndAllOfThemOnceItEnds)
{
    const std::string documents = folder.path("documents");
    ImportModel model = makeImportModel(16, 5, 20, 10, 30, [](int row) { return fiveDigits(row) + " doc.txt"; });
    writeDocuments(model, model.root, documents);
    runTrials(
        "folder",
        [&](const std::string& catalogue, const std::string& log) {
            return std::vector<std::string>{"folder", catalogue, log, wordGuid, documents};
        },
        [&](CDBManager& db, const Trial& trial) {
            return checkImport(db, trial, model, wordGuid, 1, CLinkItem::FileType, "");
        });
}

TEST_F(CrashSafetyTest, RestoreLeavesTheOldCatalogueOrTheBackupsAndTheBackupsOnceReported)
{
    constexpr int restoredItems = 500;
    constexpr int fillerRows = 384;  // 64 KiB each: a catalogue of about 24 MiB
    const std::string source = folder.path("source.db");
    {
        CDBManager db;
        openAsTheProgramDoes(db, source);
        db.ExecuteStatement("pragma synchronous=off;");
        CatalogueCommands commands(db);
        commands.addCategory(db.GetRootCategory(), restoredMarker, 0);
        commands.appendItems(*findCategory(db.GetRootCategory(), generalGuid).category,
                             namedFiles("restored", restoredItems), Progress::none(), [](const CLinkItems&) {});
        db.ExecuteStatement("create table filler (data blob);");
        db.ExecuteStatement("begin transaction;");
        for (int i = 0; i < fillerRows; ++i)
            db.ExecuteStatement("insert into filler values(randomblob(65536));");
        db.ExecuteStatement("commit transaction;");
    }
    const std::string backup = folder.path("large.mbk");
    ASSERT_EQ(writeBackup(source, backup).message, backupSuccessText);

    runTrials(
        "restore",
        [&](const std::string& catalogue, const std::string& log) {
            return std::vector<std::string>{"restore", catalogue, log, backup};
        },
        [&](CDBManager& db, const Trial& trial) {
            CppSQLite3Buffer sql;
            const int old =
                count(db, std::string(sql.Format("select count(*) from category_table where name='%q'", oldMarker)));
            const int restored = count(
                db, std::string(sql.Format("select count(*) from category_table where name='%q'", restoredMarker)));
            EXPECT_EQ(old + restored, 1) << "neither the old catalogue nor the backup's";
            if (restored == 1) {
                EXPECT_EQ(count(db, "select count(*) from filler"), fillerRows);
                EXPECT_EQ(count(db, "select count(*) from link_table where name like 'restored%'"), restoredItems);
            } else {
                EXPECT_EQ(count(db, "select count(*) from category_table"), base.categories);
                EXPECT_EQ(count(db, "select count(*) from link_table"), base.items);
            }
            const bool reported = !trial.reported(reportRestored).empty();
            if (reported || !trial.run.killed) {
                EXPECT_EQ(restored, 1) << "the restore was reported but the old catalogue is there";
            }
            std::error_code missing;
            const auto staged = fs::file_size(stagingPath(trial.catalogue), missing);
            return std::string(restored == 1 ? "the backup's catalogue" : "the old catalogue")
                   + (reported ? ", success reported" : "") + " (staging file "
                   + (missing ? std::string("not made") : std::to_string(staged / 1024) + " KiB") + ")";
        });
}

TEST_F(CrashSafetyTest, CategoryDeleteIsWholeOrAbsentAndAbsentOnceReported)
{
    runTrials(
        "delete",
        [&](const std::string& catalogue, const std::string& log) {
            return std::vector<std::string>{"delete", catalogue, log, base.doomedGuid};
        },
        [&](CDBManager& db, const Trial& trial) {
            const int categories = count(db, "select count(*) from category_table where name like 'doomed %'");
            const int items = count(db, "select count(*) from link_table where name like 'doomed-item-%'");
            const bool whole = categories == base.doomedCategories && items == base.doomedItems;
            const bool absent = categories == 0 && items == 0;
            EXPECT_TRUE(whole || absent) << categories << " categories and " << items
                                         << " items of the subtree are left";
            EXPECT_EQ(count(db, "select count(*) from category_table") - categories,
                      base.categories - base.doomedCategories);
            EXPECT_EQ(count(db, "select count(*) from link_table") - items, base.items - base.doomedItems);
            const auto reported = trial.reported(reportDeleted);
            if (!reported.empty() || !trial.run.killed) {
                EXPECT_TRUE(absent) << "the delete was reported but rows of the subtree are left";
            }
            return std::string(absent ? "subtree absent" : "subtree whole")
                   + (reported.empty() ? "" : ", delete reported");
        });
}

TEST_F(CrashSafetyTest, AutomaticBackupLeavesNoPartialBackupAndTheCatalogueUntouched)
{
    constexpr int fillerRows = 384;  // 64 KiB each: a catalogue of about 24 MiB
    {
        CDBManager db;
        openAsTheProgramDoes(db, basePath);
        db.ExecuteStatement("create table filler (data blob);");
        db.ExecuteStatement("begin transaction;");
        for (int i = 0; i < fillerRows; ++i)
            db.ExecuteStatement("insert into filler values(randomblob(65536));");
        db.ExecuteStatement("commit transaction;");
    }
    runTrials(
        "autobackup",
        [&](const std::string& catalogue, const std::string& log) {
            return std::vector<std::string>{"autobackup", catalogue, log};
        },
        [&](CDBManager& db, const Trial& trial) {
            EXPECT_EQ(count(db, "select count(*) from category_table"), base.categories);
            EXPECT_EQ(count(db, "select count(*) from link_table"), base.items);
            EXPECT_EQ(count(db, "select count(*) from filler"), fillerRows);
            // Whatever lies under a backup name restores; a killed backup's temporaries are not backups.
            const fs::path backups = fs::path(trial.catalogue).parent_path() / "backups";
            int sound = 0;
            std::error_code none;
            for (const auto& entry : fs::directory_iterator(backups, none)) {
                if (!autobackup::parseBackupName(entry.path().filename().string()))
                    continue;
                const std::string restored = (backups / "check.db").string();
                EXPECT_TRUE(restoreBackup(
                                entry.path().string(), restored, [] {}, [] {})
                                .succeeded)
                    << entry.path() << " is no sound backup";
                fs::remove(restored, none);
                ++sound;
            }
            EXPECT_LE(sound, 1);
            const bool reported = !trial.reported(reportBackedUp).empty();
            if (reported || !trial.run.killed) {
                EXPECT_EQ(sound, 1) << "the backup was reported but is not there";
            }
            return std::to_string(sound) + " backup" + (reported ? ", reported" : "");
        });
}
