// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "content/extractorprocess.h"
#include "storage/cppsqlite3.h"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <stdexcept>
#include <string>
#include <unordered_map>
#include <vector>

namespace content {

// The content index cannot be opened or written; the message says why.
struct ContentIndexError : std::runtime_error {
    using std::runtime_error::runtime_error;
};
// The words searched for are no query (an unclosed quote, a lone AND); the message says so in words.
struct ContentQueryError : std::runtime_error {
    using std::runtime_error::runtime_error;
};

enum class State { Pending = 0, Text = 1, NoText = 2, Failed = 3, Skipped = 4 };

// A file or a kept page whose text the index holds or tried to read.
struct Document {
    long long id = 0;
    std::string source;  // the file's path, or the page's address
    std::string file;    // what is read: the path, or the kept copy of the page
    bool web = false;
    long long size = -1;
    long long mtime = -1;  // nanoseconds
    std::string hash;
    State state = State::Pending;
    std::string reason;  // why there is no text, or a note on it
    std::string contentType;
    int pages = 0;
    bool gone = false;  // the file vanished; its text is kept until a check finds it missing
};

// Size and time of a file as last looked at: what decides whether it is read again.
struct FileStamp {
    long long size = -1;
    long long mtime = -1;
};

struct ContentHit {
    std::string guid;  // the item whose document holds the words
    int page = 0;      // the PDF page of the best passage; 0 for a document without pages
    std::string snippet;
    double rank = 0;  // bm25: lower is better
};

struct SnippetMarks {
    std::string before = "**";
    std::string after = "**";
    std::string ellipsis = "\u2026";
    int words = 16;
};

// The words inside the catalogue's documents and kept pages, in a file of its own beside the quick
// find index: FTS5 folding case and accents (unicode61, remove_diacritics 2), ranked by bm25. The file
// is private (mode 0600), never reached through a symbolic link, and made again when it is damaged.
//
// One object is one SQLite connection: use it on one thread. Any number may read at once; one
// indexer writes at a time (see IndexLock).
class ContentIndex {
public:
    explicit ContentIndex(std::string indexPath);

    // The index file of a catalogue inside the cache folder, beside its quick find index.
    static std::string pathFor(const std::string& cataloguePath, const std::string& cacheFolder);

    // The items whose documents hold the words, best first, one hit per document and item; the
    // words as FTS5 reads them: "exact phrase", contra*, AND, OR, NOT, NEAR(...).
    std::vector<ContentHit> search(const std::string& query, std::size_t limit, const SnippetMarks& marks = {});
    // The document an item's content comes from, or nullopt when it has none (not a file, no address).
    std::optional<Document> documentOf(const std::string& guid);

    // For the indexer ----------------------------------------------------------------------------
    std::vector<Document> documents();
    // Which document each item's content comes from (by source), by GUID.
    std::unordered_map<std::string, std::string> itemSources();
    // The item's content now comes from this source (made a document when new).
    void mapItem(const std::string& guid, const std::string& source, const std::string& file, bool web);
    void unmapItem(const std::string& guid);
    // Removes the documents no item refers to any more, with their text; how many.
    int removeUnreferencedDocuments();
    // What a read gave: the text (replacing the old), the reason there is none, or the same hash.
    void storeExtraction(long long document, const FileStamp& stamp, const Extraction& extraction);
    // The file was not read: too large, of a kind left out, not there. Drops the text unless keepText.
    void storeState(long long document, const FileStamp& stamp, State state, const std::string& reason,
                    bool keepText = false);
    void markGone(long long document, bool gone);
    // Makes every document be looked at again by the next refresh (its text is kept meanwhile).
    void forgetStamps();
    // A value the index keeps about itself ("" when none).
    std::string meta(const std::string& key);
    void setMeta(const std::string& key, const std::string& value);

    CppSQLite3DB& connection() { return db; }
    const std::string& path() const { return indexPath; }

private:
    void open();
    void ensureSchema();
    void dropText(long long document);

    std::string indexPath;
    CppSQLite3DB db;
};

// A document's text rows are keyed by document and page in one rowid.
inline long long textRow(long long document, int page)
{
    return (document << 20) | (page & 0xFFFFF);
}

}  // namespace content
