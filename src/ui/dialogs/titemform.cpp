// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/dialogs/titemform.h"

#include "ui/common/controls.h"
#include "ui/common/dialogseam.h"

#include <QCheckBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>

#include <climits>

namespace {

const char* const captionNewItem = "New Item";
const char* const captionNewWebAddress = "New Web Address";
// Longer than any word a person writes, short enough that breaking it costs nothing.
constexpr qsizetype longestWrappedWord = 1000;

bool hasLongWord(const QString& text)
{
    qsizetype run = 0;
    for (QChar c : text) {
        run = c.isSpace() ? 0 : run + 1;
        if (run > longestWrappedWord)
            return true;
    }
    return false;
}

}  // namespace

bool isBlankText(const QString& text)
{
    for (QChar c : text) {
        if (c.unicode() > 32 && c.unicode() != 127)
            return false;
    }
    return true;
}

QStringList splitTargets(const QString& text)
{
    QStringList pieces = text.split(QLatin1Char(';'));
    // Only the tail after the last separator may be dropped, and only when it is empty.
    if (pieces.last().isEmpty())
        pieces.removeLast();
    return pieces;
}

QString fileNamePart(const QString& path)
{
    return path.mid(path.lastIndexOf(QLatin1Char('/')) + 1);
}

TitemForm::TitemForm(QWidget* owner) : TitemForm(owner, false)
{
}

TitemForm::TitemForm(QWidget* owner, bool web) : QDialog(owner), webMode(web)
{
    setObjectName(QStringLiteral("TitemForm"));
    buildControls();
    setWindowTitle(QString::fromLatin1(webMode ? captionNewWebAddress : captionNewItem));
    if (webMode) {
        BitBtn1->hide();
        ckTitle->hide();
    }
    updateOkButton();
}

void TitemForm::buildControls()
{
    setFont(courierNew(15));
    setWindowFlags(windowFlags() & ~(Qt::WindowMinMaxButtonsHint | Qt::WindowContextHelpButtonHint));
    const Qt::Alignment right = Qt::AlignRight | Qt::AlignVCenter;
    Label1 = makeLabel(this, "Label1", QStringLiteral("Tiltle:"), right);
    txtTitle = new QLineEdit(this);
    txtTitle->setObjectName(QStringLiteral("txtTitle"));
    txtTitle->setMaxLength(INT_MAX);
    txtTitle->setAccessibleName(Label1->text());
    Label1->setBuddy(txtTitle);

    ckTitle = new QCheckBox(QStringLiteral("Using filename as title"), this);
    ckTitle->setObjectName(QStringLiteral("ckTitle"));
    ckTitle->setAccessibleName(ckTitle->text());
    // The caption stands left of the box.
    ckTitle->setLayoutDirection(Qt::RightToLeft);

    Label2 = makeLabel(this, "Label2", QStringLiteral("Source:"), right);
    txtTarget = new QLineEdit(this);
    txtTarget->setObjectName(QStringLiteral("txtTarget"));
    // Qt cuts a line edit at 32,767 characters; a thousand chosen paths, or a long stored target,
    // must come through whole.
    txtTarget->setMaxLength(INT_MAX);
    txtTarget->setAccessibleName(Label2->text());
    Label2->setBuddy(txtTarget);
    BitBtn1 = makeButton(this, "BitBtn1", QStringLiteral("..."));
    BitBtn1->setAutoDefault(false);
    BitBtn1->setFixedWidth(32);

    Label3 = makeLabel(this, "Label3", QStringLiteral("Description:"), Qt::AlignRight | Qt::AlignTop);
    memoDescription = new QPlainTextEdit(this);
    memoDescription->setObjectName(QStringLiteral("memoDescription"));
    memoDescription->setAccessibleName(Label3->text());
    memoDescription->setTabChangesFocus(true);
    Label3->setBuddy(memoDescription);
    connect(memoDescription, &QPlainTextEdit::textChanged, this, &TitemForm::fitDescriptionWrap);

    btnOk = makeButton(this, "btnOk", QStringLiteral("OK"));
    btnOk->setDefault(true);
    btnCancel = makeButton(this, "btnCancel", QStringLiteral("Cancel"));
    btnCancel->setAutoDefault(false);

    auto* grid = new QGridLayout;
    fields = grid;
    grid->addWidget(Label1, 0, 0);
    grid->addWidget(txtTitle, 0, 1, 1, 2);
    grid->addWidget(ckTitle, 1, 1, 1, 2, Qt::AlignLeft);
    grid->addWidget(Label2, 2, 0);
    grid->addWidget(txtTarget, 2, 1);
    grid->addWidget(BitBtn1, 2, 2);
    grid->addWidget(Label3, 3, 0);
    grid->addWidget(memoDescription, 3, 1, 1, 2);
    grid->setRowStretch(3, 1);
    grid->setColumnStretch(1, 1);

    lblChecked = new QLabel(this);
    lblChecked->setObjectName(QStringLiteral("lblChecked"));
    QFont note = font();
    note.setPixelSize(11);
    lblChecked->setFont(note);
    lblChecked->setWordWrap(true);
    lblChecked->setVisible(false);
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(lblChecked, 1);
    buttons->addWidget(btnOk);
    buttons->addWidget(btnCancel);

    auto* outer = new QVBoxLayout(this);
    outer->addLayout(grid);
    outer->addLayout(buttons);
    setFixedSize(471, 306);

    connect(txtTitle, &QLineEdit::textChanged, this, &TitemForm::txtTitleChange);
    connect(txtTarget, &QLineEdit::textChanged, this, &TitemForm::txtTargetChange);
    connect(ckTitle, &QCheckBox::toggled, this, &TitemForm::ckTitleClick);
    connect(BitBtn1, &QPushButton::clicked, this, &TitemForm::BitBtn1Click);
    connect(btnOk, &QPushButton::clicked, this, &TitemForm::btnOkClick);
    connect(btnCancel, &QPushButton::clicked, this, &TitemForm::btnCancelClick);
}

// Qt looks for a word boundary across a whole paragraph before it breaks a word, which for a stored
// description of one unbroken megabyte takes minutes; such a text is broken anywhere instead.
void TitemForm::fitDescriptionWrap()
{
    const auto wanted = hasLongWord(memoDescription->toPlainText()) ? QTextOption::WrapAnywhere
                                                                    : QTextOption::WrapAtWordBoundaryOrAnywhere;
    if (memoDescription->wordWrapMode() != wanted)
        memoDescription->setWordWrapMode(wanted);
}

void TitemForm::updateOkButton()
{
    const bool hasTarget = !isBlankText(txtTarget->text());
    const bool hasTitle = !isBlankText(txtTitle->text()) || (!webMode && ckTitle->isChecked());
    btnOk->setEnabled(hasTarget && hasTitle);
}

QString TitemForm::title() const
{
    return txtTitle->text();
}
QString TitemForm::target() const
{
    return txtTarget->text();
}
QStringList TitemForm::targets() const
{
    if (!multiple)
        return {target()};
    if (target() == chosenFiles.join(QLatin1Char(';')))
        return chosenFiles;
    return splitTargets(target());
}

QString TitemForm::description() const
{
    return memoDescription->toPlainText();
}
bool TitemForm::nameFromFile() const
{
    return !webMode && ckTitle->isChecked();
}

void TitemForm::showCategoryChoice(const QString& name, std::function<std::optional<QString>()> choose)
{
    auto* caption = makeLabel(this, "Label4", QStringLiteral("Category:"));
    lblCategory = makeLabel(this, "lblCategory", name);
    lblCategory->setAccessibleName(QStringLiteral("Category"));
    btnCategory = makeButton(this, "btnCategory", QStringLiteral("C&hange..."));
    btnCategory->setAutoDefault(false);
    caption->setBuddy(btnCategory);
    connect(btnCategory, &QPushButton::clicked, this, [this, choose = std::move(choose)] {
        if (const std::optional<QString> chosen = choose())
            lblCategory->setText(*chosen);
    });
    fields->addWidget(caption, 4, 0);
    fields->addWidget(lblCategory, 4, 1);
    fields->addWidget(btnCategory, 4, 2);
    setTabOrder(memoDescription, btnCategory);
    setFixedSize(471, 306 + btnCategory->sizeHint().height() + fields->verticalSpacing());
}

void TitemForm::fill(const QString& title, const QString& target, const QString& description)
{
    txtTitle->setText(title);
    txtTarget->setText(target);
    memoDescription->setPlainText(description);
}

void TitemForm::txtTitleChange()
{
    updateOkButton();
}
void TitemForm::txtTargetChange()
{
    updateOkButton();
}
void TitemForm::ckTitleClick()
{
    updateOkButton();
}

void TitemForm::btnOkClick()
{
    // The default button can be triggered by Enter even while it looks disabled to the user.
    if (btnOk->isEnabled())
        accept();
}

void TitemForm::btnCancelClick()
{
    reject();
}

void TitemForm::BitBtn1Click()
{
    multiple = false;
    const QStringList files = seam::openFileNames(this, QString(), QString());
    if (files.isEmpty())
        return;
    if (files.size() == 1) {
        if (txtTitle->text().isEmpty() && files.first().contains(QLatin1Char('/')))
            txtTitle->setText(fileNamePart(files.first()));
        txtTarget->setText(files.first());
        return;
    }
    chosenFiles = files;
    txtTarget->setText(files.join(QLatin1Char(';')));
    multiple = true;
}

void TitemForm::setCheckNote(const QString& text)
{
    lblChecked->setText(text);
    lblChecked->setToolTip(text);
    lblChecked->setVisible(!text.isEmpty());
}
