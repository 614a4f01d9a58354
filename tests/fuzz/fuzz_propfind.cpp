// SPDX-License-Identifier: GPL-3.0-or-later
// A WebDAV server's answer to PROPFIND, as the sync reads a folder's listing: readListing over the
// fuzzed bytes. It either refuses the answer with SyncError or gives at most the limit of entries,
// each a name of one path segment, never the folder asked about.

#include "fuzzsupport.h"

#include "sync/webdavlisting.h"

#include <QByteArray>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    constexpr int limit = 64;
    const QByteArray answer(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    std::vector<RemoteEntry> entries;
    try {
        entries = readListing(answer, QStringLiteral("/sync/here/Varnelo"), limit, "the server");
    } catch (const SyncError&) {
        return 0;
    }
    FUZZ_CHECK(entries.size() <= static_cast<std::size_t>(limit));
    for (const RemoteEntry& entry : entries) {
        FUZZ_CHECK(!entry.name.empty());
        FUZZ_CHECK(entry.name.find('/') == std::string::npos);
        FUZZ_CHECK(entry.size >= -1);
    }
    httpDate(answer.left(64));
    return 0;
}
