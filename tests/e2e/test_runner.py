#!/usr/bin/python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""run.py's verdicts: 77 (skipped) on a machine without the virtual desktop, so ctest reports the
scenario as skipped; a failure, never a skip, when the desktop is there and the program is not."""

import os
import subprocess
import sys
import tempfile
import unittest

HERE = os.path.dirname(os.path.abspath(__file__))
sys.dont_write_bytecode = True
sys.path.insert(0, HERE)

from harness import missingDesktop  # noqa: E402

SKIPPED = 77


def runScenario(binary, path):
    with tempfile.TemporaryDirectory() as artifacts:
        return subprocess.run(["/usr/bin/python3", os.path.join(HERE, "run.py"), "--binary", binary,
                               "--artifacts", artifacts, "first_start"],
                              env=dict(os.environ, PATH=path), stdin=subprocess.DEVNULL,
                              capture_output=True, text=True, timeout=100)


class RunVerdicts(unittest.TestCase):
    binary = None

    def test_WithoutDisplayServerTheScenarioIsSkipped(self):
        with tempfile.TemporaryDirectory() as bare:
            result = runScenario(self.binary, bare)
        self.assertEqual(result.returncode, SKIPPED, result.stdout + result.stderr)
        self.assertIn("Xvfb", result.stdout)

    def test_WithDisplayServerButNoWindowManagerTheScenarioIsSkipped(self):
        with tempfile.TemporaryDirectory() as tools:
            xvfb = "/usr/bin/Xvfb"
            if not os.path.exists(xvfb):
                self.skipTest("no Xvfb on this machine")
            os.symlink(xvfb, os.path.join(tools, "Xvfb"))
            result = runScenario(self.binary, tools)
        self.assertEqual(result.returncode, SKIPPED, result.stdout + result.stderr)
        self.assertIn("fluxbox", result.stdout)
        self.assertNotIn("Xvfb", result.stdout)

    def test_MissingProgramFailsWhereTheDesktopIsThere(self):
        if missingDesktop():
            self.skipTest(f"this machine lacks {', '.join(missingDesktop())}")
        with tempfile.TemporaryDirectory() as empty:
            result = runScenario(os.path.join(empty, "varnelo"), os.environ["PATH"])
        self.assertEqual(result.returncode, 1, result.stdout + result.stderr)
        self.assertIn("missing or not executable", result.stdout)


if __name__ == "__main__":
    RunVerdicts.binary = sys.argv.pop(1)
    unittest.main()
