// SPDX-License-Identifier: GPL-3.0-or-later
#include "check/cataloguecheck.h"
#include "cli/categorypath.h"
#include "cli/cliapp.h"

#include <QCoreApplication>
#include <QDateTime>

#include <memory>

namespace {

std::string isoTime(std::int64_t seconds)
{
    return QDateTime::fromSecsSinceEpoch(seconds, Qt::UTC).toString(Qt::ISODate).toStdString();
}

int checkCatalogue(Invocation& run)
{
    // The link checks run in Qt's event loop, which needs an application object.
    const std::unique_ptr<QCoreApplication> application = eventLoopApplication();

    check::CheckOptions options;
    const bool some = run.has("files") || run.has("links") || run.has("duplicates");
    options.files = !some || run.has("files");
    options.links = !some || run.has("links");
    options.duplicates = !some || run.has("duplicates");
    CDBManager& db = run.catalogue();
    const CategoryIndex index(db.GetRootCategory());
    if (const auto category = run.value("category"))
        options.categoryGuid = index.resolveCategory(*category).GetGuid();
    const std::string path = run.databasePath();
    std::unordered_map<std::string, std::pair<std::string, std::string>> items;  // guid: title, category
    for (const check::CheckedItem& item : check::readItems(db, options.categoryGuid)) {
        const CCategory* category = index.byGuid(item.category);
        items[item.guid] = {item.name, category ? index.pathOf(*category) : std::string()};
    }
    run.closeCatalogue();

    check::CatalogueCheck checker(path, options);
    QObject::connect(&checker, &check::CatalogueCheck::found, [&](const check::StoredFinding& finding) {
        if (finding.ignored)
            return;
        const auto& [title, category] = items[finding.guid];
        Record record = {{"guid", finding.guid},
                         {"kind", std::string(check::kindName(finding.kind))},
                         {"target", finding.target},
                         {"detail", finding.detail}};
        if (finding.kind == check::Kind::Moved)
            record.push_back({"new_target", finding.newTarget});
        if (finding.aspect == check::Aspect::Duplicate)
            record.push_back({"same_as", finding.otherGuid});
        record.push_back({"title", title});
        record.push_back({"category", category});
        record.push_back({"checked", isoTime(finding.checked)});
        record.push_back({"since", isoTime(finding.since)});
        record.push_back({"new", finding.isNew() ? 1LL : 0LL});
        run.out().print(record);
    });
    const check::CheckSummary summary = checker.run();
    if (!summary.error.empty())
        throw Failure("The check failed: " + summary.error);
    return ExitSuccess;
}

}  // namespace

extern const Subcommand cmd_check = {
    "check",
    "[--category CATEGORY] [--files] [--links] [--duplicates]",
    "Check files, links and duplicates; print one line per problem found (all three when none is named)",
    {{"category", "CATEGORY", "check only this category and everything below it"},
     {"files", nullptr, "look for missing files"},
     {"links", nullptr, "look for dead and moved web addresses"},
     {"duplicates", nullptr, "look for items filed twice"}},
    0,
    0,
    checkCatalogue};
