// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "backup/automaticbackups.h"

#include <string>

// The automatic backups' section of our options file (optionsFilePath): "enabled", "folder" and
// "keep" (the daily backups kept). The designed settings file is never written here.
inline constexpr const char* backupSettingsSection = "AutomaticBackups";
inline constexpr int fewestKeptDaily = 1;
inline constexpr int mostKeptDaily = 99;

// The settings as the file holds them; a missing or unreadable value takes its default.
autobackup::Settings loadBackupSettings(const std::string& iniPath);
// Throws std::runtime_error("Unable to write to <path>") like the other settings.
void saveBackupSettings(const autobackup::Settings& settings, const std::string& iniPath);
// Reads the settings file and makes every backup of this process follow it.
void applyBackupSettings(const std::string& iniPath);
