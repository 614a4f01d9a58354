# SPDX-License-Identifier: GPL-3.0-or-later
"""The program as seen from outside: its windows, tray icon, dialogs and controls, found through
X, xdotool and the accessibility tree, and the small gestures the scenarios repeat."""

import os
import time

import pyatspi

import a11y
from catalogue import BUILT_IN_CATEGORIES, categoryRows, seedDatabase
from harness import ScenarioFailure, check, waitUntil

CAPTION = "Varnelo"
ICONIC = 3  # the ICCCM state of a minimized window

SETTINGS_CAPTIONS = {
    "autorun": "Autorun when windows startup",
    "closetray": "Minimize to notify tray area when click \"close\" button",
    "minitray": "Minimize to notify tray area when click \"Minimize\" button",
    "autohide": "Hide main window when application start",
    "always": "Always show notification icon in tray",
}

# Absence can only be observed over time: a window or icon that should not appear is watched
# for this long after the program has finished starting.
QUIET_PERIOD = 2.0


def trayEmbedded(session):
    owner = session.trayWindow()
    if not owner:
        return set()
    toolbar = session.topLevelOf(owner)
    return set(session.x.descendants(toolbar))


def mainWindows(session, program, onlyVisible):
    """The program's windows titled like the main window, leaving out the tray icon."""
    embedded = trayEmbedded(session)
    return [window for window in session.searchWindows(program.pid, f"^{CAPTION}$", onlyVisible)
            if window not in embedded]


def waitMainWindow(session, program, timeout=30.0):
    windows = waitUntil(lambda: mainWindows(session, program, True),
                        "the visible main window \"Varnelo\"", timeout)
    return windows[0]


def waitHidden(session, program, timeout=20.0):
    waitUntil(lambda: not mainWindows(session, program, True), "the main window to be hidden", timeout)


def waitTrayIcon(session, program, timeout=20.0):
    return waitUntil(lambda: session.trayIcons(program.pid), "the tray icon", timeout)[0]


def waitNoTrayIcon(session, program, timeout=20.0):
    waitUntil(lambda: not session.trayIcons(program.pid), "the tray icon to go away", timeout)


def stayQuiet(session, program, what, probe):
    """Fails if probe ever holds during the quiet period; the program must keep running."""
    deadline = time.monotonic() + QUIET_PERIOD
    while time.monotonic() < deadline:
        check(program.running(), f"the program ended while {what} was watched")
        check(not probe(), f"{what} appeared")
        time.sleep(0.1)


def waitCatalogue(session, timeout=30.0):
    """The database exists and holds its built-in categories: the window has loaded it."""
    def ready():
        if not os.path.exists(session.dbPath):
            return False
        try:
            return len(categoryRows(session.dbPath)) >= len(BUILT_IN_CATEGORIES)
        except ScenarioFailure:
            return False
    waitUntil(ready, f"the catalogue at {session.dbPath}", timeout)


def shoot(session, window, name):
    """Screenshots land in the artifacts folder as <scenario>-<name>.png on every run."""
    return session.screenshot(window, f"{session.name}-{name}")


def dialogWindow(session, program, caption, timeout=20.0):
    """The X window of a dialog of the program, for screenshots."""
    pattern = "^" + caption.replace(".", "\\.").replace("(", "\\(").replace(")", "\\)") + "$"
    return waitUntil(lambda: session.searchWindows(program.pid, pattern, True),
                     f"the window of {caption!r}", timeout)[0]


def smallestWindow(session, program, caption):
    """Of the shown windows with this title (a message box shares the main window's), the smallest."""
    windows = waitUntil(lambda: [w for w in session.searchWindows(program.pid, f"^{caption}$", True)
                                 if w not in trayEmbedded(session)], f"a window titled {caption!r}")
    return min(windows, key=lambda w: session.windowGeometry(w)[2] * session.windowGeometry(w)[3])


def exitThroughMenu(session, program, app):
    a11y.pressMenu(app, "File", "Exit")
    code = program.waitExit(20)
    check(code == 0, f"File > Exit ended the program with exit code {code}, expected 0")
    check(not session.runningPrograms(), "a copy of the program still runs after File > Exit")


def menuEntries(app, menu):
    """The entries of a main-menu menu in order, separators left out."""
    popup = next((n for n in a11y.children(a11y.menuItem(app, menu)) if a11y.roleName(n) == "popup menu"), None)
    check(popup is not None, f"menu {menu} has no entries")
    return [a11y.nameOf(n) for n in a11y.children(popup) if a11y.roleName(n) == "menu item"]


def openTrayMenu(session, program):
    icon = waitTrayIcon(session, program)
    x, y, width, height = session.windowGeometry(icon)
    session.clickAt(x + width // 2, y + height // 2, button=3)


def exitThroughTray(session, program):
    openTrayMenu(session, program)
    # Show Window, Settings..., Online Help, About, Exit: separators are skipped by the keys
    choosePopupEntry(session, program, 5, "Exit")
    code = program.waitExit(20)
    check(code == 0, f"the tray's Exit ended the program with exit code {code}, expected 0")
    check(not session.runningPrograms(), "a copy of the program still runs after the tray's Exit")


def messageBox(app, caption, timeout=20.0):
    """A shown message box with this caption and its texts."""

    def probe():
        for window in a11y.children(app):
            if a11y.nameOf(window) == caption and a11y.showing(window) \
                    and a11y.roleName(window) in ("alert", "dialog"):
                return window
        return None
    box = waitUntil(probe, f"a message box captioned {caption!r}", timeout, interval=0.2)
    texts = [a11y.text(node) for node in a11y.walk(box) if a11y.roleName(node) == "label"]
    return box, [t for t in texts if t]


def messageBoxReading(app, text, timeout=20.0):
    """A shown message box whose text is this, whatever its caption."""
    def probe():
        for window in a11y.children(app):
            if a11y.roleName(window) in ("alert", "dialog") and a11y.showing(window) and any(
                    a11y.roleName(node) == "label" and a11y.text(node) == text for node in a11y.walk(window)):
                return window
        return None
    return waitUntil(probe, f"a message box reading {text!r}", timeout, interval=0.2)


def answer(app, box, button="OK"):
    a11y.press(box, "push button", button)
    waitUntil(lambda: not a11y.showing(box), "the message box to close", 20.0, interval=0.2)


def mainFrame(app):
    return a11y.waitWindow(app, CAPTION)


def tableRows(table, column=0):
    """The texts of one column of the rows an accessible table shows, in order."""
    try:
        grid = table.queryTable()
    except NotImplementedError:
        raise ScenarioFailure("the control offers no table view to read its rows")
    rows = []
    for row in range(grid.nRows):
        cell = grid.getAccessibleAt(row, column)
        rows.append(cell.name if cell is not None else None)
    return rows


def tableCell(table, text, column=0):
    grid = table.queryTable()
    for row in range(grid.nRows):
        cell = grid.getAccessibleAt(row, column)
        if cell is not None and cell.name == text:
            return cell
    return None


def centre(node):
    extents = node.queryComponent().getExtents(pyatspi.DESKTOP_COORDS)
    check(extents.width > 0 and extents.height > 0, f"{node.name!r} has no place on screen")
    return extents.x + extents.width // 2, extents.y + extents.height // 2


def clickNode(session, node, button=1, repeat=1):
    x, y = centre(node)
    session.clickAt(x, y, button, repeat)


def selectByClick(session, tree, name, what="", timeout=20.0):
    """Clicks the row until it is the selected one: a dialog the window manager is still placing can
    take a click meant for one row on the row beside it."""
    def selected():
        if not a11y.hasState(tableCell(tree, name), pyatspi.STATE_SELECTED):
            clickNode(session, tableCell(tree, name))
        return a11y.hasState(tableCell(tree, name), pyatspi.STATE_SELECTED)
    waitUntil(selected, f"{name!r} to be selected{what}", timeout, interval=0.5)


def categoryTree(app):
    return a11y.waitFind(mainFrame(app), None, "Categories")


def itemList(app):
    return a11y.waitFind(mainFrame(app), None, "Items")


def popupWindows(session, program):
    """Shown popup menus of the program (override-redirect windows the window manager leaves alone)."""
    return [window for window in session.searchWindows(program.pid, None, True)
            if session.x.isOverrideRedirect(window) and window not in trayEmbedded(session)]


def choosePopupEntry(session, program, position, caption):
    """Picks the entry at this position (1 = first) of the popup menu that just opened, with the
    keyboard: popup menus are windows of their own that the accessibility tree does not list."""
    waitUntil(lambda: popupWindows(session, program), f"the popup menu holding {caption!r}", 10.0)
    for _ in range(position):
        session.xdotool("key", "Down")
    session.xdotool("key", "Return")


def startProgram(session, *args):
    program = session.launch(*args)
    window = waitMainWindow(session, program)
    app = a11y.application(program.pid)
    return program, window, app


def fillFileDialog(session, app, caption, path, acceptButton, label="File name:"):
    """Types the path into Qt's own file dialog ("Directory:" is the field of a folder dialog)."""
    dialog = a11y.waitWindow(app, caption)
    field = waitUntil(lambda: next((n for n in a11y.walk(dialog) if a11y.roleName(n) == "text"
                                    and a11y.nameOf(n) == label), None),
                      f"the field {label!r}", 20.0, interval=0.2)
    a11y.setText(field, path)
    waitUntil(lambda: a11y.text(field) == path, "the file name to be typed", 10.0)
    a11y.press(dialog, "push button", acceptButton)
    a11y.waitWindowGone(app, caption)


def openSettings(app):
    a11y.pressMenu(app, "Tools", "Settings")
    return a11y.waitWindow(app, "Settings")


def settingsBoxes(dialog):
    boxes = {}
    for key, caption in SETTINGS_CAPTIONS.items():
        boxes[key] = a11y.waitFind(dialog, "check box", caption)
    return boxes


def checked(node):
    return a11y.hasState(node, pyatspi.STATE_CHECKED)


def addCategory(session, program, app, name):
    """Add Category from the tree's own popup menu (a right click below the nodes)."""
    tree = categoryTree(app)
    extents = tree.queryComponent().getExtents(pyatspi.DESKTOP_COORDS)
    session.clickAt(extents.x + extents.width // 2, extents.y + extents.height - 15, button=3)
    choosePopupEntry(session, program, 1, "Add Category")
    dialog = a11y.waitWindow(app, "New Category")
    field = a11y.waitFind(dialog, "text", "Category Name")
    a11y.setText(field, name)
    a11y.press(dialog, "push button", "OK")
    a11y.waitWindowGone(app, "New Category")


def seedCatalogue(session, items):
    """The catalogue the program will open, with the built-in categories, before its first start."""
    seedDatabase(session.dbPath, BUILT_IN_CATEGORIES, items)


def restoreFrom(session, app, path):
    """File > Restore... with this file; returns the texts of the message that ends it."""
    a11y.pressMenu(app, "File", "Restore...")
    fillFileDialog(session, app, "Choose backup file for restore", path, "Open")
    box, texts = messageBox(app, CAPTION)
    answer(app, box)
    return texts


def categoryMenu(session, program, app, name, position, caption):
    """Selects the category, opens its menu on its row and picks the entry at position."""
    tree = categoryTree(app)
    clickNode(session, tableCell(tree, name))
    waitUntil(lambda: a11y.hasState(tableCell(tree, name), pyatspi.STATE_SELECTED), f"{name!r} to be selected")
    clickNode(session, tableCell(tree, name), button=3)
    choosePopupEntry(session, program, position, caption)


def categoryDialog(app, caption, name):
    dialog = a11y.waitWindow(app, caption)
    field = a11y.waitFind(dialog, "text", "Category Name")
    a11y.setText(field, name)
    a11y.press(dialog, "push button", "OK")
    a11y.waitWindowGone(app, caption)


def fileDialog(app, timeout=20.0):
    """The shown file dialog, whatever its title: the one with a "File name:" field."""
    def probe():
        for window in a11y.children(app):
            if a11y.roleName(window) == "dialog" and a11y.showing(window):
                field = next((n for n in a11y.walk(window) if a11y.roleName(n) == "text"
                              and a11y.nameOf(n) == "File name:"), None)
                if field is not None:
                    return window, field
        return None
    return waitUntil(probe, "a file dialog", timeout, interval=0.2)


def chooseCategory(session, program, app, path, shot=None):
    """In "Select Category", opens the categories along the path and picks the last one; returns
    the rows the chooser showed first."""
    chooser = a11y.waitWindow(app, "Select Category")
    tree = a11y.waitFind(chooser, "tree")
    offered = waitUntil(lambda: tableRows(tree), "the categories of the chooser")
    for index, name in enumerate(path):
        waitUntil(lambda: tableCell(tree, name), f"{name!r} in the chooser")
        selectByClick(session, tree, name, " in the chooser")
        if index < len(path) - 1:
            session.xdotool("key", "Right")
    if shot:
        shoot(session, dialogWindow(session, program, "Select Category"), shot)
    a11y.press(chooser, "push button", "OK")
    a11y.waitWindowGone(app, "Select Category")
    return offered


def expandCategory(session, tree, name, child):
    """Selects a category of the main tree and opens it until its child shows."""
    clickNode(session, tableCell(tree, name))
    waitUntil(lambda: a11y.hasState(tableCell(tree, name), pyatspi.STATE_SELECTED), f"{name!r} to be selected")
    session.xdotool("key", "Right")
    waitUntil(lambda: child in tableRows(tree), f"{child!r} under {name!r} in the tree")


def closingMessage(session, program, app, shot, timeout=30.0):
    """The plain message that ends a command: its texts, after a screenshot and OK."""
    box, texts = messageBox(app, CAPTION, timeout)
    shoot(session, smallestWindow(session, program, CAPTION), shot)
    answer(app, box)
    return texts
