// SPDX-License-Identifier: GPL-3.0-or-later
#include "shell/paths.h"

#include "base/files.h"

#include <QCoreApplication>
#include <QDir>
#include <QStandardPaths>

#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <system_error>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

constexpr const char* appFolder = "Varnelo";
constexpr const char* databaseFileName = "FavoritesDB.db";

std::string folderOf(const std::string& path)
{
    const std::size_t slash = path.find_last_of('/');
    if (slash == std::string::npos)
        return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

}  // namespace

std::string executablePath()
{
    if (QCoreApplication::instance())
        return QCoreApplication::applicationFilePath().toStdString();
    std::error_code error;
    const fs::path self = fs::read_symlink("/proc/self/exe", error);
    return error ? std::string() : self.string();
}

std::string settingsFilePath()
{
    return settingsFilePathFor(executablePath());
}

std::string settingsFilePathFor(const std::string& executable)
{
    const std::string beside = replaceExtension(executable, ".INI");
    if (folderTakesFiles(folderOf(beside)))
        return beside;
    const QString config = QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation);
    if (config.isEmpty())
        return beside;
    const QString folder = config + QLatin1Char('/') + QLatin1String(appFolder);
    QDir().mkpath(folder);
    const std::string name = beside.substr(beside.find_last_of('/') + 1);
    return folder.toStdString() + "/" + name;
}

namespace {

std::string fileInFolder(const QString& base, const char* name)
{
    if (base.isEmpty())
        return {};
    const QString folder = base + QLatin1Char('/') + QLatin1String(appFolder);
    QDir().mkpath(folder);
    return folder.toStdString() + "/" + name;
}

}  // namespace

std::string windowStateFilePath()
{
    // Qt 6.4 knows no state location; the XDG rule: an absolute XDG_STATE_HOME, else ~/.local/state.
    QString state = qEnvironmentVariable("XDG_STATE_HOME");
    if (!QDir::isAbsolutePath(state))
        state = QDir::homePath() + QStringLiteral("/.local/state");
    return fileInFolder(state, "window.ini");
}

std::string optionsFilePath()
{
    return fileInFolder(QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation), "options.ini");
}

std::string databaseFilePath()
{
    const QString data = QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation);
    if (data.isEmpty())
        return {};
    // Only a data folder that cannot be had is a missing path; a "Varnelo" folder that cannot be made
    // shows up as a catalogue that cannot be opened, with SQLite's reason, while the window is up.
    if (!QDir().mkpath(data))
        return {};
    const QString folder = data + QLatin1Char('/') + QLatin1String(appFolder);
    QDir().mkpath(folder);
    return folder.toStdString() + "/" + databaseFileName;
}

std::string cacheFolderPath()
{
    const QString cache = QStandardPaths::writableLocation(QStandardPaths::GenericCacheLocation);
    return cache.isEmpty() ? std::string() : (cache + QLatin1Char('/') + QLatin1String(appFolder)).toStdString();
}

bool folderTakesFiles(const std::string& folder)
{
    std::string probe = folder + "/.varnelo-probe-XXXXXX";
    const int fd = ::mkstemp(probe.data());
    if (fd < 0)
        return false;
    ::close(fd);
    ::unlink(probe.c_str());
    return true;
}
