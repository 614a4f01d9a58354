// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <string>

// Earlier releases kept the window's place, the file dialogs' folders, the content index's and the
// automatic backups' settings in sections of the settings file. They belong in our own files
// (windowStateFilePath, optionsFilePath); each such section found in the settings file is copied
// there and then removed from it, so it moves once. A file that cannot be written leaves the
// section where it was, for the next start.
void moveOwnSectionsOut(const std::string& iniPath);
