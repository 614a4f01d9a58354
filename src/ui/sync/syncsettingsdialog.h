// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QDialog>

#include <string>

class QLabel;
class QLineEdit;
class QTableWidget;
struct SyncSettings;

// Tools > "Sync Settings...": where this catalogue syncs, as whom, under which machine name, and the
// document folders this machine maps, and the passphrase that encrypts the place's files. The password
// and the passphrase's key go to the keyring, never into the catalogue.
class SyncSettingsDialog : public QDialog {
    Q_OBJECT
public:
    SyncSettingsDialog(const SyncSettings& settings, QWidget* parent);

    SyncSettings settings() const;
    // The password typed, empty when the field was left alone.
    std::string password() const;
    // The sync passphrase typed, empty when the field was left alone (encryption stays as it is).
    std::string passphrase() const;
    // Whether the keyring answered when the dialog opened; shown to the user when it did not.
    void setKeyringProblem(const QString& problem);

private:
    void browsePlace();
    void addFolder();
    void removeFolder();

    QLineEdit* editPlace;
    QLineEdit* editUser;
    QLineEdit* editPassword;
    QLineEdit* editPassphrase;
    QLineEdit* editMachineName;
    QTableWidget* tableFolders;
    QLabel* lblKeyring;
};
