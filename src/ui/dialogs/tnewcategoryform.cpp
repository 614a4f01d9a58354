// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/dialogs/tnewcategoryform.h"

#include "session/iconlist.h"
#include "ui/common/controls.h"
#include "ui/common/dialogseam.h"
#include "ui/dialogs/ticondialog.h"
#include "ui/dialogs/titemform.h"

#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QToolButton>
#include <QVBoxLayout>

#include <climits>

#include <memory>

TNewCategoryForm::TNewCategoryForm(QWidget* owner, int initialIconIndex, IconList& images,
                                   std::function<void()> onIconsChanged)
    : QDialog(owner), imageList(images), iconIndex(initialIconIndex), iconsChanged(std::move(onIconsChanged))
{
    setObjectName(QStringLiteral("TNewCategoryForm"));
    setWindowTitle(QStringLiteral("New Category"));
    buildControls();
    showIcon();
    Edit1Change();
}

void TNewCategoryForm::buildControls()
{
    setWindowFlags(windowFlags() & ~(Qt::WindowMinMaxButtonsHint | Qt::WindowContextHelpButtonHint));
    Label1 = makeLabel(this, "Label1", QStringLiteral("Category Name"));
    Label2 = makeLabel(this, "Label2", QStringLiteral("Category Icon"));
    Label1->setFont(courierNew(16));
    Label2->setFont(courierNew(16));
    Edit1 = new QLineEdit(this);
    // A stored name longer than Qt's default of 32,767 characters must not be cut when edited.
    Edit1->setMaxLength(INT_MAX);
    Edit1->setObjectName(QStringLiteral("Edit1"));
    Edit1->setAccessibleName(Label1->text());
    Label1->setBuddy(Edit1);

    imageIcon = new QToolButton(this);
    imageIcon->setObjectName(QStringLiteral("imageIcon"));
    imageIcon->setAccessibleName(Label2->text());
    imageIcon->setToolTip(QStringLiteral("Choose an icon."));
    imageIcon->setCursor(Qt::PointingHandCursor);
    imageIcon->setAutoRaise(true);
    imageIcon->setIconSize(QSize(32, 32));
    imageIcon->setFixedSize(40, 40);
    Label2->setBuddy(imageIcon);

    Button1 = makeButton(this, "Button1", QStringLiteral("OK"));
    Button1->setDefault(true);
    Button2 = makeButton(this, "Button2", QStringLiteral("Cancel"));
    Button2->setAutoDefault(false);

    auto* grid = new QGridLayout;
    grid->addWidget(Label1, 0, 0);
    grid->addWidget(Edit1, 0, 1);
    grid->addWidget(Label2, 1, 0);
    grid->addWidget(imageIcon, 1, 1, Qt::AlignLeft);
    grid->setColumnStretch(1, 1);
    grid->setColumnMinimumWidth(0, 140);

    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(Button1);
    buttons->addWidget(Button2);

    auto* outer = new QVBoxLayout(this);
    outer->addLayout(grid);
    outer->addStretch(1);
    outer->addLayout(buttons);
    setFixedSize(459, 157);
    setTabOrder(Edit1, Button1);
    setTabOrder(Button1, Button2);
    setTabOrder(Button2, imageIcon);

    connect(Edit1, &QLineEdit::textChanged, this, &TNewCategoryForm::Edit1Change);
    connect(imageIcon, &QToolButton::clicked, this, &TNewCategoryForm::imageIconClick);
    connect(Button1, &QPushButton::clicked, this, &TNewCategoryForm::Button1Click);
    connect(Button2, &QPushButton::clicked, this, &TNewCategoryForm::Button2Click);
}

void TNewCategoryForm::showIcon()
{
    imageIcon->setIcon(imageList.icon(iconIndex));
}

QString TNewCategoryForm::name() const
{
    return Edit1->text();
}

void TNewCategoryForm::setName(const QString& name)
{
    Edit1->setText(name);
}

void TNewCategoryForm::Edit1Change()
{
    Button1->setEnabled(!isBlankText(Edit1->text()));
}

void TNewCategoryForm::imageIconClick()
{
    auto picker = std::make_unique<TIconDialog>(this, iconsChanged);
    picker->SetImageList(imageList);
    if (seam::exec(picker.get()) != QDialog::Accepted)
        return;
    const int picked = picker->selectedIconIndex();
    if (picked < 0)
        return;
    iconIndex = picked;
    showIcon();
}

void TNewCategoryForm::Button1Click()
{
    // Enter reaches the default button even while the name is still blank.
    if (Button1->isEnabled())
        accept();
}

void TNewCategoryForm::Button2Click()
{
    reject();
}
