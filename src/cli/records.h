// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "cli/categorypath.h"
#include "cli/output.h"
#include "model/clinkitem.h"

// The records the subcommands print, the same fields in text and JSON.
// "category", GUID, path.
Record categoryRecord(const CategoryIndex& index, const CCategory& category);
// "web" or "file", GUID, title, target, description, and the category's path.
Record itemRecord(const CategoryIndex& index, const CLinkItem& item);
