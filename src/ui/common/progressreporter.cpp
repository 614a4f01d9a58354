// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/common/progressreporter.h"

#include <QCoreApplication>
#include <QProgressDialog>

#include <climits>

namespace {

// Often enough that the windows repaint smoothly, rarely enough to cost nothing.
constexpr int eventsEveryMs = 40;

int scaled(std::size_t value, std::size_t total)
{
    if (total <= static_cast<std::size_t>(INT_MAX))
        return static_cast<int>(value);
    return static_cast<int>(value / (total / static_cast<std::size_t>(INT_MAX) + 1));
}

}  // namespace

ProgressReporter::ProgressReporter(QWidget* parent, QString text, bool canCancel)
    : owner(parent), label(std::move(text)), cancellable(canCancel)
{
    started.start();
    lastEvents.start();
}

ProgressReporter::~ProgressReporter()
{
    delete dialog.data();
}

void ProgressReporter::show(std::size_t total)
{
    auto* shown = new QProgressDialog(owner);
    shown->setObjectName(QStringLiteral("ProgressDialog"));
    shown->setWindowTitle(QStringLiteral("Varnelo"));
    shown->setLabelText(label);
    shown->setAccessibleName(label);
    shown->setWindowModality(Qt::ApplicationModal);
    shown->setAutoReset(false);
    shown->setAutoClose(false);
    shown->setMinimumDuration(0);
    if (!cancellable) {
        shown->setCancelButton(nullptr);
        shown->setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint);
    }
    shown->setRange(0, scaled(total, total));
    dialog = shown;
    shown->show();
}

bool ProgressReporter::advance(std::size_t done, std::size_t total)
{
    // A total of 0 is not known yet: the dialog then shows that work goes on, without a share.
    if (!dialog && started.elapsed() >= showAfterMs && (done < total || total == 0))
        show(total);
    if (lastEvents.elapsed() >= eventsEveryMs) {
        lastEvents.restart();
        if (dialog && total > 0)
            dialog->setValue(scaled(done, total));
        // While the modal dialog is up only it takes input (Cancel); otherwise no input at all, so the
        // user cannot start another command in the middle of this one.
        if (dialog && dialog->isVisible()) {
            QCoreApplication::processEvents();
        } else {
            QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
        }
    }
    return !(cancellable && dialog && dialog->wasCanceled());
}
