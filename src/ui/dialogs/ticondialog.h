// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QDialog>
#include <QImage>

#include <functional>

class IconList;
class QListWidget;
class QPushButton;

// The icon picker: every icon of the shared category icon list, and a way to append one from an
// ".ico" file. An appended icon is stored at once through iconsChanged, whatever the dialog's result.
class TIconDialog : public QDialog {
    Q_OBJECT
public:
    explicit TIconDialog(QWidget* owner, std::function<void()> iconsChanged = {});

    void SetImageList(IconList& images);
    // The index of the selected icon, or -1 when none is selected.
    int selectedIconIndex() const;

private slots:
    void btnAddIconClick();

private:
    QListWidget* ListView1 = nullptr;
    QPushButton* OKBtn = nullptr;
    QPushButton* CancelBtn = nullptr;
    QPushButton* btnAddIcon = nullptr;

    void addIconItem(int index);
    void appendIconFromFile(const QString& fileName);

    IconList* imageList = nullptr;
    std::function<void()> iconsChanged;
};

// Loads the picture of an ".ico" file for a 32 x 32 list: of the images in the file, the smallest
// one that is at least 32 x 32. Throws std::runtime_error("Invalid image size") when every image is
// smaller, and std::runtime_error with a clear text when the file is not an icon.
QImage loadCategoryIcon(const QString& fileName);
