// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/dialogs/tsearchitemform.h"

#include "ui/common/controls.h"

#include "shell/appsettings.h"
#include "storage/cdbmanager.h"
#include "ui/common/errorbox.h"
#include "ui/dialogs/titemform.h"

#include <QCheckBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QVBoxLayout>

namespace {

const char* const searchSection = "Search";
const char* const titleKey = "title";
const char* const filenameKey = "filename";
const char* const commentKey = "comment";
const int searchedOuterHeight = 532;

// A modeless window: Enter in the keyword field searches, it never presses whichever button had focus.
QPushButton* makePlainButton(QWidget* owner, const char* name, const QString& text)
{
    QPushButton* button = makeButton(owner, name, text);
    button->setAutoDefault(false);
    return button;
}

}  // namespace

TSearchItemForm::TSearchItemForm(QWidget* owner, std::string settingsPath)
    : QDialog(owner), iniPath(std::move(settingsPath))
{
    setObjectName(QStringLiteral("TSearchItemForm"));
    setWindowTitle(QStringLiteral("Search"));
    setModal(false);
    buildControls();
    FormCreate();
}

void TSearchItemForm::buildControls()
{
    setWindowFlags(windowFlags() & ~(Qt::WindowMinMaxButtonsHint | Qt::WindowContextHelpButtonHint));
    Label1 = new QLabel(QStringLiteral("Keywords:"), this);
    Label1->setObjectName(QStringLiteral("Label1"));
    editKeyword = new QLineEdit(this);
    editKeyword->setObjectName(QStringLiteral("editKeyword"));
    editKeyword->setAccessibleName(Label1->text());
    Label1->setBuddy(editKeyword);
    btnSearch = makePlainButton(this, "btnSearch", QStringLiteral("Search"));
    btnSearch->setDefault(true);

    gbCondition = new QGroupBox(QStringLiteral("Search Condition"), this);
    gbCondition->setObjectName(QStringLiteral("gbCondition"));
    ckTitle = makeCheckBox(gbCondition, "ckTitle", QStringLiteral("Search title"));
    ckFilename = makeCheckBox(gbCondition, "ckFilename", QStringLiteral("Search item target"));
    ckComment = makeCheckBox(gbCondition, "ckComment", QStringLiteral("Search comment"));
    auto* conditions = new QVBoxLayout(gbCondition);
    conditions->addWidget(ckTitle);
    conditions->addWidget(ckFilename);
    conditions->addWidget(ckComment);
    btnClose = makePlainButton(this, "btnClose", QStringLiteral("Close"));

    lbResult = new QListWidget(this);
    lbResult->setObjectName(QStringLiteral("lbResult"));
    lbResult->setAccessibleName(QStringLiteral("Results"));
    lbResult->setSelectionMode(QAbstractItemView::SingleSelection);
    // The list lies below the dialog until the first search enlarges it.
    lbResult->hide();

    auto* grid = new QGridLayout;
    grid->addWidget(Label1, 0, 0, 1, 2);
    grid->addWidget(editKeyword, 1, 0);
    grid->addWidget(btnSearch, 1, 1);
    grid->addWidget(gbCondition, 2, 0);
    grid->addWidget(btnClose, 2, 1, Qt::AlignTop);
    grid->setColumnStretch(0, 1);
    grid->setColumnMinimumWidth(1, 75);
    grid->setRowStretch(3, 1);

    auto* outer = new QVBoxLayout(this);
    outer->addLayout(grid);
    outer->addWidget(lbResult, 1);
    setFixedSize(389, 217);

    connect(editKeyword, &QLineEdit::textChanged, this, &TSearchItemForm::UpdateSearchButton);
    connect(ckTitle, &QCheckBox::toggled, this, &TSearchItemForm::UpdateSearchButton);
    connect(ckFilename, &QCheckBox::toggled, this, &TSearchItemForm::UpdateSearchButton);
    connect(ckComment, &QCheckBox::toggled, this, &TSearchItemForm::UpdateSearchButton);
    connect(btnSearch, &QPushButton::clicked, this, &TSearchItemForm::btnSearchClick);
    connect(btnClose, &QPushButton::clicked, this, &TSearchItemForm::btnCloseClick);
    connect(lbResult, &QListWidget::itemActivated, this, &TSearchItemForm::lbResultDblClick);
}

void TSearchItemForm::FormCreate()
{
    ckTitle->setChecked(readIniFlag(iniPath, searchSection, titleKey, true));
    ckFilename->setChecked(readIniFlag(iniPath, searchSection, filenameKey, true));
    ckComment->setChecked(readIniFlag(iniPath, searchSection, commentKey, true));
    btnSearch->setEnabled(false);
}

void TSearchItemForm::UpdateSearchButton()
{
    const bool anyColumn = ckTitle->isChecked() || ckFilename->isChecked() || ckComment->isChecked();
    btnSearch->setEnabled(anyColumn && !isBlankText(editKeyword->text()));
}

void TSearchItemForm::saveConditions()
{
    writeIniFlags(iniPath, searchSection,
                  {{titleKey, ckTitle->isChecked()},
                   {filenameKey, ckFilename->isChecked()},
                   {commentKey, ckComment->isChecked()}});
}

void TSearchItemForm::btnSearchClick()
{
    // Enter reaches the default button even while it is disabled.
    if (!db || !btnSearch->isEnabled())
        return;
    // A settings file that cannot be written is reported, but the search still runs.
    runCommand(this, [this] { saveConditions(); });
    entries.clear();
    lbResult->clear();
    const std::string keyword = editKeyword->text().toStdString();
    const std::vector<CSearchItem> found =
        searcher ? searcher(ckTitle->isChecked(), ckFilename->isChecked(), ckComment->isChecked(), keyword)
                 : db->SearchItems(ckTitle->isChecked(), ckFilename->isChecked(), ckComment->isChecked(), keyword);
    for (const CSearchItem& result : found) {
        entries.push_back(TSearchItem{result.guid, result.name, result.category});
        lbResult->addItem(QString::fromStdString(result.name));
    }
    growToShowResults();
}

void TSearchItemForm::growToShowResults()
{
    lbResult->show();
    const int frameExtra = frameGeometry().height() - geometry().height();
    setFixedHeight(searchedOuterHeight - qMax(0, frameExtra));
}

void TSearchItemForm::lbResultDblClick()
{
    const int row = lbResult->currentRow();
    if (row < 0 || row >= int(entries.size()) || !lbResult->item(row)->isSelected())
        return;
    // Copies: the locator shows a message box, during which this dialog may be searched again.
    const std::string category = entries[size_t(row)].category;
    const std::string guid = entries[size_t(row)].guid;
    if (locator)
        locator(category, guid);
}

void TSearchItemForm::moveEvent(QMoveEvent* event)
{
    QDialog::moveEvent(event);
    emit moved(pos());
}

void TSearchItemForm::btnCloseClick()
{
    close();
    entries.clear();
    deleteLater();
}
