// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QRect>

class QWidget;

// The rectangle moved, then shrunk, as little as needed to lie within the area.
QRect fittedInto(const QRect& wanted, const QRect& area);

// The part of a screen's available area a window's client area may take: room is kept for its
// frame (a title bar above, borders around), which is not known before the window is first shown.
QRect roomForClient(const QRect& available, const QWidget& window);

// A window of ours opens centred over its owner (the screen's centre without one) and within the
// screen it opens on, shrunk if it must be: at a large scale factor a window wider than the screen
// would otherwise open with a part of it out of reach.
void placeOver(QWidget* window, const QWidget* owner);

// Screen readers hear a top-level window of ours that is no dialog as a window (Qt reports a plain
// widget as a filler).
void reportAsWindow(QWidget* window);
