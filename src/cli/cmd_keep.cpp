// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/contentaccess.h"
#include "cli/itemlookup.h"
#include "content/indexlock.h"
#include "content/keptpages.h"
#include "content/pagekeeper.h"

#include <QCoreApplication>

#include <unordered_set>

namespace {

int keepCommand(Invocation& run)
{
    const content::IndexerSetup setup = contentSetup(run);
    if (setup.pagesFolder.empty())
        throw Failure("Cannot find the folder for the user's data: set HOME or XDG_DATA_HOME.");
    CDBManager& db = run.catalogue();
    const CategoryIndex index(db.GetRootCategory());
    // GUID and address of each item, kept beyond the catalogue's connection.
    std::vector<std::pair<std::string, std::string>> found;
    for (const FoundItem& each : findItems(db, index, run.operands())) {
        if (each.item->GetType() != 1)
            throw Failure("The item " + each.item->GetGuid() + " is a file, not a web address.");
        found.emplace_back(each.item->GetGuid(), each.item->GetTarget());
    }
    run.closeCatalogue();

    const std::unique_ptr<QCoreApplication> application = eventLoopApplication();
    std::vector<std::string> addresses;
    for (const auto& [guid, address] : found)
        addresses.push_back(address);
    const std::vector<content::KeepResult> results = content::keepPagesNow(addresses, setup.pagesFolder);

    // The new copies' text goes into the index at once.
    std::unordered_set<std::string> kept;
    for (std::size_t i = 0; i < found.size(); ++i)
        if (results[i].kept)
            kept.insert(found[i].second);
    if (!kept.empty()) {
        content::IndexLock lock(setup.indexPath);
        lock.lock();
        content::ContentIndexer indexer(setup);
        indexer.updateFromCatalogue();
        indexer.refresh(Progress::none(), kept);
    }
    bool allKept = true;
    for (std::size_t i = 0; i < found.size(); ++i) {
        allKept = allKept && results[i].kept;
        run.out().print({{"guid", found[i].first},
                         {"address", found[i].second},
                         {"kept", results[i].kept ? "yes" : "no"},
                         {"file", results[i].file},
                         {"detail", results[i].detail}});
    }
    return allKept ? ExitSuccess : ExitFailure;
}

}  // namespace

extern const Subcommand cmd_keep = {
    "keep",
    "GUID...",
    "Fetch and keep a copy of each web item's page now (stylesheets and images inside), and index its text",
    {},
    1,
    -1,
    keepCommand};
