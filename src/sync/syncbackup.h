// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <string>

// The verified backup taken before a merge changes the catalogue (one of the automatic backups).
// Returns its path, "" when the user switched automatic backups off; raises std::runtime_error with
// the reason when none could be made, and the merge then does not happen.
std::string backupBeforeSync(const std::string& dbPath);
