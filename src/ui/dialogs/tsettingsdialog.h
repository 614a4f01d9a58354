// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "ui/dialogs/tokrightdlg.h"

class QCheckBox;

// Five check boxes over the five flags of AppSettings. Creating it reloads the flags from the stores;
// OK copies the boxes back and saves.
class TSettingsDialog : public TOKRightDlg {
    Q_OBJECT

public:
    explicit TSettingsDialog(QWidget* parent = nullptr);

private slots:
    void OKBtnClick();

private:
    void FormCreate();

    QCheckBox* ckAutorun = nullptr;
    QCheckBox* ckClose = nullptr;
    QCheckBox* ckMinimize = nullptr;
    QCheckBox* ckHide = nullptr;
    QCheckBox* ckAlways = nullptr;
};
