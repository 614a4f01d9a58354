// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/window/trayresidence.h"

#include "shell/appsettings.h"
#include "ui/common/dialogseam.h"

#include <QMenu>
#include <QSystemTrayIcon>
#include <QWidget>

TrayResidence::TrayResidence(QWidget& owner, QMenu& trayMenu) : QObject(&owner), window(owner), menu(trayMenu)
{
}

void TrayResidence::addIcon()
{
    if (!icon) {
        icon = new QSystemTrayIcon(window.windowIcon(), this);
        icon->setObjectName(QStringLiteral("TrayIcon"));
        icon->setToolTip(window.windowTitle());
        icon->setContextMenu(&menu);
        connect(icon, &QSystemTrayIcon::activated, this, [this](QSystemTrayIcon::ActivationReason reason) {
            if (reason == QSystemTrayIcon::DoubleClick)
                emit iconDoubleClicked();
        });
    }
    icon->show();
    shown = true;
}

void TrayResidence::removeIcon()
{
    if (icon)
        icon->hide();
    shown = false;
}

void TrayResidence::restore()
{
    window.setWindowState(window.windowState() & ~Qt::WindowMinimized);
    window.show();
    window.raise();
    window.activateWindow();
    if (!AppSettings.always)
        removeIcon();
}

void TrayResidence::hide()
{
    window.hide();
    if (!shown)
        addIcon();
}

void TrayResidence::wake()
{
    if (!window.isVisible())
        restore();
    else if (window.isMinimized())
        window.showNormal();
    window.raise();
    window.activateWindow();
}

bool TrayResidence::addsIconAtStart() const
{
    return AppSettings.autohide || AppSettings.always || AppSettings.autorun;
}

bool TrayResidence::hidesOnMinimize() const
{
    return AppSettings.minitray && seam::trayAvailable();
}

bool TrayResidence::hidesOnClose(bool exiting) const
{
    return AppSettings.closetray && !exiting && seam::trayAvailable();
}

void TrayResidence::settingsAccepted()
{
    if (AppSettings.always && !shown)
        addIcon();
}
