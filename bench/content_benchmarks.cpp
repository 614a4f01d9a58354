// SPDX-License-Identifier: GPL-3.0-or-later
// The content index over 2,000 documents written by the real writers, beside Recoll on the same
// folder: the first full index (varnelo-cli index against recollindex), the indexer's peak memory,
// the index's size, a query (in the program, and as a whole process beside recollq) and the
// re-index after 10 changed files. Recoll gets a configuration of its own in the bench's folder.

#include "benchsupport.h"
#include "contentcorpus.h"

#include "content/contentindex.h"
#include "shell/paths.h"

#include <benchmark/benchmark.h>

#include <QJsonDocument>
#include <QJsonObject>

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <optional>
#include <sstream>

#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace fs = std::filesystem;

namespace {

constexpr int documentCount = 2000;

struct Measured {
    int status = -1;
    double milliseconds = 0;
    double peakMegabytes = 0;  // the process and whatever it waited for, whichever peaked highest
    std::string output;
};

// Runs the program to its end with stdout kept (stderr dropped), timed, with its peak resident size.
Measured runMeasured(const std::vector<std::string>& arguments)
{
    Measured result;
    const fs::path out = runFile("process-output");
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
    std::vector<char*> argv;
    for (const std::string& argument : arguments)
        argv.push_back(const_cast<char*>(argument.c_str()));
    argv.push_back(nullptr);
    const Clock::time_point start = Clock::now();
    pid_t pid = 0;
    const int failed = posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (failed != 0)
        return result;
    int status = 0;
    rusage usage{};
    ::wait4(pid, &status, 0, &usage);
    result.milliseconds = millisecondsSince(start);
    result.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    result.peakMegabytes = double(usage.ru_maxrss) * 1024 / 1e6;
    std::ifstream in(out);
    std::ostringstream text;
    text << in.rdbuf();
    result.output = text.str();
    return result;
}

long long folderBytes(const fs::path& folder)
{
    long long bytes = 0;
    std::error_code ignored;
    for (const auto& entry : fs::recursive_directory_iterator(folder, ignored))
        if (entry.is_regular_file(ignored))
            bytes += static_cast<long long>(entry.file_size(ignored));
    return bytes;
}

double median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values.empty() ? 0 : values[values.size() / 2];
}

// Everything the rows share, made once per run: the corpus, its catalogue, both first indexes.
struct ContentBench {
    ContentCorpus corpus;
    fs::path catalogue;
    fs::path indexFile;
    fs::path recollConfig;
    Measured firstIndex;
    Measured firstRecoll;
    int read = 0;
    int failed = 0;
    std::string error;

    std::vector<std::string> cli(std::vector<std::string> arguments) const
    {
        arguments.insert(arguments.begin(), {VARNELO_CLI, "--db", catalogue.string(), "--json"});
        return arguments;
    }
    std::vector<std::string> recoll(const char* program, std::vector<std::string> arguments) const
    {
        arguments.insert(arguments.begin(), {program, "-c", recollConfig.string()});
        return arguments;
    }
};

ContentBench& contentBench()
{
    static std::optional<ContentBench> made;
    if (made)
        return *made;
    made.emplace();
    ContentBench& bench = *made;
    try {
        bench.corpus = contentCorpus(CONTENT_BENCH_FOLDER, documentCount);
        std::vector<std::pair<int, std::string>> items;
        for (const fs::path& document : bench.corpus.documents)
            items.emplace_back(0, document.string());
        bench.catalogue = runFile("content-catalogue.db");
        writeCatalogue(bench.catalogue, items);
        bench.indexFile = content::ContentIndex::pathFor(bench.catalogue.string(), cacheFolderPath());

        // Recoll's own configuration and index, made anew in the bench's folder.
        bench.recollConfig = fs::path(CONTENT_BENCH_FOLDER) / "recoll";
        fs::remove_all(bench.recollConfig);
        fs::create_directories(bench.recollConfig);
        std::ofstream(bench.recollConfig / "recoll.conf")
            << "topdirs = " << bench.corpus.folder.string() << "\nnoaspell = 1\nloglevel = 1\n";
    } catch (const std::exception& failure) {
        bench.error = failure.what();
        return bench;
    }
    // Both start from a cold page cache no more than the other: the corpus was read by its writer or a
    // run before; each indexer reads it once here.
    bench.firstRecoll = runMeasured(bench.recoll("recollindex", {}));
    bench.firstIndex = runMeasured(bench.cli({"index"}));
    const QJsonObject report = QJsonDocument::fromJson(QByteArray::fromStdString(bench.firstIndex.output)).object();
    bench.read = report.value("read").toInt();
    bench.failed = report.value("failed").toInt();
    if (bench.firstIndex.status != 0 || bench.read != documentCount)
        bench.error = "varnelo-cli index read " + std::to_string(bench.read) + " of " + std::to_string(documentCount)
                      + " documents (status " + std::to_string(bench.firstIndex.status) + ")";
    else if (bench.firstRecoll.status != 0)
        bench.error = "recollindex failed (status " + std::to_string(bench.firstRecoll.status) + ")";
    return bench;
}

void fail(benchmark::State& state, const std::string& operation, const std::string& why)
{
    state.SkipWithError(why.c_str());
    addSummaryRow({operation, 0, 0, "", "", why});
}

void BM_ContentFirstIndex(benchmark::State& state)
{
    const std::string operation = "Content index from nothing: 2,000 documents (floor: recollindex on the same folder)";
    ContentBench& bench = contentBench();
    for (auto _ : state)
        state.SetIterationTime(bench.firstIndex.milliseconds / 1000);
    if (!bench.error.empty())
        return fail(state, operation, bench.error);
    addSummaryRow({operation, bench.firstIndex.milliseconds, bench.firstRecoll.milliseconds, "ms", "ratio <= 1",
                   std::to_string(bench.corpus.bytes / 1000000) + " MB of pdf, odt, docx, epub, txt, md; "
                       + std::to_string(bench.read) + " read, " + std::to_string(bench.failed) + " failed"});
}
BENCHMARK(BM_ContentFirstIndex)->Unit(benchmark::kMillisecond)->UseManualTime()->Iterations(1);

void BM_ContentIndexMemory(benchmark::State& state)
{
    const std::string operation = "Content indexer peak memory, varnelo-cli index with its reader (floor: recollindex)";
    ContentBench& bench = contentBench();
    for (auto _ : state)
        state.SetIterationTime(bench.firstIndex.milliseconds / 1000);
    if (!bench.error.empty())
        return fail(state, operation, bench.error);
    addSummaryRow({operation, bench.firstIndex.peakMegabytes, bench.firstRecoll.peakMegabytes, "MB", "<= 200 MB",
                   "peak resident size of the process or the reader it waited for"});
}
BENCHMARK(BM_ContentIndexMemory)->Unit(benchmark::kMillisecond)->UseManualTime()->Iterations(1);

void BM_ContentIndexSize(benchmark::State& state)
{
    const std::string operation = "Content index file (floor: Recoll's index of the same folder)";
    ContentBench& bench = contentBench();
    for (auto _ : state)
        state.SetIterationTime(0.001);
    if (!bench.error.empty())
        return fail(state, operation, bench.error);
    long long ours = 0;
    for (const char* suffix : {"", "-wal"}) {
        std::error_code ignored;
        const auto size = fs::file_size(bench.indexFile.string() + suffix, ignored);
        ours += ignored ? 0 : static_cast<long long>(size);
    }
    addSummaryRow({operation, megabytes(ours), megabytes(folderBytes(bench.recollConfig / "xapiandb")), "MB",
                   "ratio <= 1", "the text is kept for snippets in both"});
}
BENCHMARK(BM_ContentIndexSize)->Unit(benchmark::kMillisecond)->UseManualTime()->Iterations(1);

void BM_ContentQuery(benchmark::State& state)
{
    const std::string operation = "Content query, one word, best 20 hits with snippets (median of 50; floor: recollq)";
    ContentBench& bench = contentBench();
    if (!bench.error.empty()) {
        for (auto _ : state)
            state.SetIterationTime(0.001);
        return fail(state, operation, bench.error);
    }
    content::ContentIndex index(bench.indexFile.string());
    std::vector<double> times, cliTimes, recollTimes;
    std::size_t hits = 0;
    for (auto _ : state) {
        for (const std::string& word : bench.corpus.queryWords) {
            const Clock::time_point start = Clock::now();
            hits += index.search(word, 20).size();
            times.push_back(millisecondsSince(start));
        }
        state.SetIterationTime(median(times) / 1000);
    }
    for (std::size_t i = 0; i < bench.corpus.queryWords.size(); i += 5) {
        const std::string& word = bench.corpus.queryWords[i];
        cliTimes.push_back(runMeasured(bench.cli({"search", "--content", "--limit", "20", word})).milliseconds);
        recollTimes.push_back(runMeasured(bench.recoll("recollq", {"-n", "0-20", word})).milliseconds);
    }
    if (hits == 0)
        return fail(state, operation, "no query found anything");
    char note[160];
    std::snprintf(note, sizeof note,
                  "whole process: varnelo-cli search --content --limit 20 %.0f ms, recollq %.0f ms (median of 10)",
                  median(cliTimes), median(recollTimes));
    addSummaryRow({operation, median(times), median(recollTimes), "ms", "<= 10 ms", note});
}
BENCHMARK(BM_ContentQuery)->Unit(benchmark::kMillisecond)->UseManualTime()->Iterations(1);

void BM_ContentReindex(benchmark::State& state)
{
    const std::string operation = "Content index after 10 changed files (floor: recollindex after the same)";
    ContentBench& bench = contentBench();
    Measured ours, recoll;
    static int round = 0;
    for (auto _ : state) {
        if (!bench.error.empty())
            break;
        changeTextDocuments(bench.corpus, 10, ++round);
        ours = runMeasured(bench.cli({"index"}));
        recoll = runMeasured(bench.recoll("recollindex", {}));
        state.SetIterationTime(ours.milliseconds / 1000);
    }
    if (!bench.error.empty())
        return fail(state, operation, bench.error);
    const int read = QJsonDocument::fromJson(QByteArray::fromStdString(ours.output)).object().value("read").toInt();
    if (ours.status != 0 || read != 10)
        return fail(state, operation, "varnelo-cli index read " + std::to_string(read) + " files, not 10");
    addSummaryRow({operation, ours.milliseconds, recoll.milliseconds, "ms", "<= 1000 ms",
                   "every file's size and time looked at, the 10 read again"});
}
BENCHMARK(BM_ContentReindex)->Unit(benchmark::kMillisecond)->UseManualTime()->Iterations(1);

}  // namespace
