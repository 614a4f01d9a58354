# SPDX-License-Identifier: GPL-3.0-or-later
"""The browser connector in a real Chromium on the session's display, the extension loaded unpacked,
its host installed by `varnelo-cli connector --install`, a page served on 127.0.0.1 by the scenario.
A key press reaches an extension only from a real window, hence Xvfb; the DevTools protocol only reads
what a user sees (the badge, the popup) and presses the popup's buttons."""

import base64
import functools
import http.server
import json
import os
import shutil
import subprocess
import threading
import urllib.request

from catalogue import sqlite
from harness import ScenarioFailure, check, waitUntil

HERE = os.path.dirname(os.path.abspath(__file__))
EXTENSION = os.path.join(os.path.dirname(os.path.dirname(HERE)), "connector")
EXTENSION_ORIGIN = "chrome-extension://jodofngddidefgdbbplahmcabnpmfbfi/"
TITLE = "Tide tables of Vigo harbour"
WORDS = "Quillwort grows below the tide line of the old harbour."
PAGE = f"""<!DOCTYPE html>
<html><head><title>{TITLE}</title><link rel="stylesheet" href="harbour.css"></head>
<body><h1>Vigo harbour</h1><p id="words">{WORDS}</p><img src="tide.png" alt="tide">
<script>document.body.dataset.ran = "yes";</script></body></html>
"""


class Quiet(http.server.SimpleHTTPRequestHandler):
    def log_message(self, *args):
        """The scenario's output is its verdict."""


class DevTools:
    """One DevTools connection to a page, popup or service worker of the browser."""

    def __init__(self, target):
        import websocket
        self.socket = websocket.create_connection(target["webSocketDebuggerUrl"], timeout=30,
                                                  suppress_origin=True)
        self.next = 0

    def call(self, method, **params):
        self.next += 1
        self.socket.send(json.dumps({"id": self.next, "method": method, "params": params}))
        while True:
            message = json.loads(self.socket.recv())
            if message.get("id") == self.next:
                check("error" not in message, f"{method} failed: {message.get('error')}")
                return message["result"]

    def evaluate(self, expression):
        result = self.call("Runtime.evaluate", expression=expression, awaitPromise=True, returnByValue=True)
        check("exceptionDetails" not in result, f"{expression} raised {result.get('exceptionDetails')}")
        return result["result"].get("value")

    def close(self):
        self.socket.close()


def cli(session, *args):
    program = os.path.join(os.path.dirname(os.path.dirname(session.binary)), "cli", "varnelo-cli")
    result = subprocess.run([program, *args], env=session.environment(), capture_output=True, text=True,
                            timeout=60)
    check(result.returncode == 0, f"varnelo-cli {' '.join(args)} failed: {result.stderr}")
    return result.stdout


def browserTargets(port):
    with urllib.request.urlopen(f"http://127.0.0.1:{port}/json/list", timeout=10) as answer:
        return json.load(answer)


def waitTarget(port, predicate, what):
    return waitUntil(lambda: next((t for t in browserTargets(port) if predicate(t)), None), what, 60)


def browserConnector(session):
    check(shutil.which("chromium"), "chromium is missing (scripts/install-deps.sh installs it)")
    cli(session, "mkcat", "Reading")
    cli(session, "mkcat", "Reading/Résumés")
    installed = cli(session, "connector", "--install")
    profile = os.path.join(session.configHome, "chromium")
    check(os.path.join(profile, "NativeMessagingHosts", "app.varnelo.connector.json") in installed,
          f"--install did not name Chromium's folder: {installed}")

    site = os.path.join(session.root, "site")
    os.makedirs(site)
    with open(os.path.join(site, "index.html"), "w", encoding="utf-8") as handle:
        handle.write(PAGE)
    with open(os.path.join(site, "harbour.css"), "w", encoding="utf-8") as handle:
        handle.write("h1 { color: #1f3f73; }\n")
    shutil.copy(os.path.join(EXTENSION, "icons", "varnelo-48.png"), os.path.join(site, "tide.png"))
    server = http.server.ThreadingHTTPServer(("127.0.0.1", 0), functools.partial(Quiet, directory=site))
    threading.Thread(target=server.serve_forever, daemon=True).start()
    address = f"http://127.0.0.1:{server.server_address[1]}/index.html"
    try:
        fileFromTheBrowser(session, profile, address)
    finally:
        server.shutdown()
        server.server_close()


def fileFromTheBrowser(session, profile, address):
    session.startHelper(["chromium", "--no-sandbox", "--disable-gpu", "--disable-quic", "--no-first-run",
                         "--no-default-browser-check", "--disable-background-networking",
                         "--disable-component-update", "--disable-sync", "--password-store=basic",
                         "--window-size=1100,800", f"--user-data-dir={profile}", f"--load-extension={EXTENSION}",
                         "--remote-debugging-port=0", address], "chromium.log")
    portFile = os.path.join(profile, "DevToolsActivePort")
    port = waitUntil(lambda: open(portFile).read().split()[0], "Chromium's DevTools port", 60)
    worker = DevTools(waitTarget(port, lambda t: t["type"] == "service_worker"
                                 and t["url"].startswith(EXTENSION_ORIGIN), "the extension's service worker"))
    page = DevTools(waitTarget(port, lambda t: t["type"] == "page" and t["url"] == address, "the served page"))
    waitUntil(lambda: page.evaluate("document.readyState") == "complete", "the page loaded", 60)
    waitUntil(lambda: page.evaluate("document.getElementById('words') !== null"), "the paragraph", 60)
    page.evaluate("getSelection().selectAllChildren(document.getElementById('words'))")

    # The shortcut, pressed as a user presses it in the browser's window.
    window = waitUntil(lambda: session.xdotool("search", "--onlyvisible", "--name", TITLE).split(),
                       "Chromium's window", 60)[-1]
    filed = "select guid, name, target, comment, category from link_table"

    def pressed():
        # A press lost to a window that was still taking the focus is pressed again.
        session.xdotool("windowactivate", "--sync", window, check_=False)
        session.xdotool("key", "--clearmodifiers", "alt+shift+v")
        try:
            return waitUntil(lambda: sqlite(session.dbPath, filed), "the page filed by Alt+Shift+V", 20)
        except ScenarioFailure:
            return None

    rows = waitUntil(pressed, "the page filed by one of three presses of Alt+Shift+V", 60, interval=0)
    check(rows and all((r["name"], r["target"], r["comment"]) == (TITLE, address, WORDS) for r in rows),
          f"the shortcut filed {rows}")
    activeBadge = ("chrome.tabs.query({active: true, lastFocusedWindow: true})"
                   ".then(([tab]) => chrome.action.getBadgeText({tabId: tab.id}))")
    waitUntil(lambda: worker.evaluate(activeBadge) == "\u2713", "the badge saying the page is known", 30)

    worker.evaluate("chrome.action.openPopup()")
    popup = DevTools(waitTarget(port, lambda t: t["url"] == EXTENSION_ORIGIN + "popup.html", "the popup"))
    waitUntil(lambda: popup.evaluate("document.querySelectorAll('#category option').length > 0"
                                     " && !document.getElementById('filed').hidden"), "the popup filled in", 30)
    places = popup.evaluate("document.getElementById('places').innerText")
    check(f"Favorite websites \u2014 {TITLE}" in places, f"the popup lists {places!r}")
    filtered = popup.evaluate("""(() => {
        const filter = document.getElementById('filter');
        filter.value = 'resume';
        filter.dispatchEvent(new Event('input'));
        const shown = Array.from(document.querySelectorAll('#category option'), o => o.textContent);
        filter.value = '';
        filter.dispatchEvent(new Event('input'));
        return shown;
    })()""")
    check(filtered == ["Reading / Résumés"], f"the filter 'resume' offers {filtered}")
    chosen = next(r["guid"] for r in sqlite(session.dbPath, "select guid, name from category_table")
                  if r["name"] == "Résumés")
    popup.evaluate(f"document.getElementById('category').value = '{chosen}'")
    popup.evaluate("document.getElementById('keep').click()")
    status = waitUntil(lambda: popup.evaluate("document.getElementById('status').textContent"), "the popup's answer", 60)
    check(status == "Added to Reading / Résumés with a kept copy.", f"the popup says {status!r}")
    waitUntil(lambda: "Reading / Résumés" in popup.evaluate("document.getElementById('places').innerText"),
              "the second place listed", 30)
    shot = popup.call("Page.captureScreenshot", format="png")
    with open(os.path.join(session.artifacts, f"{session.name}-popup.png"), "wb") as handle:
        handle.write(base64.b64decode(shot["data"]))

    kept = [r["guid"] for r in sqlite(session.dbPath, filed) if r["category"] == chosen]
    found = cli(session, "search", "--content", "quillwort")
    check(len(kept) == 1 and kept[0] in found, f"the kept copy of {kept} is not found by its words: {found!r}")
    pages = os.path.join(session.dataFolder, "pages")
    copy = open(os.path.join(pages, os.listdir(pages)[0]), encoding="utf-8").read()
    check("data:image/png;base64," in copy and "<style" in copy and "<script" not in copy,
          "the kept copy does not hold its picture and stylesheet, or keeps its script")
    for connection in (popup, page, worker):
        connection.close()


SCENARIOS = {
    "browser_connector": browserConnector,
}
