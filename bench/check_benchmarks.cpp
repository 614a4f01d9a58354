// SPDX-License-Identifier: GPL-3.0-or-later
// The catalogue check: 200,000 file items on a warm cache, and 10,000 links against a local server
// that answers at once. Each row's floor is the bare work: stat() of every path, and nothing for the
// links (the figure is the checker's own pace against the limits of 2 per host and 16 in all).

#include "benchsupport.h"

#include "check/cataloguecheck.h"
#include "storage/cdbmanager.h"

#include <benchmark/benchmark.h>

#include <QJsonArray>
#include <QJsonDocument>
#include <QProcess>

#include <sqlite3.h>
#include <sys/stat.h>

#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

constexpr int fileItems = 200000;
constexpr int linkItems = 10000;
constexpr int serverPorts = 8;

double timedCheck(const fs::path& file, check::CheckOptions options, check::CheckSummary& summary)
{
    const Clock::time_point start = Clock::now();
    summary = check::CatalogueCheck(file.string(), std::move(options)).run();
    return millisecondsSince(start);
}

void fail(benchmark::State& state, const std::string& operation, const std::string& why)
{
    state.SkipWithError(why.c_str());
    addSummaryRow({operation, 0, 0, "", "", why});
}

void BM_CheckFiles(benchmark::State& state)
{
    const std::string operation = "check 200,000 file items, half of them missing (warm cache)";
    RunFolder folder;
    std::vector<std::pair<int, std::string>> items;
    for (int i = 0; i < fileItems; ++i) {
        const fs::path dir = folder.path("files") / std::to_string(i / 1000);
        const fs::path path = dir / ("report " + std::to_string(i) + ".pdf");
        if (i % 2 == 0) {
            fs::create_directories(dir);
            std::ofstream(path) << i;
        }
        items.emplace_back(0, path.string());
    }
    const fs::path catalogue = folder.path("files.db");
    writeCatalogue(catalogue, items);
    check::CheckOptions options;
    options.links = options.duplicates = false;
    check::CheckSummary summary;
    timedCheck(catalogue, options, summary);  // warms the cache and the results table
    double measured = 0;
    for (auto _ : state) {
        measured = timedCheck(catalogue, options, summary);
        state.SetIterationTime(measured / 1000);
    }
    if (summary.checked != static_cast<std::size_t>(fileItems) || summary.problems != fileItems / 2u)
        return fail(state, operation, "the check did not find the 100,000 missing files");
    const Clock::time_point start = Clock::now();
    int found = 0;
    for (const auto& [type, path] : items) {
        struct stat info {};
        found += ::stat(path.c_str(), &info) == 0;
    }
    benchmark::DoNotOptimize(found);
    addSummaryRow({operation, measured, millisecondsSince(start), "ms", "<= 3000 ms", "floor: stat() of each path"});
}
BENCHMARK(BM_CheckFiles)->Unit(benchmark::kMillisecond)->UseManualTime()->Iterations(3);

void BM_CheckLinks(benchmark::State& state)
{
    const std::string operation = "check 10,000 links against a local server answering at once";
    QProcess server;
    server.start(QStringLiteral("python3"), {QStringLiteral(LINKBENCHSERVER), QString::number(serverPorts)});
    if (!server.waitForReadyRead(30000))
        return fail(state, operation, "the local server did not start");
    const QJsonArray ports = QJsonDocument::fromJson(server.readLine()).array();
    RunFolder folder;
    std::vector<std::pair<int, std::string>> items;
    for (int i = 0; i < linkItems; ++i)
        items.emplace_back(1, "http://127.0.0.1:" + std::to_string(ports.at(i % serverPorts).toInt()) + "/page/"
                                  + std::to_string(i));
    const fs::path catalogue = folder.path("links.db");
    writeCatalogue(catalogue, items);
    check::CheckOptions options;
    options.files = options.duplicates = false;
    check::CheckSummary summary;
    double measured = 0;
    for (auto _ : state) {
        measured = timedCheck(catalogue, options, summary);
        state.SetIterationTime(measured / 1000);
    }
    server.closeWriteChannel();
    server.waitForFinished(5000);
    if (summary.checked != static_cast<std::size_t>(linkItems) || summary.problems != 0)
        return fail(state, operation,
                    "not every link was found fine: " + std::to_string(summary.problems) + " problems");
    addSummaryRow({operation, measured, 0, "ms", "<= 15000 ms", "8 ports of one Python server, 2 per port, 16 in all"});
}
BENCHMARK(BM_CheckLinks)->Unit(benchmark::kMillisecond)->UseManualTime()->Iterations(1);

}  // namespace
