#!/usr/bin/env python3
"""The end-to-end checks in one command, on Windows itself or under Wine: larnix.exe on the
host tests' case table and on cases only a real platform can answer, watched by keyview.exe,
then the manual's cmd recipes. keyview's hook keeps every key these runs send from the desktop.

usage: check.py ARCHIVE.zip              the release archive's larnix.exe and keyview.exe
       check.py LARNIX_EXE KEYVIEW_EXE   a build's
Run from a source checkout; under Wine, WINEPREFIX names a ready prefix.
"""
import json
import os
import sys
import tempfile
import zipfile

import cases
import cmd_recipes
import launch
from launch import PLATFORM

SOURCE = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))


def input_refused(larnix, keyview):
    """Why this desktop does not take injected input, or None when it does. A desktop that is
    not receiving input refuses every key: one message then, not a failure in every check."""
    status, out, err = launch.run([keyview, "--records", larnix, "tap:41"])
    if status != 0:
        return " ".join(line for line in err.decode("latin-1").splitlines() if "keyview" in line)
    record = json.loads(out)
    if record["status"] != 0:
        return "larnix.exe tap:41 ended with %d: %r" % (record["status"], record["err"])
    return None


def check(larnix, keyview):
    print("end-to-end checks on %s of %s and %s" % (PLATFORM, larnix, keyview))
    refused = input_refused(larnix, keyview)
    if refused:
        print("FAIL: %s takes no input here, so nothing was checked: %s" % (PLATFORM, refused))
        return 1
    failed = cases.run(os.path.join(SOURCE, "tests", "driver_cases.h"), larnix, keyview)
    failed += cmd_recipes.run(os.path.join(SOURCE, "docs", "manual.md"), larnix, keyview)
    print("end-to-end checks on %s: %s" % (
        PLATFORM, "%d failed" % failed if failed else "all passed"))
    return 1 if failed else 0


def main():
    # The report repeats text that is not ASCII; a console's code page must not end it.
    sys.stdout.reconfigure(errors="backslashreplace")
    if len(sys.argv) == 2 and sys.argv[1].lower().endswith(".zip"):
        with tempfile.TemporaryDirectory() as folder:
            zipfile.ZipFile(sys.argv[1]).extractall(folder, ["larnix.exe", "keyview.exe"])
            return check(os.path.join(folder, "larnix.exe"), os.path.join(folder, "keyview.exe"))
    if len(sys.argv) == 3:
        return check(*map(os.path.abspath, sys.argv[1:]))
    sys.exit(__doc__)


if __name__ == "__main__":
    sys.exit(main())
