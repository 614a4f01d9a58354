# SPDX-License-Identifier: GPL-3.0-or-later
"""The catalogue's files as an independent reader and writer sees them: the sqlite3 shell for the
database, zlib and struct for backups, plain parsing for the INI and the autostart entry."""

import json
import os
import struct
import subprocess
import zlib

from harness import check

CREATION_STATEMENTS = [
    ("category_table", "create table %s (guid text,name text,level int,parent_guid text,system int,"
                       "iconIndex int,itemorder integer primary key AUTOINCREMENT);"),
    ("link_table", "create table %s (guid text,name text,target text,category text,star int,comment text,"
                   "type int,itemorder integer primary key AUTOINCREMENT);"),
    ("imagelist_table", "create table %s (id int primary key,data blob);"),
]

# made on every open, so lookups by GUID, category and parent need no table scan
LOOKUP_INDEXES = [("category_table_guid", "category_table"), ("category_table_parent_guid", "category_table"),
                  ("link_table_category", "link_table"), ("link_table_guid", "link_table")]

OFFICE_GUID = "A7337D16-451D-485a-AA22-CD0B5EC0BC9D"

WEBSITES_GUID = "9EED3209-19C9-4a89-B8B3-5FA0F96697F4"

BUILT_IN_CATEGORIES = [
    ("5EE0962C-217D-411a-BB72-6261B1B4F5BF", "General files", 0, "", 1, 0, 1),
    (OFFICE_GUID, "Office documents", 0, "", 1, 0, 2),
    ("099C65A7-7E41-4d97-8294-6762A3E291F4", "Media files", 0, "", 1, 0, 3),
    (WEBSITES_GUID, "Favorite websites", 0, "", 1, 0, 4),
    ("6C6FCDD3-6C95-49d9-AC6A-CC0913ABE5C1", "Word documents", 1, OFFICE_GUID, 1, 0, 5),
    ("9CE59CC3-E4E9-4ce6-B8D7-7BB72BF00113", "Excel documents", 1, OFFICE_GUID, 1, 0, 6),
]

TOP_LEVEL = ["General files", "Office documents", "Media files", "Favorite websites"]

UNDER_OFFICE = ["Word documents", "Excel documents"]

BACKUP_MAGIC = b"VaRnElOcAtAlOgUe"

CRC_LIMIT = 10485760


def sqlite(path, sql):
    """Reads the catalogue with the sqlite3 shell, never with the program's own code."""
    result = subprocess.run(["sqlite3", "-readonly", "-json", "-cmd", ".timeout 5000", path, sql],
                            capture_output=True, text=True, timeout=30)
    check(result.returncode == 0, f"sqlite3 could not read {path}: {result.stderr.strip()}")
    return json.loads(result.stdout) if result.stdout.strip() else []


def userTables(path):
    return sqlite(path, "select name, sql from sqlite_master where type='table' "
                        "and name not like 'sqlite_%' order by rowid")


def categoryRows(path):
    rows = sqlite(path, "select guid,name,level,parent_guid,system,iconIndex,itemorder "
                        "from category_table order by itemorder")
    return [(r["guid"], r["name"], r["level"], r["parent_guid"], r["system"], r["iconIndex"],
             r["itemorder"]) for r in rows]


def storedStatement(statement, table):
    # SQLite keeps the statement as typed, with the leading keywords upper-cased and no semicolon
    text = statement % table
    check(text.startswith("create table "), "unexpected statement form")
    return "CREATE TABLE " + text[len("create table "):].rstrip(";")


def readIni(path):
    """The INI as sections of key=value lines, keys and sections compared case-insensitively."""
    sections = {}
    current = None
    with open(path, encoding="utf-8", errors="replace") as handle:
        for raw in handle:
            line = raw.strip()
            if line.startswith("[") and line.endswith("]"):
                current = sections.setdefault(line[1:-1].lower(), {})
            elif "=" in line and current is not None:
                key, value = line.split("=", 1)
                current[key.strip().lower()] = value.strip()
    return sections


def desktopEntry(path):
    entry = {}
    group = None
    with open(path, encoding="utf-8") as handle:
        for raw in handle:
            line = raw.rstrip("\n")
            if line.startswith("[") and line.endswith("]"):
                group = line[1:-1]
            elif group == "Desktop Entry" and "=" in line and not line.startswith("#"):
                key, value = line.split("=", 1)
                entry[key.strip()] = value.strip()
    return entry


def execArguments(value):
    """Splits an Exec value by the Desktop Entry rules (double quotes, backslash escapes)."""
    arguments, current, quoted, escaped, started = [], "", False, False, False
    for char in value:
        if escaped:
            current += char
            escaped = False
        elif quoted and char == "\\":
            escaped = True
        elif char == '"':
            quoted = not quoted
            started = True
        elif char == " " and not quoted:
            if started or current:
                arguments.append(current)
            current, started = "", False
        else:
            current += char
    check(not quoted, f"unbalanced quotes in Exec={value}")
    if started or current:
        arguments.append(current)
    return arguments


def parseBackup(path):
    with open(path, "rb") as handle:
        data = handle.read()
    check(len(data) >= 30, f"backup file has only {len(data)} bytes")
    magic = data[:16]
    version, size, crcLength, crc = struct.unpack("<HIII", data[16:30])
    return {"magic": magic, "version": version, "size": size, "crcLength": crcLength, "crc": crc,
            "payload": data[30:]}


def fileBytes(path):
    with open(path, "rb") as handle:
        return handle.read()


def seedDatabase(path, categories, items):
    """Writes a catalogue with the sqlite3 shell: the three tables, the given categories (rows as in
    BUILT_IN_CATEGORIES) and (guid, name, target, category, type[, comment]) items."""
    def quoted(value):
        return "'" + str(value).replace("'", "''") + "'"
    lines = [statement % table for table, statement in CREATION_STATEMENTS]
    for guid, name, level, parent, system, icon, _order in categories:
        lines.append("insert into category_table (guid,name,level,parent_guid,system,iconIndex) values("
                     f"{quoted(guid)},{quoted(name)},{level},{quoted(parent)},{system},{icon});")
    for guid, name, target, category, kind, *comment in items:
        lines.append("insert into link_table (guid,name,target,category,star,comment,type) values("
                     f"{quoted(guid)},{quoted(name)},{quoted(target)},{quoted(category)},0,"
                     f"{quoted(comment[0] if comment else '')},{kind});")
    os.makedirs(os.path.dirname(path), exist_ok=True)
    result = subprocess.run(["sqlite3", path], input="\n".join(lines), text=True,
                            capture_output=True, timeout=30)
    check(result.returncode == 0, f"sqlite3 could not write the fixture: {result.stderr}")


def branchBelow(path, guid):
    """What the catalogue holds below a category, in the stored order: (items, categories), items as
    (name, target, comment, type) and each category as (name, level, items, categories)."""
    categories = sqlite(path, "select guid,name,level,parent_guid from category_table order by itemorder")
    items = sqlite(path, "select name,target,comment,type,category from link_table order by itemorder")

    def below(parent):
        stored = [(i["name"], i["target"], i["comment"], i["type"]) for i in items if i["category"] == parent]
        children = [(c["name"], c["level"], *below(c["guid"])) for c in categories if c["parent_guid"] == parent]
        return stored, children
    return below(guid)


def categoryNamed(path, name):
    literal = name.replace("'", "''")
    rows = sqlite(path, f"select guid,level,parent_guid from category_table where name='{literal}'")
    check(len(rows) == 1, f"the catalogue holds {len(rows)} categories named {name!r}")
    return rows[0]


def writeBackup(path, payload, crc=None):
    """A backup file written by this test, not by the program."""
    crcLength = min(len(payload), CRC_LIMIT)
    if crc is None:
        crc = zlib.crc32(payload[:crcLength])
    with open(path, "wb") as handle:
        handle.write(BACKUP_MAGIC + struct.pack("<HIII", 1, len(payload), crcLength, crc) + payload)


def loggedCalls(path):
    if not os.path.exists(path):
        return []
    with open(path, encoding="utf-8") as handle:
        return [json.loads(line) for line in handle if line.strip()]
