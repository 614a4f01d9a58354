// SPDX-License-Identifier: GPL-3.0-or-later
#include "contenttestutil.h"
#include "documents.h"
#include "extract/sandbox.h"
#include "extract/wire.h"

#include <cerrno>

#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

// Catches a hostile file that hangs the indexer, takes it down, or costs the files after it: each
// is read by the real reading process, gets its reason, and the good file after them is found.
TEST_F(ContentTest, HostileFilesCostOnlyThemselvesWithTheirReason)
{
    documents::zipBomb(file("bomb.docx"));
    documents::pdfBomb(file("bomb.pdf"));
    ASSERT_EQ(::mkfifo(file("pipe.txt").c_str(), 0600), 0);
    documents::sparseText(file("huge.txt"));
    documents::write(file("good.md"), "the survivor reads on\n");
    const std::pair<std::string, std::string> hostile[] = {
        {"bomb.docx", "could not be read: its part word/document.xml inflates to more than 256 MB"},
        {"bomb.pdf", "could not be read: used more than 10 s of processor time"},
        {"pipe.txt", "could not be read: it is not a regular file"},
        {"huge.txt", "not read: larger than the 100 MB size cap"},
    };
    std::vector<std::string> guids;
    for (const auto& [name, reason] : hostile)
        guids.push_back(catalogue.add(file(name), 0, name));
    const std::string good = catalogue.add(file("good.md"), 0);

    content::ExtractLimits limits;
    // Processor time, not the wall clock, ends the PDF: the test holds on a loaded machine.
    limits.cpuSeconds = 10;
    limits.wallSeconds = 300;
    content::ContentIndexer indexer(setup(limits));
    indexer.updateFromCatalogue();
    const content::IndexReport report = indexer.refresh();
    EXPECT_EQ(report.failed, 3);
    EXPECT_EQ(report.skipped, 1);
    EXPECT_EQ(report.read, 1);
    for (std::size_t i = 0; i < guids.size(); ++i)
        EXPECT_EQ(content::describe(*indexer.index().documentOf(guids[i])), hostile[i].second);
    EXPECT_EQ(found(indexer.index(), "survivor"), std::vector<std::string>{good});
}

// Catches a reader that is waited for forever, a crash or a flood taken as an answer, memory
// growth left unchecked, and a dead reader not replaced for the next file.
TEST_F(ContentTest, AMisbehavingReaderIsEndedAndReplaced)
{
    const std::pair<std::string, std::string> cases[] = {
        {"sleep", "took longer than 2 s"},
        {"crash", "the reader crashed (Segmentation fault)"},
        {"memory", "used more than 64 MB of memory"},
        {"flood", "it gave more than 1 MB of text"},
    };
    documents::write(file("any.txt"), "text\n");
    for (const auto& [mode, reason] : cases) {
        SCOPED_TRACE(mode);
        const std::string standIn = file("extract-" + mode);
        documents::write(standIn, "#!/bin/sh\nexec python3 " STANDIN " " + mode + "\n");
        ASSERT_EQ(::chmod(standIn.c_str(), 0700), 0);
        content::ExtractLimits limits;
        limits.wallSeconds = 2;
        limits.memoryBytes = 64 << 20;
        limits.textBytes = 1 << 20;
        if (mode != "sleep")
            limits.wallSeconds = 120;
        content::ExtractorProcess reader(standIn, limits);
        for (int attempt = 1; attempt <= 2; ++attempt) {
            const content::Extraction result = reader.read(file("any.txt"), {}, extract::wire::AllKinds);
            EXPECT_EQ(result.outcome, content::Extraction::Outcome::Failed);
            EXPECT_EQ(result.reason, reason);
            EXPECT_EQ(reader.starts(), attempt);
        }
    }
}

// Catches a reading process that could reach the network from a document.
TEST(Sandbox, RefusesEverySocketButLocalOnes)
{
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        if (!extract::enterSandbox({}))
            ::_exit(10);
        const bool inet = ::socket(AF_INET, SOCK_STREAM, 0) < 0 && errno == EACCES;
        const bool inet6 = ::socket(AF_INET6, SOCK_DGRAM, 0) < 0 && errno == EACCES;
        const bool local = ::socket(AF_UNIX, SOCK_STREAM, 0) >= 0;
        ::_exit(inet && inet6 && local ? 0 : 11);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0);
}

}  // namespace
