// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QObject>

class QMenu;
class QSystemTrayIcon;
class QWidget;

// The window's life in the notification area: the icon, the three states (shown, hidden in the tray,
// hidden without icon) and the rules of the five settings flags that move between them. Where the
// desktop has no notification area, minimizing and closing act as with their flags off, so the
// window never vanishes with no way back.
class TrayResidence : public QObject {
    Q_OBJECT
public:
    TrayResidence(QWidget& window, QMenu& menu);

    void addIcon();
    void removeIcon();
    bool iconShown() const { return shown; }
    // Visible, in front, and without the icon unless it is always shown.
    void restore();
    // Invisible, with the icon there to come back through.
    void hide();
    // A second start of the program: as a double click on the icon when hidden.
    void wake();

    bool addsIconAtStart() const;
    bool hidesOnMinimize() const;
    bool hidesOnClose(bool exiting) const;
    // The settings dialog ended with OK: the icon appears when it is now always shown.
    void settingsAccepted();

signals:
    void iconDoubleClicked();

private:
    QWidget& window;
    QMenu& menu;
    QSystemTrayIcon* icon = nullptr;
    bool shown = false;
};
