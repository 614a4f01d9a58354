// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/common/desktop.h"

#include "shell/desktopservices.h"
#include "ui/common/dialogseam.h"
#include "ui/common/openwithdialog.h"

#include <QDesktopServices>

namespace {

Desktop* replacementDesktop = nullptr;

}  // namespace

Desktop::~Desktop() = default;

void Desktop::openTarget(const std::string& target, int type)
{
    const QUrl url = targetUrl(target, type);
    if (!url.isEmpty())
        QDesktopServices::openUrl(url);
}

void Desktop::openWith(const std::string& target, int type, QWidget* parent)
{
    OpenWithDialog dialog(target, type, parent);
    if (!dialog.url().isValid())
        return;
    seam::exec(&dialog);
}

void Desktop::showInFolder(const std::string& path)
{
    ::showInFolder(path, [](const QUrl& folder) { return QDesktopServices::openUrl(folder); });
}

void Desktop::openUrl(const QUrl& url)
{
    if (!url.isEmpty())
        QDesktopServices::openUrl(url);
}

Desktop& Desktop::instance()
{
    static Desktop real;
    return replacementDesktop ? *replacementDesktop : real;
}

void Desktop::setInstance(Desktop* replacement)
{
    replacementDesktop = replacement;
}
