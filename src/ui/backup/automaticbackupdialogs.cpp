// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/backup/automaticbackupdialogs.h"

#include "shell/backupsettings.h"
#include "ui/common/dialogseam.h"
#include "ui/common/qtext.h"

#include <QCheckBox>
#include <QDateTime>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QTreeWidget>
#include <QVBoxLayout>

namespace {

const char* const restoreCaption = "Restore Automatic Backup";
const char* const restorePrompt = "Choose the backup to restore. The catalogue as it is now is backed up first.";
const char* const noBackupsText = "No automatic backup has been made yet.";
const char* const settingsCaption = "Backup Settings";
const char* const chooseFolderCaption = "Choose a folder for the automatic backups";

QString counted(int count, const char* one, const char* many)
{
    return QStringLiteral("%1 %2").arg(count).arg(QLatin1String(count == 1 ? one : many));
}

// What the restore takes from this catalogue itself, before any sync.
QString lossText(const RestorePreview& preview, const QString& backupDate)
{
    QStringList added;
    if (preview.itemsAdded > 0)
        added << counted(preview.itemsAdded, "item", "items");
    if (preview.categoriesAdded > 0)
        added << counted(preview.categoriesAdded, "category", "categories");
    QString text = QStringLiteral("Restoring the backup of %1 replaces the catalogue").arg(backupDate);
    text += added.isEmpty() ? QStringLiteral(": nothing was added since that backup.")
                            : QStringLiteral(": it loses the %1 added since that backup.").arg(added.join(" and "));
    if (preview.itemsChanged > 0)
        text += QStringLiteral(" %1 changed since go back to how they were.")
                    .arg(counted(preview.itemsChanged, "item", "items"));
    return text;
}

QString countText(int count)
{
    return count < 0 ? QStringLiteral("?") : QString::number(count);
}

}  // namespace

RestoreAutomaticBackupDialog::RestoreAutomaticBackupDialog(std::vector<autobackup::BackupInfo> found, QWidget* parent)
    : QDialog(parent), backups(std::move(found)), listBackups(new QTreeWidget(this)),
      buttons(new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this))
{
    setObjectName(QStringLiteral("RestoreAutomaticBackupDialog"));
    setWindowTitle(QString::fromLatin1(restoreCaption));
    auto* label = new QLabel(QString::fromLatin1(backups.empty() ? noBackupsText : restorePrompt), this);
    label->setObjectName(QStringLiteral("lblPrompt"));
    label->setBuddy(listBackups);
    listBackups->setObjectName(QStringLiteral("listBackups"));
    listBackups->setAccessibleName(QStringLiteral("Automatic backups"));
    listBackups->setRootIsDecorated(false);
    listBackups->setHeaderLabels(
        {QStringLiteral("Date"), QStringLiteral("Kind"), QStringLiteral("Categories"), QStringLiteral("Items")});
    for (const autobackup::BackupInfo& backup : backups) {
        auto* row =
            new QTreeWidgetItem(listBackups, {localDate(backup.name.time), toQ(autobackup::describeKind(backup.name)),
                                              countText(backup.categories), countText(backup.items)});
        row->setToolTip(1, toQ(backup.fileName));
        row->setTextAlignment(2, Qt::AlignRight | Qt::AlignVCenter);
        row->setTextAlignment(3, Qt::AlignRight | Qt::AlignVCenter);
    }
    listBackups->header()->setSectionResizeMode(1, QHeaderView::Stretch);
    listBackups->header()->setStretchLastSection(false);
    listBackups->resizeColumnToContents(0);
    buttons->setObjectName(QStringLiteral("buttons"));
    buttons->button(QDialogButtonBox::Ok)->setText(QStringLiteral("&Restore"));
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(label);
    layout->addWidget(listBackups, 1);
    layout->addWidget(buttons);
    resize(560, 340);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    connect(listBackups, &QTreeWidget::itemSelectionChanged, this, &RestoreAutomaticBackupDialog::updateRestoreButton);
    connect(listBackups, &QTreeWidget::itemActivated, this, &QDialog::accept);
    if (!backups.empty())
        listBackups->setCurrentItem(listBackups->topLevelItem(0));
    updateRestoreButton();
}

QString RestoreAutomaticBackupDialog::localDate(std::int64_t time)
{
    return QDateTime::fromSecsSinceEpoch(time).toLocalTime().toString(QStringLiteral("yyyy-MM-dd HH:mm"));
}

const autobackup::BackupInfo* RestoreAutomaticBackupDialog::selectedBackup() const
{
    QTreeWidgetItem* row = listBackups->currentItem();
    if (!row || !row->isSelected())
        return nullptr;
    return &backups[static_cast<std::size_t>(listBackups->indexOfTopLevelItem(row))];
}

void RestoreAutomaticBackupDialog::updateRestoreButton()
{
    buttons->button(QDialogButtonBox::Ok)->setEnabled(selectedBackup() != nullptr);
}

RestoreConfirmDialog::RestoreConfirmDialog(const RestorePreview& counts, const QString& backupDate, QWidget* parent)
    : QDialog(parent), preview(counts),
      rbBringBack(new QRadioButton(QStringLiteral("&Bring back on every device what was deleted since"), this)),
      rbExact(new QRadioButton(QStringLiteral("&Make every device exactly this backup"), this)),
      lblEffect(new QLabel(this))
{
    setObjectName(QStringLiteral("RestoreConfirmDialog"));
    setWindowTitle(QString::fromLatin1(restoreCaption));
    auto* loss = new QLabel(lossText(preview, backupDate), this);
    loss->setObjectName(QStringLiteral("lblLoss"));
    loss->setWordWrap(true);
    rbBringBack->setObjectName(QStringLiteral("rbBringBack"));
    rbExact->setObjectName(QStringLiteral("rbExact"));
    rbBringBack->setChecked(true);
    lblEffect->setObjectName(QStringLiteral("lblEffect"));
    lblEffect->setWordWrap(true);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    buttons->setObjectName(QStringLiteral("buttons"));
    buttons->button(QDialogButtonBox::Ok)->setText(QStringLiteral("&Restore"));
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(loss);
    // Only a catalogue that syncs has other devices to decide for.
    rbBringBack->setVisible(preview.syncing);
    rbExact->setVisible(preview.syncing);
    lblEffect->setVisible(preview.syncing);
    layout->addWidget(rbBringBack);
    layout->addWidget(rbExact);
    layout->addWidget(lblEffect);
    layout->addStretch(1);
    layout->addWidget(buttons);
    resize(520, preview.syncing ? 260 : 140);
    connect(rbBringBack, &QRadioButton::toggled, this, &RestoreConfirmDialog::showEffect);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    showEffect();
}

RestoreChoice RestoreConfirmDialog::choice() const
{
    return rbExact->isChecked() ? RestoreChoice::ExactlyThisBackup : RestoreChoice::BringBack;
}

void RestoreConfirmDialog::showEffect()
{
    lblEffect->setText(toQ(preview.message(choice())));
}

BackupSettingsDialog::BackupSettingsDialog(const autobackup::Settings& settings, const QString& defaultFolder,
                                           QWidget* parent)
    : QDialog(parent), chkEnabled(new QCheckBox(QStringLiteral("&Make automatic backups"), this)),
      editFolder(new QLineEdit(toQ(settings.folder), this)), spinKeep(new QSpinBox(this))
{
    setObjectName(QStringLiteral("BackupSettingsDialog"));
    setWindowTitle(QString::fromLatin1(settingsCaption));
    chkEnabled->setObjectName(QStringLiteral("chkEnabled"));
    chkEnabled->setChecked(settings.enabled);
    chkEnabled->setToolTip(QStringLiteral("One backup a day while the catalogue changes, and one before every "
                                          "restore, import, and delete of a large category"));
    editFolder->setObjectName(QStringLiteral("editFolder"));
    editFolder->setPlaceholderText(defaultFolder);
    editFolder->setAccessibleName(QStringLiteral("Folder"));
    auto* browse = new QPushButton(QStringLiteral("&Browse..."), this);
    browse->setObjectName(QStringLiteral("btnBrowse"));
    spinKeep->setObjectName(QStringLiteral("spinKeep"));
    spinKeep->setRange(fewestKeptDaily, mostKeptDaily);
    spinKeep->setValue(settings.keepDaily);
    spinKeep->setAccessibleName(QStringLiteral("Daily backups kept"));
    auto* note = new QLabel(QStringLiteral("Besides the daily ones, one backup a week is kept for %1 weeks, one a "
                                           "month for %2 months, and the last %3 made before risky commands.")
                                .arg(autobackup::keptWeekly)
                                .arg(autobackup::keptMonthly)
                                .arg(autobackup::keptBeforeCommand),
                            this);
    note->setWordWrap(true);
    auto* folderRow = new QHBoxLayout;
    folderRow->addWidget(editFolder, 1);
    folderRow->addWidget(browse);
    auto* form = new QFormLayout;
    form->addRow(chkEnabled);
    auto* folderLabel = new QLabel(QStringLiteral("&Folder:"), this);
    folderLabel->setBuddy(editFolder);
    form->addRow(folderLabel, folderRow);
    form->addRow(QStringLiteral("&Daily backups kept:"), spinKeep);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    buttons->setObjectName(QStringLiteral("buttons"));
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(form);
    layout->addWidget(note);
    layout->addStretch(1);
    layout->addWidget(buttons);
    resize(520, 220);
    connect(browse, &QPushButton::clicked, this, &BackupSettingsDialog::chooseFolder);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
}

autobackup::Settings BackupSettingsDialog::settings() const
{
    return {chkEnabled->isChecked(), fromQ(editFolder->text().trimmed()), spinKeep->value()};
}

void BackupSettingsDialog::chooseFolder()
{
    const QString folder = seam::existingFolder(this, QString::fromLatin1(chooseFolderCaption));
    if (!folder.isEmpty())
        editFolder->setText(folder);
}
