// SPDX-License-Identifier: GPL-3.0-or-later
// The search index on the 200,000-item catalogue: building it, its size, the queries quick find
// runs per keystroke beside the catalogue's own search (a scan) as the floor to beat, and the
// window's typing with quick find active.

#include "benchsupport.h"
#include "floors.h"
#include "windowdriver.h"

#include "search/searchindex.h"
#include "shell/paths.h"

#include <benchmark/benchmark.h>
#include <sqlite3.h>

#include <algorithm>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

// What a user types into quick find, from words the generated catalogue holds.
const std::vector<std::string> typedTexts = {
    "Quarterly report", "Northwind",         "Lisbon",  "Meeting notes",   "Tanaka Works",
    "release notes",    "Backup on the NAS", "Ostrava", "Kitchen remodel", "Specification"};

// Every keystroke of every text from the given length on (up to `longest` characters).
std::vector<std::string> keystrokes(std::size_t shortest, std::size_t longest)
{
    std::vector<std::string> typed;
    for (const std::string& text : typedTexts)
        for (std::size_t length = shortest; length <= std::min(longest, text.size()); ++length)
            typed.push_back(text.substr(0, length));
    return typed;
}

double median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values.empty() ? 0 : values[values.size() / 2];
}

fs::path builtIndex()
{
    return runFile("search-index.db");
}

// The index the query benchmarks use, built untimed when the build benchmark did not run first.
void ensureBuilt()
{
    search::SearchIndex index(generatedCatalogue().string(), builtIndex().string());
    if (index.catalogueChanged())
        index.update();
}

bool failed(benchmark::State& state, const std::string& operation, const std::string& what)
{
    if (what.empty())
        return false;
    state.SkipWithError(what.c_str());
    addSummaryRow({operation, 0, 0, "", "", "FAILED: " + what});
    return true;
}

// The same table built by plain SQL in one statement: what the index's own build is measured against.
double bareBuild(const fs::path& catalogue)
{
    const fs::path file = runFile("bare-index.db");
    fs::remove(file);
    sqlite3* db = nullptr;
    sqlite3_open(file.c_str(), &db);
    const std::string attach = "attach database '" + catalogue.string() + "' as cat;";
    const Clock::time_point start = Clock::now();
    sqlite3_exec(db, attach.c_str(), nullptr, nullptr, nullptr);
    sqlite3_exec(db,
                 "create virtual table items using fts5(name, target, comment, tokenize='trigram', detail=full, "
                 "columnsize=0); insert into items(rowid, name, target, comment) select itemorder, name, target, "
                 "comment from cat.link_table;",
                 nullptr, nullptr, nullptr);
    const double elapsed = millisecondsSince(start);
    sqlite3_close(db);
    fs::remove(file);
    return elapsed;
}

void BM_SearchIndexBuild(benchmark::State& state)
{
    const std::string operation = "Search index built from nothing over 200,000 items";
    double measured = 0, floor = 0;
    for (auto _ : state) {
        for (const char* suffix : {"", "-wal", "-shm"})
            fs::remove(builtIndex().string() + suffix);
        search::SearchIndex index(generatedCatalogue().string(), builtIndex().string());
        const Clock::time_point start = Clock::now();
        const bool built = index.update();
        const double elapsed = millisecondsSince(start);
        state.SetIterationTime(elapsed / 1000);
        measured += elapsed;
        if (failed(state, operation, built ? "" : "the index was not built: " + index.lastError()))
            return;
        floor += bareBuild(generatedCatalogue());
    }
    const double iterations = double(state.iterations());
    addSummaryRow({operation, measured / iterations, floor / iterations, "ms", "<= 10000 ms",
                   "floor: the same FTS5 table by one insert-select"});
    // The index file as it is kept: its log written back.
    {
        sqlite3* db = nullptr;
        sqlite3_open(builtIndex().c_str(), &db);
        sqlite3_exec(db, "pragma wal_checkpoint(TRUNCATE);", nullptr, nullptr, nullptr);
        sqlite3_close(db);
    }
    const auto indexBytes = static_cast<long long>(fs::file_size(builtIndex()));
    const auto catalogueBytes = static_cast<long long>(fs::file_size(generatedCatalogue()));
    addSummaryRow({"Search index file beside the catalogue file (floor)", megabytes(indexBytes),
                   megabytes(catalogueBytes), "MB", "ratio <= 2.5", ""});
}
BENCHMARK(BM_SearchIndexBuild)->Unit(benchmark::kMillisecond)->UseManualTime()->Iterations(1);

// Each keystroke's query as quick find's count runs it, and the catalogue's own search beside it.
void BM_KeystrokeQuery(benchmark::State& state)
{
    const std::string operation = "Keystroke query, 3+ characters, three columns, hits counted (median of "
                                  + std::to_string(keystrokes(3, 99).size()) + " keystrokes)";
    ensureBuilt();
    search::SearchIndex index(generatedCatalogue().string(), builtIndex().string());
    BareCatalogue bare(generatedCatalogue());
    std::vector<double> measured, floors;
    std::size_t hits = 0;
    for (auto _ : state) {
        for (const std::string& typed : keystrokes(3, 99)) {
            const Clock::time_point start = Clock::now();
            const std::size_t found = index.find(typed, search::AllColumns).size();
            measured.push_back(millisecondsSince(start));
            std::vector<SearchHit> floorHits;
            floors.push_back(bare.search(searchStatement(typed), floorHits));
            if (failed(state, operation,
                       index.lastAnsweredByIndex() ? "" : "the index did not answer \"" + typed + "\"")
                || failed(state, operation, found == floorHits.size() ? "" : "different hits for \"" + typed + "\""))
                return;
            hits += found;
        }
        state.SetIterationTime(median(measured) / 1000);
    }
    addSummaryRow({operation, median(measured), median(floors), "ms", "<= 5 ms, ratio <= 0.067",
                   std::to_string(hits / std::max<std::size_t>(1, measured.size())) + " hits on average"});
}
BENCHMARK(BM_KeystrokeQuery)->Unit(benchmark::kMillisecond)->UseManualTime()->Iterations(1);

// One or two characters: quick find's first screen at once (the count follows on the worker).
void BM_ShortQuery(benchmark::State& state)
{
    const std::string operation = "Keystroke query, 1-2 characters: quick find's first 1,000 rows (median of "
                                  + std::to_string(keystrokes(1, 2).size()) + ")";
    ensureBuilt();
    search::SearchIndex index(generatedCatalogue().string(), builtIndex().string());
    BareCatalogue bare(generatedCatalogue());
    std::vector<double> measured, counts, floors;
    for (auto _ : state) {
        for (const std::string& typed : keystrokes(1, 2)) {
            Clock::time_point start = Clock::now();
            const std::size_t shown = search::findByColumn(index, typed, 1000).size();
            measured.push_back(millisecondsSince(start));
            start = Clock::now();
            const std::size_t total = index.find(typed, search::AllColumns).size();
            counts.push_back(millisecondsSince(start));
            std::vector<SearchHit> floorHits;
            floors.push_back(bare.search(searchStatement(typed), floorHits));
            if (failed(state, operation,
                       shown == std::min<std::size_t>(1000, total) && total == floorHits.size()
                           ? ""
                           : "wrong hits for \"" + typed + "\""))
                return;
        }
        state.SetIterationTime(median(measured) / 1000);
    }
    addSummaryRow({operation, median(measured), median(floors), "ms", "<= 30 ms",
                   "whole count after it: median " + std::to_string(int(median(counts))) + " ms"});
}
BENCHMARK(BM_ShortQuery)->Unit(benchmark::kMillisecond)->UseManualTime()->Iterations(1);

// The real window with the index built: what typing costs its user-interface thread.
void BM_QuickFindTyping(benchmark::State& state)
{
    const std::string operation = "Quick find typing \"quarterly report\" in the window (slowest key)";
    ensureBuilt();
    installCatalogue(generatedCatalogue());
    const fs::path cached = search::SearchIndex::indexPathFor(catalogueLocation().string(), cacheFolderPath());
    fs::create_directories(cached.parent_path());
    fs::copy_file(builtIndex(), cached, fs::copy_options::overwrite_existing);
    WindowDriver::Typing typing;
    for (auto _ : state) {
        WindowDriver window;
        typing = window.typeQuickFind(QStringLiteral("quarterly report"), 80);
        state.SetIterationTime(typing.slowestKeyMs / 1000);
        if (failed(state, operation, window.problems().toStdString())
            || failed(state, operation, typing.rows > 0 ? "" : "no hits were shown"))
            return;
    }
    addSummaryRow({operation, typing.slowestKeyMs, 0, "ms", "< 16 ms per key",
                   "median key " + std::to_string(typing.medianKeyMs).substr(0, 4) + " ms; longest busy stretch "
                       + std::to_string(int(typing.longestBusyMs)) + " ms; hits shown "
                       + std::to_string(int(typing.lastKeyToHitsMs)) + " ms after the last key (150 ms pause); "
                       + typing.status.toStdString()});
}
BENCHMARK(BM_QuickFindTyping)->Unit(benchmark::kMillisecond)->UseManualTime()->Iterations(1);

// varnelo-cli search as a script runs it on the 200,000-item catalogue, the whole process timed: a word
// found nowhere with the index current, the first run (which makes the index the window never made) and
// the run after another program renamed an item. The raw LIKE scan of the same word is the anchor.
void BM_CliSearch(benchmark::State& state)
{
    const std::string operation = "varnelo-cli search, a word found nowhere, index current (whole process, median "
                                  "of 11 runs)";
    const std::string nowhere = "zqxwv";
    const fs::path catalogue = runFile("cli-search.db");
    copySynced(generatedCatalogue(), catalogue);
    const fs::path index = search::SearchIndex::indexPathFor(catalogue.string(), cacheFolderPath());
    for (const char* suffix : {"", "-wal", "-shm"})
        fs::remove(index.string() + suffix);
    const std::vector<std::string> arguments = {"--db", catalogue.string(), "search", nowhere};
    BareCatalogue bare(catalogue);
    std::vector<SearchHit> hits;
    const double firstScan = bare.search(searchStatement(nowhere), hits);
    const CliRun first = runCli(arguments);
    if (failed(state, operation, first.ok && fs::exists(index) ? "" : "the first run made no index"))
        return;
    std::vector<double> measured, cpu, floors, versions;
    for (auto _ : state) {
        for (int run = 0; run < 11; ++run) {
            const CliRun timed = runCli(arguments);
            if (failed(state, operation, timed.ok ? "" : "varnelo-cli search failed"))
                return;
            measured.push_back(timed.ms);
            cpu.push_back(timed.cpuMs);
            floors.push_back(bare.search(searchStatement(nowhere), hits));
            versions.push_back(runCli({"--version"}).ms);
        }
        state.SetIterationTime(median(measured) / 1000);
    }
    const auto figure = [](double ms) { return std::to_string(int(ms + 0.5)) + " ms"; };
    addSummaryRow({operation, median(measured), median(floors), "ms", "<= 50 ms",
                   "anchor: the raw LIKE scan; processor time " + figure(median(cpu)) + "; varnelo-cli --version alone "
                       + figure(median(versions))});
    addSummaryRow({"varnelo-cli search, first run on a catalogue without an index: makes it (whole process)", first.ms,
                   firstScan, "ms", "<= 10000 ms", "anchor: the raw LIKE scan; processor time " + figure(first.cpuMs)});
    // Renamed by another program: the next run finds the catalogue's stamp moved and compares.
    sqlite3* other = nullptr;
    sqlite3_open(catalogue.c_str(), &other);
    sqlite3_exec(other, "update link_table set name = name || ' renamed' where itemorder = 1000;", nullptr, nullptr,
                 nullptr);
    sqlite3_close(other);
    const CliRun afterRename = runCli(arguments);
    const double renamedScan = bare.search(searchStatement(nowhere), hits);
    addSummaryRow({"varnelo-cli search after another program renamed an item (whole process)", afterRename.ms,
                   renamedScan, "ms", "",
                   afterRename.ok ? "compares the index with the catalogue, takes the row in; processor time "
                                        + figure(afterRename.cpuMs)
                                  : "FAILED: varnelo-cli search failed"});
}
BENCHMARK(BM_CliSearch)->Unit(benchmark::kMillisecond)->UseManualTime()->Iterations(1);

}  // namespace
