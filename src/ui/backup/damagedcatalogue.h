// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <string>

// At start, before anything opens the catalogue for writing: when SQLite finds the catalogue
// damaged, the user is offered the newest good automatic backup (or, without one, a new empty
// catalogue); either way the damaged file is kept beside it under "<name>.damaged-<date>". Nothing
// is renamed or written before the user agrees. False when the program should end, the file as it was.
bool offerDamagedCatalogueRecovery(const std::string& dbPath);
