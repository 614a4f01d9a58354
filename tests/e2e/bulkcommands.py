# SPDX-License-Identifier: GPL-3.0-or-later
"""Scenarios of the bulk commands: a bookmark file or a browser profile imported below a chosen
category, a branch exported as a bookmark file and imported back, a folder of documents added to
a category. Inputs are written by the scenarios themselves; results are read by the sqlite3 shell,
html.parser and the accessibility tree."""

import base64
import os
import re
import shutil
import subprocess
import urllib.parse

import pyatspi

import a11y
from browserfiles import folderState, readNetscapeFile, writeChromiumProfile, writeFirefoxProfile
from catalogue import BUILT_IN_CATEGORIES, WEBSITES_GUID, branchBelow, categoryNamed, seedDatabase, sqlite
from harness import ScenarioFailure, check, waitUntil
from views import (
    categoryMenu, categoryTree, chooseCategory, clickNode, closingMessage, dialogWindow,
    exitThroughMenu, expandCategory, fillFileDialog, itemList, mainWindows, shoot, startProgram,
    tableCell, tableRows)

WORD_GUID = BUILT_IN_CATEGORIES[4][0]
GENERAL_GUID = BUILT_IN_CATEGORIES[0][0]
MEDIA_GUID = BUILT_IN_CATEGORIES[2][0]

IMPORT_CAPTION = "Choose a bookmark file to import"
EXPORT_CAPTION = "Choose a file for the bookmarks"
FOLDER_CAPTION = "Choose a folder to add"
BROWSER_CAPTION = "Import from Browser"


def imported(categories, entries, skipped=0, files=0):
    text = f"Imported {categories} categories and {entries} web addresses"
    if files:
        text = f"Imported {categories} categories, {entries} web addresses and {files} files"
    if skipped:
        text += f"; {skipped} entries skipped" if skipped != 1 else "; 1 entry skipped"
    return text + "."


def checkMessage(texts, expected, what):
    check(expected in texts, f"{what} ended with the message {texts}, expected {expected!r}")


def newCategories(path):
    """The categories beyond the built-in ones, in the stored order."""
    return sqlite(path, f"select guid,name,level,parent_guid,system,iconIndex from category_table "
                        f"where itemorder > {len(BUILT_IN_CATEGORIES)} order by itemorder")


# ---- 1. a bookmark file ----------------------------------------------------------------------------

# A site's icon as browsers write it: a data URL far longer than any other attribute.
ICON = "data:image/png;base64," + base64.b64encode(bytes(range(256)) * 512).decode()

NETSCAPE_FILE = """<!DOCTYPE NETSCAPE-Bookmark-file-1>
<!-- This is an automatically generated file.
     It will be read and overwritten.
     DO NOT EDIT! -->
<META HTTP-EQUIV="Content-Type" CONTENT="text/html; charset=UTF-8">
<meta http-equiv="Content-Security-Policy"
      content="default-src 'self'; script-src 'none'; img-src data: *; object-src 'none'"></meta>
<TITLE>Bookmarks</TITLE>
<H1>Bookmarks Menu</H1>

<DL><p>
    <DT><H3 ADD_DATE="1700000000" LAST_MODIFIED="1700000100" PERSONAL_TOOLBAR_FOLDER="true">Bookmarks Toolbar</H3>
    <DL><p>
        <DT><A HREF="https://www.debian.org/" ADD_DATE="1700000001" LAST_MODIFIED="1700000002" ICON="{icon}">Debian &amp; friends</A>
        <DD>The universal operating system
        <DT><H3 ADD_DATE="1700000003">News &amp; Weather</H3>
        <DL><p>
            <DT><A HREF="https://news.example/today?region=north&amp;lang=en" ADD_DATE="1700000004">Today&#39;s headlines</A>
            <DT><H3>Local</H3>
            <DL><p>
                <DT><A HREF="https://town.example/hall">Town hall</A>
                <DD>Opening hours &amp; &lt;notices&gt;
            </DL><p>
        </DL><p>
        <DT><A HREF="place:sort=8&amp;maxResults=10" ADD_DATE="1700000005">Most Visited</A>
    </DL><p>
    <DT><H3>Reading</H3>
    <DL><p>
        <DT><A HREF="https://café.example/zürich" SHORTCUTURL="cafe">Café Zürich — über alles</A>
        <DT><A HREF="javascript:void(document.title)">Show the title</A>
        <DT><A HREF="https://second.example/">Second &#8220;read&#8221;</A>
        <DD>Fish &amp; chips, 2 &lt; 3
    </DL><p>
    <DT><A HREF="https://top.example/">Top level</A>
</DL><p>
"""


def bookmarkFileImport(session):
    """A Netscape bookmark file of the test's own through Tools > Import Bookmarks File...: folders
    become categories at their levels below the chosen one, links web-address items, place: and
    javascript: links are skipped; the message counts them and the tree shows the branch at once."""
    source = os.path.join(session.root, "exported bookmarks.html")
    with open(source, "w", encoding="utf-8") as handle:
        handle.write(NETSCAPE_FILE.replace("{icon}", ICON))
    program, window, app = startProgram(session)
    tree, items = categoryTree(app), itemList(app)

    a11y.pressMenu(app, "Tools", "Import Bookmarks File...")
    shoot(session, dialogWindow(session, program, IMPORT_CAPTION), "file-dialog")
    fillFileDialog(session, app, IMPORT_CAPTION, source, "Open")
    offered = chooseCategory(session, program, app, ["Office documents", "Word documents"], "select-category")
    check(offered == ["General files", "Office documents", "Media files", "Favorite websites"],
          f"the category chooser offers {offered}")
    texts = closingMessage(session, program, app, "message")
    checkMessage(texts, imported(4, 6, 2), "the import")

    items_, categories = branchBelow(session.dbPath, WORD_GUID)
    check(items_ == [("Top level", "https://top.example/", "", 1)], f"the chosen category holds {items_}")
    expected = [
        ("Bookmarks Toolbar", 2, [("Debian & friends", "https://www.debian.org/", "The universal operating system", 1)], [
            ("News & Weather", 3, [("Today's headlines", "https://news.example/today?region=north&lang=en", "", 1)], [
                ("Local", 4, [("Town hall", "https://town.example/hall", "Opening hours & <notices>", 1)], [])])]),
        ("Reading", 2, [("Café Zürich — über alles", "https://café.example/zürich", "", 1),
                        ("Second \u201cread\u201d", "https://second.example/", "Fish & chips, 2 < 3", 1)], []),
    ]
    check(categories == expected, f"the imported branch is stored as\n{categories}\nexpected\n{expected}")
    rows = newCategories(session.dbPath)
    check([r["name"] for r in rows] == ["Bookmarks Toolbar", "News & Weather", "Local", "Reading"],
          f"the categories are stored in the order {[r['name'] for r in rows]}")
    check(all((r["system"], r["iconIndex"]) == (0, 0) and len(r["guid"]) == 36 for r in rows),
          f"the imported categories are not plain new ones: {rows}")
    stored = sqlite(session.dbPath, "select guid,star from link_table")
    check(len({r["guid"] for r in stored}) == 6 and all(r["star"] == 0 for r in stored),
          f"the imported items' GUIDs and stars are {stored}")

    # the branch shows at once, without a restart
    expandCategory(session, tree, "Office documents", "Word documents")
    expandCategory(session, tree, "Word documents", "Bookmarks Toolbar")
    waitUntil(lambda: tableRows(items) == ["Top level"], "the chosen category's own item in the list")
    check(tableRows(tree) == ["General files", "Office documents", "Word documents", "Bookmarks Toolbar", "Reading",
                              "Excel documents", "Media files", "Favorite websites"],
          f"the tree reads {tableRows(tree)}")
    expandCategory(session, tree, "Bookmarks Toolbar", "News & Weather")
    waitUntil(lambda: tableRows(items) == ["Debian & friends"], "the toolbar's link in the list")
    clickNode(session, tableCell(tree, "Reading"))
    waitUntil(lambda: tableRows(items) == ["Café Zürich — über alles", "Second \u201cread\u201d"],
              "the links of \"Reading\" in the list")
    check(tableRows(items, 2) == ["", "Fish & chips, 2 < 3"], f"the descriptions read {tableRows(items, 2)}")
    shoot(session, window, "main-window")
    exitThroughMenu(session, program, app)


# ---- 2. browser profiles ---------------------------------------------------------------------------

FIREFOX_CONTENTS = {
    "menu________": [
        ("folder", "Reading", [("bookmark", "Long read — an essay", "https://essays.example/long"),
                               ("bookmark", "Café guide", "https://guide.example/caf%C3%A9")]),
        ("separator",),
        ("bookmark", "Debian", "https://www.debian.org/"),
        ("bookmark", "Recently Bookmarked", "place:parent=menu________&queryType=1&sort=12&maxResults=10"),
        ("folder", "Empty folder", []),
    ],
    "toolbar_____": [("bookmark", "Getting Started", "https://www.mozilla.org/firefox/central/")],
    # tags are folders of the tags root and no bookmarks of their own
    "tags________": [("folder", "linux", [("bookmark", None, "https://www.debian.org/")])],
    "mobile______": [("bookmark", "Phone news", "https://m.news.example/")],
}
# written by the "running" browser: in the write-ahead log only
FIREFOX_RUNNING = {"toolbar_____": [("bookmark", "Added while running", "https://late.example/?a=1&b=2")]}

CHROMIUM_CONTENTS = {
    "bookmark_bar": [
        ("bookmark", "Debian", "https://www.debian.org/"),
        ("folder", "Tools", [("bookmark", "Search engine", "https://search.example/?q="),
                             ("bookmark", "Bookmarklet", "javascript:alert(document.title)"),
                             ("folder", "Deep", [("bookmark", "Deep link", "https://deep.example/a%20b")])]),
        ("bookmark", "Wiki — Zürich", "https://wiki.example/Zürich"),
    ],
    "other": [("bookmark", "Recipes & more", "https://food.example/?a=1&b=2")],
    "synced": [],
}


def importFromBrowser(session, program, app, profile, path, shot):
    """Tools > Import from Browser...: picks the profile by its line and the target category;
    returns the lines the dialog listed."""
    a11y.pressMenu(app, "Tools", "Import from Browser...")
    dialog = a11y.waitWindow(app, BROWSER_CAPTION)
    lines = waitUntil(lambda: [n for n in a11y.walk(dialog) if a11y.roleName(n) == "list item"],
                      "the profiles in the list")
    listed = [a11y.nameOf(n) for n in lines]
    line = next((n for n in lines if a11y.nameOf(n) == profile), None)
    check(line is not None, f"the profile {profile!r} is not among {listed}")
    clickNode(session, line)
    waitUntil(lambda: a11y.hasState(line, pyatspi.STATE_SELECTED), f"{profile!r} to be selected")
    if shot:
        shoot(session, dialogWindow(session, program, BROWSER_CAPTION), shot)
    a11y.press(dialog, "push button", "OK")
    a11y.waitWindowGone(app, BROWSER_CAPTION)
    chooseCategory(session, program, app, path)
    return listed


def browserProfilesImport(session):
    """A home with a Firefox profile (profiles.ini, places.sqlite with part of it in the write-ahead
    log of a running browser) and a Chromium profile (Bookmarks, Local State): the dialog lists them
    by browser and profile name with their counts; each import stores its tree below the chosen
    category, and no byte or time of the browsers' files changes."""
    firefox = writeFirefoxProfile(session.home, os.path.join(session.root, "building"),
                                  [("default-release", "k3v9s2qa.default-release"), ("default", "x7m1p0rt.default")],
                                  FIREFOX_CONTENTS, FIREFOX_RUNNING)
    chromium = writeChromiumProfile(session.home, [("Default", "Work"), ("System Profile", "System")],
                                    CHROMIUM_CONTENTS)
    before = {folder: folderState(folder) for folder in (firefox, chromium)}
    scratch = os.path.join(session.root, "tmp")
    os.makedirs(scratch)
    program = session.launch(extraEnv={"TMPDIR": scratch})
    window = waitUntil(lambda: mainWindows(session, program, True), "the main window")[0]
    app = a11y.application(program.pid)
    tree, items = categoryTree(app), itemList(app)

    listed = importFromBrowser(session, program, app, "Firefox \u2014 default-release (6 bookmarks)",
                               ["Favorite websites"], "profile-dialog")
    check(listed == ["Firefox \u2014 default-release (6 bookmarks)", "Chromium \u2014 Work (5 bookmarks)"],
          f"the profiles are listed as {listed}")
    texts = closingMessage(session, program, app, "firefox-message")
    checkMessage(texts, imported(5, 6, 2), "the Firefox import")
    own, categories = branchBelow(session.dbPath, WEBSITES_GUID)
    check(own == [], f"the chosen category got items of its own: {own}")
    expected = [
        ("Bookmarks Menu", 1, [("Debian", "https://www.debian.org/", "", 1)], [
            ("Reading", 2, [("Long read — an essay", "https://essays.example/long", "", 1),
                            ("Café guide", "https://guide.example/caf%C3%A9", "", 1)], []),
            ("Empty folder", 2, [], [])]),
        ("Bookmarks Toolbar", 1, [("Getting Started", "https://www.mozilla.org/firefox/central/", "", 1),
                                  ("Added while running", "https://late.example/?a=1&b=2", "", 1)], []),
        ("Mobile Bookmarks", 1, [("Phone news", "https://m.news.example/", "", 1)], []),
    ]
    check(categories == expected, f"the Firefox profile is stored as\n{categories}\nexpected\n{expected}")
    expandCategory(session, tree, "Favorite websites", "Bookmarks Menu")
    check(tableRows(tree)[-3:] == ["Bookmarks Menu", "Bookmarks Toolbar", "Mobile Bookmarks"],
          f"the tree reads {tableRows(tree)}")

    importFromBrowser(session, program, app, "Chromium \u2014 Work (5 bookmarks)",
                      ["Favorite websites", "Bookmarks Menu"], None)
    texts = closingMessage(session, program, app, "chromium-message")
    checkMessage(texts, imported(4, 5, 1), "the Chromium import")
    menu = categoryNamed(session.dbPath, "Bookmarks Menu")
    own, categories = branchBelow(session.dbPath, menu["guid"])
    expected = [
        ("Reading", 2, [("Long read — an essay", "https://essays.example/long", "", 1),
                        ("Café guide", "https://guide.example/caf%C3%A9", "", 1)], []),
        ("Empty folder", 2, [], []),
        ("Bookmarks bar", 2, [("Debian", "https://www.debian.org/", "", 1),
                              ("Wiki — Zürich", "https://wiki.example/Zürich", "", 1)], [
            ("Tools", 3, [("Search engine", "https://search.example/?q=", "", 1)], [
                ("Deep", 4, [("Deep link", "https://deep.example/a%20b", "", 1)], [])])]),
        ("Other bookmarks", 2, [("Recipes & more", "https://food.example/?a=1&b=2", "", 1)], []),
    ]
    check(categories == expected, f"the Chromium profile is stored as\n{categories}\nexpected\n{expected}")
    check(own == [("Debian", "https://www.debian.org/", "", 1)], f"the chosen category's items became {own}")

    clickNode(session, tableCell(tree, "Bookmarks Menu"))
    waitUntil(lambda: tableRows(items) == ["Debian"], "the items of \"Bookmarks Menu\"")
    session.xdotool("key", "Right")
    waitUntil(lambda: "Bookmarks bar" in tableRows(tree), "the Chromium branch in the tree")
    shoot(session, window, "main-window")

    after = {folder: folderState(folder) for folder in (firefox, chromium)}
    for folder in (firefox, chromium):
        check(after[folder] == before[folder], f"the browser's files below {folder} changed:\n"
              f"{sorted(set(after[folder].items()) ^ set(before[folder].items()))}")
    check(os.listdir(scratch) == [], f"the import left {os.listdir(scratch)} in the temporary folder")
    exitThroughMenu(session, program, app)


# ---- 3. export and round trip ----------------------------------------------------------------------

PROJECTS_GUID = "3f2b8c1e-5d4a-4e6f-9a7b-1c2d3e4f5a60"
KITCHEN_GUID = "3f2b8c1e-5d4a-4e6f-9a7b-1c2d3e4f5a61"
GARDEN_GUID = "3f2b8c1e-5d4a-4e6f-9a7b-1c2d3e4f5a62"
POND_GUID = "3f2b8c1e-5d4a-4e6f-9a7b-1c2d3e4f5a63"

EXPORT_CATEGORIES = BUILT_IN_CATEGORIES + [
    (PROJECTS_GUID, "Projects", 0, "", 0, 0, 7),
    (KITCHEN_GUID, "Kitchen & Bath", 1, PROJECTS_GUID, 0, 0, 8),
    (GARDEN_GUID, "Garden", 1, PROJECTS_GUID, 0, 0, 9),
    (POND_GUID, "Pond <deep>", 2, GARDEN_GUID, 0, 0, 10),
]

HOME_DOCS = "/home/anna/Documents"
EXPORT_ITEMS = [
    ("a1000000-0000-4000-8000-000000000001", "Tile shop", "https://tiles.example/?a=1&b=2", PROJECTS_GUID, 1,
     "Tom & Jerry's <\"best\"> tiles — café"),
    ("a1000000-0000-4000-8000-000000000002", "Plan ü.ods", f"{HOME_DOCS}/Plan & budget ü.ods", PROJECTS_GUID, 0,
     "Costs < 5000 & 'rough'"),
    ("a1000000-0000-4000-8000-000000000003", "Alpha list", "https://alpha.example/list", PROJECTS_GUID, 1, ""),
    ("a1000000-0000-4000-8000-000000000004", "Tap catalogue", "https://taps.example/", KITCHEN_GUID, 1, ""),
    ("a1000000-0000-4000-8000-000000000005", "Quote #2.pdf", f"{HOME_DOCS}/Quotes/Quote #2 (final).pdf",
     KITCHEN_GUID, 0, "100% sure"),
    ("a1000000-0000-4000-8000-000000000006", "Fish <koi>", "https://koi.example/", POND_GUID, 1, "Ærø — \"koi\""),
    ("a1000000-0000-4000-8000-000000000007", "Debian", "https://www.debian.org/", WEBSITES_GUID, 1, ""),
]


def exportBookmarks(session, program, app, path, choice, shots=False):
    a11y.pressMenu(app, "Tools", "Export Bookmarks File...")
    if shots:
        shoot(session, dialogWindow(session, program, EXPORT_CAPTION), "save-dialog")
    fillFileDialog(session, app, EXPORT_CAPTION, path, "Save")
    return chooseCategory(session, program, app, choice, "select-category" if shots else None)


def exportedLinks(folder):
    """The exported tree in the catalogue's terms: ("name", items, folders) with file:// links as
    file items (type 0) of their path."""
    items = []
    for link in folder["links"]:
        url = urllib.parse.urlsplit(link["href"])
        if url.scheme == "file":
            check(url.netloc in ("", "localhost") and " " not in link["href"],
                  f"the file link {link['href']!r} is no plain file URL")
            items.append((link["name"], urllib.parse.unquote(url.path), link["description"], 0))
        else:
            items.append((link["name"], link["href"], link["description"], 1))
    return (folder["name"], items, [exportedLinks(child) for child in folder["folders"]])


def storedLinks(name, items, categories):
    return (name, items, [storedLinks(child[0], child[2], child[3]) for child in categories])


def bookmarkExport(session):
    """Export Bookmarks File... writes a branch (and once the whole catalogue) as a Netscape file
    that html.parser reads back with the catalogue's folders, links, file:// links of the file
    items, descriptions and order; imported below another category, it gives the branch back."""
    seedDatabase(session.dbPath, EXPORT_CATEGORIES, EXPORT_ITEMS)
    exports = os.path.join(session.root, "exports")
    os.makedirs(exports)
    program, window, app = startProgram(session)
    tree = categoryTree(app)

    # the save dialog adds the suffix
    offered = exportBookmarks(session, program, app, os.path.join(exports, "projects"), ["Projects"], shots=True)
    check(offered == ["Whole catalogue", "General files", "Office documents", "Media files", "Favorite websites",
                      "Projects"], f"the export's category chooser offers {offered}")
    checkMessage(closingMessage(session, program, app, "export-message"), "Exported 4 categories and 6 items.",
                 "the export of a branch")
    projectsFile = os.path.join(exports, "projects.html")
    check(os.path.isfile(projectsFile), f"no export at {projectsFile}: {os.listdir(exports)}")
    check(os.listdir(exports) == ["projects.html"], f"the export left {os.listdir(exports)}")
    exported = readNetscapeFile(projectsFile)
    check(exported.declaration is not None and exported.declaration.upper() == "DOCTYPE NETSCAPE-BOOKMARK-FILE-1",
          f"the file declares {exported.declaration!r}")
    with open(projectsFile, encoding="utf-8") as handle:
        text = handle.read()
    check(re.search(r'<META HTTP-EQUIV="Content-Type" CONTENT="text/html; charset=UTF-8">', text, re.I),
          "the file does not declare its encoding UTF-8")
    check(exported.root["links"] == [] and len(exported.root["folders"]) == 1,
          f"the file's top holds {exported.root}")
    original = storedLinks("Projects", *branchBelow(session.dbPath, PROJECTS_GUID))
    check(exportedLinks(exported.root["folders"][0]) == original,
          f"the file holds\n{exportedLinks(exported.root['folders'][0])}\nexpected\n{original}")
    plan = next(link for link in exported.root["folders"][0]["links"] if link["name"] == "Plan ü.ods")
    check(plan["href"] == "file:///home/anna/Documents/Plan%20%26%20budget%20%C3%BC.ods",
          f"the file item is linked as {plan['href']!r}")

    everything = os.path.join(exports, "everything.html")
    exportBookmarks(session, program, app, everything, ["Whole catalogue"])
    checkMessage(closingMessage(session, program, app, "whole-message"), "Exported 10 categories and 7 items.",
                 "the export of the whole catalogue")
    whole = readNetscapeFile(everything)
    tops = [folder["name"] for folder in whole.root["folders"]]
    check(tops == ["General files", "Office documents", "Media files", "Favorite websites", "Projects"],
          f"the whole catalogue's file starts with the folders {tops}")
    # top-level categories have no parent: the catalogue below "" is all of it
    catalogue = storedLinks(None, *branchBelow(session.dbPath, ""))
    check(exportedLinks(whole.root) == catalogue,
          f"the whole catalogue's file holds\n{exportedLinks(whole.root)}\nexpected\n{catalogue}")

    # the round trip: the branch's file imported below "Media files"
    a11y.pressMenu(app, "Tools", "Import Bookmarks File...")
    fillFileDialog(session, app, IMPORT_CAPTION, projectsFile, "Open")
    offered = chooseCategory(session, program, app, ["Media files"])
    check(offered[0] == "General files", f"the import's chooser offers {offered}: the whole catalogue is no target")
    checkMessage(closingMessage(session, program, app, "import-message"), imported(4, 4, files=2), "the import of the export")
    # the same names, targets, descriptions, types and order, one level further down
    own, categories = branchBelow(session.dbPath, MEDIA_GUID)
    projectsItems, projectsCategories = branchBelow(session.dbPath, PROJECTS_GUID)
    expected = [("Projects", 1, projectsItems, deeper(projectsCategories))]
    check(own == [] and categories == expected,
          f"the round trip gives\n{own} {categories}\nfrom\n{expected}")
    expandCategory(session, tree, "Media files", "Projects")
    # the first "Projects" of the tree is the imported one
    clickNode(session, tableCell(tree, "Projects"))
    waitUntil(lambda: tableRows(itemList(app)) == ["Tile shop", "Plan ü.ods", "Alpha list"],
              "the imported branch's items in the list")
    shoot(session, window, "main-window")
    exitThroughMenu(session, program, app)


def deeper(categories):
    """The categories as branchBelow gives them, each one level further down."""
    return [(name, level + 1, items, deeper(children)) for name, level, items, children in categories]


# ---- 4. a folder of documents ----------------------------------------------------------------------

ROOT_FILES = ["apple notes.txt", "Banana Split.odt", "Chapter 2.txt", "Chapter 9.txt", "Chapter 10.txt",
              "cherry.pdf", "Meeting notes.txt", "naïve plan.md", "Überblick.odt", "日本語.txt"]
BULK_FILES = [f"page {number}.txt" for number in range(1, 301)]


def naturalOrder(names):
    """A file manager's order: numbers by value, letters without regard to case."""
    return sorted(names, key=lambda name: [int(part) if part.isdigit() else part.casefold()
                                           for part in re.split(r"(\d+)", name)])


def writeFile(path, text="content\n"):
    os.makedirs(os.path.dirname(path), exist_ok=True)
    with open(path, "w", encoding="utf-8") as handle:
        handle.write(text)


def privateLocale(session, name="en_US"):
    """A UTF-8 locale of a language whose collation ignores case, compiled into the session's
    folder, so names sort as a file manager of a usual desktop sorts them."""
    check(shutil.which("localedef") is not None, "localedef is missing (it comes with libc-bin)")
    folder = os.path.join(session.root, "locales")
    os.makedirs(folder)
    result = subprocess.run(["localedef", "-i", name, "-f", "UTF-8", os.path.join(folder, f"{name}.UTF-8")],
                            capture_output=True, text=True, timeout=60)
    check(result.returncode == 0, f"localedef could not make {name}.UTF-8 (install the package locales): "
                                  f"{result.stderr.strip()}")
    return {"LOCPATH": folder, "LANG": f"{name}.UTF-8", "LC_ALL": f"{name}.UTF-8"}


def addFolder(session):
    """Add Folder... on a selected category with a tree of a few hundred files: subfolders become
    categories, files items of type 0 named after them with their full path; hidden entries and a
    link to a folder are left out; names sort as a file manager sorts them."""
    top = os.path.join(session.root, "Documents to add")
    outside = os.path.join(session.root, "elsewhere")
    writeFile(os.path.join(outside, "outside.txt"))
    writeFile(os.path.join(outside, "linked file.txt"))
    for name in ROOT_FILES:
        writeFile(os.path.join(top, name))
    os.symlink(os.path.join(outside, "linked file.txt"), os.path.join(top, "shortcut.txt"))
    os.symlink(outside, os.path.join(top, "linked folder"))
    writeFile(os.path.join(top, ".hidden notes.txt"))
    writeFile(os.path.join(top, ".hidden folder", "secret.txt"))
    writeFile(os.path.join(top, "Archive", "2023", "B.txt"))
    writeFile(os.path.join(top, "Archive", "2023", "a.txt"))
    writeFile(os.path.join(top, "Archive", "2024", "report.odt"))
    for name in reversed(BULK_FILES):
        writeFile(os.path.join(top, "bulk", name))
    writeFile(os.path.join(top, "bulk", "nested level", "middle.txt"))
    writeFile(os.path.join(top, "bulk", "nested level", "deepest", "bottom.txt"))
    writeFile(os.path.join(top, "bulk", "nested level", "deepest", ".lock"))
    os.makedirs(os.path.join(top, "Drafts"))
    rootFiles = naturalOrder(ROOT_FILES + ["shortcut.txt"])

    program = session.launch(extraEnv=privateLocale(session))
    window = waitUntil(lambda: mainWindows(session, program, True), "the main window")[0]
    app = a11y.application(program.pid)
    tree, items = categoryTree(app), itemList(app)
    categoryMenu(session, program, app, "General files", 4, "Add Folder...")
    shoot(session, dialogWindow(session, program, FOLDER_CAPTION), "folder-dialog")
    fillFileDialog(session, app, FOLDER_CAPTION, top, "Choose", label="Directory:")
    texts = closingMessage(session, program, app, "message")
    checkMessage(texts, "Added 7 categories and 316 files.", "Add Folder")

    def files(folder, names):
        return [(name, os.path.join(folder, name), "", 0) for name in names]
    archive, bulk = os.path.join(top, "Archive"), os.path.join(top, "bulk")
    expected = [
        ("Archive", 1, [], [("2023", 2, files(os.path.join(archive, "2023"), naturalOrder(["a.txt", "B.txt"])), []),
                            ("2024", 2, files(os.path.join(archive, "2024"), ["report.odt"]), [])]),
        ("bulk", 1, files(bulk, naturalOrder(BULK_FILES)), [
            ("nested level", 2, files(os.path.join(bulk, "nested level"), ["middle.txt"]), [
                ("deepest", 3, files(os.path.join(bulk, "nested level", "deepest"), ["bottom.txt"]), [])])]),
        ("Drafts", 1, [], []),
    ]
    check([name for name, *_ in expected] == naturalOrder(["Archive", "bulk", "Drafts"]), "the expected order is off")
    own, categories = branchBelow(session.dbPath, GENERAL_GUID)
    check(own == files(top, rootFiles), f"the chosen category holds\n{[i[0] for i in own]}\nexpected\n{rootFiles}")
    if categories != expected:
        raise ScenarioFailure("the added folders are stored as\n"
                              + "\n".join(f"{c[0]} {c[1]}: {[i[0] for i in c[2]][:12]} {[s[0] for s in c[3]]}"
                                          for c in categories))
    rows = newCategories(session.dbPath)
    check([r["name"] for r in rows] == ["Archive", "2023", "2024", "bulk", "nested level", "deepest", "Drafts"],
          f"the categories are stored in the order {[r['name'] for r in rows]}")

    # the list of the selected category shows the files at once; the branch is in the tree
    waitUntil(lambda: tableRows(items) == rootFiles, f"the list to show {rootFiles}")
    check(tableRows(items, 1) == [os.path.join(top, name) for name in rootFiles],
          f"the list's references read {tableRows(items, 1)}")
    expandCategory(session, tree, "General files", "Archive")
    check(tableRows(tree)[:4] == ["General files", "Archive", "bulk", "Drafts"], f"the tree reads {tableRows(tree)}")
    clickNode(session, tableCell(tree, "bulk"))
    waitUntil(lambda: len(tableRows(items)) == 300, "the 300 files of \"bulk\" in the list")
    shoot(session, window, "main-window")
    exitThroughMenu(session, program, app)


SCENARIOS = {
    "bookmark_file_import": bookmarkFileImport,
    "browser_profiles_import": browserProfilesImport,
    "bookmark_export": bookmarkExport,
    "add_folder": addFolder,
}
