// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>

#include <cstddef>
#include <functional>

class Progress;
class QWidget;

// Runs `work` on a worker while this thread shows its progress (label, `total` steps or 0 when not
// known, with Cancel) and keeps the windows painted. Cancel makes the work's Progress ask it to stop;
// the work then ends by returning or by throwing ReadStopped. false when the user cancelled; any
// other failure of the work is thrown here. The work must not touch widgets or the window's database.
bool runInBackground(QWidget* owner, const QString& label, std::size_t total,
                     const std::function<void(Progress&)>& work);
