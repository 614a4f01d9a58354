// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QDBusConnection>
#include <QList>
#include <QString>
#include <QUrl>

#include "shell/targeturl.h"

#include <functional>
#include <string>

// Opening targets, choosing programs and showing files in their folder, on the freedesktop means.
// Nothing here goes through a shell: targets travel as URLs, never as command-line text.

// The content type that chooses the programs for a target: the file's type guessed from its name
// alone (the file is not read), or "x-scheme-handler/<scheme>" for any other URL.
QString contentTypeForUrl(const QUrl& url);

struct Application {
    QString id;  // desktop entry id, e.g. "org.gnome.gedit.desktop"
    QString name;
    QString iconName;  // theme icon name or absolute image path, empty when the entry has none
    bool isDefault = false;
};

// Programs registered for a content type, the default one first.
QList<Application> applicationsForType(const QString& contentType);
// Every installed program meant to be shown in menus, by name.
QList<Application> allApplications();
// Launches the program with the given id on one URL. On failure returns false and fills error.
bool launchApplication(const QString& appId, const QUrl& url, QString* error = nullptr);

// Asks the file manager over D-Bus (org.freedesktop.FileManager1.ShowItems) to show the file
// selected in its folder. false when no file manager answered.
bool showItemsInFileManager(const QUrl& fileUrl, QDBusConnection bus = QDBusConnection::sessionBus());
// The folder that holds a file target, as a URL.
QUrl containingFolderUrl(const std::string& path);
// Shows a file in its folder: the file manager first, else openFolder on the containing folder.
void showInFolder(const std::string& path, const std::function<bool(const QUrl&)>& openFolder,
                  QDBusConnection bus = QDBusConnection::sessionBus());
