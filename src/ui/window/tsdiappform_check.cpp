// SPDX-License-Identifier: GPL-3.0-or-later
// The main window's side of the catalogue check: the results window, the marks on broken rows and
// the commands the results window asks for.
#include "ui/window/tsdiappform.h"

#include "check/checkstore.h"
#include "ui/check/cataloguecheckwindow.h"
#include "ui/common/dialogseam.h"
#include "ui/common/qtext.h"
#include "ui/views/categorytreeview.h"
#include "ui/views/itemlistview.h"

#include <QDateTime>
#include <QLocale>

#include <stdexcept>

void TSDIAppForm::ToolsCheckCatalogueClick()
{
    auto* window = qobject_cast<CatalogueCheckWindow*>(checkWindow.data());
    if (!window) {
        CheckCommands commands;
        commands.locate = [this](const std::string& categoryGuid, const std::string& itemGuid) {
            LocateItem(categoryGuid, itemGuid);
        };
        commands.setTarget = [this](const std::string& guid, const std::string& target) {
            setItemTarget(guid, target);
        };
        commands.deleteItems = [this](const std::vector<std::string>& guids) { deleteItemsByGuid(guids); };
        commands.resultsChanged = [this] { markCheckedRows(); };
        window = new CatalogueCheckWindow(this, db, std::move(commands));
        checkWindow = window;
    }
    const CCategory* selected = GetSelectedCategory();
    window->setSelectedCategory(selected ? selected->GetGuid() : std::string(),
                                selected ? toQ(selected->GetName()) : QString());
    window->show();
    window->raise();
    window->activateWindow();
}

void TSDIAppForm::markCheckedRows()
{
    const CCategory* category = GetSelectedCategory();
    if (!category || !db.IsOpen())
        return;
    const auto broken = check::CheckStore(db).brokenItems(category->GetGuid());
    for (int i = 0; i < listContent->topLevelItemCount(); ++i) {
        QTreeWidgetItem* row = listContent->topLevelItem(i);
        const CLinkItem* item = listContent->itemOf(row);
        const auto found = item ? broken.find(item->GetGuid()) : broken.end();
        listContent->markBroken(row, found == broken.end()
                                         ? QString()
                                         : QStringLiteral("%1: %2").arg(found->second.kind == check::Kind::Missing
                                                                            ? QStringLiteral("Missing")
                                                                            : QStringLiteral("Dead link"),
                                                                        toQ(found->second.detail)));
    }
}

QString TSDIAppForm::lastCheckedNote(const CLinkItem& item)
{
    if (!db.IsOpen())
        return {};
    QStringList notes;
    for (const check::StoredFinding& finding : check::CheckStore(db).forItem(item.GetGuid())) {
        if (finding.aspect == check::Aspect::Duplicate)
            continue;
        const QString when = QLocale().toString(QDateTime::fromSecsSinceEpoch(finding.checked), QLocale::ShortFormat);
        notes << (finding.kind == check::Kind::Ok
                      ? QStringLiteral("Last checked %1: fine").arg(when)
                      : QStringLiteral("Last checked %1: %2").arg(when, toQ(finding.detail)));
    }
    return notes.join(QLatin1Char('\n'));
}

// The category holding the item, with its items in memory. The shown category keeps the objects its
// rows point at; any other is read afresh, since no row points into it.
CCategory* TSDIAppForm::loadedCategoryOf(const std::string& itemGuid)
{
    CppSQLite3Buffer sql;
    sql.Format("select category from link_table where guid = %Q;", itemGuid.c_str());
    CppSQLite3Query row = db.ExecuteQuery(sql);
    if (row.Eof())
        throw std::runtime_error("The item is no longer in the catalogue.");
    CCategory* category = treeCategory->categoryOf(treeCategory->findNode(row.fieldText("category")));
    if (!category)
        throw std::runtime_error("The item's category is no longer in the catalogue.");
    if (category != GetSelectedCategory())
        db.LoadItems(*category);
    return category;
}

namespace {

CLinkItem* itemIn(CCategory& category, const std::string& guid)
{
    for (int i = 0; i < category.GetItemCount(); ++i)
        if (category.GetItem(i)->GetGuid() == guid)
            return category.GetItem(i);
    return nullptr;
}

}  // namespace

void TSDIAppForm::setItemTarget(const std::string& itemGuid, const std::string& target)
{
    if (CLinkItem* item = itemIn(*loadedCategoryOf(itemGuid), itemGuid)) {
        commands.editItem(*item, {item->GetName(), target, item->GetComment(), item->GetType()});
        if (QTreeWidgetItem* row = listContent->rowOf(item))
            listContent->refreshRow(row);
    }
}

// One item at a time: loading another item's category may replace the objects of this one's.
void TSDIAppForm::deleteItemsByGuid(const std::vector<std::string>& itemGuids)
{
    const auto progress = seam::progress(this, QStringLiteral("Deleting items..."), false);
    for (const std::string& guid : itemGuids) {
        CCategory* category = loadedCategoryOf(guid);
        if (CLinkItem* item = itemIn(*category, guid))
            commands.deleteItems(*category, {item}, *progress, rowRemover());
    }
}
