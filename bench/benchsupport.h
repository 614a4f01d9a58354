// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// What every benchmark of the suite shares: the private home, the catalogue file the window opens,
// clocks, the heap counter and the table printed at the end of a run.

#include <chrono>
#include <filesystem>
#include <iosfwd>
#include <string>
#include <utility>
#include <vector>

// A private folder for the whole run, removed with everything in it afterwards.
class RunFolder {
public:
    RunFolder();
    ~RunFolder();
    RunFolder(const RunFolder&) = delete;
    RunFolder& operator=(const RunFolder&) = delete;

    std::filesystem::path path(const std::string& name = {}) const { return name.empty() ? root : root / name; }

private:
    std::filesystem::path root;
};

// Points HOME, XDG_DATA_HOME and XDG_CONFIG_HOME at folders below root, and XDG_RUNTIME_DIR too when
// it is not set, so that the window finds its catalogue, settings and Favorites there.
void useHome(const std::filesystem::path& root);
std::filesystem::path homeFolder();

// Where the window opens its catalogue: $XDG_DATA_HOME/Varnelo/FavoritesDB.db.
std::filesystem::path catalogueLocation();
// Copies the file as cp does and waits until the copy is on disk: a copy left dirty in the page
// cache would be written out by the first commit on it, inside whatever is being timed.
void copySynced(const std::filesystem::path& from, const std::filesystem::path& to);

// Replaces the catalogue the window will open with a copy of source.
void installCatalogue(const std::filesystem::path& source);
// Removes it, so that the next window makes a new catalogue with the built-in categories.
void removeCatalogue();

// The generated 200,000-item catalogue every benchmark starts from (never changed), and a folder
// for the run's own files.
const std::filesystem::path& generatedCatalogue();
std::filesystem::path runFile(const std::string& name);

// A catalogue holding exactly these items (type, target) in "General files", written through the
// bare C API in one transaction.
void writeCatalogue(const std::filesystem::path& file, const std::vector<std::pair<int, std::string>>& items);

using Clock = std::chrono::steady_clock;
double millisecondsSince(Clock::time_point start);

// Bytes the heap has handed out and not taken back (all arenas, mmapped blocks included).
long long heapInUse();
double megabytes(long long bytes);  // 1 MB = 1,000,000 bytes

// The variable as a positive number, or fallback when it is unset or not one.
int environmentInt(const char* name, int fallback);

// One run of varnelo-cli as a script would run it (its output thrown away): its time and the most memory
// it held.
struct CliRun {
    double ms = 0;
    double cpuMs = 0;  // user and system time, which a loaded machine does not stretch
    double peakMb = 0;
    bool ok = false;
};
CliRun runCli(const std::vector<std::string>& args);

// One line of the table printed after the run; ratio is measured / floor.
struct SummaryRow {
    std::string operation;
    double measured = 0;
    double floor = 0;
    std::string unit;    // "ms" or "MB"; empty for a benchmark that failed (the note says why)
    std::string target;  // as the goal is stated, e.g. "<= 2000 ms", "ratio <= 1.3"
    std::string note;
};
void addSummaryRow(SummaryRow row);
void printSummary(std::ostream& out);
