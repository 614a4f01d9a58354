#!/usr/bin/python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""Runs one end-to-end scenario against a built program:

    run.py --binary build/src/app/varnelo --artifacts build/tests/e2e/screenshots [--keep] SCENARIO

The scenario runs inside its own D-Bus session (dbus-run-session), which carries the
accessibility bus, on its own Xvfb display. The exit status is 0 when it passed, 77 (SKIPPED)
when this machine has no Xvfb, fluxbox or AT-SPI to run it on, anything else when it failed."""

import argparse
import os
import shutil
import signal
import subprocess
import sys
import tempfile
import traceback

HERE = os.path.dirname(os.path.abspath(__file__))
sys.dont_write_bytecode = True
sys.path.insert(0, HERE)

INNER_MARK = "VARNELO_E2E_INNER"
# ctest's SKIP_RETURN_CODE for these tests
SKIPPED = 77
OUTER_TIMEOUT = 110
# scenarios whose copy of the program lives in a folder with a blank in its name
BLANK_FOLDER = {"settings_autorun"}
# scenarios on a desktop without a notification area
NO_TRAY_AREA = {"no_tray_area"}


def parseArguments():
    parser = argparse.ArgumentParser()
    parser.add_argument("--binary", required=True)
    parser.add_argument("--artifacts", required=True)
    parser.add_argument("--keep", action="store_true", help="keep the temporary folder")
    parser.add_argument("scenario")
    return parser.parse_args()


def runOuter(arguments):
    from harness import endGroup, missingDesktop, requireTools
    missing = missingDesktop()
    if missing:
        print(f"SKIP: {arguments.scenario}: this machine lacks {', '.join(missing)}"
              " (scripts/install-deps.sh installs them)", flush=True)
        return SKIPPED
    requireTools()
    if not os.access(arguments.binary, os.X_OK):
        print(f"FAIL: the program {arguments.binary} is missing or not executable", flush=True)
        return 1
    # the bus and the accessibility bus keep their sockets here, not in the user's runtime folder
    busFolder = tempfile.mkdtemp(prefix="varnelo-e2e-bus-")
    env = dict(os.environ, **{INNER_MARK: "1", "XDG_RUNTIME_DIR": busFolder, "HOME": busFolder})
    env.pop("DBUS_SESSION_BUS_ADDRESS", None)
    env.pop("AT_SPI_BUS_ADDRESS", None)
    command = ["dbus-run-session", "--", "/usr/bin/python3", "-u", os.path.abspath(__file__), *sys.argv[1:]]
    process = subprocess.Popen(command, env=env, start_new_session=True)
    try:
        return process.wait(timeout=OUTER_TIMEOUT)
    except subprocess.TimeoutExpired:
        print(f"FAIL: scenario {arguments.scenario} did not end within {OUTER_TIMEOUT} s", flush=True)
        return 1
    finally:
        # the session's bus, its accessibility bus and anything left behind end with the group
        endGroup(process)
        shutil.rmtree(busFolder, ignore_errors=True)


def _stopOnTerm(_signum, _frame):
    raise SystemExit("terminated")


def runInner(arguments):
    signal.signal(signal.SIGTERM, _stopOnTerm)
    from harness import Session, ScenarioFailure
    folder = "app folder" if arguments.scenario in BLANK_FOLDER else "app"
    session = Session(arguments.binary, arguments.artifacts, arguments.scenario, folder,
                      trayArea=arguments.scenario not in NO_TRAY_AREA)
    passed = False
    try:
        session.start()
        # the accessibility client comes up only once the display and the bus are there
        import scenarios
        scenario = scenarios.SCENARIOS.get(arguments.scenario)
        if scenario is None:
            raise ScenarioFailure(f"unknown scenario; known: {', '.join(scenarios.SCENARIOS)}")
        scenario(session)
        passed = True
    except ScenarioFailure as failure:
        print(f"FAIL: {arguments.scenario}: {failure}", flush=True)
    except Exception:
        print(f"FAIL: {arguments.scenario}: the scenario broke:", flush=True)
        traceback.print_exc()
    finally:
        if not passed:
            for program in session.programs:
                print(f"--- output of program {program.pid} ---\n{program.log()}", flush=True)
            print(f"temporary folder kept: {session.root}", flush=True)
        session.stop()
        session.cleanUp(keep=arguments.keep or not passed)
    if passed:
        print(f"PASS: {arguments.scenario}", flush=True)
    return 0 if passed else 1


def main():
    arguments = parseArguments()
    if os.environ.get(INNER_MARK) == "1":
        return runInner(arguments)
    return runOuter(arguments)


if __name__ == "__main__":
    sys.exit(main())
