// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "cli/cliapp.h"
#include "content/contentindexer.h"

// The content index as the command line meets it: the run's catalogue, the index beside the quick find
// index in the cache folder, the kept pages in the data folder, the window's content settings.
// Throws Failure when there is no cache folder to keep an index in.
content::IndexerSetup contentSetup(Invocation& run);
