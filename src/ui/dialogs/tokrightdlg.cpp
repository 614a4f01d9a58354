// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/dialogs/tokrightdlg.h"

#include "ui/common/controls.h"

#include <QBoxLayout>
#include <QFrame>
#include <QPushButton>

TOKRightDlg::TOKRightDlg(QWidget* parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("OKRightDlg"));
    setWindowTitle(QStringLiteral("Dialog"));
    // The captions of the dialogs built on this one are laid out for the 11-pixel default font.
    QFont captionFont = font();
    captionFont.setPixelSize(11);
    setFont(captionFont);
    Bevel1 = new QFrame(this);
    Bevel1->setObjectName(QStringLiteral("Bevel1"));
    Bevel1->setFrameShape(QFrame::StyledPanel);
    Bevel1->setFrameShadow(QFrame::Sunken);
    OKBtn = makeButton(this, "OKBtn", QStringLiteral("OK"));
    OKBtn->setDefault(true);
    CancelBtn = makeButton(this, "CancelBtn", QStringLiteral("Cancel"));
    connect(OKBtn, &QPushButton::clicked, this, &QDialog::accept);
    connect(CancelBtn, &QPushButton::clicked, this, &QDialog::reject);
    setTabOrder(OKBtn, CancelBtn);
    placeButtonsRight();
    setFixedSize(384, 179);
}

void TOKRightDlg::placeButtonsRight()
{
    auto* buttons = new QVBoxLayout;
    buttons->addWidget(OKBtn);
    buttons->addWidget(CancelBtn);
    buttons->addStretch();
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(8, 8, 8, 8);
    layout->addWidget(Bevel1, 1);
    layout->addLayout(buttons);
}

void TOKRightDlg::placeButtonsBelow()
{
    delete layout();
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(OKBtn);
    buttons->addWidget(CancelBtn);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(8, 8, 8, 8);
    layout->addWidget(Bevel1, 1);
    layout->addLayout(buttons);
}
