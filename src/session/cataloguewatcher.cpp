// SPDX-License-Identifier: GPL-3.0-or-later
#include "session/cataloguewatcher.h"

#include <QEvent>
#include <QFile>
#include <QVariant>

#include <cerrno>

#include <sys/stat.h>

CatalogueWatcher::CatalogueWatcher(VersionProbe versionProbe, QObject* parent)
    : QObject(parent), probe(std::move(versionProbe))
{
    timer.setInterval(intervalMs);
    connect(&timer, &QTimer::timeout, this, [this] {
        if (!paused || !paused())
            check();
    });
}

void CatalogueWatcher::watchBeside(QObject* window)
{
    window->installEventFilter(this);
    followVisibility(window->property("visible").toBool());
}

void CatalogueWatcher::setFile(const QString& path)
{
    file = path;
    seenFile = fileIdentity();
}

void CatalogueWatcher::rebase()
{
    seen = probe();
    seenFile = fileIdentity();
    replacedFile = false;
    gone = false;
}

void CatalogueWatcher::check()
{
    const std::optional<long long> now = probe();
    const auto identity = fileIdentity();
    const bool replaced = identity && seenFile && *identity != *seenFile;
    const bool committed = now && seen && *now != *seen;
    if (now)
        seen = now;
    if (identity)
        seenFile = identity;
    replacedFile = replacedFile || replaced;
    const bool goneNow = !identity && pathIsEmpty();
    const bool newlyGone = goneNow && !gone;
    gone = goneNow;
    if (newlyGone)
        emit fileGone();
    if (replaced || committed)
        emit catalogueChanged();
}

bool CatalogueWatcher::changedSinceSeen()
{
    const std::optional<long long> now = probe();
    const auto identity = fileIdentity();
    return (now && seen && *now != *seen) || (identity && seenFile && *identity != *seenFile);
}

std::optional<std::pair<quint64, quint64>> CatalogueWatcher::fileIdentity() const
{
    struct stat status {};
    if (file.isEmpty() || ::stat(QFile::encodeName(file).constData(), &status) != 0)
        return std::nullopt;
    return std::pair<quint64, quint64>(status.st_dev, status.st_ino);
}

// Only a name that is truly free counts: a look that failed for another reason (a folder briefly
// unreadable) says nothing about the file.
bool CatalogueWatcher::pathIsEmpty() const
{
    struct stat status {};
    if (file.isEmpty())
        return false;
    return ::stat(QFile::encodeName(file).constData(), &status) != 0 && (errno == ENOENT || errno == ENOTDIR);
}

bool CatalogueWatcher::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() == QEvent::Show || event->type() == QEvent::Hide)
        followVisibility(event->type() == QEvent::Show);
    return QObject::eventFilter(watched, event);
}

void CatalogueWatcher::followVisibility(bool visible)
{
    const int interval = visible ? intervalMs : hiddenIntervalMs;
    if (timer.isActive() && timer.interval() == interval)
        return;
    timer.start(interval);
}
