// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

struct sqlite3;

namespace content {

// Registers the FTS5 tokenizer "folded" on the connection: it wraps another tokenizer (named by its
// arguments, e.g. "folded unicode61 remove_diacritics 2") and folds each token further, in every
// script: decomposed, its combining marks dropped, case-folded by ICU. unicode61 alone leaves the
// accents of Greek and other scripts, so "κειμενα" would miss "κείμενα". The offsets stay the wrapped
// tokenizer's, so snippets mark the words as written. False when FTS5 is not there.
bool registerFoldingTokenizer(sqlite3* db);

}  // namespace content
