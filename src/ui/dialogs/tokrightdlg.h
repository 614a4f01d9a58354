// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QDialog>

class QFrame;
class QPushButton;

// Base dialog with a framed area and OK / Cancel; never shown by itself.
class TOKRightDlg : public QDialog {
    Q_OBJECT

public:
    explicit TOKRightDlg(QWidget* parent = nullptr);

protected:
    QFrame* Bevel1 = nullptr;
    QPushButton* OKBtn = nullptr;
    QPushButton* CancelBtn = nullptr;

    // The buttons sit at the right of the framed area; a derived dialog may put them below instead.
    void placeButtonsBelow();

private:
    void placeButtonsRight();
};
