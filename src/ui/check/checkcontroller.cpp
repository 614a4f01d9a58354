// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/check/checkcontroller.h"

#include "check/checkstore.h"
#include "session/cataloguesession.h"
#include "ui/check/cataloguecheckwindow.h"
#include "ui/common/controls.h"
#include "ui/common/dialogseam.h"
#include "ui/common/qtext.h"
#include "ui/common/screenfit.h"
#include "ui/views/catalogueview.h"
#include "ui/views/itemlistview.h"
#include "undo/catalogueundocommands.h"

#include <QAction>
#include <QDateTime>
#include <QLocale>

#include <map>
#include <stdexcept>

namespace {

CLinkItem* itemIn(CCategory& category, const std::string& guid)
{
    for (int i = 0; i < category.GetItemCount(); ++i)
        if (category.GetItem(i)->GetGuid() == guid)
            return category.GetItem(i);
    return nullptr;
}

}  // namespace

CheckController::CheckController(CatalogueSession& catalogueSession, CatalogueView& catalogueView, QWidget* owner)
    : QObject(owner), session(catalogueSession), view(catalogueView), window(owner),
      ToolsCheckCatalogue(makeAction(owner, "ToolsCheckCatalogue", QStringLiteral("Check &Catalogue..."),
                                     QStringLiteral("Look for missing files, dead links and items filed twice")))
{
    view.runOnTrigger(ToolsCheckCatalogue, window, [this] { ToolsCheckCatalogueClick(); });
    view.setRowMarks([this](const CCategory& category) { return brokenRows(category); });
}

void CheckController::ToolsCheckCatalogueClick()
{
    auto* results = qobject_cast<CatalogueCheckWindow*>(checkWindow.data());
    if (!results) {
        CheckCommands commands;
        commands.locate = [this](const std::string& categoryGuid, const std::string& itemGuid) {
            view.locateItem(categoryGuid, itemGuid);
        };
        commands.setTargets = [this](const std::vector<std::pair<std::string, std::string>>& guidsAndTargets) {
            setTargets(guidsAndTargets);
        };
        commands.deleteItems = [this](const std::vector<std::string>& guids) { deleteItems(guids); };
        commands.resultsChanged = [this] { view.remark(); };
        commands.hasKeptCopy = hasKeptCopy;
        commands.openKeptCopy = openKeptCopy;
        results = new CatalogueCheckWindow(window, session.database(), std::move(commands));
        checkWindow = results;
        placeOver(results, window);
    }
    const CCategory* selected = view.selectedCategory();
    results->setSelectedCategory(selected ? selected->GetGuid() : std::string(),
                                 selected ? toQ(selected->GetName()) : QString());
    results->show();
    results->raise();
    results->activateWindow();
}

std::unordered_map<std::string, QString> CheckController::brokenRows(const CCategory& category)
{
    std::unordered_map<std::string, QString> reasons;
    if (!session.catalogue().IsOpen())
        return reasons;
    for (const auto& [guid, finding] : check::CheckStore(session.database()).brokenItems(category.GetGuid()))
        reasons.emplace(guid,
                        QStringLiteral("%1: %2").arg(finding.kind == check::Kind::Missing ? QStringLiteral("Missing")
                                                                                          : QStringLiteral("Dead link"),
                                                     toQ(finding.detail)));
    return reasons;
}

QString CheckController::lastCheckedNote(const CLinkItem& item)
{
    if (!session.catalogue().IsOpen())
        return {};
    QStringList notes;
    for (const check::StoredFinding& finding : check::CheckStore(session.database()).forItem(item.GetGuid())) {
        if (finding.aspect == check::Aspect::Duplicate)
            continue;
        const QString when = QLocale().toString(QDateTime::fromSecsSinceEpoch(finding.checked), QLocale::ShortFormat);
        notes << (finding.kind == check::Kind::Ok
                      ? QStringLiteral("Last checked %1: fine").arg(when)
                      : QStringLiteral("Last checked %1: %2").arg(when, toQ(finding.detail)));
    }
    return notes.join(QLatin1Char('\n'));
}

// The items by the loaded category that holds them, each category's items read once: the shown
// category keeps the objects its rows point at, any other is read afresh, since no row points into it.
std::map<CCategory*, CLinkItems> CheckController::loadedItems(const std::vector<std::string>& itemGuids)
{
    std::map<CCategory*, std::vector<std::string>> guids;
    for (const std::string& guid : itemGuids)
        if (CCategory* category = session.categoryOfItem(guid))
            guids[category].push_back(guid);
    std::map<CCategory*, CLinkItems> items;
    for (const auto& [category, inCategory] : guids) {
        if (category != view.selectedCategory())
            session.loadItems(*category);
        for (const std::string& guid : inCategory)
            if (CLinkItem* item = itemIn(*category, guid))
                items[category].push_back(item);
    }
    return items;
}

QString CheckController::commandText(const char* verb, const std::vector<std::string>& itemGuids)
{
    const std::optional<CLinkItem> first =
        itemGuids.empty() ? std::nullopt : session.database().ReadItem(itemGuids.front());
    return itemsCommandText(verb, itemGuids.size(), first ? first->GetName() : std::string());
}

void CheckController::setTargets(const std::vector<std::pair<std::string, std::string>>& guidsAndTargets)
{
    std::vector<std::string> guids;
    std::map<std::string, std::string> targets;
    for (const auto& [guid, target] : guidsAndTargets) {
        guids.push_back(guid);
        targets[guid] = target;
    }
    session.runBatch(commandText("Relink", guids), [&](CatalogueCommands& commands) {
        for (const auto& [category, items] : loadedItems(guids))
            for (CLinkItem* item : items) {
                commands.editItem(*item,
                                  {item->GetName(), targets[item->GetGuid()], item->GetComment(), item->GetType()});
                if (QTreeWidgetItem* row = view.list()->rowOf(item))
                    view.list()->refreshRow(row);
            }
    });
}

void CheckController::deleteItems(const std::vector<std::string>& itemGuids)
{
    const auto progress = seam::progress(window, QStringLiteral("Deleting items..."), false);
    session.runBatch(commandText("Delete", itemGuids), [&](CatalogueCommands& commands) {
        for (const auto& [category, items] : loadedItems(itemGuids))
            commands.deleteItems(*category, items, *progress, view.rowRemover());
    });
}
