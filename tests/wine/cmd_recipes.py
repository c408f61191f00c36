#!/usr/bin/env python3
"""Runs the cmd recipes of the manual, as written there, through Wine's cmd.exe: as a batch
file (cmd /c FILE.bat) or typed at the prompt (fed to cmd on its standard input), each in a
folder of its own that holds larnix.exe. Checks what cmd printed, how it ended and every byte
of err.txt.

usage: cmd_recipes.py MANUAL_MD LARNIX_EXE   (WINEPREFIX names a ready prefix)
"""
import os
import shutil
import sys
import tempfile

from wine_run import wine

BATCH = """@echo off
larnix.exe down:11 tap:43 up:11 2> err.txt
if errorlevel 1 (
  echo larnix.exe failed with status %ERRORLEVEL%:
  type err.txt
  exit /b %ERRORLEVEL%
)"""
START_WAIT = "start /wait larnix.exe down:11 tap:43 up:11\necho %ERRORLEVEL%"
CMD_C = 'cmd /c "larnix.exe down:11 tap:43 up:11 2> err.txt"\necho %ERRORLEVEL%'
START_WAIT_2 = "start /wait larnix.exe tap:41 junk 2> err.txt`, then `echo %ERRORLEVEL%"
BARE = "larnix.exe tap:41 junk`, then `echo %ERRORLEVEL%"

# The manual says which arguments it puts in place of the recipes' own for a failing run.
WRITTEN, FAILING = "down:11 tap:43 up:11", "tap:41 junk"
JUNK = b"bad op junk\n"

# (name, how, the manual's text, arguments in place of WRITTEN or None, what cmd prints,
#  cmd's exit status or None, err.txt or None where there is none)
CASES = [
    ("PromptDoesNotWait", "prompt", BARE, None, b"0\r\n", None, None),  # first: larnix outlives it
    ("BatchSucceeds", "batch", BATCH, None, b"", 0, b""),
    ("BatchFails", "batch", BATCH, FAILING, b"larnix.exe failed with status 2:\r\n" + JUNK, 2, JUNK),
    ("StartWait", "prompt", START_WAIT, None, b"0\r\n", None, None),
    ("StartWaitFails", "prompt", START_WAIT, FAILING, b"2\r\n", None, None),
    ("StartWaitLosesRedirection", "prompt", START_WAIT_2, None, b"2\r\n", None, b""),
    ("CmdC", "prompt", CMD_C, None, b"0\r\n", None, b""),
    ("CmdCFails", "prompt", CMD_C, FAILING, b"2\r\n", None, JUNK),
]


def run(how, lines, larnix):
    """Runs the lines in a fresh folder; returns what cmd printed, its status, err.txt."""
    with tempfile.TemporaryDirectory() as folder:
        shutil.copy(larnix, folder)
        text = "\r\n".join(lines).encode() + b"\r\n"
        if how == "batch":
            with open(os.path.join(folder, "recipe.bat"), "wb") as bat:
                bat.write(text)
            status, printed, _ = wine(["cmd", "/c", "recipe.bat"], cwd=folder, timeout=30)
        else:
            # /q: no prompt text between the lines' output
            status, printed, _ = wine(["cmd", "/q"], text, cwd=folder, timeout=30)
            printed = printed.partition(b"\r\n")[2]  # the banner
        path = os.path.join(folder, "err.txt")
        return printed, status, open(path, "rb").read() if os.path.exists(path) else None


def main():
    manual_path, larnix = map(os.path.abspath, sys.argv[1:3])
    manual = open(manual_path, encoding="utf-8").read()
    failed = 0
    for name, how, text, args, want_out, want_status, want_err in CASES:
        problems = []
        if text not in manual:
            problems.append("the manual no longer has %r" % text)
        if args and (WRITTEN not in text or
                     "%s` in place of `%s" % (args, WRITTEN) not in " ".join(manual.split())):
            problems.append("the manual does not say to try %r in place of %r" % (args, WRITTEN))
        lines = [line.strip("`") for line in text.replace("`, then `", "\n").split("\n")]
        lines = [line.replace(WRITTEN, args) if args else line for line in lines]
        out, status, err = run(how, lines, larnix)
        if out != want_out:
            problems.append("printed %r, not %r" % (out, want_out))
        if want_status is not None and status != want_status:
            problems.append("cmd ended with %d, not %d" % (status, want_status))
        if err != want_err:
            problems.append("err.txt %r, not %r" % (err, want_err))
        if problems:
            failed += 1
            print("FAIL %s:\n  %s" % (name, "\n  ".join(problems)))
    print("%d cmd recipes, %d failed" % (len(CASES), failed))
    sys.exit(1 if failed else 0)


if __name__ == "__main__":
    main()
