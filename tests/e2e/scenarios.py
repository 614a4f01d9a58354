# SPDX-License-Identifier: GPL-3.0-or-later
"""The scenarios: each takes a started Session (display, window manager, bus) and drives the
program as a person and a screen reader would. A scenario fails by raising ScenarioFailure."""

import calendar
import os
import signal
import time
import urllib.parse
import zlib

import pyatspi

import a11y
import browserconnector
import bulkcommands
import organise
import sendto
import syncscenarios
from catalogue import (
    CREATION_STATEMENTS, LOOKUP_INDEXES, WEBSITES_GUID, BUILT_IN_CATEGORIES, TOP_LEVEL, UNDER_OFFICE,
    BACKUP_MAGIC, CRC_LIMIT, sqlite, userTables, categoryRows, storedStatement, readIni, desktopEntry,
    execArguments, parseBackup, fileBytes, seedDatabase, writeBackup, loggedCalls)
from harness import check, waitUntil
from views import (
    CAPTION, ICONIC, mainWindows, waitMainWindow, waitHidden, waitTrayIcon, waitNoTrayIcon, stayQuiet,
    waitCatalogue, shoot, dialogWindow, smallestWindow, exitThroughMenu, menuEntries, openTrayMenu,
    exitThroughTray, messageBox, messageBoxReading, answer, mainFrame, tableRows, tableCell, clickNode,
    categoryTree, itemList, choosePopupEntry, startProgram, fillFileDialog, openSettings, settingsBoxes,
    checked, addCategory, seedCatalogue, restoreFrom, categoryMenu, categoryDialog, fileDialog, selectByClick)

TOOLBAR_HINTS = ["Create backup  for current database", "Restore database from saved backup file.",
                 "Search items with special keyword.", "Application settings", "Show help",
                 "Show about information", "Close and exit the application"]

# the menu entry the package installs
MENU_ENTRY = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "resources",
                          "app.varnelo.Varnelo.desktop")

MAIN_MENU = {"File": ["Backup...", "Restore...", "Restore Automatic Backup...", "Exit"],
             "Edit": ["Undo", "Redo", "Restore Automatic Backup...", "Search", "Add Category", "Add File(s)...",
                      "Add Web Address (URL)...", "Add Folder..."],
             "View": ["Sort by Column Headers"],
             "Tools": ["Import from IE Favorites...", "Import Bookmarks File...", "Import from Browser...",
                       "Export Bookmarks File...", "Check Catalogue...", "Settings", "Backup Settings...", "Sync Settings...",
                       "Sync Now", "Content Settings..."], "Help": ["Online Help ", "About"]}


def firstStart(session):
    """A fresh home: the window appears and the database holds the schema and the built-ins."""
    check(not os.path.exists(session.dataFolder), "the data folder exists before the first start")
    program, window, app = startProgram(session)
    waitCatalogue(session)

    # the desktop finds the menu entry of a running window by its class
    windowClass = session.x.wmClass(window)
    wanted = desktopEntry(MENU_ENTRY).get("StartupWMClass")
    check(windowClass is not None and windowClass[1] == wanted,
          f"the window's WM_CLASS is {windowClass}, the menu entry's StartupWMClass {wanted!r}")

    tables = userTables(session.dbPath)
    expected = [(name, storedStatement(statement, name)) for name, statement in CREATION_STATEMENTS]
    actual = [(row["name"], row["sql"]) for row in tables]
    check(actual == expected, f"tables differ from the three creation statements:\n{actual}\n!=\n{expected}")
    indexes = sqlite(session.dbPath, "select name, tbl_name from sqlite_master where type='index' "
                                     "and name not like 'sqlite_autoindex_%' order by name")
    check([(i["name"], i["tbl_name"]) for i in indexes] == LOOKUP_INDEXES,
          f"the lookup indexes are {indexes}")
    rows = categoryRows(session.dbPath)
    check(rows == BUILT_IN_CATEGORIES, f"built-in categories differ:\n{rows}")
    items = sqlite(session.dbPath, "select count(*) as n from link_table")
    check(items == [{"n": 0}], f"a new catalogue holds items: {items}")

    frame = mainFrame(app)
    toolbar = a11y.waitFind(frame, "tool bar")
    hints = [a11y.nameOf(n) for n in a11y.children(toolbar) if a11y.roleName(n) == "push button"]
    check(hints == TOOLBAR_HINTS, f"the toolbar's buttons read {hints}")
    for menu, entries in MAIN_MENU.items():
        shown = menuEntries(app, menu)
        check(shown == entries, f"menu {menu} reads {shown}, expected {entries}")

    # with no settings file, "always" is on: the icon is there from the start
    waitTrayIcon(session, program)
    shoot(session, window, "main-window")

    # the about box: a borderless picture that a click closes
    a11y.pressMenu(app, "Help", "About")
    about = a11y.waitWindow(app, "About")
    product = [a11y.nameOf(n) for n in a11y.walk(about) if a11y.roleName(n) == "label"]
    check("Varnelo" in product and "Version 1.1" in product, f"the about box reads {product}")
    aboutWindow = dialogWindow(session, program, "About")
    shoot(session, aboutWindow, "about-box")
    x, y, width, height = session.windowGeometry(aboutWindow)
    session.clickAt(x + width // 2, y + height - 60)
    a11y.waitWindowGone(app, "About")
    exitThroughTray(session, program)


def trayStart(session):
    """"/tray" with every tray flag off: no window, no icon, and only a second start wakes it."""
    session.writeSettings(autorun=False, closetray=False, minitray=False, autohide=False, always=False)
    first = session.launch("/tray")
    waitCatalogue(session)
    a11y.application(first.pid)
    stayQuiet(session, first, "a visible main window or a tray icon",
              lambda: mainWindows(session, first, True) or session.trayIcons(first.pid))

    second = session.launch()
    code = second.waitExit(20)
    check(code == 0, f"the second start ended with exit code {code}, expected 0")
    window = waitMainWindow(session, first)
    check(not session.trayIcons(first.pid), "waking the window added a tray icon though \"always\" is off")
    check(session.runningPrograms() == [first.pid],
          f"expected only the first instance to run, found {session.runningPrograms()}")

    # a start with "/tray" while the window is shown also just hands over and leaves it shown
    third = session.launch("/tray")
    code = third.waitExit(20)
    check(code == 0, f"a start with \"/tray\" beside a running instance ended with {code}")
    check(mainWindows(session, first, True) == [window], "the running instance's window was hidden")
    check(session.runningPrograms() == [first.pid], "more than one instance runs")

    # turning "always" on in the settings adds the icon at once; turning it off leaves it
    app = a11y.application(first.pid)
    for wanted in (True, False):
        dialog = openSettings(app)
        box = settingsBoxes(dialog)["always"]
        a11y.doAction(box)
        waitUntil(lambda: checked(box) == wanted, "the box \"Always show notification icon in tray\"", 10.0)
        a11y.press(dialog, "push button", "OK")
        a11y.waitWindowGone(app, "Settings")
        waitTrayIcon(session, first)
    stayQuiet(session, first, "the removal of the tray icon", lambda: not session.trayIcons(first.pid))
    exitThroughMenu(session, first, app)


def autohideTray(session):
    """autohide starts hidden with an icon; a double-click shows the window and, with always off,
    the icon goes away."""
    session.writeSettings(autorun=False, closetray=True, minitray=True, autohide=True, always=False)
    program = session.launch()
    waitCatalogue(session)
    icon = waitTrayIcon(session, program)
    stayQuiet(session, program, "a visible main window", lambda: mainWindows(session, program, True))
    shoot(session, "root", "hidden-in-tray")

    # a single click on the icon does nothing
    x, y, width, height = session.windowGeometry(icon)
    session.clickAt(x + width // 2, y + height // 2)
    stayQuiet(session, program, "a visible main window after a single click",
              lambda: mainWindows(session, program, True))

    session.doubleClickWindow(icon)
    waitMainWindow(session, program)
    waitNoTrayIcon(session, program)
    exitThroughMenu(session, program, a11y.application(program.pid))


def closeToTray(session):
    """The close box with closetray on only hides the window; File > Exit really ends."""
    session.writeSettings(autorun=False, closetray=True, minitray=True, autohide=False, always=False)
    program, window, app = startProgram(session)
    waitCatalogue(session)
    check(not session.trayIcons(program.pid), "a tray icon is shown though no tray flag asks for it")

    session.clickCloseBox(window)
    waitHidden(session, program)
    icon = waitTrayIcon(session, program)
    stayQuiet(session, program, "the end of the program", lambda: False)
    check(session.runningPrograms() == [program.pid], "the program is not running after the close box")

    # back from the tray: with always off the icon goes again
    session.doubleClickWindow(icon)
    window = waitMainWindow(session, program)
    waitNoTrayIcon(session, program)

    # minimize with minitray on hides in the tray as well; "Show Window" brings it back
    session.xdotool("windowminimize", window)
    waitHidden(session, program)
    waitTrayIcon(session, program)
    openTrayMenu(session, program)
    choosePopupEntry(session, program, 1, "Show Window")
    waitMainWindow(session, program)
    waitNoTrayIcon(session, program)
    exitThroughMenu(session, program, app)


def settingsAutorun(session):
    """Checking "Autorun when windows startup" writes the INI and an autostart entry that runs the
    binary with /tray; unchecking removes the entry."""
    check(" " in session.exe, "this scenario runs a copy whose path holds a blank")
    program, window, app = startProgram(session)
    waitCatalogue(session)

    dialog = openSettings(app)
    boxes = settingsBoxes(dialog)
    check(not checked(boxes["autorun"]), "\"Autorun when windows startup\" is checked on a fresh home")
    check(checked(boxes["closetray"]) and checked(boxes["minitray"]) and checked(boxes["always"])
          and not checked(boxes["autohide"]), "the settings dialog does not show the defaults")
    a11y.doAction(boxes["autorun"])
    waitUntil(lambda: checked(boxes["autorun"]), "the autorun box to be checked", 10.0)
    shoot(session, dialogWindow(session, program, "Settings"), "settings-dialog")
    a11y.press(dialog, "push button", "OK")
    a11y.waitWindowGone(app, "Settings")

    waitUntil(lambda: os.path.exists(session.autostartPath), "the autostart entry")
    settings = readIni(session.iniPath).get("settings", {})
    expectedKeys = {"autorun": "1", "closetray": "1", "minitray": "1", "autohide": "0", "always": "1"}
    check(settings == expectedKeys, f"INI section Settings is {settings}, expected {expectedKeys}")
    entry = desktopEntry(session.autostartPath)
    check(entry.get("Type") == "Application", f"autostart Type is {entry.get('Type')!r}")
    check(entry.get("Name") == "Varnelo", f"autostart Name is {entry.get('Name')!r}")
    arguments = execArguments(entry.get("Exec", ""))
    check(arguments == [session.exe, "/tray"],
          f"autostart Exec={entry.get('Exec')!r} does not run {session.exe!r} with /tray")

    # the entry really starts the program: here it is a second start, which wakes us and ends
    started = session.launch(*arguments[1:], exe=arguments[0])
    check(started.waitExit(20) == 0, "the autostart command did not end as a second instance")

    dialog = openSettings(app)
    boxes = settingsBoxes(dialog)
    check(checked(boxes["autorun"]), "the settings dialog forgot autorun")
    a11y.doAction(boxes["autorun"])
    waitUntil(lambda: not checked(boxes["autorun"]), "the autorun box to be cleared", 10.0)
    a11y.press(dialog, "push button", "OK")
    a11y.waitWindowGone(app, "Settings")
    waitUntil(lambda: not os.path.exists(session.autostartPath), "the autostart entry to be removed")
    settings = readIni(session.iniPath).get("settings", {})
    check(settings.get("autorun") == "0", f"INI autorun is {settings.get('autorun')!r} after unchecking")
    exitThroughMenu(session, program, app)


def backupRestore(session):
    """A backup read back by an independent reader, then a restore over a changed catalogue."""
    program, window, app = startProgram(session)
    waitCatalogue(session)
    backups = os.path.join(session.root, "backups")
    os.makedirs(backups)
    chosen = os.path.join(backups, "catalogue")

    a11y.pressMenu(app, "File", "Backup...")
    shoot(session, dialogWindow(session, program, "Choose a file for backup"), "backup-dialog")
    fillFileDialog(session, app, "Choose a file for backup", chosen, "Save")
    box, texts = messageBox(app, CAPTION)
    check("Successfully finish backup!" in texts, f"backup message is {texts}")
    answer(app, box)

    backupPath = chosen + ".mbk"
    check(os.path.exists(backupPath), f"no backup at {backupPath} (the .mbk suffix is added)")
    database = fileBytes(session.dbPath)
    backup = parseBackup(backupPath)
    check(backup["magic"] == BACKUP_MAGIC, f"backup magic is {backup['magic']!r}")
    check(backup["version"] == 1, f"backup version is {backup['version']}")
    check(backup["size"] == len(database), f"size field {backup['size']} != database size {len(database)}")
    check(backup["crcLength"] == min(len(database), CRC_LIMIT), f"CRC length field is {backup['crcLength']}")
    check(backup["crc"] == zlib.crc32(database[:backup["crcLength"]]),
          f"CRC field {backup['crc']:#010x} != zlib's {zlib.crc32(database[:backup['crcLength']]):#010x}")
    check(backup["payload"] == database, "the backup's content differs from the database file")

    addCategory(session, program, app, "Scratch category")
    waitUntil(lambda: "Scratch category" in [r[1] for r in categoryRows(session.dbPath)],
              "the new category in the database")
    waitUntil(lambda: "Scratch category" in tableRows(categoryTree(app)), "the new category in the tree")

    a11y.pressMenu(app, "File", "Restore...")
    fillFileDialog(session, app, "Choose backup file for restore", backupPath, "Open")
    box, texts = messageBox(app, CAPTION)
    # the category added since the backup was in the Undo history, which the restore ends
    check("Successfully finish restoring! Undo and Redo start afresh from the restored catalogue." in texts,
          f"restore message is {texts}")
    answer(app, box)

    check(fileBytes(session.dbPath) == backup["payload"], "the database is not the backed-up one")
    check(os.path.exists(session.stagingPath), f"no staging file {session.stagingPath}")
    check(fileBytes(session.stagingPath) == backup["payload"], "the staging file differs from the backup")
    check(categoryRows(session.dbPath) == BUILT_IN_CATEGORIES, "the restored categories differ")
    waitUntil(lambda: tableRows(categoryTree(app)) == TOP_LEVEL,
              "the tree to show the backed-up categories")

    # a file that is not a backup is refused and changes nothing but the emptied staging file
    before = fileBytes(session.dbPath)
    bogus = os.path.join(backups, "not-a-backup.mbk")
    with open(bogus, "wb") as handle:
        handle.write(b"VaRnElO but not a catalogue backup at all" * 10)
    a11y.pressMenu(app, "File", "Restore...")
    fillFileDialog(session, app, "Choose backup file for restore", bogus, "Open")
    box, texts = messageBox(app, CAPTION)
    refusal = "This is not a valid backup file. \nCan't finish resotre process"
    check(refusal in texts, f"refusal message is {texts}, expected {refusal!r}")
    answer(app, box)
    check(fileBytes(session.dbPath) == before, "a refused restore changed the database")
    check(os.path.getsize(session.stagingPath) == 0, "a refused restore left data in the staging file")
    check(tableRows(categoryTree(app)) == TOP_LEVEL, "a refused restore changed the tree")
    exitThroughMenu(session, program, app)


def brokenDatabase(session):
    """A file that is not a database at the data path: nothing is written before the user answers;
    No ends the program with the file untouched, Yes keeps it aside and starts an empty catalogue."""
    os.makedirs(session.dataFolder)
    junk = b"This is a plain text file, not an SQLite catalogue.\n" * 200
    with open(session.dbPath, "wb") as handle:
        handle.write(junk)
    aside = session.dbPath + ".damaged-" + time.strftime("%Y-%m-%d", time.gmtime())
    for reply in ("No", "Yes"):
        program = session.launch()
        app = a11y.application(program.pid)
        box, texts = messageBox(app, CAPTION, timeout=30)
        check(any("is damaged" in t and "no automatic backup" in t and os.path.basename(aside) in t for t in texts),
              f"the question reads {texts}")
        if reply == "No":
            shoot(session, smallestWindow(session, program, CAPTION), "damaged-question")
        answer(app, box, reply)
        if reply == "No":
            check(program.waitExit(20) == 0, "No did not end the program cleanly")
            check(fileBytes(session.dbPath) == junk, "the damaged file was changed before the answer")
            check(not os.path.exists(aside), "the damaged file was set aside before the answer")
    waitMainWindow(session, program)
    check(fileBytes(aside) == junk, "the damaged file is not kept beside the catalogue")
    waitCatalogue(session)
    waitUntil(lambda: tableRows(categoryTree(app)) == TOP_LEVEL, "the new catalogue's categories in the tree")
    exitThroughMenu(session, program, app)


def automaticBackups(session):
    """A change, a restart, the list shows it, restore it."""
    program, window, app = startProgram(session)
    waitCatalogue(session)
    backups = os.path.join(session.dataFolder, "backups")

    def named(prefix):
        found = os.listdir(backups) if os.path.isdir(backups) else []
        return sorted(n for n in found if n.startswith(prefix) and n.endswith(".mbk"))

    waitUntil(lambda: len(named("daily-")) == 1, "the daily backup made at start")
    addCategory(session, program, app, "Added later")
    waitUntil(lambda: "Added later" in [r[1] for r in categoryRows(session.dbPath)], "the new category stored")
    exitThroughMenu(session, program, app)
    # a day passes: the backup of the first start becomes yesterday's
    first = named("daily-")[0]
    made = calendar.timegm(time.strptime(first[len("daily-"):-len(".mbk")], "%Y-%m-%d_%H-%M-%S"))
    os.rename(os.path.join(backups, first),
              os.path.join(backups, time.strftime("daily-%Y-%m-%d_%H-%M-%S.mbk", time.gmtime(made - 86400))))

    program, window, app = startProgram(session)
    waitUntil(lambda: len(named("daily-")) == 2, "a daily backup of the changed catalogue at the restart")
    addCategory(session, program, app, "After the backup")
    waitUntil(lambda: "After the backup" in [r[1] for r in categoryRows(session.dbPath)], "the second category stored")

    a11y.pressMenu(app, "File", "Restore Automatic Backup...")
    dialog = a11y.waitWindow(app, "Restore Automatic Backup")
    table = a11y.waitFind(dialog, None, "Automatic backups")
    check(tableRows(table, 1) == ["daily", "daily"], f"the kinds listed are {tableRows(table, 1)}")
    check(tableRows(table, 2)[0] == "7", f"the newest backup holds {tableRows(table, 2)[0]} categories, expected 7")
    shoot(session, dialogWindow(session, program, "Restore Automatic Backup"), "restore-dialog")
    a11y.press(dialog, "push button", "Restore")
    # Before anything is replaced, the restore says what the catalogue loses.
    def warning():
        for window in a11y.children(app):
            if a11y.showing(window) and any(a11y.roleName(node) == "label" and "replaces the catalogue" in a11y.text(node)
                                            for node in a11y.walk(window)):
                return window
        return None
    confirm = waitUntil(warning, "the restore's warning", 20.0, interval=0.2)
    texts = [a11y.text(node) for node in a11y.walk(confirm) if a11y.roleName(node) == "label"]
    check(any(t.endswith("it loses the 1 category added since that backup.") for t in texts),
          f"the restore's warning reads {texts}")
    a11y.press(confirm, "push button", "Restore")
    box, texts = messageBox(app, CAPTION)
    # The window's undo history, which the restore clears, may add a sentence of its own.
    check(any(t.startswith("Successfully finish restoring!") for t in texts), f"restore message is {texts}")
    answer(app, box)

    names = [r[1] for r in categoryRows(session.dbPath)]
    check("Added later" in names and "After the backup" not in names, f"the restored categories are {names}")
    waitUntil(lambda: tableRows(categoryTree(app)) == TOP_LEVEL + ["Added later"], "the restored tree")
    check(len(named("before-")) == 1 and named("before-")[0].endswith("-restore.mbk"),
          f"no backup of the catalogue the restore replaced: {os.listdir(backups)}")
    exitThroughMenu(session, program, app)


def accessibleCatalogue(session):
    """The tree read back through the accessibility tree; a web address added through the item
    dialog; the search dialog finding it and selecting it in the main window."""
    program, window, app = startProgram(session)
    waitCatalogue(session)
    tree = categoryTree(app)
    check(tableRows(tree) == TOP_LEVEL, f"top-level categories read {tableRows(tree)}")

    office = tableCell(tree, "Office documents")
    clickNode(session, office)
    session.xdotool("key", "Right")
    expanded = TOP_LEVEL[:2] + UNDER_OFFICE + TOP_LEVEL[2:]
    waitUntil(lambda: tableRows(tree) == expanded, f"the rows {expanded} after expanding \"Office documents\"")

    websites = tableCell(tree, "Favorite websites")
    clickNode(session, websites)
    waitUntil(lambda: a11y.hasState(tableCell(tree, "Favorite websites"), pyatspi.STATE_SELECTED),
              "\"Favorite websites\" to be selected")
    clickNode(session, tableCell(tree, "Favorite websites"), button=3)
    choosePopupEntry(session, program, 3, "Add Web Address (URL)...")
    dialog = a11y.waitWindow(app, "New Web Address")
    title, target = "Debian project home", "https://www.debian.org/"
    a11y.setText(a11y.waitFind(dialog, "text", "Tiltle:"), title)
    a11y.setText(a11y.waitFind(dialog, "text", "Source:"), target)
    a11y.setText(a11y.waitFind(dialog, "text", "Description:"), "The universal operating system")
    shoot(session, dialogWindow(session, program, "New Web Address"), "item-dialog")
    a11y.press(dialog, "push button", "OK")
    a11y.waitWindowGone(app, "New Web Address")

    items = itemList(app)
    waitUntil(lambda: tableRows(items) == [title], f"the list to show the row {title!r}")
    check(tableRows(items, 1) == [target], f"the row's reference reads {tableRows(items, 1)}")
    stored = sqlite(session.dbPath, "select name,target,category,type from link_table")
    check(stored == [{"name": title, "target": target, "category": WEBSITES_GUID, "type": 1}],
          f"the stored item is {stored}")

    # move away, so that finding the item has to change the selection
    clickNode(session, tableCell(tree, "General files"))
    waitUntil(lambda: tableRows(items) == [], "the list of \"General files\" to be empty")

    a11y.pressMenu(app, "Edit", "Search")
    search = a11y.waitWindow(app, "Search")
    keyword = a11y.waitFind(search, "text")
    a11y.setText(keyword, "debian")
    a11y.press(search, "push button", "Search")
    results = waitUntil(lambda: next((n for n in a11y.walk(search)
                                      if a11y.roleName(n) == "list item" and a11y.nameOf(n) == title
                                      and a11y.showing(n)), None),
                        f"the result line {title!r}", 20.0)
    shoot(session, dialogWindow(session, program, "Search"), "search-dialog")
    searchKeys = readIni(session.iniPath).get("search", {})
    check(searchKeys == {"title": "1", "filename": "1", "comment": "1"},
          f"the search wrote the INI section Search as {searchKeys}")
    clickNode(session, results, repeat=2)

    waitUntil(lambda: a11y.hasState(tableCell(tree, "Favorite websites"), pyatspi.STATE_SELECTED),
              "the found item's category to be selected in the tree")
    waitUntil(lambda: tableRows(items) == [title], "the list to show the found item")
    waitUntil(lambda: a11y.hasState(tableCell(items, title), pyatspi.STATE_SELECTED),
              "the found item's row to be selected")
    a11y.press(search, "push button", "Close")
    a11y.waitWindowGone(app, "Search")
    shoot(session, window, "found-item")
    exitThroughMenu(session, program, app)


def commandLineSwitch(session):
    """"/tray" is looked for case-sensitively anywhere in the command line."""
    session.writeSettings(autorun=False, closetray=False, minitray=False, autohide=False, always=False)
    program, window, app = startProgram(session, "/TRAY")
    waitCatalogue(session)
    exitThroughMenu(session, program, app)

    hidden = session.launch("--mode=/trayicon")
    a11y.application(hidden.pid)
    stayQuiet(session, hidden, "a visible main window", lambda: mainWindows(session, hidden, True))
    waker = session.launch()
    check(waker.waitExit(20) == 0, "the second start did not end with exit code 0")
    waitMainWindow(session, hidden)
    exitThroughMenu(session, hidden, a11y.application(hidden.pid))


def staleInstance(session):
    """A first instance killed outright leaves its socket behind; the next start still runs."""
    crashed, _, _ = startProgram(session)
    waitCatalogue(session)
    os.kill(crashed.pid, signal.SIGKILL)
    crashed.waitExit(20)
    program, window, app = startProgram(session)
    stayQuiet(session, program, "the end of the new instance", lambda: False)
    check(mainWindows(session, program, True) == [window], "the new instance's window went away")
    exitThroughMenu(session, program, app)


def noTrayArea(session):
    """Without a notification area minimize and close act as with the tray flags off, so the
    window never vanishes with no way back."""
    session.writeSettings(autorun=False, closetray=True, minitray=True, autohide=False, always=True)
    program, window, app = startProgram(session)
    waitCatalogue(session)

    session.xdotool("windowminimize", window)
    waitUntil(lambda: session.windowState(window) == ICONIC, "the window to be minimized (iconic)")
    stayQuiet(session, program, "a withdrawn (hidden) main window",
              lambda: session.windowState(window) != ICONIC)
    session.xdotool("windowactivate", window)
    waitMainWindow(session, program)

    session.clickCloseBox(window)
    code = program.waitExit(20)
    check(code == 0, f"the close box ended the program with exit code {code}, expected 0")
    check(not session.runningPrograms(), "the program still runs after the close box")


def noDataFolder(session):
    """A data folder that cannot be made: the message, then a clean end having written nothing."""
    blocker = os.path.join(session.root, "blocker")
    with open(blocker, "w") as handle:
        handle.write("a file where a folder would have to be\n")
    session.dataHome = os.path.join(blocker, "data")
    program = session.launch()
    app = a11y.application(program.pid)
    box = messageBoxReading(app, "Failed to get \"Application Data\" folder!", timeout=30)
    shoot(session, smallestWindow(session, program, ".*"), "no-data-folder")
    answer(app, box)
    code = program.waitExit(20)
    check(code == 0, f"the program ended with exit code {code}, expected 0")
    check(os.listdir(session.appFolder) == ["varnelo"], f"files were written beside the program: "
                                                        f"{os.listdir(session.appFolder)}")


def foreignBackups(session):
    """Backups written by an independent writer: a sound one restores; one whose content is not a
    database, or whose CRC is wrong, is refused and the catalogue stays as it was."""
    folder = os.path.join(session.root, "backups")
    archive = [("7d0c1b4e-2f3a-4b5c-8d6e-7f8091a2b3c4", "Archive", 0, "", 0, 0, 1),
               ("7d0c1b4e-2f3a-4b5c-8d6e-7f8091a2b3c5", "Letters 1998", 1,
                "7d0c1b4e-2f3a-4b5c-8d6e-7f8091a2b3c4", 0, 0, 2)]
    foreignDb = os.path.join(folder, "foreign.db")
    seedDatabase(foreignDb, archive, [])
    sound = os.path.join(folder, "sound.mbk")
    writeBackup(sound, fileBytes(foreignDb))
    program, window, app = startProgram(session)
    waitCatalogue(session)
    tree = categoryTree(app)

    texts = restoreFrom(session, app, sound)
    check("Successfully finish restoring!" in texts, f"restoring a sound backup said {texts}")
    check(fileBytes(session.stagingPath) == fileBytes(foreignDb), "the staging file is not the backup's content")
    # the reopened catalogue gains its lookup indexes, so only the rows are compared
    check(categoryRows(session.dbPath) == archive, "the restored database does not hold the backup's rows")
    waitUntil(lambda: tableRows(tree) == ["Archive"], "the tree of the restored catalogue")
    restored = fileBytes(session.dbPath)

    refusal = "This is not a valid backup file. \nCan't finish resotre process"
    notDatabase = os.path.join(folder, "not-a-database.mbk")
    writeBackup(notDatabase, b"Plain words where a catalogue should be.\n" * 50)
    texts = restoreFrom(session, app, notDatabase)
    check(refusal in texts, f"restoring a backup of something that is no database said {texts}")
    check(fileBytes(session.dbPath) == restored, "the refused restore replaced the database")
    check(tableRows(tree) == ["Archive"], "the refused restore changed the tree")

    damaged = os.path.join(folder, "damaged.mbk")
    writeBackup(damaged, fileBytes(foreignDb), crc=zlib.crc32(fileBytes(foreignDb)) ^ 1)
    texts = restoreFrom(session, app, damaged)
    check(refusal in texts, f"restoring a backup with a wrong CRC said {texts}")
    check(fileBytes(session.dbPath) == restored, "the restore with a wrong CRC replaced the database")
    check(os.path.getsize(session.stagingPath) == 0, "a refused restore left data in the staging file")
    exitThroughMenu(session, program, app)


def desktopServices(session):
    """Opening items and showing a file in its folder reach the desktop with the exact target:
    web addresses through the opener, a scheme-less one as http://, a file through the file
    manager's D-Bus service; blanks, ";" and "$" in a path are never interpreted."""
    files = os.path.join(session.root, "files")
    os.makedirs(files)
    awkward = os.path.join(files, "report; 1 $(touch pwned).txt")
    with open(awkward, "w") as handle:
        handle.write("quarterly figures\n")
    seedCatalogue(session, [
        ("0b8f2e64-0d0e-4a55-9b1b-5f4f0c9d1a01", "Debian", "https://www.debian.org/", WEBSITES_GUID, 1),
        ("0b8f2e64-0d0e-4a55-9b1b-5f4f0c9d1a02", "No scheme", "example.org/a b", WEBSITES_GUID, 1),
        ("0b8f2e64-0d0e-4a55-9b1b-5f4f0c9d1a03", "Report", awkward, BUILT_IN_CATEGORIES[0][0], 0),
    ])

    # an "xdg-open" of ours first on the PATH receives whatever the program asks the desktop to open
    tools = os.path.join(session.root, "tools")
    os.makedirs(tools)
    opened = os.path.join(session.root, "opened.log")
    opener = os.path.join(tools, "xdg-open")
    here = os.path.dirname(os.path.abspath(__file__))
    with open(opener, "w") as handle:
        handle.write(f"#!/bin/sh\nexec /usr/bin/python3 '{here}/fakes.py' opener '{opened}' \"$@\"\n")
    os.chmod(opener, 0o755)
    shown = os.path.join(session.root, "filemanager.log")
    session.startHelper(["/usr/bin/python3", os.path.join(here, "fakes.py"), "filemanager", shown],
                        "filemanager.log")
    waitUntil(lambda: ["ready"] in loggedCalls(shown), "the stand-in file manager on the session bus")

    # a program of ours registered for text files, for the Open With chooser
    chosen = os.path.join(session.root, "opened-with.log")
    applications = os.path.join(session.dataHome, "applications")
    os.makedirs(applications)
    with open(os.path.join(applications, "varnelo-e2e-viewer.desktop"), "w") as handle:
        handle.write("[Desktop Entry]\nType=Application\nName=Stand-in Viewer\nMimeType=text/plain;\n"
                     f"Exec=/usr/bin/python3 {here}/fakes.py opener {chosen} %f\n")
    # GIO maps types to programs through this index (update-desktop-database writes it on desktops)
    with open(os.path.join(applications, "mimeinfo.cache"), "w") as handle:
        handle.write("[MIME Cache]\ntext/plain=varnelo-e2e-viewer.desktop;\n")
    with open(os.path.join(session.configHome, "mimeapps.list"), "w") as handle:
        handle.write("[Default Applications]\ntext/plain=varnelo-e2e-viewer.desktop;\n")

    program = session.launch(extraEnv={"PATH": tools + os.pathsep + os.environ.get("PATH", "")})
    waitMainWindow(session, program)
    app = a11y.application(program.pid)
    tree, items = categoryTree(app), itemList(app)

    clickNode(session, tableCell(tree, "Favorite websites"))
    waitUntil(lambda: tableRows(items) == ["Debian", "No scheme"], "the two web-address rows")
    clickNode(session, tableCell(items, "Debian"), repeat=2)
    waitUntil(lambda: [["https://www.debian.org/"]] == loggedCalls(opened), "the web address to be opened")
    clickNode(session, tableCell(items, "No scheme"), repeat=2)
    waitUntil(lambda: len(loggedCalls(opened)) == 2, "the address without a scheme to be opened")
    second = loggedCalls(opened)[1]
    check(len(second) == 1 and second[0] in ("http://example.org/a%20b", "http://example.org/a b"),
          f"the address without a scheme was opened as {second}")

    clickNode(session, tableCell(tree, "General files"))
    waitUntil(lambda: tableRows(items) == ["Report"], "the file row")
    clickNode(session, tableCell(items, "Report"), button=3)
    choosePopupEntry(session, program, 3, "Open Containing Folder")
    waitUntil(lambda: any(call[0] == "ShowItems" for call in loggedCalls(shown)),
              "the file manager to be asked to show the file")
    call = next(call for call in loggedCalls(shown) if call[0] == "ShowItems")
    uris = [urllib.parse.unquote(uri) for uri in call[1]]
    check(uris == ["file://" + awkward], f"the file manager was asked to show {call[1]}")

    clickNode(session, tableCell(items, "Report"), repeat=2)
    waitUntil(lambda: len(loggedCalls(opened)) == 3, "the file to be opened")
    target = loggedCalls(opened)[2]
    check(len(target) == 1 and urllib.parse.unquote(target[0]) in (awkward, "file://" + awkward),
          f"the file was opened as {target}")
    check(not os.path.exists(os.path.join(session.root, "pwned"))
          and not os.path.exists(os.path.join(files, "pwned")), "a part of the file name was run as a command")

    # Open With... lists the programs for the file's type and starts the chosen one on the file
    clickNode(session, tableCell(items, "Report"), button=3)
    choosePopupEntry(session, program, 2, "Open With...")
    chooser = a11y.waitWindow(app, "Open With")
    offered = waitUntil(lambda: [n for n in a11y.walk(chooser) if a11y.roleName(n) == "list item"],
                        "the programs on offer", 20.0)
    # Programs installed on the machine for text files may follow; the default comes first.
    check(a11y.nameOf(offered[0]) == "Stand-in Viewer",
          f"the chooser offers {[a11y.nameOf(n) for n in offered]} for a text file, expected the default first")
    viewer = offered[0]
    shoot(session, dialogWindow(session, program, "Open With"), "open-with-dialog")
    clickNode(session, viewer)
    a11y.press(chooser, "push button", "OK")
    a11y.waitWindowGone(app, "Open With")
    waitUntil(lambda: loggedCalls(chosen), "the chosen program to be started")
    check(loggedCalls(chosen) == [[awkward]], f"the chosen program was started on {loggedCalls(chosen)}")

    # Online Help opens the product's help page; the about box's mail link a new mail
    a11y.pressMenu(app, "Help", "Online Help ")
    waitUntil(lambda: len(loggedCalls(opened)) == 4, "the help page to be opened")
    helpPage = urllib.parse.urlsplit(loggedCalls(opened)[3][0])
    check(helpPage.scheme in ("http", "https") and helpPage.netloc and helpPage.path == "/help",
          f"Online Help opened {loggedCalls(opened)[3]}")
    a11y.pressMenu(app, "Help", "About")
    about = a11y.waitWindow(app, "About")
    mail = next((n for n in a11y.walk(about) if a11y.roleName(n) == "label" and "@" in a11y.nameOf(n)), None)
    check(mail is not None, "the about box shows no mail address")
    clickNode(session, mail)
    waitUntil(lambda: len(loggedCalls(opened)) == 5, "the mail link to be opened")
    check(loggedCalls(opened)[4] == ["mailto:" + a11y.nameOf(mail)], f"the mail link opened {loggedCalls(opened)[4]}")
    if a11y.showing(about):
        aboutWindow = dialogWindow(session, program, "About")
        x, y, width, height = session.windowGeometry(aboutWindow)
        session.clickAt(x + width // 2, y + height - 60)
        a11y.waitWindowGone(app, "About")
    exitThroughMenu(session, program, app)


def categoryCommands(session):
    """Add Subcategory, Property and Delete on the tree, each written at once and read back by the
    sqlite3 shell and by a second run of the program."""
    mediaGuid = BUILT_IN_CATEGORIES[2][0]
    wordGuid = BUILT_IN_CATEGORIES[4][0]
    seedCatalogue(session, [("5a1c3e1f-8e7b-4d1c-9a7e-2b3c4d5e6f70", "Letter", "/tmp/letter.odt", wordGuid, 0)])
    program, window, app = startProgram(session)
    tree = categoryTree(app)

    categoryMenu(session, program, app, "Media files", 1, "Add Subcategory")
    categoryDialog(app, "New Category", "Holiday videos")
    rows = sqlite(session.dbPath, "select guid,level,parent_guid,system,iconIndex from category_table "
                                  "where name='Holiday videos'")
    check(len(rows) == 1, f"the new subcategory is stored {len(rows)} times")
    added = rows[0]
    check(len(added["guid"]) == 36 and added["guid"] == added["guid"].lower() and added["guid"].count("-") == 4,
          f"the new subcategory's GUID is {added['guid']!r}")
    check((added["level"], added["parent_guid"], added["system"], added["iconIndex"]) == (1, mediaGuid, 0, 0),
          f"the new subcategory is stored as {added}")
    check("Holiday videos" not in tableRows(tree), "the new subcategory shows under a collapsed parent")
    session.xdotool("key", "Right")
    waitUntil(lambda: tableRows(tree) == ["General files", "Office documents", "Media files", "Holiday videos",
                                          "Favorite websites"], "the subcategory under the expanded parent")

    categoryMenu(session, program, app, "Media files", 6, "Property")
    categoryDialog(app, "Media files", "Media and films")
    waitUntil(lambda: "Media and films" in tableRows(tree), "the renamed category in the tree")
    renamed = sqlite(session.dbPath, f"select name,system,level from category_table where guid='{mediaGuid}'")
    check(renamed == [{"name": "Media and films", "system": 1, "level": 0}], f"the renamed row is {renamed}")

    before = categoryRows(session.dbPath)
    categoryMenu(session, program, app, "Office documents", 5, "Delete")
    box, texts = messageBox(app, "Confirm")
    question = "Do you want to delete all sub-categories and items in this category?"
    check(any(text.startswith(question + "\n\n\"Office documents\" with ") for text in texts),
          f"the delete asks {texts}")
    # The caption is the question's own title alone, with no application name added by the toolkit.
    title = session.x.text(smallestWindow(session, program, "Confirm"), "_NET_WM_NAME", "UTF8_STRING")
    check(title == "Confirm", f"the question's window is titled {title!r}")
    answer(app, box, "No")
    check(categoryRows(session.dbPath) == before, "answering No changed the categories")
    check("Office documents" in tableRows(tree), "answering No removed the category from the tree")

    categoryMenu(session, program, app, "Office documents", 5, "Delete")
    box, texts = messageBox(app, "Confirm")
    answer(app, box, "Yes")
    expected = ["General files", "Media and films", "Holiday videos", "Favorite websites"]
    waitUntil(lambda: tableRows(tree) == expected, f"the tree {expected} after the delete")
    names = [row[1] for row in categoryRows(session.dbPath)]
    check(names == ["General files", "Media and films", "Favorite websites", "Holiday videos"],
          f"the stored categories after the delete are {names}")
    links = sqlite(session.dbPath, "select count(*) as n from link_table")
    check(links == [{"n": 0}], "the deleted category's item is still stored")
    exitThroughMenu(session, program, app)

    # a second run reads back the same tree
    program, window, app = startProgram(session)
    tree = categoryTree(app)
    check(tableRows(tree) == ["General files", "Media and films", "Favorite websites"],
          f"after a restart the tree reads {tableRows(tree)}")
    clickNode(session, tableCell(tree, "Media and films"))
    session.xdotool("key", "Right")
    waitUntil(lambda: tableRows(tree) == expected, "the subcategory after a restart")
    exitThroughMenu(session, program, app)


def itemCommands(session):
    """The typical road: Add File(s) with two files picked in the file dialog, named after the
    files; then rename in place, move to another category and delete, each stored at once."""
    generalGuid, mediaGuid = BUILT_IN_CATEGORIES[0][0], BUILT_IN_CATEGORIES[2][0]
    files = os.path.join(session.root, "files")
    os.makedirs(files)
    picked = [os.path.join(files, name) for name in ("minutes.txt", "budget plan.ods")]
    for path in picked:
        with open(path, "w") as handle:
            handle.write("content\n")
    program, window, app = startProgram(session)
    waitCatalogue(session)
    tree, items = categoryTree(app), itemList(app)

    categoryMenu(session, program, app, "General files", 2, "Add File(s)...")
    dialog = a11y.waitWindow(app, "New Item")
    a11y.press(dialog, "push button", "...")
    browser, field = fileDialog(app)
    a11y.setText(field, " ".join(f'"{path}"' for path in picked))
    a11y.press(browser, "push button", "Open")
    source = a11y.waitFind(dialog, "text", "Source:")
    waitUntil(lambda: a11y.text(source) == ";".join(picked), "the two paths joined by \";\" in the target")
    box = a11y.waitFind(dialog, "check box", "Using filename as title")
    a11y.doAction(box)
    waitUntil(lambda: checked(box), "\"Using filename as title\" to be checked", 10.0)
    a11y.press(dialog, "push button", "OK")
    a11y.waitWindowGone(app, "New Item")

    names = ["minutes.txt", "budget plan.ods"]
    waitUntil(lambda: tableRows(items) == names, f"the rows {names}")
    stored = sqlite(session.dbPath, "select name,target,category,type,star from link_table order by itemorder")
    check(stored == [{"name": n, "target": p, "category": generalGuid, "type": 0, "star": 0}
                     for n, p in zip(names, picked)], f"the added items are stored as {stored}")

    # rename in place: F2 on the selected row
    clickNode(session, tableCell(items, "minutes.txt"))
    session.xdotool("key", "F2")
    time.sleep(0.3)
    session.xdotool("key", "ctrl+a")
    session.xdotool("type", "--delay", 20, "Board minutes")
    session.xdotool("key", "Return")
    waitUntil(lambda: tableRows(items) == ["Board minutes", "budget plan.ods"], "the renamed row")
    waitUntil(lambda: sqlite(session.dbPath, "select name from link_table order by itemorder")
              == [{"name": "Board minutes"}, {"name": "budget plan.ods"}], "the new name in the database")

    # Move to Category... through the select-category dialog
    clickNode(session, tableCell(items, "budget plan.ods"), button=3)
    choosePopupEntry(session, program, 7, "Move to Category...")
    chooser = a11y.waitWindow(app, "Select Category")
    # Nothing is chosen until the user chooses: OK waits for a click, an arrow or Space.
    check(not a11y.enabled(a11y.waitFind(chooser, "push button", "OK", onlyShowing=True)),
          "OK of \"Select Category\" is enabled before a category was chosen")
    chooserTree = a11y.waitFind(chooser, "tree")
    selectByClick(session, chooserTree, "Media files", " in the chooser")
    a11y.press(chooser, "push button", "OK")
    a11y.waitWindowGone(app, "Select Category")
    waitUntil(lambda: tableRows(items) == ["Board minutes"], "the moved row to leave the list")
    moved = sqlite(session.dbPath, "select category from link_table where name='budget plan.ods'")
    check(moved == [{"category": mediaGuid}], f"the moved item is stored under {moved}")

    # Delete with its confirmation
    clickNode(session, tableCell(items, "Board minutes"))
    session.xdotool("key", "Delete")
    box, texts = messageBox(app, "Confirm")
    check("Do you want to delete selected item?\n\n\"Board minutes\"" in texts, f"the delete asks {texts}")
    answer(app, box, "Yes")
    waitUntil(lambda: tableRows(items) == [], "the list to be empty after the delete")
    left = sqlite(session.dbPath, "select name from link_table")
    check(left == [{"name": "budget plan.ods"}], f"after the delete the stored items are {left}")

    clickNode(session, tableCell(tree, "Media files"))
    waitUntil(lambda: tableRows(items) == ["budget plan.ods"], "the moved item under \"Media files\"")
    exitThroughMenu(session, program, app)


def simultaneousStarts(session):
    """Three starts at the same moment still give one instance; the others end with 0."""
    starts = [session.launch() for _ in range(3)]
    waitUntil(lambda: sum(not p.running() for p in starts) == 2, "two of the three starts to end", 30.0)
    survivors = [p for p in starts if p.running()]
    for program in starts:
        if not program.running():
            check(program.waitExit(5) == 0, f"a second start ended with exit code {program.process.returncode}")
    survivor = survivors[0]
    waitMainWindow(session, survivor)
    stayQuiet(session, survivor, "a second instance", lambda: len(session.runningPrograms()) != 1)
    windows = [w for p in starts for w in mainWindows(session, p, True)]
    check(len(windows) == 1, f"{len(windows)} main windows are shown")
    exitThroughMenu(session, survivor, a11y.application(survivor.pid))


def settingsUnwritable(session):
    """A settings file that cannot be written: the error box names it, the dialog still closes, and
    no autostart entry appears."""
    os.makedirs(session.iniPath)
    program, window, app = startProgram(session)
    waitCatalogue(session)
    dialog = openSettings(app)
    box = settingsBoxes(dialog)["autorun"]
    a11y.doAction(box)
    waitUntil(lambda: checked(box), "the autorun box to be checked", 10.0)
    a11y.press(dialog, "push button", "OK")
    error, texts = messageBox(app, CAPTION)
    expected = f"Unable to write to {session.iniPath}."
    check(expected in texts, f"the error box reads {texts}, expected {expected!r}")
    answer(app, error)
    a11y.waitWindowGone(app, "Settings")
    check(not os.path.exists(session.autostartPath), "an autostart entry was written though the settings were not")
    check(program.running(), "the program ended after the failed save")
    exitThroughMenu(session, program, app)


def writeShortcut(path, url):
    with open(path, "w", encoding="utf-8") as handle:
        handle.write(f"[InternetShortcut]\r\nURL={url}\r\n")


def favoritesImport(session):
    """Tools > Import from IE Favorites... turns the Favorites folder into categories and web-address
    items under the chosen category, shown at once in the tree and stored at once."""
    favorites = os.path.join(session.home, "Favorites")
    news = os.path.join(favorites, "News")
    local = os.path.join(news, "Local")
    os.makedirs(local)
    writeShortcut(os.path.join(news, "Beta news.url"), "https://news.example/beta")
    writeShortcut(os.path.join(news, "Alpha news.url"), "https://news.example/alpha")
    writeShortcut(os.path.join(local, "Town hall.url"), "https://town.example/")
    writeShortcut(os.path.join(favorites, "Top site.url"), "https://top.example/")
    writeShortcut(os.path.join(favorites, ".hidden.url"), "https://hidden.example/")
    with open(os.path.join(favorites, "Debian.desktop"), "w") as handle:
        handle.write("[Desktop Entry]\nType=Link\nName=Debian\nURL=https://www.debian.org/\n")
    with open(os.path.join(favorites, "broken.url"), "w") as handle:
        handle.write("[InternetShortcut]\nURL=\n")
    with open(os.path.join(favorites, "notes.txt"), "w") as handle:
        handle.write("not a shortcut\n")

    program, window, app = startProgram(session)
    waitCatalogue(session)
    tree, items = categoryTree(app), itemList(app)
    a11y.pressMenu(app, "Tools", "Import from IE Favorites...")
    chooser = a11y.waitWindow(app, "Select Category")
    selectByClick(session, a11y.waitFind(chooser, "tree"), "Favorite websites", " in the chooser")
    a11y.press(chooser, "push button", "OK")
    a11y.waitWindowGone(app, "Select Category")

    rows = sqlite(session.dbPath, "select guid,name,level,parent_guid,system from category_table "
                                  "where itemorder > 6 order by itemorder")
    check([(r["name"], r["level"], r["system"]) for r in rows] == [("News", 1, 0), ("Local", 2, 0)],
          f"the imported categories are {rows}")
    newsGuid, localGuid = rows[0]["guid"], rows[1]["guid"]
    check(rows[0]["parent_guid"] == WEBSITES_GUID and rows[1]["parent_guid"] == newsGuid,
          f"the imported categories hang {rows}")
    links = sqlite(session.dbPath, "select name,target,category,type,comment from link_table order by itemorder")
    # depth first, and at every level the folders before the links, each in name order
    expected = [("Town hall", "https://town.example/", localGuid),
                ("Alpha news", "https://news.example/alpha", newsGuid),
                ("Beta news", "https://news.example/beta", newsGuid),
                ("Debian", "https://www.debian.org/", WEBSITES_GUID),
                ("Top site", "https://top.example/", WEBSITES_GUID)]
    check([(link["name"], link["target"], link["category"]) for link in links] == expected,
          f"the imported items are stored as {links}")
    check(all(link["type"] == 1 and link["comment"] == "Export from IE Favorite" for link in links),
          f"the imported items are not web addresses from the Favorites: {links}")

    # the whole imported branch shows at once
    clickNode(session, tableCell(tree, "Favorite websites"))
    session.xdotool("key", "Right")
    waitUntil(lambda: "News" in tableRows(tree), "the imported category in the tree")
    waitUntil(lambda: tableRows(items) == ["Debian", "Top site"], "the top-level shortcuts in the list")
    clickNode(session, tableCell(tree, "News"))
    session.xdotool("key", "Right")
    waitUntil(lambda: tableRows(tree)[-2:] == ["News", "Local"], "the imported subfolder under \"News\"")
    waitUntil(lambda: tableRows(items) == ["Alpha news", "Beta news"], "the shortcuts of \"News\"")
    exitThroughMenu(session, program, app)


SCENARIOS = {
    "first_start": firstStart,
    "tray_start": trayStart,
    "autohide_tray": autohideTray,
    "close_to_tray": closeToTray,
    "settings_autorun": settingsAutorun,
    "backup_restore": backupRestore,
    "broken_database": brokenDatabase,
    "automatic_backups": automaticBackups,
    "accessible_catalogue": accessibleCatalogue,
    "command_line_switch": commandLineSwitch,
    "stale_instance": staleInstance,
    "no_tray_area": noTrayArea,
    "no_data_folder": noDataFolder,
    "desktop_services": desktopServices,
    "category_commands": categoryCommands,
    "item_commands": itemCommands,
    "foreign_backups": foreignBackups,
    "simultaneous_starts": simultaneousStarts,
    "settings_unwritable": settingsUnwritable,
    "favorites_import": favoritesImport,
}
SCENARIOS.update(browserconnector.SCENARIOS)
SCENARIOS.update(bulkcommands.SCENARIOS)
SCENARIOS.update(organise.SCENARIOS)
SCENARIOS.update(sendto.SCENARIOS)
SCENARIOS.update(syncscenarios.SCENARIOS)
