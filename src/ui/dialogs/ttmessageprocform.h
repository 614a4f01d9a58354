// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QDialog>

class QLabel;

// A small stay-on-top window without buttons, shown while a long command runs.
class TTMessageProcForm : public QDialog {
    Q_OBJECT

public:
    explicit TTMessageProcForm(QWidget* parent = nullptr);

    // Over-long text is cut at a word and ends with an ellipsis.
    void setMessage(const QString& text);
    // Shows the window and returns once it is on the screen with its caption and message painted,
    // since the work that follows takes the event loop away.
    void showPainted();

private:
    void FormCreate();

    QLabel* msgLabel = nullptr;
};
