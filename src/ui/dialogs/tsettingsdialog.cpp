// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/dialogs/tsettingsdialog.h"

#include "ui/common/controls.h"

#include "shell/appsettings.h"
#include "shell/paths.h"
#include "ui/common/errorbox.h"

#include <QBoxLayout>
#include <QCheckBox>
#include <QFrame>
#include <QPushButton>

TSettingsDialog::TSettingsDialog(QWidget* parent) : TOKRightDlg(parent)
{
    setObjectName(QStringLiteral("SettingsDialog"));
    setWindowTitle(QStringLiteral("Settings"));
    ckAutorun = makeCheckBox(this, "ckAutorun", QStringLiteral("Autorun when windows startup"));
    ckClose = makeCheckBox(this, "ckClose", QStringLiteral("Minimize to notify tray area when click \"close\" button"));
    ckMinimize =
        makeCheckBox(this, "ckMinimize", QStringLiteral("Minimize to notify tray area when click \"Minimize\" button"));
    ckHide = makeCheckBox(this, "ckHide", QStringLiteral("Hide main window when application start"));
    ckAlways = makeCheckBox(this, "ckAlways", QStringLiteral("Always show notification icon in tray"));

    auto* checks = new QVBoxLayout;
    checks->setContentsMargins(16, 16, 16, 8);
    for (QCheckBox* box : {ckAutorun, ckClose, ckMinimize, ckHide, ckAlways})
        checks->addWidget(box);
    auto* area = new QWidget(this);
    area->setLayout(checks);

    // The check boxes stand above a thin rule, with OK and Cancel below it.
    Bevel1->setFrameShape(QFrame::HLine);
    placeButtonsBelow();
    auto* outer = static_cast<QBoxLayout*>(layout());
    outer->setStretchFactor(Bevel1, 0);
    outer->insertWidget(0, area, 1);

    disconnect(OKBtn, &QPushButton::clicked, this, nullptr);
    connect(OKBtn, &QPushButton::clicked, this, &TSettingsDialog::OKBtnClick);
    setTabOrder(OKBtn, CancelBtn);
    setTabOrder(CancelBtn, ckAutorun);
    setTabOrder(ckAutorun, ckClose);
    setTabOrder(ckClose, ckMinimize);
    setTabOrder(ckMinimize, ckHide);
    setTabOrder(ckHide, ckAlways);
    setFixedSize(384, 228);
    FormCreate();
}

void TSettingsDialog::FormCreate()
{
    LoadSettings(AppSettings, settingsFilePath());
    ckAutorun->setChecked(AppSettings.autorun);
    ckClose->setChecked(AppSettings.closetray);
    ckMinimize->setChecked(AppSettings.minitray);
    ckHide->setChecked(AppSettings.autohide);
    ckAlways->setChecked(AppSettings.always);
}

void TSettingsDialog::OKBtnClick()
{
    AppSettings.autorun = ckAutorun->isChecked();
    AppSettings.closetray = ckClose->isChecked();
    AppSettings.minitray = ckMinimize->isChecked();
    AppSettings.autohide = ckHide->isChecked();
    AppSettings.always = ckAlways->isChecked();
    // OK is the button's own result: a failed save is reported, and the dialog still ends with OK.
    runCommand(this, [] { SaveSettings(AppSettings, settingsFilePath()); });
    accept();
}
