// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "backup/automaticbackups.h"
#include "sync/syncrestore.h"

#include <QDialog>

#include <vector>

class QCheckBox;
class QDialogButtonBox;
class QLabel;
class QRadioButton;
class QLineEdit;
class QSpinBox;
class QTreeWidget;

// File > "Restore Automatic Backup...": the automatic backups, newest first, with their date, kind and
// what they hold; returns the one the user picks.
class RestoreAutomaticBackupDialog : public QDialog {
    Q_OBJECT
public:
    RestoreAutomaticBackupDialog(std::vector<autobackup::BackupInfo> backups, QWidget* parent = nullptr);

    // The chosen backup, or nullptr when none is selected.
    const autobackup::BackupInfo* selectedBackup() const;

    // "2026-12-10 07:30" in the user's time zone.
    static QString localDate(std::int64_t time);

private slots:
    void updateRestoreButton();

private:
    std::vector<autobackup::BackupInfo> backups;
    QTreeWidget* listBackups;
    QDialogButtonBox* buttons;
};

// Asked before an automatic backup replaces the catalogue: what the catalogue loses (counted), and,
// for a catalogue that syncs, what the other devices will see, with the choice to make every device
// exactly this backup.
class RestoreConfirmDialog : public QDialog {
    Q_OBJECT
public:
    RestoreConfirmDialog(const RestorePreview& preview, const QString& backupDate, QWidget* parent = nullptr);

    RestoreChoice choice() const;

private:
    void showEffect();

    RestorePreview preview;
    QRadioButton* rbBringBack;
    QRadioButton* rbExact;
    QLabel* lblEffect;
};

// Tools > "Backup Settings...": whether automatic backups are made, where, and how many daily ones
// are kept.
class BackupSettingsDialog : public QDialog {
    Q_OBJECT
public:
    BackupSettingsDialog(const autobackup::Settings& settings, const QString& defaultFolder, QWidget* parent = nullptr);

    autobackup::Settings settings() const;

private slots:
    void chooseFolder();

private:
    QCheckBox* chkEnabled;
    QLineEdit* editFolder;
    QSpinBox* spinKeep;
};
