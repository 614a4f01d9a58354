# SPDX-License-Identifier: GPL-3.0-or-later
"""Two machines' catalogues in step: two programs, each with a home of its own, on one display,
syncing through a real WebDAV server (rclone) that the scenario starts on 127.0.0.1."""

import os
import shutil
import socket
import subprocess

import a11y
from catalogue import BUILT_IN_CATEGORIES, seedDatabase, sqlite
from harness import ScenarioFailure, check, waitUntil
from views import (categoryTree, clickNode, exitThroughMenu, itemList, shoot, tableCell, tableRows,
                   waitMainWindow)

GENERAL_GUID = BUILT_IN_CATEGORIES[0][0]


def freePort():
    with socket.socket() as probe:
        probe.bind(("127.0.0.1", 0))
        return probe.getsockname()[1]


def secondHome(session):
    """The other machine: HOME, XDG folders and runtime folder of its own (so it is its own instance)."""
    root = os.path.join(session.root, "laptop")
    env = {name: os.path.join(root, name) for name in ("home", "config", "data", "runtime")}
    for path in env.values():
        os.makedirs(path, exist_ok=True)
    os.chmod(env["runtime"], 0o700)
    return {"HOME": env["home"], "XDG_CONFIG_HOME": env["config"], "XDG_DATA_HOME": env["data"],
            "XDG_RUNTIME_DIR": env["runtime"]}, os.path.join(env["data"], "Varnelo", "FavoritesDB.db")


def withPlace(path, place, items=()):
    """A catalogue whose sync place is set, as Sync Settings leaves it."""
    seedDatabase(path, [row for row in BUILT_IN_CATEGORIES], items)
    result = subprocess.run(["sqlite3", path], text=True, capture_output=True, timeout=30,
                            input="create table sync_meta (key text primary key, value text);\n"
                                  f"insert into sync_meta values ('place', '{place}');\n")
    check(result.returncode == 0, f"sqlite3 could not set the sync place: {result.stderr}")


def syncNow(app):
    a11y.pressMenu(app, "Tools", "Sync Now")


def twoMachinesSync(session):
    """An item added on one machine appears on the other after Sync Now there."""
    if not shutil.which("rclone"):
        raise ScenarioFailure("rclone is not installed")
    served = os.path.join(session.root, "served")
    os.makedirs(served)
    port = freePort()
    session.startHelper(["rclone", "serve", "webdav", served, "--addr", f"127.0.0.1:{port}"], "rclone.log")
    waitUntil(lambda: socket.socket().connect_ex(("127.0.0.1", port)) == 0, "the WebDAV server to listen")
    place = f"http://127.0.0.1:{port}/varnelo-sync"

    withPlace(session.dbPath, place, [("desk-1", "From the desktop", "https://example.org/desk", GENERAL_GUID, 1)])
    laptopEnv, laptopDb = secondHome(session)
    withPlace(laptopDb, place)

    desktop = session.launch()
    waitMainWindow(session, desktop)
    desktopApp = a11y.application(desktop.pid)
    laptop = session.launch(extraEnv=laptopEnv)
    laptopWindow = waitMainWindow(session, laptop)
    laptopApp = a11y.application(laptop.pid)
    check(desktopApp is not laptopApp, "the two homes run as two programs")

    syncNow(desktopApp)
    waitUntil(lambda: os.path.isdir(os.path.join(served, "varnelo-sync", "Varnelo"))
              and any(os.listdir(os.path.join(served, "varnelo-sync", "Varnelo", d))
                      for d in os.listdir(os.path.join(served, "varnelo-sync", "Varnelo"))),
              "the desktop's files on the server", 30.0)
    syncNow(laptopApp)
    waitUntil(lambda: sqlite(laptopDb, "select name from link_table") == [{"name": "From the desktop"}],
              "the desktop's item in the laptop's catalogue", 30.0)
    tree, items = categoryTree(laptopApp), itemList(laptopApp)
    waitUntil(lambda: tableCell(tree, "General files") is not None, "the laptop's tree after the sync")
    clickNode(session, tableCell(tree, "General files"))
    waitUntil(lambda: tableRows(items) == ["From the desktop"], "the desktop's item listed on the laptop", 30.0)
    shoot(session, laptopWindow, "laptop-after-sync")
    a11y.pressMenu(laptopApp, "File", "Exit")
    check(laptop.waitExit(20) == 0, "the laptop's program did not end with 0 after File > Exit")
    exitThroughMenu(session, desktop, desktopApp)


SCENARIOS = {
    "two_machines_sync": twoMachinesSync,
}
