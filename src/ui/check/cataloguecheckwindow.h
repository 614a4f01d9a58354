// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "check/cataloguecheck.h"

#include <QPointer>
#include <QWidget>

#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

class CDBManager;
class QCheckBox;
class QComboBox;
class QLabel;
class QProgressBar;
class QPushButton;
class QTreeWidget;
class QTreeWidgetItem;
class Worker;

// What the results window has the main window do; each runs there as a user command.
struct CheckCommands {
    std::function<void(const std::string& categoryGuid, const std::string& itemGuid)> locate;
    // Stores new targets for the items (in memory and in the catalogue), as one change the user can
    // take back; raises when refused.
    std::function<void(const std::vector<std::pair<std::string, std::string>>& guidsAndTargets)> setTargets;
    // Deletes the items, as one change the user can take back; the user has already confirmed.
    std::function<void(const std::vector<std::string>& itemGuids)> deleteItems;
    // Results changed: the list's marks follow.
    std::function<void()> resultsChanged;
    // Whether a copy of the page at an address was kept, and opening it; empty when none are kept.
    std::function<bool(const std::string& address)> hasKeptCopy;
    std::function<void(const std::string& address)> openKeptCopy;
};

// Tools > "Check Catalogue...": runs the check on a worker with its own connection, shows its
// progress with Cancel while the main window stays usable, and lists what was found grouped by
// kind, with the commands that mend it. Nothing changes without the user's command.
class CatalogueCheckWindow : public QWidget {
    Q_OBJECT
public:
    CatalogueCheckWindow(QWidget* owner, CDBManager& db, CheckCommands commands);
    ~CatalogueCheckWindow() override;

    // The category the "Selected category" scope means; empty GUID for none.
    void setSelectedCategory(const std::string& guid, const QString& name);
    bool isRunning() const;
    // The stored results that still apply, as the list shows them.
    void reloadResults();

signals:
    void checkFinished();

protected:
    void closeEvent(QCloseEvent* event) override;

private slots:
    void btnCheckClick();
    void btnCancelClick();
    void btnLocateClick();
    void btnRelinkClick();
    void btnOpenKeptCopyClick();
    void btnUseNewAddressClick();
    void btnDeleteClick();
    void btnIgnoreClick();

private:
    class RunProgress;
    struct Row {
        check::StoredFinding finding;
        std::string title;
        std::string categoryGuid;
    };
    void buildControls();
    void addRow(const check::StoredFinding& finding);
    QTreeWidgetItem* groupOf(check::Kind kind);
    std::vector<const Row*> selectedRows() const;
    void updateButtons();
    void addFound(const check::StoredFinding& finding);
    void finish(const check::CheckSummary& summary);
    void showProgress(std::size_t done, std::size_t total);
    void relink(const Row& row);
    void offerFolderRelink(const std::string& lostPath, const std::string& newPath, const std::string& relinkedGuid);
    void readItemInfo();
    void mended();

    CDBManager& db;
    CheckCommands commands;
    std::string selectedGuid;
    std::map<std::string, Row> rows;                                      // by guid and aspect
    std::map<std::string, std::pair<std::string, std::string>> itemInfo;  // guid: title, category GUID
    std::unordered_map<std::string, std::string> categoryPaths;
    Worker* worker;
    std::size_t newProblems = 0;

    QCheckBox* ckFiles = nullptr;
    QCheckBox* ckLinks = nullptr;
    QCheckBox* ckDuplicates = nullptr;
    QComboBox* cbScope = nullptr;
    QPushButton* btnCheck = nullptr;
    QPushButton* btnCancel = nullptr;
    QProgressBar* progressCheck = nullptr;
    QLabel* lblStatus = nullptr;
    QTreeWidget* listFindings = nullptr;
    QPushButton* btnLocate = nullptr;
    QPushButton* btnOpenKeptCopy = nullptr;
    QPushButton* btnRelink = nullptr;
    QPushButton* btnUseNewAddress = nullptr;
    QPushButton* btnDelete = nullptr;
    QPushButton* btnIgnore = nullptr;
};
