"""Runs the cmd recipes of the manual, as written there, through cmd.exe: as a batch file
(cmd /c FILE.bat) or typed at the prompt (fed to cmd on its standard input), each in a folder
of its own that holds larnix.exe, and each under keyview.exe's hook, which keeps larnix's keys
from every window. The batch file is started by its full path from another folder, as a task
with an empty "Start in" starts it, so that it must find larnix.exe and err.txt by its own; that
folder's name has a space, so that the quotes around those paths are needed. Checks what cmd
printed, how it ended, every byte of err.txt, and that every key larnix sent reached the hook.
A result that differs names the manual's statement of it.
"""
import os
import shutil
import tempfile

from launch import CMD_EXE, ON_WINDOWS, PLATFORM, keys, reported_keys, watch

MARK = b"--- the recipe's own output follows ---"
BATCH = """@echo off
"%~dp0larnix.exe" down:10 tap:58 up:10 2> "%~dp0err.txt"
if errorlevel 1 (
  echo larnix.exe failed with status %ERRORLEVEL%:
  type "%~dp0err.txt"
  exit /b %ERRORLEVEL%
)"""
START_WAIT = "start /wait larnix.exe down:10 tap:58 up:10\necho %ERRORLEVEL%"
CMD_C = 'cmd /c "larnix.exe down:10 tap:58 up:10 2> err.txt"\necho %ERRORLEVEL%'
START_WAIT_2 = "start /wait larnix.exe tap:41 junk 2> err.txt`, then `echo %ERRORLEVEL%"
BARE = "larnix.exe tap:41 junk`, then `echo %ERRORLEVEL%"

# The manual says which arguments it puts in place of the recipes' own for a failing run.
WRITTEN, FAILING = "down:10 tap:58 up:10", "tap:41 junk"
JUNK = b"bad op junk\n"
# The keys larnix sends for each, as (released, key code).
KEYS = {WRITTEN: [(False, 0x10), (False, 0x58), (True, 0x58), (True, 0x10)],
        FAILING: [(False, 0x41), (True, 0x41)]}

# What the manual says each gave under Wine's cmd.
BATCH_CLAIM = "It prints nothing, ends with status 0 and leaves err.txt empty."
BATCH_FAILS_CLAIM = ("it prints `larnix.exe failed with status 2:` and `bad op junk`, ends with "
                     "status 2, and err.txt holds exactly `bad op junk` and one LF [Wine cmd]")
START_WAIT_CLAIM = "| the two `start /wait` lines above | `0` (`2` with `tap:41 junk`) | |"
CMD_C_CLAIM = ("| the two `cmd /c` lines above | `0` (`2` with `tap:41 junk`) | empty (`bad op junk` "
               "and LF with `tap:41 junk`) |")

# (name, how, the manual's text, arguments in place of WRITTEN or None, what cmd prints,
#  cmd's exit status or None, err.txt or None where there is none, the manual's statement)
CASES = [
    ("PromptDoesNotWait", "prompt", BARE, None, b"0\r\n", None, None,
     "| `%s` | `0`, not larnix's 2: the prompt did not wait | |" % BARE),
    ("BatchSucceeds", "batch", BATCH, None, b"", 0, b"", BATCH_CLAIM),
    ("BatchFails", "batch", BATCH, FAILING, b"larnix.exe failed with status 2:\r\n" + JUNK, 2, JUNK,
     BATCH_FAILS_CLAIM),
    ("StartWait", "prompt", START_WAIT, None, b"0\r\n", None, None, START_WAIT_CLAIM),
    ("StartWaitFails", "prompt", START_WAIT, FAILING, b"2\r\n", None, None, START_WAIT_CLAIM),
    ("StartWaitLosesRedirection", "prompt", START_WAIT_2, None, b"2\r\n", None, b"",
     "| `%s` | `2` | empty: the message never reached it |" % START_WAIT_2),
    ("CmdC", "prompt", CMD_C, None, b"0\r\n", None, b"", CMD_C_CLAIM),
    ("CmdCFails", "prompt", CMD_C, FAILING, b"2\r\n", None, JUNK, CMD_C_CLAIM),
]


def one_line(text):
    return " ".join(text.split())


def windows_path(path):
    """PATH as a Windows program names it: under Wine, on the drive that holds the root."""
    return path if ON_WINDOWS else "Z:" + path.replace("/", "\\")


def recipe(how, lines, larnix, keyview):
    """Runs the lines in a fresh folder; returns keyview's record of cmd and err.txt."""
    # Windows refuses to delete a file still held open: no traceback for that.
    with tempfile.TemporaryDirectory(prefix="larnix recipe ", ignore_cleanup_errors=True) \
            as folder, tempfile.TemporaryDirectory(ignore_cleanup_errors=True) as elsewhere:
        shutil.copy(larnix, folder)
        text = "\r\n".join(lines).encode() + b"\r\n"
        # /d: no AutoRun commands of the user's cmd run first.
        if how == "batch":
            bat = os.path.join(folder, "recipe.bat")
            with open(bat, "wb") as out:
                out.write(text)
            [record] = watch(keyview, CMD_EXE, ["/d", "/c", windows_path(bat)], cwd=elsewhere)
        else:
            # /q: no prompt text between the lines' output. What cmd prints before the echoed
            # mark is its banner, one line from Wine's cmd and more from Windows'.
            [record] = watch(keyview, CMD_EXE, ["/d", "/q"], b"echo " + MARK + b"\r\n" + text,
                             cwd=folder)
            record["out"] = record["out"].partition(MARK.decode() + "\r\n")[2]
        path = os.path.join(folder, "err.txt")
        return record, open(path, "rb").read() if os.path.exists(path) else None


def run(manual_path, larnix, keyview):
    """Runs and checks every recipe; prints each failure and a summary, returns the failures."""
    written = open(manual_path, encoding="utf-8").read()
    manual = one_line(written)
    failed = 0
    for name, how, text, args, want_out, want_status, want_err, claim in CASES:
        problems = []
        if text not in written:
            problems.append("the manual no longer has %r" % text)
        if args and (WRITTEN not in text or "%s` in place of `%s" % (args, WRITTEN) not in manual):
            problems.append("the manual does not say to try %r in place of %r" % (args, WRITTEN))
        if one_line(claim) not in manual:
            problems.append("the manual no longer says %r" % claim)
        lines = [line.strip("`") for line in text.replace("`, then `", "\n").split("\n")]
        lines = [line.replace(WRITTEN, args) if args else line for line in lines]
        record, err = recipe(how, lines, larnix, keyview)
        out, status = record["out"].encode("latin-1"), record["status"]
        results = []
        if out != want_out:
            results.append("printed %r, not %r" % (out, want_out))
        if want_status is not None and status != want_status:
            results.append("cmd ended with %d, not %d" % (status, want_status))
        if err != want_err:
            results.append("err.txt %r, not %r" % (err, want_err))
        if results:
            problems += results + ["so %s differs from what the manual says Wine's cmd gave: \"%s\""
                                   % (PLATFORM, claim)]
        want_keys = reported_keys(KEYS[WRITTEN if WRITTEN in "\n".join(lines) else FAILING])
        if keys(record) != want_keys or record["timed_out"] or not record["drained"]:
            problems.append("keyview's hook saw %s, not %s: %s" % (keys(record), want_keys, record))
        if problems:
            failed += 1
            print("FAIL %s:\n  %s" % (name, "\n  ".join(problems)))
    print("%d cmd recipes, %d failed" % (len(CASES), failed))
    return failed
