// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/import/browserprofiledialog.h"

#include "ui/common/qtext.h"

#include <QDialogButtonBox>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QVBoxLayout>

namespace {

const char* const caption = "Import from Browser";
const char* const prompt = "Choose the browser profile whose bookmarks to import:";

}  // namespace

BrowserProfileDialog::BrowserProfileDialog(std::vector<BrowserProfile> found, QWidget* parent)
    : QDialog(parent), profiles(std::move(found)), listProfiles(new QListWidget(this)),
      buttons(new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this))
{
    setObjectName(QStringLiteral("BrowserProfileDialog"));
    setWindowTitle(QString::fromLatin1(caption));
    auto* label = new QLabel(QString::fromLatin1(prompt), this);
    label->setObjectName(QStringLiteral("lblPrompt"));
    label->setBuddy(listProfiles);
    listProfiles->setObjectName(QStringLiteral("listProfiles"));
    listProfiles->setAccessibleName(QString::fromLatin1(prompt));
    listProfiles->setSelectionMode(QAbstractItemView::SingleSelection);
    buttons->setObjectName(QStringLiteral("buttons"));
    for (const BrowserProfile& profile : profiles)
        new QListWidgetItem(describe(profile), listProfiles);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(label);
    layout->addWidget(listProfiles, 1);
    layout->addWidget(buttons);
    resize(440, 300);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    connect(listProfiles, &QListWidget::itemSelectionChanged, this, &BrowserProfileDialog::updateOkButton);
    connect(listProfiles, &QListWidget::itemActivated, this, &QDialog::accept);
    if (listProfiles->count() > 0)
        listProfiles->setCurrentRow(0);
    updateOkButton();
}

QString BrowserProfileDialog::describe(const BrowserProfile& profile)
{
    const QString where = toQ(profile.browser) + QStringLiteral(" \u2014 ") + toQ(profile.profile);
    if (profile.bookmarkCount < 0)
        return where + QStringLiteral(" (bookmarks cannot be read)");
    return where
           + (profile.bookmarkCount == 1 ? QStringLiteral(" (1 bookmark)")
                                         : QStringLiteral(" (%1 bookmarks)").arg(profile.bookmarkCount));
}

const BrowserProfile* BrowserProfileDialog::selectedProfile() const
{
    const int row = listProfiles->currentRow();
    if (row < 0 || !listProfiles->item(row)->isSelected())
        return nullptr;
    return &profiles[static_cast<std::size_t>(row)];
}

void BrowserProfileDialog::updateOkButton()
{
    buttons->button(QDialogButtonBox::Ok)->setEnabled(selectedProfile() != nullptr);
}
