// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "backup/automaticbackups.h"

#include <QDialog>

#include <vector>

class QCheckBox;
class QDialogButtonBox;
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
