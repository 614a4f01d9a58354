// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QDialog>
#include <QStringList>

#include <functional>
#include <optional>

class QCheckBox;
class QGridLayout;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;

// The item dialog: adds one or several files, adds a web address, or edits an item.
class TitemForm : public QDialog {
    Q_OBJECT
public:
    explicit TitemForm(QWidget* owner);
    TitemForm(QWidget* owner, bool webMode);

    // True when the browse button last put several files into the target field.
    bool IsMultiple() const { return multiple; }
    bool isWebMode() const { return webMode; }

    // The fields as typed, blanks included.
    QString title() const;
    QString target() const;
    // The files to add: the ones chosen in the browser, whatever characters their names hold, while
    // the field shows them as chosen; else the pieces of the field as typed.
    QStringList targets() const;
    QString description() const;
    bool nameFromFile() const;
    // Fills the fields for editing an item; the OK rule runs as for typing.
    void fill(const QString& title, const QString& target, const QString& description);
    // A line about the item's last check ("Last checked ..."), shown beside the buttons.
    void setCheckNote(const QString& text);
    // Names the category the new item goes into, with a button for another one: `choose` returns the
    // name of the category the user picked, or nothing when the user kept the one named. Shown only
    // for addresses sent from elsewhere, whose category the user did not pick beforehand.
    void showCategoryChoice(const QString& name, std::function<std::optional<QString>()> choose);

private slots:
    void btnOkClick();
    void btnCancelClick();
    void BitBtn1Click();
    void txtTitleChange();
    void txtTargetChange();
    void ckTitleClick();

private:
    QLabel* Label1 = nullptr;
    QLineEdit* txtTitle = nullptr;
    QCheckBox* ckTitle = nullptr;
    QLabel* Label2 = nullptr;
    QLineEdit* txtTarget = nullptr;
    QPushButton* BitBtn1 = nullptr;
    QLabel* Label3 = nullptr;
    QPlainTextEdit* memoDescription = nullptr;
    QPushButton* btnOk = nullptr;
    QPushButton* btnCancel = nullptr;
    QLabel* lblChecked = nullptr;
    QLabel* lblCategory = nullptr;
    QPushButton* btnCategory = nullptr;
    QGridLayout* fields = nullptr;

    void buildControls();
    void updateOkButton();
    void fitDescriptionWrap();

    bool webMode = false;
    bool multiple = false;
    QStringList chosenFiles;
};

// The pieces of a several-files target: every piece ending at ";" counts, even an empty one;
// the text after the last ";" only when it is not empty.
QStringList splitTargets(const QString& text);

// The part of a path after its last separator, as used for "Using filename as title".
QString fileNamePart(const QString& path);

// Whether a text is empty once leading and trailing blanks and control characters are removed.
bool isBlankText(const QString& text);
