// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "check/filecheck.h"

#include <QDialog>

#include <string>
#include <vector>

class QLabel;
class QListWidget;
class QPushButton;
class QTreeWidget;

// Finds a moved file: files of the same name below folders the user picks (home to begin with),
// the best matches first. The user chooses one; nothing is chosen for them.
class RelinkDialog : public QDialog {
    Q_OBJECT
public:
    RelinkDialog(QWidget* owner, std::string lostPath, std::int64_t knownSize);

    // The chosen file, or empty.
    std::string chosenPath() const;
    // Runs the search over the listed folders (also what the Search button does).
    void search();

private slots:
    void btnAddFolderClick();

private:
    std::vector<std::string> folders() const;

    std::string lostPath;
    std::int64_t knownSize;
    QListWidget* listFolders = nullptr;
    QPushButton* btnAddFolder = nullptr;
    QPushButton* btnSearch = nullptr;
    QTreeWidget* listCandidates = nullptr;
    QLabel* lblFound = nullptr;
    QPushButton* btnOk = nullptr;
};
