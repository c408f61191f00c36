"""Runs the cmd recipes of the manual, as written there, through cmd.exe: as a batch file or
typed at the prompt (fed to cmd on its standard input), each in a folder of its own that holds
larnix.exe, and each under keyview.exe's hook, which keeps larnix's keys from every window. The
batch file is started by its full path from another folder, as a task with an empty "Start in"
starts it, so that it must find larnix.exe by its own; that folder's name has a space, so that
the quotes are needed, and no err.txt can be made in it, as in Program Files. Checks what cmd
printed, how it ended, every byte of the message file, and the keys the hook saw. A result that
differs names the manual's statement of it.
"""
import os
import shutil
import tempfile

from launch import CMD_EXE, ON_WINDOWS, PLATFORM, keys, reported_keys, watch

MARK = b"--- the recipe's own output follows ---"
BATCH = """@echo off
rem Status 1 until larnix sets its own: a 2> that cmd cannot open skips larnix.
cmd /c exit 1
"%~dp0larnix.exe" tap:10 2> "%TEMP%\\larnix-err.txt"
if errorlevel 1 (
  echo larnix.exe failed with status %ERRORLEVEL%:
  type "%TEMP%\\larnix-err.txt"
  exit /b %ERRORLEVEL%
)"""
START_WAIT = "start /wait larnix.exe tap:10\necho %ERRORLEVEL%"
CMD_C = 'cmd /c "larnix.exe tap:10 2> err.txt"\necho %ERRORLEVEL%'
START_WAIT_2 = "start /wait larnix.exe tap:10 junk 2> err.txt`, then `echo %ERRORLEVEL%"
BARE = "larnix.exe tap:10 junk`, then `echo %ERRORLEVEL%"

# The manual says which arguments it puts in place of the recipes' own for a failing run.
WRITTEN, FAILING = "tap:10", "tap:10 junk"
JUNK = b"bad op junk\n"
# What larnix sends for both, as (released, key code): a lone Shift tap.
SHIFT_TAP = [(False, 0x10), (True, 0x10)]

# What the manual says each gave under Wine's cmd.
BATCH_CLAIM = "It prints nothing and ends with status 0."
BATCH_FAILS_CLAIM = ("it prints `larnix.exe failed with status 2:` and `bad op junk`, ends with "
                     "status 2, and the file holds exactly `bad op junk` and one LF [Wine cmd]")
NO_TEMP_CLAIM = ("where cmd cannot write even there, the recipe prints cmd's reason and `larnix.exe "
                 "failed with status 1:`, sends nothing and ends with status 1 [Wine cmd]")
START_WAIT_CLAIM = "each `echo` prints `0` (`2` with `tap:10 junk` in place of `tap:10`)"
CMD_C_CLAIM = START_WAIT_CLAIM + (", and after `cmd /c` err.txt is empty (`bad op junk` and one "
                                  "LF with `tap:10 junk`)")

# (name, how: prompt, batch or batch without a %TEMP% folder, the manual's text, arguments in
#  place of WRITTEN or None, what cmd prints, cmd's exit status or None, the message file or
#  None where there is none, the keys sent, the manual's statement)
CASES = [
    ("PromptDoesNotWait", "prompt", BARE, None, b"0\r\n", None, None, SHIFT_TAP,
     "`%s`, prints `0`, not larnix's 2" % BARE),
    ("BatchSucceeds", "batch", BATCH, None, b"", 0, b"", SHIFT_TAP, BATCH_CLAIM),
    ("BatchFails", "batch", BATCH, FAILING, b"larnix.exe failed with status 2:\r\n" + JUNK, 2, JUNK,
     SHIFT_TAP, BATCH_FAILS_CLAIM),
    ("BatchCannotWriteMessage", "batch without temp", BATCH, None,
     b"larnix.exe failed with status 1:\r\n", 1, None, [], NO_TEMP_CLAIM),
    ("StartWait", "prompt", START_WAIT, None, b"0\r\n", None, None, SHIFT_TAP, START_WAIT_CLAIM),
    ("StartWaitFails", "prompt", START_WAIT, FAILING, b"2\r\n", None, None, SHIFT_TAP,
     START_WAIT_CLAIM),
    ("StartWaitLosesRedirection", "prompt", START_WAIT_2, None, b"2\r\n", None, b"", SHIFT_TAP,
     "`%s`, printed `2` and left err.txt empty" % START_WAIT_2),
    ("CmdC", "prompt", CMD_C, None, b"0\r\n", None, b"", SHIFT_TAP, CMD_C_CLAIM),
    ("CmdCFails", "prompt", CMD_C, FAILING, b"2\r\n", None, JUNK, SHIFT_TAP, CMD_C_CLAIM),
]


def one_line(text):
    return " ".join(text.split())


def windows_path(path):
    """PATH as a Windows program names it: under Wine, on the drive that holds the root."""
    return path if ON_WINDOWS else "Z:" + path.replace("/", "\\")


def recipe(how, lines, larnix, keyview):
    """Runs the lines in a fresh folder; returns keyview's record of cmd and the message file."""
    # Windows refuses to delete a file still held open: no traceback for that.
    with tempfile.TemporaryDirectory(prefix="larnix recipe ", ignore_cleanup_errors=True) \
            as folder, tempfile.TemporaryDirectory(ignore_cleanup_errors=True) as elsewhere:
        shutil.copy(larnix, folder)
        text = "\r\n".join(lines).encode() + b"\r\n"
        # /d: no AutoRun commands of the user's cmd run first.
        if how.startswith("batch"):
            bat, task = os.path.join(folder, "recipe.bat"), os.path.join(elsewhere, "task.bat")
            # No err.txt in the batch file's folder; its %TEMP% is the check's, or missing.
            os.mkdir(os.path.join(folder, "err.txt"))
            temp = os.path.join(elsewhere, "temp")
            if how == "batch":
                os.mkdir(temp)
            with open(bat, "wb") as out:
                out.write(text)
            with open(task, "wb") as out:
                out.write(b'@set "TEMP=%s"\r\n@"%s"\r\n' % (
                    windows_path(temp).encode(), windows_path(bat).encode()))
            [record] = watch(keyview, CMD_EXE, ["/d", "/c", windows_path(task)], cwd=elsewhere)
            path = os.path.join(temp, "larnix-err.txt")
        else:
            # /q: no prompt text between the lines' output. What cmd prints before the echoed
            # mark is its banner, one line from Wine's cmd and more from Windows'.
            [record] = watch(keyview, CMD_EXE, ["/d", "/q"], b"echo " + MARK + b"\r\n" + text,
                             cwd=folder)
            record["out"] = record["out"].partition(MARK.decode() + "\r\n")[2]
            path = os.path.join(folder, "err.txt")
        return record, open(path, "rb").read() if os.path.exists(path) else None


def run(manual_path, larnix, keyview, wanted=lambda name: True):
    """Runs and checks every recipe; prints each failure and a summary, returns the failures."""
    written = open(manual_path, encoding="utf-8").read()
    manual = one_line(written)
    failed = 0
    for name, how, text, args, want_out, want_status, want_err, sent, claim in CASES:
        if not wanted(name):
            continue
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
            results.append("the message file %r, not %r" % (err, want_err))
        if results:
            problems += results + ["so %s differs from what the manual says Wine's cmd gave: \"%s\""
                                   % (PLATFORM, claim)]
        want_keys = reported_keys(sent)
        if keys(record) != want_keys or record["timed_out"] or not record["drained"]:
            problems.append("keyview's hook saw %s, not %s: %s" % (keys(record), want_keys, record))
        if problems:
            failed += 1
            print("FAIL %s:\n  %s" % (name, "\n  ".join(problems)))
    print("%d cmd recipes, %d failed" % (len(CASES), failed))
    return failed
