// SPDX-License-Identifier: GPL-3.0-or-later
#include "syncbackup.h"

#include "backup/automaticbackups.h"

std::string backupBeforeSync(const std::string& dbPath)
{
    return autobackup::backupBeforeRiskyCommand(dbPath, "sync");
}
