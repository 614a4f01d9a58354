// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <string>

// The running executable's full path.
std::string executablePath();

// The settings file for the running executable (see settingsFilePathFor).
std::string settingsFilePath();
// The executable's path with its extension replaced by ".INI" (or ".INI" appended); when the
// executable's folder takes no files, the same file name under the user's config folder
// "Varnelo", which is created.
std::string settingsFilePathFor(const std::string& executable);

// Files of our own beside the designed settings file, which holds only the designed keys:
// $XDG_STATE_HOME/Varnelo/window.ini (default ~/.local/state) keeps what the window remembers by
// itself (its place, widths, the list's sorting, the file dialogs' folders); the config folder's
// Varnelo/options.ini keeps the settings of the capabilities (content index, automatic backups).
// Their folders are created.
std::string windowStateFilePath();
std::string optionsFilePath();

// <data folder>/Varnelo/FavoritesDB.db with its folders created; "" when they cannot be had.
std::string databaseFilePath();

// <cache folder>/Varnelo, for files the program can always make again; "" when there is none.
std::string cacheFolderPath();

// Whether a file can be created in the folder: tried, since permission bits alone do not
// tell (read-only mounts, administrators).
bool folderTakesFiles(const std::string& folder);
