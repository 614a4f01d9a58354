// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The tests' side of the seam: a recorder installed in the program's place that answers every prompt
// from queues, in the order pushed, and remembers what was asked. A message box with a single button
// needs no queued answer (that button is the answer); any other prompt without one is unexpected: it
// warns, is counted and is answered with Cancel / No / an empty name / Rejected.

#include <QList>
#include <QMessageBox>
#include <QString>
#include <QStringList>

#include <cstddef>
#include <functional>

class QDialog;

namespace seam {

void enableTestMode();
// Whether the recorder answers in the program's place.
bool testMode();
void pushMessageAnswer(QMessageBox::StandardButton answer);
void pushFileAnswer(const QStringList& names);
void pushDialogHandler(std::function<int(QDialog*)> handler);
// Answers every advance of the next progress; without one, work is never asked to stop.
void pushProgressHandler(std::function<bool(std::size_t done, std::size_t total)> handler);
// Whether the desktop has a notification area.
void setTrayAvailable(bool available);

struct ShownMessage {
    QString caption, text;
    QMessageBox::Icon icon;
    QMessageBox::StandardButtons buttons;
    QMessageBox::StandardButton defaultButton = QMessageBox::NoButton;
};
const QList<ShownMessage>& shownMessages();

struct ShownFileDialog {
    QString caption, filter, defaultSuffix;
    bool save;
    QString selectedFile;
    bool mustExist = true;
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
