// SPDX-License-Identifier: GPL-3.0-or-later
#include "content/contentindexer.h"

#include "check/filecheck.h"
#include "check/finding.h"
#include "check/linkchecker.h"
#include "content/keptpages.h"
#include "storage/statement.h"
#include "storage/transaction.h"

#include <cerrno>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <optional>

#include <sys/stat.h>

namespace content {

namespace {

using Clock = std::chrono::steady_clock;
// Writes are committed this often, so readers see progress and a stop loses little.
constexpr auto commitEvery = std::chrono::milliseconds(500);

std::string sizeCapText(int megabytes)
{
    return "larger than the " + std::to_string(megabytes) + " MB size cap";
}

}  // namespace

std::string describe(const Document& document)
{
    switch (document.state) {
    case State::Text:
        return document.reason.empty() ? std::string() : "text read: " + document.reason;
    case State::NoText:
        return "no text: " + document.reason;
    case State::Failed:
        return "could not be read: " + document.reason;
    case State::Skipped:
        return "not read: " + document.reason;
    case State::Pending:
        break;
    }
    return "not read yet";
}

ContentIndexer::ContentIndexer(IndexerSetup indexerSetup)
    : setup(std::move(indexerSetup)), contentIndex(setup.indexPath), extractor(setup.extractor, setup.limits)
{
}

ContentIndexer::Source ContentIndexer::sourceOf(int type, const std::string& target) const
{
    if (type == 1) {
        if (!check::notCheckedReason(target).empty() || setup.pagesFolder.empty())
            return {};
        return {target, keptCopyPath(setup.pagesFolder, target), true};
    }
    if (!setup.settings.indexFiles)
        return {};
    const std::string path = check::localPathOf(target);
    return {path, path, false};
}

void ContentIndexer::readMissingMarks()
{
    missingFiles.clear();
    if (!catalogue.TableExists("health_table"))
        return;
    Statement marked(catalogue, "select l.type, l.target from health_table h join link_table l "
                                          "on l.guid = h.guid and l.target = h.target "
                                          "where h.aspect = ?1 and h.kind = ?2;");
    marked.bind(1, check::aspectName(check::Aspect::File)).bind(2, check::kindName(check::Kind::Missing));
    while (marked.step())
        missingFiles.insert(sourceOf(int(marked.integer(0)), marked.text(1)).source);
}

bool ContentIndexer::updateFromCatalogue()
{
    try {
        if (!catalogue.IsOpen()) {
            catalogue.OpenReadOnly(setup.cataloguePath.c_str());
            catalogue.SetBusyTimeout(10000);
        }
        const long long version = catalogue.ExecuteScalar("pragma data_version;");
        if (version == catalogueVersion)
            return false;
        std::unordered_map<std::string, std::string> known = contentIndex.itemSources();
        Statement items(catalogue, "select guid, type, target from link_table;");
        Transaction transaction(contentIndex.connection());
        bool changed = false;
        while (items.step()) {
            const std::string guid = items.text(0);
            const Source source = sourceOf(int(items.integer(1)), items.text(2));
            const auto place = known.find(guid);
            const bool mapped = place != known.end();
            if (!source.source.empty() && (!mapped || place->second != source.source)) {
                contentIndex.mapItem(guid, source.source, source.file, source.web);
                changed = true;
            } else if (source.source.empty() && mapped) {
                contentIndex.unmapItem(guid);
                changed = true;
            }
            if (mapped)
                known.erase(place);
        }
        for (const auto& [guid, source] : known)
            contentIndex.unmapItem(guid);
        changed = contentIndex.removeUnreferencedDocuments() > 0 || changed || !known.empty();
        readMissingMarks();
        transaction.Commit();
        catalogueVersion = version;
        return changed;
    } catch (const CppSQLite3Exception& failure) {
        catalogue.Close();
        catalogueVersion = -1;
        throw ContentIndexError("Cannot follow the catalogue " + setup.cataloguePath + ": " + failure.ErrorMessage());
    }
}

bool ContentIndexer::refreshDocument(const Document& document, IndexReport& report)
{
    struct stat info {};
    if (::stat(document.file.c_str(), &info) != 0) {
        const std::string reason = document.web ? "no copy of the page is kept" : std::strerror(errno);
        // A vanished file keeps its text (it may be on a drive not plugged in) until the check has
        // found it missing.
        if (document.state == State::Text && !missingFiles.count(document.source)) {
            if (!document.gone)
                contentIndex.markGone(document.id, true);
            return false;
        }
        if (document.state == State::NoText && document.reason == reason && document.size == -1)
            return false;
        contentIndex.storeState(document.id, {}, State::NoText, reason);
        return true;
    }
    const FileStamp stamp{static_cast<long long>(info.st_size),
                          static_cast<long long>(info.st_mtim.tv_sec) * 1000000000 + info.st_mtim.tv_nsec};
    if (document.state != State::Pending && document.size == stamp.size && document.mtime == stamp.mtime) {
        if (document.gone)
            contentIndex.markGone(document.id, false);
        return false;
    }
    if (S_ISREG(info.st_mode) && info.st_size > static_cast<long long>(setup.settings.sizeCapMb) * 1024 * 1024) {
        contentIndex.storeState(document.id, stamp, State::Skipped, sizeCapText(setup.settings.sizeCapMb));
        ++report.skipped;
        return true;
    }
    // Anything else (a FIFO, a device) is the reading process's to refuse without hanging.
    const Extraction extraction = extractor.read(
        document.file, document.state == State::Text ? document.hash : std::string(), setup.settings.kinds);
    contentIndex.storeExtraction(document.id, stamp, extraction);
    switch (extraction.outcome) {
    case Extraction::Outcome::Text:
        ++report.read;
        break;
    case Extraction::Outcome::NoText:
        ++report.withoutText;
        break;
    case Extraction::Outcome::Unchanged:
        ++report.unchanged;
        break;
    case Extraction::Outcome::Failed:
        ++report.failed;
        report.failures.emplace_back(document.web ? document.source : document.file, extraction.reason);
        break;
    }
    return true;
}

std::vector<std::string> ContentIndexer::pagesNotKept()
{
    std::vector<std::string> addresses;
    std::error_code ignored;
    for (const Document& document : contentIndex.documents())
        if (document.web && !std::filesystem::exists(document.file, ignored))
            addresses.push_back(document.source);
    return addresses;
}

IndexReport ContentIndexer::refresh(Progress& progress, const std::unordered_set<std::string>& onlySources)
{
    IndexReport report;
    // Kinds switched on or off, or another size cap: every file is judged again by the new rules
    // (an unchanged file of a kind still read costs only its hash).
    const std::string rules = kindsText(setup.settings.kinds) + ";" + std::to_string(setup.settings.sizeCapMb);
    if (contentIndex.meta("rules") != rules) {
        contentIndex.forgetStamps();
        contentIndex.setMeta("rules", rules);
    }
    std::vector<Document> documents = contentIndex.documents();
    if (!onlySources.empty())
        std::erase_if(documents, [&](const Document& document) { return !onlySources.count(document.source); });
    std::optional<Transaction> transaction;
    auto since = Clock::now();
    try {
        for (std::size_t i = 0; i < documents.size(); ++i) {
            if (!transaction) {
                transaction.emplace(contentIndex.connection());
                since = Clock::now();
            }
            refreshDocument(documents[i], report);
            if (Clock::now() - since >= commitEvery) {
                transaction->Commit();
                transaction.reset();
            }
            if (!progress.advance(i + 1, documents.size())) {
                report.stopped = true;
                break;
            }
        }
        if (transaction)
            transaction->Commit();
    } catch (const CppSQLite3Exception& failure) {
        throw ContentIndexError(std::string("Cannot write the content index: ") + failure.ErrorMessage());
    }
    return report;
}

}  // namespace content
