// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/check/cataloguecheckwindow.h"

#include "check/filecheck.h"
#include "session/worker.h"
#include "storage/cdbmanager.h"
#include "ui/check/relinkdialog.h"
#include "ui/common/dialogseam.h"
#include "ui/common/errorbox.h"
#include "ui/common/qtext.h"
#include "ui/common/screenfit.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QDateTime>
#include <QElapsedTimer>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLocale>
#include <QProgressBar>
#include <QPushButton>
#include <QTreeWidget>
#include <QVBoxLayout>

#include <atomic>
#include <set>

// The check's progress as this window shows it: asked on the check's thread, it posts the counts to
// the window's at most every 100 ms and answers with the user's Cancel.
// The check's progress as the window shows it: the counts reach the bar at most ten times a second,
// and the worker's own progress says when to stop.
class CatalogueCheckWindow::RunProgress final : public Progress {
public:
    RunProgress(CatalogueCheckWindow* shownIn, Progress& workerProgress) : window(shownIn), worker(workerProgress) {}
    bool advance(std::size_t done, std::size_t total) override
    {
        if (!sinceShown.isValid() || sinceShown.hasExpired(100)) {
            sinceShown.start();
            QMetaObject::invokeMethod(
                window, [shown = window, done, total] { shown->showProgress(done, total); }, Qt::QueuedConnection);
        }
        return worker.advance(done, total);
    }

private:
    CatalogueCheckWindow* window;
    Progress& worker;
    QElapsedTimer sinceShown;
};

namespace {

std::string rowKey(const check::Finding& finding)
{
    return finding.guid + '\n' + check::aspectName(finding.aspect);
}

QString when(std::int64_t seconds)
{
    return QLocale().toString(QDateTime::fromSecsSinceEpoch(seconds), QLocale::ShortFormat);
}

// Whether a result is news: a failure seen for the first time, or one that persists.
QString history(const check::StoredFinding& finding)
{
    return finding.isNew() ? QStringLiteral("new") : QStringLiteral("since %1").arg(when(finding.since));
}

}  // namespace

CatalogueCheckWindow::CatalogueCheckWindow(QWidget* owner, CDBManager& catalogue, CheckCommands checkCommands)
    : QWidget(owner, Qt::Window), db(catalogue), commands(std::move(checkCommands)), worker(new Worker(this))
{
    setObjectName(QStringLiteral("CatalogueCheckWindow"));
    setWindowTitle(QStringLiteral("Check Catalogue"));
    reportAsWindow(this);
    buildControls();
    resize(860, 480);
    runCommand(this, [this] { reloadResults(); });
}

// The check stops before anything it reports to goes; what it stored until then stays.
CatalogueCheckWindow::~CatalogueCheckWindow()
{
    delete worker;
}

bool CatalogueCheckWindow::isRunning() const
{
    return worker->busy();
}

void CatalogueCheckWindow::buildControls()
{
    auto* layout = new QVBoxLayout(this);
    auto* options = new QHBoxLayout;
    ckFiles = new QCheckBox(QStringLiteral("Missing &files"), this);
    ckLinks = new QCheckBox(QStringLiteral("Dead &links"), this);
    ckDuplicates = new QCheckBox(QStringLiteral("&Duplicates"), this);
    cbScope = new QComboBox(this);
    cbScope->setAccessibleName(QStringLiteral("Scope of the check"));
    cbScope->addItem(QStringLiteral("Whole catalogue"));
    cbScope->addItem(QStringLiteral("Selected category"));
    btnCheck = new QPushButton(QStringLiteral("&Check"), this);
    btnCancel = new QPushButton(QStringLiteral("Cancel"), this);
    const std::vector<std::pair<QWidget*, const char*>> named = {
        {ckFiles, "ckFiles"}, {ckLinks, "ckLinks"},   {ckDuplicates, "ckDuplicates"},
        {cbScope, "cbScope"}, {btnCheck, "btnCheck"}, {btnCancel, "btnCancel"}};
    for (const auto& [widget, name] : named) {
        widget->setObjectName(QString::fromLatin1(name));
        options->addWidget(widget);
    }
    for (QCheckBox* box : {ckFiles, ckLinks, ckDuplicates})
        box->setChecked(true);
    options->insertStretch(4);
    layout->addLayout(options);

    progressCheck = new QProgressBar(this);
    progressCheck->setObjectName(QStringLiteral("progressCheck"));
    progressCheck->setVisible(false);
    lblStatus = new QLabel(this);
    lblStatus->setObjectName(QStringLiteral("lblStatus"));
    layout->addWidget(progressCheck);
    layout->addWidget(lblStatus);

    listFindings = new QTreeWidget(this);
    listFindings->setObjectName(QStringLiteral("listFindings"));
    listFindings->setAccessibleName(QStringLiteral("Check results"));
    listFindings->setHeaderLabels({QStringLiteral("Title"), QStringLiteral("Category"), QStringLiteral("Target"),
                                   QStringLiteral("Found"), QStringLiteral("Checked")});
    listFindings->setSelectionMode(QAbstractItemView::ExtendedSelection);
    listFindings->setColumnWidth(0, 170);
    listFindings->setColumnWidth(1, 130);
    listFindings->setColumnWidth(2, 220);
    listFindings->setColumnWidth(3, 220);
    layout->addWidget(listFindings, 1);

    auto* actions = new QHBoxLayout;
    btnLocate = new QPushButton(QStringLiteral("L&ocate"), this);
    btnRelink = new QPushButton(QStringLiteral("&Relink..."), this);
    btnUseNewAddress = new QPushButton(QStringLiteral("Use &New Address"), this);
    btnDelete = new QPushButton(QStringLiteral("D&elete"), this);
    btnIgnore = new QPushButton(QStringLiteral("&Ignore"), this);
    btnOpenKeptCopy = new QPushButton(QStringLiteral("Open &Kept Copy"), this);
    const std::vector<std::pair<QPushButton*, const char*>> buttons = {
        {btnLocate, "btnLocate"}, {btnOpenKeptCopy, "btnOpenKeptCopy"},
        {btnRelink, "btnRelink"}, {btnUseNewAddress, "btnUseNewAddress"},
        {btnDelete, "btnDelete"}, {btnIgnore, "btnIgnore"}};
    for (const auto& [button, name] : buttons) {
        button->setObjectName(QString::fromLatin1(name));
        actions->addWidget(button);
    }
    btnIgnore->setToolTip(QStringLiteral("Hide this finding until the item's target changes"));
    actions->addStretch();
    layout->addLayout(actions);

    const auto command = [this](void (CatalogueCheckWindow::*handler)()) {
        return [this, handler] { runCommand(this, [&] { (this->*handler)(); }); };
    };
    connect(btnCheck, &QPushButton::clicked, this, command(&CatalogueCheckWindow::btnCheckClick));
    connect(btnCancel, &QPushButton::clicked, this, command(&CatalogueCheckWindow::btnCancelClick));
    connect(btnLocate, &QPushButton::clicked, this, command(&CatalogueCheckWindow::btnLocateClick));
    connect(btnRelink, &QPushButton::clicked, this, command(&CatalogueCheckWindow::btnRelinkClick));
    connect(btnUseNewAddress, &QPushButton::clicked, this, command(&CatalogueCheckWindow::btnUseNewAddressClick));
    connect(btnDelete, &QPushButton::clicked, this, command(&CatalogueCheckWindow::btnDeleteClick));
    connect(btnIgnore, &QPushButton::clicked, this, command(&CatalogueCheckWindow::btnIgnoreClick));
    connect(btnOpenKeptCopy, &QPushButton::clicked, this, command(&CatalogueCheckWindow::btnOpenKeptCopyClick));
    connect(listFindings, &QTreeWidget::itemSelectionChanged, this, &CatalogueCheckWindow::updateButtons);
    connect(listFindings, &QTreeWidget::itemDoubleClicked, this, command(&CatalogueCheckWindow::btnLocateClick));
    setSelectedCategory({}, {});
}

void CatalogueCheckWindow::setSelectedCategory(const std::string& guid, const QString& name)
{
    selectedGuid = guid;
    cbScope->setItemText(1, guid.empty() ? QStringLiteral("Selected category")
                                         : QStringLiteral("Category \"%1\"").arg(name));
    if (guid.empty())
        cbScope->setCurrentIndex(0);
    cbScope->setEnabled(!guid.empty() && !isRunning());
    updateButtons();
}

void CatalogueCheckWindow::readItemInfo()
{
    itemInfo.clear();
    for (check::CheckedItem& item : check::readItems(db, {}))
        itemInfo[item.guid] = {std::move(item.name), std::move(item.category)};
    categoryPaths = check::categoryPaths(db);
}

void CatalogueCheckWindow::reloadResults()
{
    readItemInfo();
    listFindings->clear();
    rows.clear();
    if (db.IsOpen())
        for (const check::StoredFinding& finding : check::CheckStore(db).current())
            addRow(finding);
    listFindings->expandAll();
    updateButtons();
}

QTreeWidgetItem* CatalogueCheckWindow::groupOf(check::Kind kind)
{
    for (int i = 0; i < listFindings->topLevelItemCount(); ++i) {
        QTreeWidgetItem* group = listFindings->topLevelItem(i);
        if (group->data(0, Qt::UserRole + 1).toInt() == static_cast<int>(kind))
            return group;
    }
    // Groups keep the order of the kinds, worst first.
    int place = 0;
    while (place < listFindings->topLevelItemCount()
           && listFindings->topLevelItem(place)->data(0, Qt::UserRole + 1).toInt() < static_cast<int>(kind))
        ++place;
    auto* group = new QTreeWidgetItem;
    group->setData(0, Qt::UserRole + 1, static_cast<int>(kind));
    group->setFirstColumnSpanned(false);
    QFont bold = group->font(0);
    bold.setBold(true);
    group->setFont(0, bold);
    group->setFlags(Qt::ItemIsEnabled);
    listFindings->insertTopLevelItem(place, group);
    group->setFirstColumnSpanned(true);
    group->setExpanded(true);
    return group;
}

void CatalogueCheckWindow::addRow(const check::StoredFinding& finding)
{
    if (finding.kind == check::Kind::Ok || finding.ignored)
        return;
    const std::string key = rowKey(finding);
    const auto info = itemInfo.find(finding.guid);
    Row row{finding, info == itemInfo.end() ? std::string() : info->second.first,
            info == itemInfo.end() ? std::string() : info->second.second};
    QString found = toQ(finding.detail);
    if (finding.aspect == check::Aspect::Duplicate) {
        const auto other = itemInfo.find(finding.otherGuid);
        if (other != itemInfo.end())
            found += QStringLiteral(" (as \"%1\")").arg(toQ(other->second.first));
    }
    found += QStringLiteral("; ") + history(finding);
    if (rows.count(key))
        for (int i = 0; i < listFindings->topLevelItemCount(); ++i)
            for (int j = listFindings->topLevelItem(i)->childCount() - 1; j >= 0; --j)
                if (listFindings->topLevelItem(i)->child(j)->data(0, Qt::UserRole).toString() == toQ(key))
                    delete listFindings->topLevelItem(i)->child(j);
    rows[key] = row;
    QTreeWidgetItem* group = groupOf(finding.kind);
    auto* item = new QTreeWidgetItem(group, {toQ(row.title), toQ(categoryPaths[row.categoryGuid]), toQ(finding.target),
                                             found, when(finding.checked)});
    item->setData(0, Qt::UserRole, toQ(key));
    item->setToolTip(3, found);
    item->setToolTip(2, toQ(finding.target));
    group->setText(
        0,
        QStringLiteral("%1 (%2)").arg(QString::fromLatin1(check::kindHeading(finding.kind))).arg(group->childCount()));
}

std::vector<const CatalogueCheckWindow::Row*> CatalogueCheckWindow::selectedRows() const
{
    std::vector<const Row*> selected;
    for (QTreeWidgetItem* item : listFindings->selectedItems()) {
        const auto row = rows.find(fromQ(item->data(0, Qt::UserRole).toString()));
        if (row != rows.end())
            selected.push_back(&row->second);
    }
    return selected;
}

void CatalogueCheckWindow::updateButtons()
{
    const std::vector<const Row*> selected = selectedRows();
    bool anyMoved = false;
    for (const Row* row : selected)
        anyMoved = anyMoved || row->finding.kind == check::Kind::Moved;
    btnLocate->setEnabled(selected.size() == 1);
    btnRelink->setEnabled(selected.size() == 1 && selected.front()->finding.kind == check::Kind::Missing);
    btnUseNewAddress->setEnabled(anyMoved);
    btnDelete->setEnabled(!selected.empty());
    btnIgnore->setEnabled(!selected.empty());
    // A dead or moved link's page may live on in the copy kept of it.
    const bool lostPage =
        selected.size() == 1
        && (selected.front()->finding.kind == check::Kind::Dead || selected.front()->finding.kind == check::Kind::Moved)
        && commands.hasKeptCopy && commands.hasKeptCopy(selected.front()->finding.target);
    btnOpenKeptCopy->setVisible(lostPage);
    btnOpenKeptCopy->setEnabled(lostPage);
    btnCheck->setEnabled(!isRunning());
    btnCancel->setEnabled(isRunning());
    for (QWidget* option : std::initializer_list<QWidget*>{ckFiles, ckLinks, ckDuplicates})
        option->setEnabled(!isRunning());
    cbScope->setEnabled(!selectedGuid.empty() && !isRunning());
}

void CatalogueCheckWindow::btnCheckClick()
{
    if (isRunning() || !db.IsOpen())
        return;
    check::CheckOptions options;
    options.files = ckFiles->isChecked();
    options.links = ckLinks->isChecked();
    options.duplicates = ckDuplicates->isChecked();
    if (cbScope->currentIndex() == 1)
        options.categoryGuid = selectedGuid;
    readItemInfo();
    newProblems = 0;
    // The check runs on the worker; its findings and progress come back queued, ahead of its summary.
    worker->start<check::CheckSummary>(
        [this, path = db.GetPath(), options](Progress& progress) {
            check::CatalogueCheck running(path, options);
            connect(&running, &check::CatalogueCheck::found, this, &CatalogueCheckWindow::addFound,
                    Qt::QueuedConnection);
            RunProgress shown(this, progress);
            return running.run(shown);
        },
        [this](const check::CheckSummary& summary) { finish(summary); });
    listFindings->clear();
    rows.clear();
    progressCheck->setValue(0);
    progressCheck->setVisible(true);
    lblStatus->setText(QStringLiteral("Checking..."));
    updateButtons();
}

void CatalogueCheckWindow::showProgress(std::size_t done, std::size_t total)
{
    progressCheck->setMaximum(static_cast<int>(std::max<std::size_t>(total, 1)));
    progressCheck->setValue(static_cast<int>(done));
    lblStatus->setText(QStringLiteral("Checked %1 of %2...").arg(done).arg(total));
}

void CatalogueCheckWindow::btnCancelClick()
{
    worker->stop();
}

void CatalogueCheckWindow::addFound(const check::StoredFinding& finding)
{
    if (finding.isNew())
        ++newProblems;
    addRow(finding);
}

void CatalogueCheckWindow::finish(const check::CheckSummary& summary)
{
    progressCheck->setVisible(false);
    reloadResults();
    if (!summary.error.empty()) {
        lblStatus->setText(QStringLiteral("The check failed."));
        showErrorBox(this, QStringLiteral("The check failed: %1").arg(QString::fromStdString(summary.error)));
    } else {
        lblStatus->setText((summary.cancelled ? QStringLiteral("Cancelled; what was checked of %1 items is kept: ")
                                              : QStringLiteral("Checked %1 items: "))
                               .arg(summary.items)
                           + QStringLiteral("%1 problems, %2 of them new.").arg(summary.problems).arg(newProblems));
    }
    if (commands.resultsChanged)
        commands.resultsChanged();
    emit checkFinished();
}

void CatalogueCheckWindow::closeEvent(QCloseEvent* event)
{
    // Closing stops the check; what it stored so far stays.
    worker->stop();
    QWidget::closeEvent(event);
}

void CatalogueCheckWindow::btnLocateClick()
{
    const std::vector<const Row*> selected = selectedRows();
    if (selected.size() == 1)
        commands.locate(selected.front()->categoryGuid, selected.front()->finding.guid);
}

void CatalogueCheckWindow::btnOpenKeptCopyClick()
{
    const std::vector<const Row*> selected = selectedRows();
    if (selected.size() == 1 && commands.openKeptCopy)
        commands.openKeptCopy(selected.front()->finding.target);
}

void CatalogueCheckWindow::btnRelinkClick()
{
    const std::vector<const Row*> selected = selectedRows();
    if (selected.size() == 1 && selected.front()->finding.kind == check::Kind::Missing)
        relink(*selected.front());
}

void CatalogueCheckWindow::relink(const Row& row)
{
    const std::string guid = row.finding.guid;
    const std::string lost = check::localPathOf(row.finding.target);
    RelinkDialog dialog(this, lost, row.finding.size);
    if (seam::exec(&dialog) != QDialog::Accepted || dialog.chosenPath().empty())
        return;
    const std::string chosen = dialog.chosenPath();
    commands.setTargets({{guid, chosen}});
    offerFolderRelink(lost, chosen, guid);
    mended();
}

void CatalogueCheckWindow::offerFolderRelink(const std::string& lostPath, const std::string& newPath,
                                             const std::string& relinkedGuid)
{
    const std::optional<check::PrefixMove> move = check::prefixMoveOf(lostPath, newPath);
    if (!move)
        return;
    std::vector<std::pair<std::string, std::string>> fixes;
    int below = 0;
    for (const auto& [key, row] : rows) {
        if (row.finding.kind != check::Kind::Missing || row.finding.guid == relinkedGuid)
            continue;
        const std::string moved = check::movedPath(check::localPathOf(row.finding.target), *move);
        if (moved.empty())
            continue;
        ++below;
        if (check::checkFile(moved).kind == check::Kind::Ok)
            fixes.emplace_back(row.finding.guid, moved);
    }
    if (fixes.empty())
        return;
    QString text =
        QStringLiteral("Relink %1 other missing items from \"%2\" to \"%3\" the same way? Their files are there.")
            .arg(fixes.size())
            .arg(toQ(move->from), toQ(move->to));
    if (below > static_cast<int>(fixes.size()))
        text += QStringLiteral(" %1 more missing items below \"%2\" are not there and stay as they are.")
                    .arg(below - static_cast<int>(fixes.size()))
                    .arg(toQ(move->from));
    if (seam::message(this, QMessageBox::Question, QStringLiteral("Relink"), text, QMessageBox::Yes | QMessageBox::No)
        != QMessageBox::Yes)
        return;
    commands.setTargets(fixes);
}

void CatalogueCheckWindow::btnUseNewAddressClick()
{
    std::vector<std::pair<std::string, std::string>> moved;
    for (const Row* row : selectedRows())
        if (row->finding.kind == check::Kind::Moved && !row->finding.newTarget.empty())
            moved.emplace_back(row->finding.guid, row->finding.newTarget);
    commands.setTargets(moved);
    mended();
}

void CatalogueCheckWindow::btnDeleteClick()
{
    std::vector<std::string> guids;
    std::set<std::string> seen;
    for (const Row* row : selectedRows())
        if (seen.insert(row->finding.guid).second)
            guids.push_back(row->finding.guid);
    if (guids.empty())
        return;
    const QString question = guids.size() == 1 ? QStringLiteral("Do you want to delete selected item?")
                                               : QStringLiteral("Do you want to delete selected items");
    if (seam::message(this, QMessageBox::Question, QStringLiteral("Confirm"), question,
                      QMessageBox::Yes | QMessageBox::No)
        != QMessageBox::Yes)
        return;
    commands.deleteItems(guids);
    mended();
}

void CatalogueCheckWindow::btnIgnoreClick()
{
    check::CheckStore store(db);
    for (const Row* row : selectedRows())
        store.ignore(row->finding.guid, row->finding.aspect);
    mended();
}

void CatalogueCheckWindow::mended()
{
    reloadResults();
    if (commands.resultsChanged)
        commands.resultsChanged();
}
