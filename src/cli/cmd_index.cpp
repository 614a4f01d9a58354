// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/contentaccess.h"
#include "content/indexlock.h"
#include "content/pagekeeper.h"

#include <unistd.h>

#include <chrono>
#include <cstdio>

namespace {

// "Reading 120 of 2000 documents" on stderr, at most once a second; over itself on a terminal.
class StderrProgress final : public Progress {
public:
    bool advance(std::size_t done, std::size_t total) override
    {
        const auto now = std::chrono::steady_clock::now();
        if (now - shown < std::chrono::seconds(1) && done < total)
            return true;
        shown = now;
        std::fprintf(stderr, "varnelo-cli: indexing, %zu of %zu documents looked at%s", done, total,
                     terminal && done < total ? "\r" : "\n");
        return true;
    }

private:
    bool terminal = ::isatty(STDERR_FILENO) == 1;
    std::chrono::steady_clock::time_point shown{};
};

int indexCommand(Invocation& run)
{
    const content::IndexerSetup setup = contentSetup(run);
    run.closeCatalogue();
    content::IndexLock lock(setup.indexPath);
    if (!lock.tryLock()) {
        if (!run.has("wait"))
            throw Failure("Another program is bringing the content index up to date; add --wait to wait for it.");
        std::fprintf(stderr, "varnelo-cli: waiting for another program to finish with the content index\n");
        lock.lock();
    }
    content::ContentIndexer indexer(setup);
    indexer.updateFromCatalogue();
    if (setup.settings.keepPages && !setup.pagesFolder.empty()) {
        const std::unique_ptr<QCoreApplication> application = eventLoopApplication();
        const std::vector<std::string> addresses = indexer.pagesNotKept();
        const std::vector<content::KeepResult> kept = content::keepPagesNow(addresses, setup.pagesFolder);
        for (std::size_t i = 0; i < kept.size(); ++i)
            if (!kept[i].kept)
                std::fprintf(stderr, "varnelo-cli: no copy of %s was kept: %s\n", addresses[i].c_str(),
                             kept[i].detail.c_str());
    }
    StderrProgress progress;
    const content::IndexReport report = indexer.refresh(progress);
    for (const auto& [file, reason] : report.failures)
        std::fprintf(stderr, "varnelo-cli: %s could not be read: %s\n", file.c_str(), reason.c_str());
    run.out().print({{"read", static_cast<long long>(report.read)},
                     {"unchanged", static_cast<long long>(report.unchanged)},
                     {"no_text", static_cast<long long>(report.withoutText)},
                     {"failed", static_cast<long long>(report.failed)},
                     {"too_large", static_cast<long long>(report.skipped)}});
    return ExitSuccess;
}

}  // namespace

extern const Subcommand cmd_index = {
    "index",
    "[--wait]",
    "Bring the content index up to date now: read the text of every file (and kept page) that changed",
    {{"wait", nullptr, "when another program is updating the index, wait for it instead of failing"}},
    0,
    0,
    indexCommand};
