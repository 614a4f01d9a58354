// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "model/progress.h"

#include <QElapsedTimer>
#include <QPointer>
#include <QString>

class QProgressDialog;
class QWidget;

// The progress of a long command as the user sees it: nothing for the first half second, then a
// modal progress dialog (with Cancel when the work can stop part-way). Meanwhile the windows keep
// repainting; no other input reaches the program until the command ends.
class ProgressReporter final : public Progress {
public:
    ProgressReporter(QWidget* owner, QString label, bool cancellable);
    ~ProgressReporter() override;
    ProgressReporter(const ProgressReporter&) = delete;
    ProgressReporter& operator=(const ProgressReporter&) = delete;

    // total 0: not known.
    bool advance(std::size_t done, std::size_t total) override;

    static constexpr int showAfterMs = 500;

private:
    void show(std::size_t total);

    QWidget* owner;
    QString label;
    bool cancellable;
    QElapsedTimer started;
    QElapsedTimer lastEvents;
    QPointer<QProgressDialog> dialog;
};
