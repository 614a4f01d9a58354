# SPDX-License-Identifier: GPL-3.0-or-later
"""Reading and pressing the program's controls through the accessibility tree, as a screen
reader does. Imported only after the session's display and bus exist."""

import pyatspi
from gi.repository import GLib

from harness import ScenarioFailure, waitUntil


def application(pid, timeout=30.0):
    """The accessible application of the process, with caching off so every read is live."""
    def probe():
        desktop = pyatspi.Registry.getDesktop(0)
        for index in range(desktop.childCount):
            app = desktop.getChildAtIndex(index)
            if app is not None and app.get_process_id() == pid:
                app.set_cache_mask(pyatspi.cache.NONE)
                return app
        return None
    return waitUntil(probe, f"the accessible application of process {pid}", timeout)


def roleName(node):
    try:
        return node.getRoleName()
    except Exception:
        return ""


def nameOf(node):
    try:
        return node.name or ""
    except Exception:
        return ""


def hasState(node, state):
    try:
        return node.getState().contains(state)
    except Exception:
        return False


def showing(node):
    return hasState(node, pyatspi.STATE_SHOWING)


def enabled(node):
    return hasState(node, pyatspi.STATE_ENABLED) or hasState(node, pyatspi.STATE_SENSITIVE)


def children(node):
    try:
        count = node.childCount
    except Exception:
        return []
    result = []
    for index in range(count):
        try:
            child = node.getChildAtIndex(index)
        except Exception:
            child = None
        if child is not None:
            result.append(child)
    return result


def walk(node, limit=20000):
    """Breadth first, so the shallowest match wins."""
    queue = [node]
    seen = 0
    while queue and seen < limit:
        current = queue.pop(0)
        seen += 1
        yield current
        queue.extend(children(current))


def matches(node, role=None, name=None, onlyShowing=False):
    if role is not None and roleName(node) != role:
        return False
    if name is not None and nameOf(node) != name:
        return False
    if onlyShowing and not showing(node):
        return False
    return True


def findAll(root, role=None, name=None, onlyShowing=False):
    return [node for node in walk(root) if matches(node, role, name, onlyShowing)]


def find(root, role=None, name=None, onlyShowing=False):
    for node in walk(root):
        if matches(node, role, name, onlyShowing):
            return node
    return None


def waitFind(root, role=None, name=None, onlyShowing=True, timeout=20.0):
    what = f"{role or 'control'} {name!r}" if name is not None else (role or "control")
    return waitUntil(lambda: find(root, role, name, onlyShowing), what, timeout, interval=0.2)


def waitWindow(app, name, timeout=20.0):
    """A shown top-level window (frame or dialog) of the application with this title."""
    def probe():
        for child in children(app):
            if nameOf(child) == name and showing(child):
                return child
        return None
    return waitUntil(probe, f"window {name!r}", timeout, interval=0.2)


def waitWindowGone(app, name, timeout=20.0):
    def probe():
        return not any(nameOf(child) == name and showing(child) for child in children(app))
    waitUntil(probe, f"window {name!r} to close", timeout, interval=0.2)


def actions(node):
    try:
        action = node.queryAction()
    except NotImplementedError:
        return []
    return [action.getName(index) for index in range(action.nActions)]


def _invoke(action, index):
    # short reply timeout for the press only: see below
    pyatspi.setTimeout(1500, 1500)
    try:
        action.doAction(index)
    except GLib.GError as error:
        # An action that opens a modal dialog answers only once the dialog closes; the press
        # itself has been delivered, and the scenario checks its effect.
        if "Did not receive a reply" not in str(error):
            raise
    finally:
        pyatspi.setTimeout(25000, 15000)


def doAction(node, preferred=("Press", "press", "click", "activate", "Toggle", "toggle", "SetFocus")):
    try:
        action = node.queryAction()
    except NotImplementedError:
        raise ScenarioFailure(f"{roleName(node)} {nameOf(node)!r} offers no action")
    names = [action.getName(index) for index in range(action.nActions)]
    for wanted in preferred:
        if wanted in names:
            _invoke(action, names.index(wanted))
            return wanted
    raise ScenarioFailure(f"{roleName(node)} {nameOf(node)!r} has no press action among {names}")


def press(root, role, name, timeout=20.0):
    """Finds a shown, enabled control by role and name and presses it."""
    node = waitUntil(lambda: next((n for n in findAll(root, role, name, True) if enabled(n)), None),
                     f"enabled {role} {name!r}", timeout, interval=0.2)
    doAction(node)
    return node


def menuItem(app, *path):
    """The menu entry at path (for instance "File", "Backup...") under the menu bar."""
    bar = waitFind(app, "menu bar", onlyShowing=True)
    node = bar
    for label in path:
        node = waitUntil(lambda: next((n for n in walk(node, 400)
                                       if n is not node and nameOf(n) == label
                                       and roleName(n) in ("menu", "menu item")), None),
                         f"menu entry {label!r}", 10.0, interval=0.2)
    return node


def pressMenu(app, *path):
    doAction(menuItem(app, *path))


def text(node):
    try:
        textInterface = node.queryText()
        return textInterface.getText(0, -1)
    except NotImplementedError:
        return nameOf(node)


def setText(node, value):
    try:
        editable = node.queryEditableText()
    except NotImplementedError:
        raise ScenarioFailure(f"{roleName(node)} {nameOf(node)!r} is not editable")
    editable.setTextContents(value)
