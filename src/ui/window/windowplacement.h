// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QRect>

#include <string>

class QHeaderView;
class QMainWindow;
class QSplitter;

// The main window's size, place, splitter and list columns, and whether the list sorts by its
// headers, kept in our state file (never the settings file), so the next start opens as the user
// left it, and always on the screen it opens on.
class WindowPlacement {
public:
    WindowPlacement(QMainWindow& window, QSplitter& splitter, QHeaderView& columns, std::string iniPath);

    // What was stored, else the window's present geometry, fitted to the screen.
    void restore();
    // Silently keeps the last stored place when the settings file cannot be written.
    void save() const;

    // Off until the user turns it on; remembered at once, silently kept off when it cannot be.
    bool sortsByHeaders() const;
    void rememberSortsByHeaders(bool on) const;

    // The rectangle moved, then shrunk, as little as needed to lie within the area.
    static QRect fitted(const QRect& wanted, const QRect& area);

private:
    QMainWindow& window;
    QSplitter& splitter;
    QHeaderView& columns;
    std::string iniPath;
};
