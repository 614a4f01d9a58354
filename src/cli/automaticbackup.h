// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "cli/cliapp.h"

#include <string>

// The automatic backups as the command line meets them: it follows the program's settings file and
// backs the catalogue up before the commands that may replace or flood it, as the window does.

// A backup of the catalogue before the command; a failure is told on stderr and the command goes on.
// Rotation spares `spare` (a backup about to be restored).
void backUpBefore(Invocation& run, const std::string& reason, const std::string& spare = {});
// The file a restore operand names: a file of that path, else the automatic backup of that name.
std::string backupFileOf(Invocation& run, const std::string& operand);
