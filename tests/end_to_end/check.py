#!/usr/bin/env python3
"""The end-to-end checks in one command, on Windows itself or under Wine: larnix.exe on the
host tests' case table and on cases only a real platform can answer, watched by keyview.exe,
then the manual's cmd recipes. keyview's hook keeps every key these runs send from the desktop.

usage: check.py [--summary FILE] ARCHIVE.zip              the release archive's programs
       check.py [--summary FILE] LARNIX_EXE KEYVIEW_EXE   a build's
Run from a source checkout; under Wine, WINEPREFIX names a ready prefix. --summary FILE also
appends the verdict, each FAIL block and each N/A line to FILE in Markdown, for a CI summary.
"""
import json
import os
import sys
import tempfile
import zipfile

# The checks' modules leave no compiled copy in the source tree.
sys.dont_write_bytecode = True

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


def check_given(args):
    if len(args) == 1 and args[0].lower().endswith(".zip"):
        # Windows refuses to delete a file still held open, and a failed clean-up must not
        # turn a verdict into a traceback.
        with tempfile.TemporaryDirectory(ignore_cleanup_errors=True) as folder:
            zipfile.ZipFile(args[0]).extractall(folder, ["larnix.exe", "keyview.exe"])
            return check(os.path.join(folder, "larnix.exe"), os.path.join(folder, "keyview.exe"))
    if len(args) == 2:
        return check(*map(os.path.abspath, args))
    sys.exit(__doc__)


class Report:
    """Standard output, every line of which is also kept for the summary."""

    def __init__(self, stream):
        self.stream, self.text = stream, []

    def write(self, text):
        self.text.append(text)
        return self.stream.write(text)

    def flush(self):
        self.stream.flush()


def summarize(path, lines):
    verdicts = [line for line in lines if line.startswith("end-to-end checks on ") and
                line.endswith(("passed", "failed"))] or ["end-to-end checks: did not finish"]
    picked, in_failure = [], False
    for line in lines:  # each FAIL block, and each N/A line
        in_failure = line.startswith("FAIL") or in_failure and line.startswith("  ")
        if in_failure or line.startswith("  N/A "):
            picked.append(line[:300])
    with open(path, "a", encoding="utf-8") as out:
        out.write("### %s\n\n" % verdicts[-1])
        if picked:
            out.write("```\n%s\n```\n\n" % "\n".join(picked))


def main():
    # The report repeats text that is not ASCII; a console's code page must not end it.
    sys.stdout.reconfigure(errors="backslashreplace")
    args, summary = sys.argv[1:], None
    if args[:1] == ["--summary"] and len(args) > 1:
        summary, args = args[1], args[2:]
    sys.stdout = report = Report(sys.stdout)
    try:
        return check_given(args)
    finally:
        if summary:
            summarize(summary, "".join(report.text).splitlines())


if __name__ == "__main__":
    sys.exit(main())
