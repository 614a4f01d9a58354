// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "content/contentindex.h"
#include "content/contentsettings.h"
#include "content/extractorprocess.h"
#include "model/progress.h"
#include "storage/cppsqlite3.h"

#include <string>
#include <unordered_set>
#include <utility>
#include <vector>

namespace content {

struct IndexerSetup {
    std::string cataloguePath;
    std::string indexPath;
    std::string pagesFolder;  // where kept copies of pages are
    std::string extractor = ExtractorProcess::defaultExecutable();
    ExtractLimits limits;
    ContentSettings settings;
};

struct IndexReport {
    int read = 0;         // files whose text was read (again)
    int unchanged = 0;    // changed in time or size only: the same content, not read again
    int withoutText = 0;  // read, and no text found (or of a kind not read)
    int failed = 0;       // could not be read; see failures
    int skipped = 0;      // too large to read
    bool stopped = false;
    std::vector<std::pair<std::string, std::string>> failures;  // the file and why, in words
};

// Keeps a content index in step with a catalogue and the files its items name: items added, edited
// or deleted are followed, and each file is read again only when its size or time changed and then
// its content hash did. Reading goes through the reading process (ExtractorProcess), one file at a
// time. The caller holds the index's IndexLock while it calls anything here. Runs on one thread.
class ContentIndexer {
public:
    explicit ContentIndexer(IndexerSetup setup);

    // Follows the items added, edited or deleted since the last call (all of them the first time).
    // True when it changed what the index refers to. Raises ContentIndexError when the catalogue or
    // the index cannot be read.
    bool updateFromCatalogue();
    // Reads every document whose file changed (or only those of these sources); advances progress per
    // document and stops between two when it says so, keeping what was stored.
    IndexReport refresh(Progress& progress = Progress::none(), const std::unordered_set<std::string>& onlySources = {});

    // The addresses of the web items that have no kept copy yet.
    std::vector<std::string> pagesNotKept();

    ContentIndex& index() { return contentIndex; }
    ExtractorProcess& reader() { return extractor; }

private:
    struct Source {
        std::string source;
        std::string file;
        bool web = false;
    };
    Source sourceOf(int type, const std::string& target) const;
    void readMissingMarks();
    // False when the document needed no reading.
    bool refreshDocument(const Document& document, IndexReport& report);

    IndexerSetup setup;
    ContentIndex contentIndex;
    ExtractorProcess extractor;
    CppSQLite3DB catalogue;
    long long catalogueVersion = -1;
    // Files of items the catalogue check found missing: their text goes once the file is gone.
    std::unordered_set<std::string> missingFiles;
};

// What the index says of a document, in the words the user reads: "could not be read: took longer
// than 30 s", "not read: larger than the 100 MB size cap", "no text: ..."; "" when its text is held.
std::string describe(const Document& document);

}  // namespace content
