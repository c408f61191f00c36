#!/usr/bin/env python3
"""The end-to-end checks in one command, on Windows itself or under Wine: larnix.exe on the
host tests' case table and on cases only a real platform can answer, watched by keyview.exe,
then the manual's cmd recipes. keyview's hook keeps every key these runs send from the desktop.

usage: check.py ARCHIVE.zip              the release archive's larnix.exe and keyview.exe
       check.py LARNIX_EXE KEYVIEW_EXE   a build's
Run from a source checkout; under Wine, WINEPREFIX names a ready prefix.
"""
import os
import sys
import tempfile
import zipfile

import cases
import cmd_recipes
from launch import PLATFORM

SOURCE = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))


def check(larnix, keyview):
    print("end-to-end checks on %s of %s and %s" % (PLATFORM, larnix, keyview))
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
