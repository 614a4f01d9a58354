// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <filesystem>
#include <string>
#include <vector>

// The 2,000 documents the content index is measured on, written once by the real writers (pandoc for
// odt, docx and epub with a picture inside each, Ghostscript for 12-page PDFs, plain text and
// Markdown) and kept in the bench's build folder for later runs. Their words follow Zipf's law over a
// vocabulary of 20,000 made-up words (some with accents); each document holds one marker word of its
// own ("marker0042").
struct ContentCorpus {
    std::filesystem::path folder;
    std::vector<std::filesystem::path> documents;
    std::vector<std::string> queryWords;  // mid-frequency words, for timing queries
    long long bytes = 0;
};

// Writes what is missing (a run that was stopped part-way goes on); throws std::runtime_error when a
// writer fails.
ContentCorpus contentCorpus(const std::filesystem::path& folder, int documentCount);

// Rewrites the plain-text documents among the first `count` files with new words (a new size, time
// and content); their paths.
std::vector<std::filesystem::path> changeTextDocuments(const ContentCorpus& corpus, int count, int round);
