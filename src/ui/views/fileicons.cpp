// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/views/fileicons.h"

#include <QApplication>
#include <QFileInfo>
#include <QHash>
#include <QMimeDatabase>
#include <QStyle>

namespace {

QIcon plainFileIcon()
{
    QIcon icon = QIcon::fromTheme(QStringLiteral("text-x-generic"));
    if (icon.isNull() && qobject_cast<QApplication*>(QCoreApplication::instance()))
        icon = QApplication::style()->standardIcon(QStyle::SP_FileIcon);
    return icon;
}

QIcon lookUp(const QString& fileName)
{
    const QMimeType type = QMimeDatabase().mimeTypeForFile(fileName, QMimeDatabase::MatchExtension);
    // Themes lack many specific type icons (Adwaita has no application-pdf): fall back step by step.
    QIcon icon = QIcon::fromTheme(type.iconName());
    if (icon.isNull())
        icon = QIcon::fromTheme(type.genericIconName());
    if (icon.isNull())
        icon = plainFileIcon();
    return icon;
}

// The type follows from the extension; a name without one is its own key ("Makefile").
QString cacheKey(const QString& fileName)
{
    const QFileInfo info(fileName);
    const QString suffix = info.completeSuffix();
    return suffix.isEmpty() ? QLatin1Char('/') + info.fileName() : suffix;
}

}  // namespace

void ensureIconTheme()
{
    static const bool done = [] {
        QStringList paths = QIcon::themeSearchPaths();
        if (!paths.contains(QStringLiteral("/usr/share/icons"))) {
            paths.append(QStringLiteral("/usr/share/icons"));
            QIcon::setThemeSearchPaths(paths);
        }
        if (QIcon::themeName().isEmpty() || QIcon::themeName() == QStringLiteral("hicolor"))
            QIcon::setThemeName(QStringLiteral("Adwaita"));
        return true;
    }();
    (void)done;
}

QIcon fileTypeIcon(const QString& fileName)
{
    ensureIconTheme();
    static QHash<QString, QIcon> cache;
    const QString key = cacheKey(fileName);
    auto found = cache.constFind(key);
    if (found != cache.constEnd())
        return *found;
    const QIcon icon = lookUp(fileName);
    cache.insert(key, icon);
    return icon;
}

QIcon itemIcon(const std::string& target, int type)
{
    if (type == 1)
        return fileTypeIcon(QStringLiteral("index.html"));
    return fileTypeIcon(QString::fromStdString(target));
}
