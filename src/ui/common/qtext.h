// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>

#include <string>

// Catalogue texts are bytes (UTF-8 when they came from this program, anything when they came from
// elsewhere); the widgets show them as QString. These are the one crossing between the two.

QString toQ(const std::string& text);
std::string fromQ(const QString& text);

// What to store for a field the user may have edited: its stored bytes when the shown text is still
// the one they made, so that bytes that are not UTF-8 (shown as U+FFFD) survive an edit of another
// field; the typed text otherwise.
std::string keptOrEdited(const QString& shown, const std::string& stored);
