#pragma once

#include <QList>
#include <QMessageBox>
#include <QString>
#include <QStringList>

#include <functional>
#include <memory>

class Progress;

class QDialog;
class QWidget;

// Every message box, file dialog and modal dialog of the program goes through here, so that tests can
// answer them and no test ever waits for a person.
namespace seam {

QMessageBox::StandardButton message(QWidget* parent, QMessageBox::Icon icon, const QString& caption,
                                    const QString& text,
                                    QMessageBox::StandardButtons buttons = QMessageBox::Ok);
QStringList openFileNames(QWidget* parent, const QString& caption, const QString& filter);
// selectedFile: the name the dialog offers first (the one chosen last time), or empty.
QString openFileName(QWidget* parent, const QString& caption, const QString& filter,
                     const QString& selectedFile = {});
QString saveFileName(QWidget* parent, const QString& caption, const QString& filter,
                     const QString& defaultSuffix, const QString& selectedFile = {});
// Modal show of one of our own dialogs; returns the dialog's result code.
int exec(QDialog* dialog);
// The progress of one long command (see ProgressReporter).
std::unique_ptr<Progress> progress(QWidget* owner, const QString& label, bool cancellable);

// Test side. In test mode nothing is shown: answers come from the queues, in the order pushed.
// A message box with a single button needs no queued answer (that button is the answer); any other
// prompt without a queued answer is an unexpected prompt: it warns, is counted and is answered with
// Cancel / No / an empty name / Rejected.
void enableTestMode();
bool testMode();
void pushMessageAnswer(QMessageBox::StandardButton answer);
void pushFileAnswer(const QStringList& names);
void pushDialogHandler(std::function<int(QDialog*)> handler);
// Answers every advance of the next progress; without one, work is never asked to stop.
void pushProgressHandler(std::function<bool(std::size_t done, std::size_t total)> handler);

struct ShownMessage {
    QString caption, text;
    QMessageBox::Icon icon;
    QMessageBox::StandardButtons buttons;
};
const QList<ShownMessage>& shownMessages();

struct ShownFileDialog {
    QString caption, filter, defaultSuffix;
    bool save;
    QString selectedFile;
};
const QList<ShownFileDialog>& shownFileDialogs();
// Class names of the dialogs passed to exec, in order.
const QStringList& shownDialogs();
// Labels of the progress of long commands, in order; " (Cancel)" marks one that offers Cancel.
const QStringList& shownProgress();

int unexpectedPromptCount();
const QStringList& unexpectedPrompts();
// Answers still queued (pushed but never asked for).
int pendingAnswerCount();
void clearTestState();

}  // namespace seam
