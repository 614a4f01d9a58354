// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QAbstractItemView>

class QKeyEvent;
class QPainter;
class QStyleOptionViewItem;

// Keyboard use of the main window's tree and list, alike in both.
namespace viewkeyboard {

// Shift+F10 asks for the popup menu of the current row, as the menu key does. True when the key
// was that one.
bool opensPopup(QAbstractItemView& view, const QKeyEvent& event);

// Until a row is selected, the cursor stands on a row only to show where the keys start: the first
// Down or Up selects that row rather than the one past it. True when it did.
bool selectsCursorRow(QAbstractItemView& view, const QKeyEvent& event);

// A dotted frame around the part of the cursor's row that `rect` covers, drawn while the view has
// the focus whatever the style draws. The edges drawn are those of the row, not of each column.
void paintCursor(QPainter& painter, const QAbstractItemView& view, const QModelIndex& index, const QRect& rect);

}  // namespace viewkeyboard
