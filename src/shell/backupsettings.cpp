// SPDX-License-Identifier: GPL-3.0-or-later
#include "shell/backupsettings.h"

#include "shell/appsettings.h"

#include <algorithm>
#include <stdexcept>

autobackup::Settings loadBackupSettings(const std::string& iniPath)
{
    autobackup::Settings settings;
    settings.enabled = readIniFlag(iniPath, backupSettingsSection, "enabled", settings.enabled);
    settings.folder = readIniText(iniPath, backupSettingsSection, "folder");
    int keep = 0;
    if (const std::string text = readIniText(iniPath, backupSettingsSection, "keep"); parseProfileInt(text, keep))
        settings.keepDaily = std::clamp(keep, fewestKeptDaily, mostKeptDaily);
    return settings;
}

void saveBackupSettings(const autobackup::Settings& settings, const std::string& iniPath)
{
    // A line break would end the value and start a line of its own in the file.
    if (settings.folder.find_first_of("\r\n") != std::string::npos)
        throw std::runtime_error("The backup folder's name cannot hold a line break.");
    writeIniTexts(iniPath, backupSettingsSection,
                  {{"enabled", settings.enabled ? "1" : "0"},
                   {"folder", settings.folder},
                   {"keep", std::to_string(std::clamp(settings.keepDaily, fewestKeptDaily, mostKeptDaily))}});
}

void applyBackupSettings(const std::string& iniPath)
{
    autobackup::configure(loadBackupSettings(iniPath));
}
