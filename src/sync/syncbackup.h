// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <string>

// A verified copy of the catalogue taken before a merge changes it, kept apart from the daily
// backups. Returns the copy's path; raises std::runtime_error with the reason when none could be made.
std::string backupBeforeSync(const std::string& dbPath);
