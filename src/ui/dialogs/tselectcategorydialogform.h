// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QDialog>

class CCategory;
class CDBManager;
class QFrame;
class QLabel;
class QPushButton;
class QTreeWidget;
class QTreeWidgetItem;

// Shows the whole category tree and returns the category the user picks.
class TSelectCategoryDialogForm : public QDialog {
    Q_OBJECT

public:
    explicit TSelectCategoryDialogForm(QWidget* parent = nullptr);

    void LoadCategories(CDBManager* database);
    CCategory* GetSelectedCategory() const;
    // A first choice that stands for the whole catalogue (its root category), after LoadCategories.
    void offerWholeCatalogue(const QString& text);
    // The category and everything below it are shown but cannot be chosen.
    void excludeBranch(const CCategory& category);
    // The keyboard cursor on that category's node (the first choosable node when it is not shown),
    // nothing selected.
    void placeCursorOn(const CCategory* category);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private slots:
    void treeCategoryClick();

private:
    void AddChildNodes(CCategory* category, QTreeWidgetItem* node);

    QLabel* Label1 = nullptr;
    QTreeWidget* treeCategory = nullptr;
    QFrame* Bevel1 = nullptr;
    QPushButton* OKBtn = nullptr;
    QPushButton* CancelBtn = nullptr;
    CDBManager* db = nullptr;  // points at the catalogue shown; not owned
};

// The select-category dialog as the commands use it: the catalogue's categories offered (with the
// whole catalogue as a first choice named wholeCatalogue, when given), the chosen one returned;
// nullptr when the user cancelled.
// current: the node the keyboard cursor starts on (the window's category), or the first one.
CCategory* chooseCategory(QWidget* owner, CDBManager& database, const QString& wholeCatalogue = {},
                          const CCategory* current = nullptr);
