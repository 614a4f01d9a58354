// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/check/relinkdialog.h"

#include "model/progress.h"
#include "ui/common/dialogseam.h"
#include "ui/common/qtext.h"

#include <QDialogButtonBox>
#include <QDir>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QListWidget>
#include <QLocale>
#include <QPushButton>
#include <QTreeWidget>
#include <QVBoxLayout>

RelinkDialog::RelinkDialog(QWidget* owner, std::string lost, std::int64_t size)
    : QDialog(owner), lostPath(std::move(lost)), knownSize(size)
{
    setObjectName(QStringLiteral("RelinkDialog"));
    setWindowTitle(QStringLiteral("Relink"));
    auto* layout = new QVBoxLayout(this);
    auto* lblLost =
        new QLabel(QStringLiteral("Find the moved file \"%1\" below these folders:").arg(toQ(lostPath)), this);
    lblLost->setObjectName(QStringLiteral("lblLost"));
    lblLost->setWordWrap(true);
    layout->addWidget(lblLost);
    auto* folderRow = new QHBoxLayout;
    listFolders = new QListWidget(this);
    listFolders->setObjectName(QStringLiteral("listFolders"));
    listFolders->addItem(QDir::homePath());
    listFolders->setMaximumHeight(80);
    folderRow->addWidget(listFolders);
    auto* folderButtons = new QVBoxLayout;
    btnAddFolder = new QPushButton(QStringLiteral("Add Folder..."), this);
    btnAddFolder->setObjectName(QStringLiteral("btnAddFolder"));
    btnSearch = new QPushButton(QStringLiteral("Search"), this);
    btnSearch->setObjectName(QStringLiteral("btnSearch"));
    folderButtons->addWidget(btnAddFolder);
    folderButtons->addWidget(btnSearch);
    folderButtons->addStretch();
    folderRow->addLayout(folderButtons);
    layout->addLayout(folderRow);
    listCandidates = new QTreeWidget(this);
    listCandidates->setObjectName(QStringLiteral("listCandidates"));
    listCandidates->setRootIsDecorated(false);
    listCandidates->setHeaderLabels({QStringLiteral("File"), QStringLiteral("Size"), QStringLiteral("Match")});
    listCandidates->header()->setStretchLastSection(false);
    listCandidates->header()->setSectionResizeMode(0, QHeaderView::Stretch);
    listCandidates->header()->setSectionResizeMode(1, QHeaderView::ResizeToContents);
    listCandidates->header()->setSectionResizeMode(2, QHeaderView::ResizeToContents);
    layout->addWidget(listCandidates, 1);
    lblFound = new QLabel(this);
    lblFound->setObjectName(QStringLiteral("lblFound"));
    lblFound->setWordWrap(true);
    layout->addWidget(lblFound);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    btnOk = buttons->button(QDialogButtonBox::Ok);
    btnOk->setObjectName(QStringLiteral("btnOk"));
    btnOk->setText(QStringLiteral("Relink"));
    btnOk->setEnabled(false);
    buttons->button(QDialogButtonBox::Cancel)->setObjectName(QStringLiteral("btnCancel"));
    layout->addWidget(buttons);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    connect(btnAddFolder, &QPushButton::clicked, this, &RelinkDialog::btnAddFolderClick);
    connect(btnSearch, &QPushButton::clicked, this, &RelinkDialog::search);
    connect(listCandidates, &QTreeWidget::itemSelectionChanged, this,
            [this] { btnOk->setEnabled(!listCandidates->selectedItems().isEmpty()); });
    connect(listCandidates, &QTreeWidget::itemDoubleClicked, this, &QDialog::accept);
    resize(640, 420);
}

std::vector<std::string> RelinkDialog::folders() const
{
    std::vector<std::string> out;
    for (int i = 0; i < listFolders->count(); ++i)
        out.push_back(fromQ(listFolders->item(i)->text()));
    return out;
}

void RelinkDialog::btnAddFolderClick()
{
    const QString folder = seam::existingFolder(this, QStringLiteral("Search below"));
    if (!folder.isEmpty() && listFolders->findItems(folder, Qt::MatchExactly).isEmpty())
        listFolders->addItem(folder);
}

void RelinkDialog::search()
{
    listCandidates->clear();
    const auto progress = seam::progress(this, QStringLiteral("Searching for the moved file..."), true);
    const check::RelinkSearch found = check::findCandidates(lostPath, folders(), knownSize, *progress);
    const QLocale locale;
    for (const check::Candidate& candidate : found.candidates) {
        QString match = candidate.matchingComponents > 1
                            ? QStringLiteral("%1 path parts agree").arg(candidate.matchingComponents)
                            : QStringLiteral("same name");
        if (candidate.sizeMatches)
            match += *candidate.sizeMatches ? QStringLiteral(", same size") : QStringLiteral(", size differs");
        auto* row =
            new QTreeWidgetItem(listCandidates, {toQ(candidate.path), locale.formattedDataSize(candidate.size), match});
        row->setData(0, Qt::UserRole, toQ(candidate.path));
    }
    // The one match is ready to take: Relink (or Enter) takes it, nothing is changed before.
    if (found.candidates.size() == 1)
        listCandidates->setCurrentItem(listCandidates->topLevelItem(0));
    QStringList notes;
    if (found.candidates.empty())
        notes << QStringLiteral("No file of that name was found.");
    else if (found.candidates.size() == 1)
        notes << QStringLiteral("1 file of that name found; Relink takes it if it is the one.");
    else
        notes << QStringLiteral("%1 files of that name found; choose one.").arg(found.candidates.size());
    if (found.truncated)
        notes << QStringLiteral("Only the first %1 are listed.").arg(check::maxCandidates);
    if (found.unreadableFolders > 0)
        notes << QStringLiteral("%1 folders could not be read.").arg(found.unreadableFolders);
    if (found.loopsSkipped > 0)
        notes << QStringLiteral("%1 folders reached twice (a link loop) were searched once.").arg(found.loopsSkipped);
    if (found.cancelled)
        notes << QStringLiteral("The search was stopped.");
    lblFound->setText(notes.join(QLatin1Char(' ')));
}

std::string RelinkDialog::chosenPath() const
{
    const QList<QTreeWidgetItem*> chosen = listCandidates->selectedItems();
    return chosen.isEmpty() ? std::string() : fromQ(chosen.first()->data(0, Qt::UserRole).toString());
}
