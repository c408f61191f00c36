#!/usr/bin/env python3
"""The end-to-end checks in one command, on Windows itself or under Wine: larnix.exe on the
host tests' case table and on cases only a real platform can answer, watched by keyview.exe,
then the manual's cmd recipes. keyview's hook keeps every key these runs send from the desktop.

usage: check.py [--summary FILE] [--only PATTERN] ARCHIVE.zip
       check.py [--summary FILE] [--only PATTERN] LARNIX_EXE KEYVIEW_EXE
The release archive's programs, or a build's. Run from a source checkout; under Wine,
WINEPREFIX names a ready prefix. --summary FILE also appends the verdict, each FAIL block, each
N/A line and each settled: line to FILE in Markdown, for a CI summary. --only PATTERN runs only
the cases and recipes whose names the regular expression PATTERN matches anywhere, so that a
plain name also matches its /NoStderrHandle run (ShiftA$ does not).
"""
import json
import os
import re
import sys
import tempfile
import traceback
import zipfile

# The checks' modules leave no compiled copy in the source tree.
sys.dont_write_bytecode = True

import cases
import cmd_recipes
import keyboard
import launch
from launch import PLATFORM

HERE = os.path.dirname(os.path.abspath(__file__))
SOURCE = os.path.dirname(os.path.dirname(HERE))


def unwatchable(larnix, keyview):
    """Why no run can be watched here and what said so, or None. A desktop that is not receiving
    input refuses every key, and a hook that never sees keyview's marker loses every run: one
    message then, not a failure in every check."""
    status, out, err = launch.run([keyview, "--records", larnix, "tap:41"])
    if status != 0:
        said = " ".join(line for line in err.decode("latin-1").splitlines() if "keyview" in line)
        if "input is refused" in said:
            return "%s takes no input here" % PLATFORM, said
        if "marker never reached its hook" in said:
            return "keyview's marker never reached its hook", said
        return "keyview ended with %d" % status, said
    record = json.loads(out)
    if record["status"] != 0:
        return "%s takes no input here" % PLATFORM, "larnix.exe tap:41 ended with %d: %r" % (
            record["status"], record["err"])
    return None


def check(larnix, keyview, only):
    print("end-to-end checks on %s of %s and %s%s" % (
        PLATFORM, larnix, keyview, " (only what --only %s matches)" % only.pattern if only else ""))
    why = unwatchable(larnix, keyview)
    if why:
        print("FAIL: %s, so nothing was checked: %s" % why)
        return 1
    matched = set()

    def wanted(name):
        if only and not only.search(name):
            return False
        matched.add(name)
        return True

    failed = cases.run(os.path.join(SOURCE, "tests", "driver_cases.h"), larnix, keyview, wanted)
    failed += keyboard.run_table(larnix, keyview, wanted)
    failed += cmd_recipes.run(os.path.join(SOURCE, "docs", "manual.md"), larnix, keyview, wanted)
    if not matched:
        failed += 1
        print("FAIL: --only %s matches no case and no recipe" % only.pattern)
    print("end-to-end checks on %s: %s" % (
        PLATFORM, "%d failed" % failed if failed else "all passed"))
    return 1 if failed else 0


def check_given(args, only):
    if len(args) == 1:
        # Windows refuses to delete a file still held open, and a failed clean-up must not
        # turn a verdict into a traceback.
        with tempfile.TemporaryDirectory(ignore_cleanup_errors=True) as folder:
            zipfile.ZipFile(args[0]).extractall(folder, ["larnix.exe", "keyview.exe"])
            return check(os.path.join(folder, "larnix.exe"), os.path.join(folder, "keyview.exe"),
                         only)
    return check(*map(os.path.abspath, args), only)


def report_stop(stop):
    """The reason of an early stop, which Python writes to standard error only, as the report's
    last FAIL block: a message given to sys.exit, or an error and where in the checks it
    arose."""
    if isinstance(stop, SystemExit):
        if not isinstance(stop.code, str):
            return
        lines = stop.code.splitlines()
    else:
        frames = traceback.extract_tb(stop.__traceback__)
        frame = ([f for f in frames if os.path.dirname(f.filename) == HERE] or frames)[-1]
        lines = "".join(traceback.format_exception_only(type(stop), stop)).splitlines() + [
            "at %s line %d, in %s" % (os.path.basename(frame.filename), frame.lineno, frame.name)]
    lines = [launch.cut(line, 300) for line in lines if line.strip()] or ["no reason given"]
    print("FAIL: the checks stopped early: %s" % "\n  ".join(lines))


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
    for line in lines:  # each FAIL block, each N/A line and each settled: line
        in_failure = line.startswith("FAIL") or in_failure and line.startswith("  ")
        if in_failure or line.startswith(("  N/A ", "  settled: ")):
            picked.append(line[:300])
    with open(path, "a", encoding="utf-8") as out:
        out.write("### %s\n\n" % verdicts[-1])
        if picked:
            out.write("```\n%s\n```\n\n" % "\n".join(picked))


def main():
    # The report repeats text that is not ASCII; a console's code page must not end it.
    sys.stdout.reconfigure(errors="backslashreplace")
    args, options = sys.argv[1:], {"--summary": None, "--only": None}
    while len(args) > 1 and args[0] in options:
        options[args[0]], args = args[1], args[2:]
    if not (len(args) == 1 and args[0].lower().endswith(".zip") or len(args) == 2):
        sys.exit(__doc__)
    try:
        only = options["--only"] and re.compile(options["--only"])
    except re.error as error:
        sys.exit("check.py: --only %s: %s" % (options["--only"], error))
    sys.stdout = report = Report(sys.stdout)
    try:
        return check_given(args, only)
    except BaseException as stop:
        report_stop(stop)
        raise
    finally:
        if options["--summary"]:
            summarize(options["--summary"], "".join(report.text).splitlines())


if __name__ == "__main__":
    sys.exit(main())
