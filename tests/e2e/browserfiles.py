# SPDX-License-Identifier: GPL-3.0-or-later
"""Browsers' files as the scenarios write and read them, never through the program's own readers:
Netscape bookmark files read back with html.parser, a Firefox profile (profiles.ini and a
places.sqlite in Firefox's schema, built with Python's sqlite3) and a Chromium profile (Bookmarks
and Local State as JSON). A bookmark tree is written as nested lists: ("folder", name, [children]),
("bookmark", title, url), ("separator",)."""

import hashlib
import html.parser
import json
import os
import shutil
import sqlite3
import uuid

from harness import check

# ---- Netscape bookmark files ---------------------------------------------------------------------


class NetscapeReader(html.parser.HTMLParser):
    """The tree of a Netscape bookmark file: every <DL> opens the list of the <H3> before it, a
    <DD> describes the link before it. Folders are {"name", "folders", "links"}, links
    {"name", "href", "description"}; the declaration is kept to check the file's kind."""

    def __init__(self):
        super().__init__(convert_charrefs=True)
        self.root = {"name": None, "folders": [], "links": []}
        self.declaration = None
        self._lists = []
        self._heading = None
        self._collecting = None
        self._text = ""
        self._href = None
        self._lastLink = None

    def handle_decl(self, decl):
        self.declaration = decl

    def _current(self):
        return self._lists[-1] if self._lists else self.root

    def _finish(self):
        if self._collecting == "dd" and self._lastLink is not None:
            self._lastLink["description"] = self._text.strip()
        self._collecting, self._text = None, ""

    def handle_starttag(self, tag, attrs):
        if tag == "dl":
            self._finish()
            self._lists.append(self._heading or self._current())
            self._heading = None
        elif tag == "dt":
            self._finish()
            self._lastLink, self._heading = None, None
        elif tag == "h3":
            self._finish()
            self._collecting = "h3"
        elif tag == "a":
            self._finish()
            self._collecting, self._href = "a", dict(attrs).get("href")
        elif tag == "dd":
            self._finish()
            if self._lastLink is not None:
                self._collecting = "dd"

    def handle_endtag(self, tag):
        if tag == "h3" and self._collecting == "h3":
            self._heading = {"name": self._text.strip(), "folders": [], "links": []}
            self._current()["folders"].append(self._heading)
            self._collecting, self._text = None, ""
        elif tag == "a" and self._collecting == "a":
            self._lastLink = {"name": self._text.strip(), "href": self._href, "description": ""}
            self._current()["links"].append(self._lastLink)
            self._collecting, self._text = None, ""
        elif tag == "dl":
            self._finish()
            if self._lists:
                self._lists.pop()

    def handle_data(self, data):
        if self._collecting:
            self._text += data


def readNetscapeFile(path):
    reader = NetscapeReader()
    with open(path, encoding="utf-8") as handle:
        reader.feed(handle.read())
    reader.close()
    return reader


# ---- Firefox ---------------------------------------------------------------------------------------

# The tables of places.sqlite that bookmarks live in, as Firefox creates them.
FIREFOX_SCHEMA = """
CREATE TABLE moz_origins (id INTEGER PRIMARY KEY, prefix TEXT NOT NULL, host TEXT NOT NULL,
    frecency INTEGER NOT NULL, recalc_frecency INTEGER NOT NULL DEFAULT 0, alt_frecency INTEGER,
    recalc_alt_frecency INTEGER NOT NULL DEFAULT 0, UNIQUE (prefix, host));
CREATE TABLE moz_places (id INTEGER PRIMARY KEY, url LONGVARCHAR, title LONGVARCHAR, rev_host LONGVARCHAR,
    visit_count INTEGER DEFAULT 0, hidden INTEGER DEFAULT 0 NOT NULL, typed INTEGER DEFAULT 0 NOT NULL,
    frecency INTEGER DEFAULT -1 NOT NULL, last_visit_date INTEGER, guid TEXT,
    foreign_count INTEGER DEFAULT 0 NOT NULL, url_hash INTEGER DEFAULT 0 NOT NULL, description TEXT,
    preview_image_url TEXT, site_name TEXT, origin_id INTEGER REFERENCES moz_origins(id),
    recalc_frecency INTEGER NOT NULL DEFAULT 0, alt_frecency INTEGER, recalc_alt_frecency INTEGER NOT NULL DEFAULT 0);
CREATE TABLE moz_bookmarks (id INTEGER PRIMARY KEY, type INTEGER, fk INTEGER DEFAULT NULL, parent INTEGER,
    position INTEGER, title LONGVARCHAR, keyword_id INTEGER, folder_type TEXT, dateAdded INTEGER,
    lastModified INTEGER, guid TEXT, syncStatus INTEGER NOT NULL DEFAULT 0,
    syncChangeCounter INTEGER NOT NULL DEFAULT 1);
CREATE UNIQUE INDEX moz_places_url_uniqueindex ON moz_places (url_hash, url);
CREATE UNIQUE INDEX moz_places_guid_uniqueindex ON moz_places (guid);
CREATE INDEX moz_bookmarks_itemindex ON moz_bookmarks (fk, type);
CREATE INDEX moz_bookmarks_parentindex ON moz_bookmarks (parent, position);
CREATE UNIQUE INDEX moz_bookmarks_guid_uniqueindex ON moz_bookmarks (guid);
"""

# moz_bookmarks.type
FIREFOX_BOOKMARK, FIREFOX_FOLDER, FIREFOX_SEPARATOR = 1, 2, 3

# The root folder and its children, by their fixed GUIDs and Firefox's own titles.
FIREFOX_ROOTS = [("menu________", "menu"), ("toolbar_____", "toolbar"), ("tags________", "tags"),
                 ("unfiled_____", "unfiled"), ("mobile______", "mobile")]

DATE = 1700000000000000  # PRTime, microseconds


def _guid(seed):
    """A 12-character bookmark GUID of Firefox's alphabet, stable for a seed."""
    alphabet = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789-_"
    digest = hashlib.sha256(seed.encode()).digest()
    return "".join(alphabet[b % 64] for b in digest[:12])


class PlacesWriter:
    def __init__(self, connection):
        self.db = connection
        self.places = {}

    def place(self, url, pageTitle):
        if url not in self.places:
            host = url.split("//", 1)[-1].split("/", 1)[0] if "//" in url else ""
            cursor = self.db.execute(
                "insert into moz_places (url, title, rev_host, guid, foreign_count, frecency) values (?,?,?,?,1,100)",
                (url, pageTitle, host[::-1] + ".", _guid("place" + url)))
            self.places[url] = cursor.lastrowid
        return self.places[url]

    def add(self, parent, position, node):
        """Rows are inserted last child first, so ids run against positions: only the position orders."""
        kind = node[0]
        seed = f"{parent}/{position}/{node[1] if len(node) > 1 else ''}"
        if kind == "folder":
            rowId = self._row(FIREFOX_FOLDER, None, parent, position, node[1], seed)
            self.addChildren(rowId, node[2])
        elif kind == "bookmark":
            # the page's own title differs from the bookmark's: the bookmark's is the one shown
            fk = self.place(node[2], f"Page at {node[2]}")
            self._row(FIREFOX_BOOKMARK, fk, parent, position, node[1], seed)
        else:
            self._row(FIREFOX_SEPARATOR, None, parent, position, None, seed)

    def addChildren(self, parent, children):
        for position in reversed(range(len(children))):
            self.add(parent, position, children[position])

    def appendChildren(self, parent, children):
        """Children added after the ones already there, as a running browser adds them."""
        start = self.db.execute("select count(*) from moz_bookmarks where parent=?", (parent,)).fetchone()[0]
        for offset, node in enumerate(children):
            self.add(parent, start + offset, node)

    def _row(self, kind, fk, parent, position, title, seed):
        cursor = self.db.execute(
            "insert into moz_bookmarks (type, fk, parent, position, title, dateAdded, lastModified, guid) "
            "values (?,?,?,?,?,?,?,?)", (kind, fk, parent, position, title, DATE, DATE, _guid(seed)))
        return cursor.lastrowid

    def rootId(self, guid):
        return self.db.execute("select id from moz_bookmarks where guid=?", (guid,)).fetchone()[0]


def writeFirefoxProfile(home, scratch, profiles, contents, running=None):
    """~/.mozilla/firefox with profiles.ini listing `profiles` ((name, folder) pairs, the first the
    one whose places.sqlite holds `contents`: root GUID -> children). `running` (root GUID ->
    children) is committed to the write-ahead log only, as a running Firefox leaves it."""
    firefox = os.path.join(home, ".mozilla", "firefox")
    lines = []
    for index, (name, folder) in enumerate(profiles):
        os.makedirs(os.path.join(firefox, folder))
        lines += [f"[Profile{index}]", f"Name={name}", "IsRelative=1", f"Path={folder}"]
        lines += ["Default=1", ""] if index == 0 else [""]
    lines += ["[General]", "StartWithLastProfile=1", "Version=2", ""]
    with open(os.path.join(firefox, "profiles.ini"), "w", encoding="utf-8") as handle:
        handle.write("\n".join(lines))

    os.makedirs(scratch, exist_ok=True)
    built = os.path.join(scratch, "places.sqlite")
    db = sqlite3.connect(built, isolation_level=None)
    db.execute("pragma journal_mode=wal")
    db.execute("pragma user_version=77")
    db.executescript(FIREFOX_SCHEMA)
    writer = PlacesWriter(db)
    db.execute("begin")
    writer._row(FIREFOX_FOLDER, None, 0, 0, "", "root")
    db.execute("update moz_bookmarks set guid='root________' where parent=0")
    for position, (guid, title) in enumerate(FIREFOX_ROOTS):
        rowId = writer._row(FIREFOX_FOLDER, None, 1, position, title, guid)
        db.execute("update moz_bookmarks set guid=? where id=?", (guid, rowId))
    for guid, children in contents.items():
        writer.addChildren(writer.rootId(guid), children)
    db.execute("commit")
    db.execute("pragma wal_checkpoint(TRUNCATE)")
    target = os.path.join(firefox, profiles[0][1], "places.sqlite")
    if running:
        db.execute("pragma wal_autocheckpoint=0")
        db.execute("begin")
        for guid, children in running.items():
            writer.appendChildren(writer.rootId(guid), children)
        db.execute("commit")
        # the pair as it lies on disk while the browser still has it open
        shutil.copyfile(built + "-wal", target + "-wal")
    shutil.copyfile(built, target)
    db.close()
    check(not running or os.path.getsize(target + "-wal") > 0, "the write-ahead log of the profile is empty")
    return firefox


# ---- Chromium --------------------------------------------------------------------------------------

CHROMIUM_ROOTS = [("bookmark_bar", "Bookmarks bar"), ("other", "Other bookmarks"), ("synced", "Mobile bookmarks")]


def _chromiumNodes(children, counter):
    nodes = []
    for node in children:
        counter[0] += 1
        entry = {"date_added": "13340000000000000", "date_last_used": "0", "guid": str(uuid.uuid4()),
                 "id": str(counter[0]), "name": node[1]}
        if node[0] == "folder":
            entry.update({"children": _chromiumNodes(node[2], counter), "date_modified": "0", "type": "folder"})
        else:
            entry.update({"type": "url", "url": node[2]})
        nodes.append(entry)
    return nodes


def writeChromiumProfile(home, profiles, contents):
    """~/.config/chromium with Local State naming the `profiles` ((folder, name) pairs) and, in the
    first one's folder, Bookmarks holding `contents` (root key -> children)."""
    chromium = os.path.join(home, ".config", "chromium")
    counter = [len(CHROMIUM_ROOTS)]
    roots = {}
    for index, (key, name) in enumerate(CHROMIUM_ROOTS):
        roots[key] = {"children": _chromiumNodes(contents.get(key, []), counter), "date_added": "13340000000000000",
                      "date_modified": "0", "guid": str(uuid.uuid4()), "id": str(index + 1), "name": name,
                      "type": "folder"}
    for folder, _ in profiles:
        os.makedirs(os.path.join(chromium, folder))
    with open(os.path.join(chromium, profiles[0][0], "Bookmarks"), "w", encoding="utf-8") as handle:
        json.dump({"roots": roots, "version": 1}, handle, ensure_ascii=False, indent=3)
    state = {"profile": {"info_cache": {folder: {"name": name, "is_using_default_name": False}
                                        for folder, name in profiles},
                         "last_used": profiles[0][0]}}
    with open(os.path.join(chromium, "Local State"), "w", encoding="utf-8") as handle:
        json.dump(state, handle, ensure_ascii=False)
    return chromium


# ---- observing files -------------------------------------------------------------------------------

def folderState(folder):
    """Every file and folder below `folder` by relative path: its kind, bytes' digest, size and
    modification time in nanoseconds."""
    state = {}
    for parent, folders, files in os.walk(folder):
        for name in folders + files:
            path = os.path.join(parent, name)
            status = os.lstat(path)
            digest = None
            if os.path.isfile(path) and not os.path.islink(path):
                with open(path, "rb") as handle:
                    digest = hashlib.sha256(handle.read()).hexdigest()
            state[os.path.relpath(path, folder)] = (status.st_mode, digest, status.st_size, status.st_mtime_ns)
    return state
