// SPDX-License-Identifier: GPL-3.0-or-later
// The main window's own state: where it opens, and how many items the shown category holds.
#include "ui/window/tsdiappform.h"

#include "shell/paths.h"
#include "ui/views/categorytreeview.h"
#include "ui/views/itemlistview.h"
#include "ui/window/windowplacement.h"

#include <QHeaderView>
#include <QLabel>
#include <QStatusBar>
#include <QTimer>

namespace {

QString itemCountText(int count)
{
    return count == 1 ? QStringLiteral("1 item") : QStringLiteral("%1 items").arg(count);
}

}  // namespace

void TSDIAppForm::createWindowState()
{
    placement = std::make_unique<WindowPlacement>(*this, *Splitter1, *listContent->header(), settingsFilePath());
    placement->restore();

    auto* count = new QLabel(statusBar());
    count->setObjectName(QStringLiteral("lblItemCount"));
    statusBar()->addPermanentWidget(count);
    // Counted once the rows have settled: a category of thousands adds them one by one.
    auto* recount = new QTimer(this);
    recount->setSingleShot(true);
    recount->setInterval(0);
    connect(recount, &QTimer::timeout, this, [this, count] {
        count->setText(GetSelectedCategory() ? itemCountText(listContent->topLevelItemCount()) : QString());
    });
    const auto changed = [recount] { recount->start(); };
    QAbstractItemModel* rows = listContent->model();
    connect(rows, &QAbstractItemModel::rowsInserted, recount, changed);
    connect(rows, &QAbstractItemModel::rowsRemoved, recount, changed);
    connect(rows, &QAbstractItemModel::modelReset, recount, changed);
    connect(treeCategory, &QTreeWidget::itemSelectionChanged, recount, changed);
}
