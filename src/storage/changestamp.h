// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "storage/cppsqlite3.h"

#include <optional>
#include <string>

// What tells cheaply whether a database file was written since a moment noted before, by any
// connection or program: SQLite's change counter in the file's header, which every commit moves in the
// rollback-journal mode the catalogue keeps, with the file's identity, size and modification time,
// which a copy put over the file moves. Equal stamps mean the same contents; a copy of the database's
// rows that noted the stamp (the search index) need not compare them again.
//
// nullopt when nothing can be told: a file in WAL mode (whose header keeps its counter), or one that
// cannot be read. Call it inside a transaction that has read from `schema`: its lock keeps every commit
// out between what is read here and what the transaction reads.
std::optional<std::string> changeStamp(CppSQLite3DB& db, const char* schema = "main");
