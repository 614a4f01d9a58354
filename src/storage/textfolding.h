// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <string>
#include <string_view>

class CppSQLite3DB;

// Text as a reader compares it, in every script: each character decomposed, its combining marks
// dropped, case-folded by ICU ("RÉSUMÉ" and "résumé" both give "resume"). Character by character,
// so a piece of a text folds to a piece of the folded text; bytes that are no UTF-8 stay as they are.
std::string foldText(std::string_view text);

// Makes folding available to this connection's statements: the SQL function fold(text) (NULL and
// non-text values unchanged), and the FTS5 tokenizer "folded", which wraps another tokenizer
// (named by its arguments, e.g. "folded unicode61 remove_diacritics 2") and folds each token as
// foldText does. unicode61 alone leaves the accents of Greek and other scripts, so "κειμενα" would
// miss "κείμενα". The offsets stay the wrapped tokenizer's, so snippets mark the words as written.
// False when this SQLite has no FTS5.
bool registerTextFolding(CppSQLite3DB& db);
