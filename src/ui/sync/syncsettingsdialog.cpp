// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/sync/syncsettingsdialog.h"

#include "sync/syncengine.h"
#include "ui/common/dialogseam.h"
#include "ui/common/qtext.h"

#include <QDialogButtonBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTableWidget>
#include <QVBoxLayout>

namespace {

const char* const caption = "Sync Settings";
const char* const placeHint = "A folder kept in step by Syncthing, Nextcloud or Dropbox, or an https:// WebDAV address";
const char* const passwordHint = "Kept in the desktop's keyring; empty keeps the stored one";
const char* const plainHint = "Optional: encrypts every file before it leaves this machine";
const char* const encryptedHint = "The place is encrypted; empty keeps the stored key";
const char* const passphraseTip =
    "Every file is encrypted on this machine, so the server or folder holds only ciphertext. Every device needs "
    "the same passphrase. Once set, encryption cannot be turned off from here.";

QLineEdit* lineEdit(QWidget* parent, const char* name, const QString& text)
{
    auto* edit = new QLineEdit(text, parent);
    edit->setObjectName(QLatin1String(name));
    return edit;
}

}  // namespace

SyncSettingsDialog::SyncSettingsDialog(const SyncSettings& settings, QWidget* parent)
    : QDialog(parent), editPlace(lineEdit(this, "editPlace", toQ(settings.place))),
      editUser(lineEdit(this, "editUser", toQ(settings.user))), editPassword(lineEdit(this, "editPassword", {})),
      editPassphrase(lineEdit(this, "editPassphrase", {})),
      editMachineName(lineEdit(this, "editMachineName", toQ(settings.machineName))),
      tableFolders(new QTableWidget(0, 2, this)), lblKeyring(new QLabel(this))
{
    setObjectName(QStringLiteral("SyncSettingsDialog"));
    setWindowTitle(QString::fromLatin1(caption));
    editPlace->setPlaceholderText(QString::fromLatin1(placeHint));
    editPlace->setToolTip(QString::fromLatin1(placeHint));
    editPassword->setEchoMode(QLineEdit::Password);
    editPassword->setPlaceholderText(QString::fromLatin1(passwordHint));
    editPassphrase->setEchoMode(QLineEdit::Password);
    editPassphrase->setPlaceholderText(QString::fromLatin1(settings.encrypted ? encryptedHint : plainHint));
    editPassphrase->setToolTip(QString::fromLatin1(passphraseTip));

    auto* browse = new QPushButton(QStringLiteral("&Folder..."), this);
    browse->setObjectName(QStringLiteral("btnBrowsePlace"));
    connect(browse, &QPushButton::clicked, this, &SyncSettingsDialog::browsePlace);
    auto* placeRow = new QHBoxLayout;
    placeRow->addWidget(editPlace, 1);
    placeRow->addWidget(browse);

    auto* form = new QFormLayout;
    auto* placeLabel = new QLabel(QStringLiteral("&Place:"), this);
    placeLabel->setBuddy(editPlace);
    form->addRow(placeLabel, placeRow);
    form->addRow(QStringLiteral("&User name:"), editUser);
    form->addRow(QStringLiteral("Pass&word:"), editPassword);
    form->addRow(QStringLiteral("Sync pa&ssphrase:"), editPassphrase);
    form->addRow(QStringLiteral("&This machine's name:"), editMachineName);

    tableFolders->setObjectName(QStringLiteral("tableFolders"));
    tableFolders->setHorizontalHeaderLabels({QStringLiteral("Name"), QStringLiteral("Folder on this machine")});
    tableFolders->horizontalHeader()->setSectionResizeMode(1, QHeaderView::Stretch);
    tableFolders->verticalHeader()->hide();
    tableFolders->setTabKeyNavigation(false);
    tableFolders->setAccessibleName(QStringLiteral("Document folders"));
    for (const DocumentFolder& folder : settings.documentFolders) {
        const int row = tableFolders->rowCount();
        tableFolders->insertRow(row);
        tableFolders->setItem(row, 0, new QTableWidgetItem(toQ(folder.name)));
        tableFolders->setItem(row, 1, new QTableWidgetItem(toQ(folder.path)));
    }
    auto* add = new QPushButton(QStringLiteral("&Add Folder..."), this);
    add->setObjectName(QStringLiteral("btnAddFolder"));
    connect(add, &QPushButton::clicked, this, &SyncSettingsDialog::addFolder);
    auto* remove = new QPushButton(QStringLiteral("&Remove"), this);
    remove->setObjectName(QStringLiteral("btnRemoveFolder"));
    connect(remove, &QPushButton::clicked, this, &SyncSettingsDialog::removeFolder);
    auto* folderButtons = new QHBoxLayout;
    folderButtons->addWidget(add);
    folderButtons->addWidget(remove);
    folderButtons->addStretch(1);

    auto* foldersLabel = new QLabel(
        QStringLiteral("&Document folders: a file below one travels relative to it and lands below the folder "
                       "of the same name on the other machine."),
        this);
    foldersLabel->setWordWrap(true);
    foldersLabel->setBuddy(tableFolders);
    lblKeyring->setObjectName(QStringLiteral("lblKeyring"));
    lblKeyring->setWordWrap(true);
    lblKeyring->hide();

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(form);
    layout->addWidget(lblKeyring);
    layout->addWidget(foldersLabel);
    layout->addWidget(tableFolders, 1);
    layout->addLayout(folderButtons);
    layout->addWidget(buttons);
    resize(560, 420);

    // Widgets made before the layout put them in order: Tab follows the rows as they are read.
    const QList<QWidget*> chain{editPlace,       browse,       editUser, editPassword, editPassphrase,
                                editMachineName, tableFolders, add,      remove,       buttons};
    for (qsizetype i = 1; i < chain.size(); ++i)
        QWidget::setTabOrder(chain[i - 1], chain[i]);
}

SyncSettings SyncSettingsDialog::settings() const
{
    SyncSettings result{fromQ(editPlace->text().trimmed()),
                        fromQ(editUser->text().trimmed()),
                        fromQ(editMachineName->text().trimmed()),
                        {}};
    for (int row = 0; row < tableFolders->rowCount(); ++row) {
        const QTableWidgetItem* name = tableFolders->item(row, 0);
        const QTableWidgetItem* path = tableFolders->item(row, 1);
        if (name && path && !name->text().trimmed().isEmpty() && !path->text().trimmed().isEmpty())
            result.documentFolders.push_back({fromQ(name->text().trimmed()), fromQ(path->text().trimmed())});
    }
    return result;
}

std::string SyncSettingsDialog::password() const
{
    return fromQ(editPassword->text());
}

std::string SyncSettingsDialog::passphrase() const
{
    return fromQ(editPassphrase->text());
}

void SyncSettingsDialog::setKeyringProblem(const QString& problem)
{
    lblKeyring->setText(problem + QStringLiteral(" The password will be asked at each sync instead."));
    lblKeyring->setVisible(!problem.isEmpty());
}

void SyncSettingsDialog::browsePlace()
{
    const QString folder = seam::existingFolder(this, QStringLiteral("Choose the sync folder"));
    if (!folder.isEmpty())
        editPlace->setText(folder);
}

void SyncSettingsDialog::addFolder()
{
    const QString folder = seam::existingFolder(this, QStringLiteral("Choose a document folder"));
    if (folder.isEmpty())
        return;
    const int row = tableFolders->rowCount();
    tableFolders->insertRow(row);
    tableFolders->setItem(row, 0, new QTableWidgetItem(folder.section('/', -1, -1, QString::SectionSkipEmpty)));
    tableFolders->setItem(row, 1, new QTableWidgetItem(folder));
    tableFolders->editItem(tableFolders->item(row, 0));
}

void SyncSettingsDialog::removeFolder()
{
    if (tableFolders->currentRow() >= 0)
        tableFolders->removeRow(tableFolders->currentRow());
}
