// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/common/openguard.h"

#include "model/clinkitem.h"
#include "shell/opencheck.h"
#include "shell/targeturl.h"
#include "ui/common/dialogseam.h"
#include "ui/common/qtext.h"

#include <stdexcept>

void refuseUnsafeTarget(const CLinkItem& item)
{
    if (!targetUrl(item.GetTarget(), item.GetType()).isValid())
        throw std::runtime_error(
            QStringLiteral("The address \"%1\" cannot be opened.").arg(toQ(item.GetTarget())).toStdString());
    const OpenCheck check = checkBeforeOpening(item.GetTarget(), item.GetType());
    if (check.kind == OpenCheck::ScriptAddress)
        throw std::runtime_error(
            QStringLiteral("The address \"%1\" cannot be opened.").arg(toQ(item.GetTarget())).toStdString());
    if (check.kind == OpenCheck::MissingFile)
        throw std::runtime_error(QStringLiteral("The file \"%1\" does not exist.").arg(check.path).toStdString());
}

bool confirmRunningProgram(QWidget* parent, const CLinkItem& item)
{
    const OpenCheck check = checkBeforeOpening(item.GetTarget(), item.GetType());
    if (check.kind != OpenCheck::Program)
        return true;
    return seam::message(parent, QMessageBox::Warning, QStringLiteral("Varnelo"),
                         QStringLiteral("\"%1\" is a program. Run it?").arg(check.path),
                         QMessageBox::Yes | QMessageBox::No, QMessageBox::No)
           == QMessageBox::Yes;
}
