// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "storage/cdbmanager.h"

#include <QDialog>

#include <functional>
#include <string>
#include <vector>

class QCheckBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QPushButton;

// One line of the result list: the found item and the category that holds it.
struct TSearchItem {
    std::string guid;
    std::string name;
    std::string category;
};

// The modeless search dialog. The check boxes come from the settings file when the dialog is made
// and go back to it only when a search runs.
class TSearchItemForm : public QDialog {
    Q_OBJECT
public:
    using Locator = std::function<void(const std::string& categoryGuid, const std::string& itemGuid)>;

    TSearchItemForm(QWidget* owner, std::string settingsPath);

    // The catalogue searched; refreshed by the main window each time it shows the dialog.
    void setDatabase(CDBManager* database) { db = database; }
    // Answers a search instead of the catalogue's own search, with the same hits in the same order.
    using Searcher =
        std::function<std::vector<CSearchItem>(bool byName, bool byTarget, bool byComment, const std::string& keyword)>;
    void setSearcher(Searcher answer) { searcher = std::move(answer); }
    // Shows a found item in the main window; called before the double click handler returns.
    void setLocator(Locator locate) { locator = std::move(locate); }
    const std::vector<TSearchItem>& results() const { return entries; }

signals:
    // The dialog's frame moved to this screen position (by the user or the window manager).
    void moved(const QPoint& position);

protected:
    void moveEvent(QMoveEvent* event) override;

private slots:
    void UpdateSearchButton();
    void btnSearchClick();
    void lbResultDblClick();
    void btnCloseClick();

private:
    QLabel* Label1 = nullptr;
    QLineEdit* editKeyword = nullptr;
    QPushButton* btnSearch = nullptr;
    QGroupBox* gbCondition = nullptr;
    QCheckBox* ckTitle = nullptr;
    QCheckBox* ckFilename = nullptr;
    QCheckBox* ckComment = nullptr;
    QListWidget* lbResult = nullptr;
    QPushButton* btnClose = nullptr;

    void buildControls();
    void FormCreate();
    void saveConditions();
    void growToShowResults();

    std::string iniPath;
    CDBManager* db = nullptr;
    Locator locator;
    Searcher searcher;
    std::vector<TSearchItem> entries;
};
