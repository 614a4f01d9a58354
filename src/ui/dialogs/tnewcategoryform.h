// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QDialog>

#include <functional>

class IconList;
class QLabel;
class QLineEdit;
class QPushButton;
class QToolButton;

// The category dialog: a category's name and icon, for adding a category and for its properties.
// It changes nothing in the catalogue; the caller reads Edit1 and GetIconIndex after OK.
class TNewCategoryForm : public QDialog {
    Q_OBJECT
public:
    // iconsChanged stores the shared list; it runs after an icon was appended in the picker.
    TNewCategoryForm(QWidget* owner, int iconIndex, IconList& images, std::function<void()> iconsChanged = {});

    int GetIconIndex() const { return iconIndex; }
    // The name as typed, blanks included; a caller editing a category puts its name in first.
    QString name() const;
    void setName(const QString& name);

private slots:
    void Edit1Change();
    void imageIconClick();
    void Button1Click();
    void Button2Click();

private:
    QLabel* Label1 = nullptr;
    QLabel* Label2 = nullptr;
    QLineEdit* Edit1 = nullptr;
    QToolButton* imageIcon = nullptr;
    QPushButton* Button1 = nullptr;
    QPushButton* Button2 = nullptr;

    void buildControls();
    void showIcon();

    IconList& imageList;
    int iconIndex;
    std::function<void()> iconsChanged;
};
