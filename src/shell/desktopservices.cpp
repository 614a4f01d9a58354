// SPDX-License-Identifier: GPL-3.0-or-later
#include "desktopservices.h"

#include <QCollator>
#include <QDBusMessage>
#include <QDir>
#include <QFile>
#include <QRegularExpression>

// GLib names a struct field "signals", which Qt defines as a keyword.
#pragma push_macro("signals")
#undef signals
#include <gio/gio.h>
#pragma pop_macro("signals")

#include <algorithm>
#include <memory>

namespace {

constexpr int FileManagerTimeoutMs = 3000;

struct GObjectUnref {
    void operator()(gpointer object) const { g_object_unref(object); }
};
using AppInfoPtr = std::unique_ptr<GAppInfo, GObjectUnref>;

struct AppListFree {
    void operator()(GList* list) const { g_list_free_full(list, g_object_unref); }
};
using AppList = std::unique_ptr<GList, AppListFree>;

QString fromUtf8(const char* text)
{
    return text ? QString::fromUtf8(text) : QString();
}

Application describe(GAppInfo* info, bool isDefault)
{
    Application app;
    app.id = fromUtf8(g_app_info_get_id(info));
    app.name = fromUtf8(g_app_info_get_display_name(info));
    GIcon* icon = g_app_info_get_icon(info);
    if (icon && G_IS_THEMED_ICON(icon)) {
        const gchar* const* names = g_themed_icon_get_names(G_THEMED_ICON(icon));
        if (names && names[0])
            app.iconName = QString::fromUtf8(names[0]);
    } else if (icon && G_IS_FILE_ICON(icon)) {
        if (gchar* path = g_file_get_path(g_file_icon_get_file(G_FILE_ICON(icon)))) {
            app.iconName = QFile::decodeName(path);
            g_free(path);
        }
    }
    app.isDefault = isDefault;
    return app;
}

AppInfoPtr findApplication(const QString& appId)
{
    AppList all(g_app_info_get_all());
    for (GList* node = all.get(); node; node = node->next) {
        auto* info = static_cast<GAppInfo*>(node->data);
        if (fromUtf8(g_app_info_get_id(info)) == appId)
            return AppInfoPtr(static_cast<GAppInfo*>(g_object_ref(info)));
    }
    return nullptr;
}

}  // namespace

QString contentTypeForUrl(const QUrl& url)
{
    if (!url.isValid() || url.isEmpty())
        return {};
    if (!url.isLocalFile())
        return QStringLiteral("x-scheme-handler/") + url.scheme().toLower();
    const std::string name = localPathBytes(url);
    gchar* guessed = g_content_type_guess(name.c_str(), nullptr, 0, nullptr);
    const QString type = fromUtf8(guessed);
    g_free(guessed);
    return type;
}

QList<Application> applicationsForType(const QString& contentType)
{
    QList<Application> apps;
    if (contentType.isEmpty())
        return apps;
    const QByteArray type = contentType.toUtf8();
    AppInfoPtr preferred(g_app_info_get_default_for_type(type.constData(), FALSE));
    if (preferred)
        apps.append(describe(preferred.get(), true));
    AppList all(g_app_info_get_all_for_type(type.constData()));
    for (GList* node = all.get(); node; node = node->next) {
        auto* info = static_cast<GAppInfo*>(node->data);
        if (preferred && g_app_info_equal(info, preferred.get()))
            continue;
        apps.append(describe(info, false));
    }
    return apps;
}

QList<Application> allApplications()
{
    QList<Application> apps;
    AppList all(g_app_info_get_all());
    for (GList* node = all.get(); node; node = node->next) {
        auto* info = static_cast<GAppInfo*>(node->data);
        if (g_app_info_should_show(info))
            apps.append(describe(info, false));
    }
    const QCollator byName;
    std::stable_sort(apps.begin(), apps.end(), [&byName](const Application& a, const Application& b) {
        return byName.compare(a.name, b.name) < 0;
    });
    return apps;
}

bool launchApplication(const QString& appId, const QUrl& url, QString* error)
{
    AppInfoPtr info = findApplication(appId);
    if (!info) {
        if (error)
            *error = QStringLiteral("The application \"%1\" is not installed").arg(appId);
        return false;
    }
    const QByteArray uri = url.toEncoded();
    GList uris{const_cast<char*>(uri.constData()), nullptr, nullptr};
    GError* failure = nullptr;
    const bool launched = g_app_info_launch_uris(info.get(), &uris, nullptr, &failure);
    if (!launched && error)
        *error = failure ? fromUtf8(failure->message) : QStringLiteral("The application could not be started");
    if (failure)
        g_error_free(failure);
    return launched;
}

bool showItemsInFileManager(const QUrl& fileUrl, QDBusConnection bus)
{
    if (!bus.isConnected() || !fileUrl.isValid())
        return false;
    QDBusMessage call = QDBusMessage::createMethodCall(
        QStringLiteral("org.freedesktop.FileManager1"), QStringLiteral("/org/freedesktop/FileManager1"),
        QStringLiteral("org.freedesktop.FileManager1"), QStringLiteral("ShowItems"));
    call << QStringList{QString::fromUtf8(fileUrl.toEncoded())} << QString();
    const QDBusMessage reply = bus.call(call, QDBus::Block, FileManagerTimeoutMs);
    return reply.type() == QDBusMessage::ReplyMessage;
}

QUrl containingFolderUrl(const std::string& path)
{
    const QUrl file = targetUrl(path, 0);
    if (!file.isLocalFile())
        return {};
    QByteArray folder = QByteArray::fromStdString(localPathBytes(file));
    while (folder.size() > 1 && folder.endsWith('/'))
        folder.chop(1);
    const qsizetype slash = folder.lastIndexOf('/');
    return fileUrlFromBytes(slash <= 0 ? QByteArray("/") : folder.left(slash));
}

void showInFolder(const std::string& path, const std::function<bool(const QUrl&)>& openFolder, QDBusConnection bus)
{
    const QUrl file = targetUrl(path, 0);
    if (!file.isLocalFile())
        return;
    if (showItemsInFileManager(file, bus))
        return;
    openFolder(containingFolderUrl(path));
}
