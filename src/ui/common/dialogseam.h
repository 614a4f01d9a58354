// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QMessageBox>
#include <QString>
#include <QStringList>

#include <memory>

class Progress;
class QDialog;
class QWidget;

// Everything the program asks of a person or of the desktop's notification area goes through one
// small interface, so that a test can install answers in its place and no test ever waits for a
// person. The shipped program holds only the real implementation.
class Seam {
public:
    virtual ~Seam();

    // defaultButton: the one Enter presses; NoButton leaves the box's own choice.
    virtual QMessageBox::StandardButton message(QWidget* parent, QMessageBox::Icon icon, const QString& caption,
                                                const QString& text, QMessageBox::StandardButtons buttons,
                                                QMessageBox::StandardButton defaultButton);
    virtual QStringList openFileNames(QWidget* parent, const QString& caption, const QString& filter);
    // selectedFile: the name the dialog offers first (the one chosen last time), or empty;
    // mustExist false takes a typed name of a file that does not exist as well.
    virtual QString openFileName(QWidget* parent, const QString& caption, const QString& filter,
                                 const QString& selectedFile, bool mustExist);
    virtual QString saveFileName(QWidget* parent, const QString& caption, const QString& filter,
                                 const QString& defaultSuffix, const QString& selectedFile);
    virtual QString existingFolder(QWidget* parent, const QString& caption);
    // Modal show of one of our own dialogs; returns the dialog's result code.
    virtual int exec(QDialog* dialog);
    // The progress of one long command (see ProgressReporter).
    virtual std::unique_ptr<Progress> progress(QWidget* owner, const QString& label, bool cancellable);
    virtual bool trayAvailable();

    static Seam& instance();
    // Points at a replacement (not owned); nullptr puts the real one back.
    static void install(Seam* replacement);
};

// The calls of the program, through the installed seam.
namespace seam {

QMessageBox::StandardButton message(QWidget* parent, QMessageBox::Icon icon, const QString& caption,
                                    const QString& text, QMessageBox::StandardButtons buttons = QMessageBox::Ok,
                                    QMessageBox::StandardButton defaultButton = QMessageBox::NoButton);
// A question of two answers in words of its own (Yes and No to whoever answers in a test): true for
// the first.
bool choice(QWidget* parent, QMessageBox::Icon icon, const QString& caption, const QString& text,
            const QString& yesText, const QString& noText);
QStringList openFileNames(QWidget* parent, const QString& caption, const QString& filter);
QString openFileName(QWidget* parent, const QString& caption, const QString& filter, const QString& selectedFile = {},
                     bool mustExist = true);
QString saveFileName(QWidget* parent, const QString& caption, const QString& filter, const QString& defaultSuffix,
                     const QString& selectedFile = {});
QString existingFolder(QWidget* parent, const QString& caption);
int exec(QDialog* dialog);
std::unique_ptr<Progress> progress(QWidget* owner, const QString& label, bool cancellable);
bool trayAvailable();

}  // namespace seam
