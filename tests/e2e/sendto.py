# SPDX-License-Identifier: GPL-3.0-or-later
""""Send to Varnelo": a varnelo: address on the command line, as a browser hands it over through
the desktop entry, reaches the running instance and opens its item dialog filled in; nothing is
stored before OK, and a request the program refuses says so."""

import pyatspi

import a11y
from catalogue import WEBSITES_GUID, sqlite
from harness import check, waitUntil
from views import (
    categoryTree, clickNode, exitThroughMenu, itemList, mainWindows, messageBox, answer, shoot, startProgram,
    tableCell, tableRows, waitCatalogue)

SENT_URL = "https://example.org/news?id=7&lang=en"
SENT = "varnelo:add?url=https%3A%2F%2Fexample.org%2Fnews%3Fid%3D7%26lang%3Den&title=Example%20%2Ftray%20News"


def fieldText(dialog, label):
    return a11y.text(a11y.waitFind(dialog, "text", label))


def sendToVarnelo(session):
    session.writeSettings(autorun=False, closetray=False, minitray=False, autohide=False, always=False)
    program, window, app = startProgram(session)
    waitCatalogue(session)
    clickNode(session, tableCell(categoryTree(app), "Favorite websites"))

    # a second start hands the request over and ends; the title's "/tray" hides nothing
    sender = session.launch(SENT)
    check(sender.waitExit(20) == 0, f"the sending start ended with exit code {sender.process.returncode}")
    dialog = a11y.waitWindow(app, "New Web Address")
    check(fieldText(dialog, "Source:") == SENT_URL, f"the dialog offers {fieldText(dialog, 'Source:')!r}")
    check(fieldText(dialog, "Tiltle:") == "Example /tray News",
          f"the dialog's title is {fieldText(dialog, 'Tiltle:')!r}")
    check(mainWindows(session, program, True) == [window], "the main window is not shown")
    check(sqlite(session.dbPath, "select count(*) as n from link_table") == [{"n": 0}],
          "something was stored before OK")
    shoot(session, window, "prefilled-dialog")
    a11y.press(dialog, "push button", "OK")
    a11y.waitWindowGone(app, "New Web Address")
    waitUntil(lambda: tableRows(itemList(app)) == ["Example /tray News"], "the sent address in the list")
    stored = sqlite(session.dbPath, "select name, target, category, type from link_table")
    check(stored == [{"name": "Example /tray News", "target": SENT_URL, "category": WEBSITES_GUID, "type": 1}],
          f"the sent address is stored as {stored}")

    # anything but an add of a web address is refused with a message, and stores nothing
    refused = session.launch("varnelo:add?url=%2Fetc%2Fpasswd")
    check(refused.waitExit(20) == 0, "the refused start did not end")
    box, texts = messageBox(app, "Varnelo")
    check(any("is not a web address" in text for text in texts), f"the refusal reads {texts}")
    answer(app, box)
    check(sqlite(session.dbPath, "select count(*) as n from link_table") == [{"n": 1}], "a refused request stored")
    exitThroughMenu(session, program, app)


def liveWindow(session):
    """The command line adds an item while the window shows its category: it appears in the list
    within two seconds, and the selected row stays selected."""
    program, window, app = startProgram(session)
    waitCatalogue(session)
    tree, items = categoryTree(app), itemList(app)
    clickNode(session, tableCell(tree, "Favorite websites"))
    cli = session.launchCli("add", "--title", "first", "https://first.example/")
    check(cli.waitExit(20) == 0, "varnelo-cli add failed: " + cli.log())
    waitUntil(lambda: tableRows(items) == ["first"], "the first added row", 2.5)
    clickNode(session, tableCell(items, "first"))
    cli = session.launchCli("add", "--title", "second", "https://second.example/")
    check(cli.waitExit(20) == 0, "varnelo-cli add failed: " + cli.log())
    waitUntil(lambda: tableRows(items) == ["first", "second"], "the second row to appear", 2.5)
    waitUntil(lambda: a11y.hasState(tableCell(items, "first"), pyatspi.STATE_SELECTED), "the first row to stay selected", 2.0)
    exitThroughMenu(session, program, app)


SCENARIOS = {
    "send_to_varnelo": sendToVarnelo,
    "live_window": liveWindow,
}
