#!/usr/bin/python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""Stand-ins for the desktop around the program, started by the scenarios:

    fakes.py filemanager LOG   owns org.freedesktop.FileManager1 on the session bus
    fakes.py opener LOG ARG..  (installed as "xdg-open") records what it was asked to open

Each writes one JSON list per call to LOG."""

import json
import sys

FILE_MANAGER_XML = """<node><interface name="org.freedesktop.FileManager1">
<method name="ShowItems"><arg type="as" direction="in"/><arg type="s" direction="in"/></method>
<method name="ShowFolders"><arg type="as" direction="in"/><arg type="s" direction="in"/></method>
<method name="ShowItemProperties"><arg type="as" direction="in"/><arg type="s" direction="in"/></method>
</interface></node>"""


def record(log, entry):
    with open(log, "a", encoding="utf-8") as handle:
        handle.write(json.dumps(entry) + "\n")


def fileManager(log):
    from gi.repository import Gio, GLib
    interface = Gio.DBusNodeInfo.new_for_xml(FILE_MANAGER_XML).interfaces[0]

    def onCall(_connection, _sender, _path, _interface, method, parameters, invocation):
        record(log, [method, *parameters.unpack()])
        invocation.return_value(None)

    def onBus(connection, _name):
        connection.register_object("/org/freedesktop/FileManager1", interface, onCall, None, None)

    def onName(_connection, _name):
        record(log, ["ready"])

    Gio.bus_own_name(Gio.BusType.SESSION, "org.freedesktop.FileManager1", Gio.BusNameOwnerFlags.NONE,
                     onBus, onName, None)
    GLib.MainLoop().run()


def main():
    role, log, *rest = sys.argv[1:]
    if role == "filemanager":
        fileManager(log)
    elif role == "opener":
        record(log, rest)


if __name__ == "__main__":
    main()
