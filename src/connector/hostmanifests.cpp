// SPDX-License-Identifier: GPL-3.0-or-later
#include "connector/hostmanifests.h"

#include "base/files.h"
#include "shell/paths.h"

#include <QDir>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QStandardPaths>

#include <filesystem>
#include <stdexcept>

namespace connector {

namespace {

struct BrowserFolder {
    const char* browser;
    QStandardPaths::StandardLocation base;
    const char* folder;
    bool firefox;
};

// Firefox reads ~/.mozilla whatever XDG_CONFIG_HOME says; the Chromium family reads its profile folder.
const BrowserFolder browserFolders[] = {
    {"Firefox", QStandardPaths::HomeLocation, ".mozilla/native-messaging-hosts", true},
    {"Chromium", QStandardPaths::GenericConfigLocation, "chromium/NativeMessagingHosts", false},
    {"Chrome", QStandardPaths::GenericConfigLocation, "google-chrome/NativeMessagingHosts", false},
    {"Brave", QStandardPaths::GenericConfigLocation, "BraveSoftware/Brave-Browser/NativeMessagingHosts", false},
    {"Vivaldi", QStandardPaths::GenericConfigLocation, "vivaldi/NativeMessagingHosts", false},
};

// A word for sh: in single quotes, each quote of its own written as '\''.
std::string shellWord(const std::string& text)
{
    std::string quoted = "'";
    for (char c : text)
        quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return quoted + "'";
}

std::string launcherScript(const std::string& cli, const std::vector<std::string>& cliArguments)
{
    std::string command = "exec " + shellWord(cli);
    for (const std::string& argument : cliArguments)
        command += " " + shellWord(argument);
    return "#!/bin/sh\n# Started by a web browser for the Varnelo connector; written by varnelo-cli connector "
           "--install.\n"
           + command + " connector -- \"$@\"\n";
}

std::string manifest(const std::string& launcher, bool firefox)
{
    QJsonObject host{{"name", QLatin1String(hostName)},
                     {"description", QStringLiteral("Varnelo: file web pages into the catalogue")},
                     {"path", QString::fromStdString(launcher)},
                     {"type", QStringLiteral("stdio")}};
    if (firefox)
        host.insert(QStringLiteral("allowed_extensions"), QJsonArray{QLatin1String(firefoxExtensionId)});
    else
        host.insert(QStringLiteral("allowed_origins"),
                    QJsonArray{QStringLiteral("chrome-extension://%1/").arg(QLatin1String(chromiumExtensionId))});
    return QJsonDocument(host).toJson(QJsonDocument::Indented).toStdString();
}

void write(const std::string& path, const std::string& contents, unsigned mode)
{
    std::error_code ignored;
    std::filesystem::create_directories(std::filesystem::path(path).parent_path(), ignored);
    // An older file keeps its mode through the replace; a launcher must stay runnable all the same.
    if (!replaceFileContents(path, contents, NewFileMode::UserDocument))
        throw std::runtime_error("Cannot write " + path);
    std::filesystem::permissions(path, std::filesystem::perms(mode), ignored);
}

}  // namespace

std::vector<InstalledManifest> installHostManifests(const std::string& cli,
                                                    const std::vector<std::string>& cliArguments)
{
    const QString data = QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation);
    if (data.isEmpty())
        throw std::runtime_error("Cannot find the folder for the user's data: set HOME or XDG_DATA_HOME.");
    const std::string launcher = (data + QLatin1String("/Varnelo/connector/varnelo-connector")).toStdString();
    write(launcher, launcherScript(cli, cliArguments), 0755);
    std::vector<InstalledManifest> installed;
    for (const BrowserFolder& each : browserFolders) {
        const QString base = QStandardPaths::writableLocation(each.base);
        if (base.isEmpty())
            continue;
        const std::string path =
            QDir(base)
                .filePath(QString::fromLatin1(each.folder) + QLatin1Char('/') + QLatin1String(hostName))
                .toStdString()
            + ".json";
        write(path, manifest(launcher, each.firefox), 0644);
        installed.push_back({each.browser, path});
    }
    return installed;
}

}  // namespace connector
