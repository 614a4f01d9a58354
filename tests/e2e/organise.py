# SPDX-License-Identifier: GPL-3.0-or-later
"""Organising by hand: a category dragged with the mouse onto another one, then Ctrl+Z; the tree
is read through the accessibility tree, the tables by the sqlite3 shell."""

import time

from catalogue import BUILT_IN_CATEGORIES, categoryRows, sqlite
from harness import check, waitUntil
from views import (categoryTree, centre, exitThroughMenu, menuEntries, seedCatalogue, shoot, startProgram,
                   tableCell, tableRows)

MEDIA_GUID = BUILT_IN_CATEGORIES[2][0]
OFFICE_GUID = BUILT_IN_CATEGORIES[1][0]
TOP = ["General files", "Office documents", "Media files", "Favorite websites"]


def links(path):
    return sqlite(path, "select * from link_table order by itemorder")


def dragWithMouse(session, source, target):
    """Presses on the source node, moves in steps (a drag starts past the platform's distance) and
    lets go on the target, as a hand on the mouse does."""
    (x0, y0), (x1, y1) = centre(source), centre(target)
    session.movePointer(x0, y0)
    session.xdotool("mousedown", 1)
    steps = 12
    for step in range(1, steps + 1):
        session.xdotool("mousemove", x0 + (x1 - x0) * step // steps, y0 + (y1 - y0) * step // steps)
        time.sleep(0.05)
    time.sleep(0.3)
    session.xdotool("mouseup", 1)


def organiseUndo(session):
    """"Media files" dragged onto "Office documents" lands under it in one write of its row; Ctrl+Z
    puts the tree and both tables back as they were, itemorder included."""
    seedCatalogue(session, [("7d0c6a53-5b39-4a8e-9c59-0c2f1e1d2a10", "Holiday film", "/tmp/holiday.mkv",
                             MEDIA_GUID, 0)])
    program, window, app = startProgram(session)
    tree = categoryTree(app)
    waitUntil(lambda: tableRows(tree) == TOP, "the built-in categories in the tree")
    categoriesBefore, linksBefore = categoryRows(session.dbPath), links(session.dbPath)

    dragWithMouse(session, tableCell(tree, "Media files"), tableCell(tree, "Office documents"))
    waitUntil(lambda: sqlite(session.dbPath, f"select level,parent_guid from category_table where guid='{MEDIA_GUID}'")
              == [{"level": 1, "parent_guid": OFFICE_GUID}], "Media files stored under Office documents")
    # The moved category stays selected, so its new parent opens to show it.
    moved = ["General files", "Office documents", "Media files", "Word documents", "Excel documents",
             "Favorite websites"]
    waitUntil(lambda: tableRows(tree) == moved, "Media files under Office documents in the tree")
    check(links(session.dbPath) == linksBefore, "the move changed the items")
    check(menuEntries(app, "Edit")[0] == 'Undo Move Category "Media files"',
          f"the Edit menu offers {menuEntries(app, 'Edit')}")
    shoot(session, window, "moved")

    session.xdotool("key", "--window", window, "ctrl+z")
    undone = ["General files", "Office documents", "Word documents", "Excel documents", "Media files",
              "Favorite websites"]
    waitUntil(lambda: tableRows(tree) == undone, "Media files back at the top after Ctrl+Z")
    check(categoryRows(session.dbPath) == categoriesBefore, "the categories after the undo differ from before")
    check(links(session.dbPath) == linksBefore, "the items after the undo differ from before")
    check(menuEntries(app, "Edit")[:2] == ["Undo", 'Redo Move Category "Media files"'],
          f"after the undo the Edit menu offers {menuEntries(app, 'Edit')}")
    exitThroughMenu(session, program, app)


SCENARIOS = {"organise_undo": organiseUndo}
