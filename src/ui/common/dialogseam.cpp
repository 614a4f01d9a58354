// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/common/dialogseam.h"

#include "model/progress.h"
#include "ui/common/dialogfolders.h"
#include "ui/common/progressreporter.h"
#include "ui/common/screenfit.h"

#include <QAbstractButton>
#include <QDialog>
#include <QFileDialog>
#include <QSystemTrayIcon>

#include <utility>

namespace {

Seam* installed = nullptr;

// The words of a choice's two buttons, for the one box it opens.
QList<std::pair<QMessageBox::StandardButton, QString>>& buttonTexts()
{
    static QList<std::pair<QMessageBox::StandardButton, QString>> texts;
    return texts;
}

}  // namespace

Seam::~Seam() = default;

QMessageBox::StandardButton Seam::message(QWidget* parent, QMessageBox::Icon icon, const QString& caption,
                                          const QString& text, QMessageBox::StandardButtons buttons,
                                          QMessageBox::StandardButton defaultButton)
{
    QMessageBox box(icon, caption, text, buttons, parent);
    // Texts name the user's files and items: "<b>" in a name is part of the name.
    box.setTextFormat(Qt::PlainText);
    if (defaultButton != QMessageBox::NoButton)
        box.setDefaultButton(defaultButton);
    box.setAccessibleName(caption);
    for (const auto& [button, text] : std::exchange(buttonTexts(), {}))
        if (QAbstractButton* shown = box.button(button))
            shown->setText(text);
    return QMessageBox::StandardButton(box.exec());
}

QStringList Seam::openFileNames(QWidget* parent, const QString& caption, const QString& filter)
{
    const QStringList chosen = QFileDialog::getOpenFileNames(parent, caption, dialogStartFolder(caption), filter);
    rememberDialogFolder(caption, chosen.value(0));
    return chosen;
}

QString Seam::openFileName(QWidget* parent, const QString& caption, const QString& filter, const QString& selectedFile,
                           bool mustExist)
{
    QFileDialog dialog(parent, caption, selectedFile.isEmpty() ? dialogStartFolder(caption) : selectedFile, filter);
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    dialog.setFileMode(mustExist ? QFileDialog::ExistingFile : QFileDialog::AnyFile);
    if (dialog.exec() != QDialog::Accepted)
        return {};
    rememberDialogFolder(caption, dialog.selectedFiles().value(0));
    return dialog.selectedFiles().value(0);
}

QString Seam::saveFileName(QWidget* parent, const QString& caption, const QString& filter, const QString& defaultSuffix,
                           const QString& selectedFile)
{
    // The static helper cannot take a default suffix, so the dialog is built by hand.
    QFileDialog dialog(parent, caption, selectedFile.isEmpty() ? dialogStartFolder(caption) : selectedFile, filter);
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setFileMode(QFileDialog::AnyFile);
    dialog.setDefaultSuffix(defaultSuffix);
    // Choosing an existing file replaces it without a question.
    dialog.setOption(QFileDialog::DontConfirmOverwrite);
    if (dialog.exec() != QDialog::Accepted)
        return {};
    rememberDialogFolder(caption, dialog.selectedFiles().value(0));
    return dialog.selectedFiles().value(0);
}

QString Seam::existingFolder(QWidget* parent, const QString& caption)
{
    const QString chosen = QFileDialog::getExistingDirectory(parent, caption, dialogStartFolder(caption));
    rememberDialogFolder(caption, chosen);
    return chosen;
}

int Seam::exec(QDialog* dialog)
{
    return dialog->exec();
}

std::unique_ptr<Progress> Seam::progress(QWidget* owner, const QString& label, bool cancellable)
{
    return std::make_unique<ProgressReporter>(owner, label, cancellable);
}

bool Seam::trayAvailable()
{
    return QSystemTrayIcon::isSystemTrayAvailable();
}

Seam& Seam::instance()
{
    static Seam real;
    return installed ? *installed : real;
}

void Seam::install(Seam* replacement)
{
    installed = replacement;
}

namespace seam {

QMessageBox::StandardButton message(QWidget* parent, QMessageBox::Icon icon, const QString& caption,
                                    const QString& text, QMessageBox::StandardButtons buttons,
                                    QMessageBox::StandardButton defaultButton)
{
    return Seam::instance().message(parent, icon, caption, text, buttons, defaultButton);
}

bool choice(QWidget* parent, QMessageBox::Icon icon, const QString& caption, const QString& text,
            const QString& yesText, const QString& noText)
{
    buttonTexts() = {{QMessageBox::Yes, yesText}, {QMessageBox::No, noText}};
    const QMessageBox::StandardButton answer =
        Seam::instance().message(parent, icon, caption, text, QMessageBox::Yes | QMessageBox::No, QMessageBox::Yes);
    buttonTexts().clear();
    return answer == QMessageBox::Yes;
}

QStringList openFileNames(QWidget* parent, const QString& caption, const QString& filter)
{
    return Seam::instance().openFileNames(parent, caption, filter);
}

QString openFileName(QWidget* parent, const QString& caption, const QString& filter, const QString& selectedFile,
                     bool mustExist)
{
    return Seam::instance().openFileName(parent, caption, filter, selectedFile, mustExist);
}

QString saveFileName(QWidget* parent, const QString& caption, const QString& filter, const QString& defaultSuffix,
                     const QString& selectedFile)
{
    return Seam::instance().saveFileName(parent, caption, filter, defaultSuffix, selectedFile);
}

QString existingFolder(QWidget* parent, const QString& caption)
{
    return Seam::instance().existingFolder(parent, caption);
}

int exec(QDialog* dialog)
{
    placeOver(dialog, dialog->parentWidget());
    return Seam::instance().exec(dialog);
}

std::unique_ptr<Progress> progress(QWidget* owner, const QString& label, bool cancellable)
{
    return Seam::instance().progress(owner, label, cancellable);
}

bool trayAvailable()
{
    return Seam::instance().trayAvailable();
}

}  // namespace seam
