// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>

#include <atomic>
#include <cstddef>
#include <functional>

class QWidget;

// What work on a worker thread is handed: whether the user asked it to stop, and where to count
// the steps done so far.
struct BackgroundTask {
    const std::function<bool()>& stopRequested;
    std::atomic<std::size_t>& done;
};

// Runs `work` on a thread of its own while this thread shows its progress (label, `total` steps or
// 0 when not known, with Cancel) and keeps the windows painted. Cancel asks the work to stop; the
// work then ends by returning or by throwing ReadStopped. false when the user cancelled; any other
// failure of the work is thrown here. The work must not touch widgets or the window's database.
bool runInBackground(QWidget* owner, const QString& label, std::size_t total,
                     const std::function<void(const BackgroundTask&)>& work);
