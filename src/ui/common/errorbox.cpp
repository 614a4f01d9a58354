// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/common/errorbox.h"

#include "ui/common/dialogseam.h"
#include "ui/common/qtext.h"

QString errorBoxText(const QString& text)
{
    if (!text.isEmpty() && text.back().isLetterOrNumber())
        return text + QLatin1Char('.');
    return text;
}

void showErrorBox(QWidget* parent, const QString& text)
{
    seam::message(parent, QMessageBox::Critical, QStringLiteral("Varnelo"), errorBoxText(text), QMessageBox::Ok);
}

void showPlainMessage(QWidget* parent, const std::string& text)
{
    if (!text.empty())
        seam::message(parent, QMessageBox::NoIcon, QStringLiteral("Varnelo"), toQ(text), QMessageBox::Ok);
}

int& runningCommands()
{
    static int count = 0;
    return count;
}
