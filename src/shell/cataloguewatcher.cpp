// SPDX-License-Identifier: GPL-3.0-or-later
#include "shell/cataloguewatcher.h"

#include <QEvent>
#include <QVariant>

CatalogueWatcher::CatalogueWatcher(VersionProbe versionProbe, QObject* parent)
    : QObject(parent), probe(std::move(versionProbe))
{
    timer.setInterval(intervalMs);
    connect(&timer, &QTimer::timeout, this, &CatalogueWatcher::check);
}

void CatalogueWatcher::watchWhileVisible(QObject* window)
{
    window->installEventFilter(this);
    followVisibility(window->property("visible").toBool());
}

void CatalogueWatcher::rebase()
{
    seen = probe();
}

void CatalogueWatcher::check()
{
    const std::optional<long long> now = probe();
    if (!now)
        return;
    const bool changed = seen && *seen != *now;
    seen = now;
    if (changed)
        emit catalogueChanged();
}

bool CatalogueWatcher::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() == QEvent::Show || event->type() == QEvent::Hide)
        followVisibility(event->type() == QEvent::Show);
    return QObject::eventFilter(watched, event);
}

void CatalogueWatcher::followVisibility(bool visible)
{
    if (visible == timer.isActive())
        return;
    if (!visible) {
        timer.stop();
        return;
    }
    timer.start();
    check();
}
