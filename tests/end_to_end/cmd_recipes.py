"""Runs the recipes of the manual, as written there, each in a folder of its own that holds
larnix.exe and under keyview.exe's hook, which keeps larnix's keys from every window: the cmd
ones through cmd.exe, as a batch file or typed at the prompt (fed to cmd on its standard input);
the PowerShell ones in Windows PowerShell and PowerShell 7, where present; and keyview's own
example, whose lines must match what keyview prints, timings aside. The batch file is started by
its full path from another folder, as a task with an empty "Start in" starts it, so that it must
find larnix.exe by its own; that folder's name has a space, so that the quotes are needed, and no
err.txt can be made in it, as in Program Files. Checks what each printed, how it ended, every
byte of the message file, and the keys the hook saw. A result that differs names the manual's
statement of it. Where no PowerShell runs, its recipes and their results are still read.
"""
import base64
import hashlib
import os
import re
import shutil
import tempfile

import launch
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
FIRST_RUN = "timeout /t 5 >nul & larnix.exe tap:48 tap:45 tap:4C tap:4C tap:4F"
START_WAIT = "start /wait larnix.exe tap:10\necho %ERRORLEVEL%"
CMD_C = 'cmd /c "larnix.exe tap:10 2> err.txt"\necho %ERRORLEVEL%'
START_WAIT_2 = "start /wait larnix.exe tap:10 junk 2> err.txt`, then `echo %ERRORLEVEL%"
BARE = "larnix.exe tap:10 junk`, then `echo %ERRORLEVEL%"
PIPE = "& .\\larnix.exe tap:10 | Out-Null; $LASTEXITCODE"
START_PROCESS = "(Start-Process .\\larnix.exe -ArgumentList 'tap:10' -Wait -PassThru).ExitCode"
DOTNET = """$si = [Diagnostics.ProcessStartInfo]::new((Resolve-Path .\\larnix.exe).Path, 'tap:10')
$si.UseShellExecute = $false; $si.RedirectStandardError = $true
$p = [Diagnostics.Process]::Start($si); $err = [IO.MemoryStream]::new()
$p.StandardError.BaseStream.CopyTo($err)   # read to the end first, then wait
$p.WaitForExit(); $p.ExitCode              # larnix's status
[IO.File]::WriteAllBytes("$PWD\\err.txt", $err.ToArray())   # its message, byte for byte"""
ARCHIVE_SUM = ("(Get-FileHash .\\larnix-1.0.0-win64.zip).Hash -eq "
               "(-split (Get-Content .\\larnix-1.0.0-win64.zip.sha256))[0]")
PROGRAM_SUMS = ("Get-Content SHA256SUMS | ForEach-Object { $hash, $name = $_ -split '  '; "
                "\"${name}: $((Get-FileHash $name).Hash -eq $hash)\" }")
ARCHIVE = re.search(r"larnix-[\d.]+-win64\.zip", ARCHIVE_SUM).group()
KEYVIEW_EXAMPLE = """> keyview.exe --swallow larnix.exe tap:41 tap:25 junk
larnix.exe tap:41 tap:25 junk
press   0x41 A           scan 0x1e  injected  +0.0 ms
release 0x41 A           scan 0x1e  injected  +0.3 ms
press   0x25 Left        scan 0x4b  extended  injected  +8.4 ms
release 0x25 Left        scan 0x4b  extended  injected  +0.2 ms
exit status 2
stderr: "bad op junk\\n\""""

# The manual says which arguments it puts in place of the recipes' own for a failing run.
WRITTEN, FAILING = "tap:10", "tap:10 junk"
JUNK = b"bad op junk\n"
# What larnix sends for both, as (released, key code): a lone Shift tap.
SHIFT_TAP = [(False, 0x10), (True, 0x10)]
# The word the first run types, one tap a letter.
WORD = "hello"
WORD_TAPS = [(up, ord(letter.upper())) for letter in WORD for up in (False, True)]

# What the manual says each gave.
BATCH_CLAIM = "It prints nothing and ends with status 0."
BATCH_FAILS_CLAIM = ("it prints `larnix.exe failed with status 2:` and `bad op junk`, ends with "
                     "status 2, and the file holds exactly `bad op junk` and one LF, a newline "
                     "[Wine cmd]")
NO_TEMP_CLAIM = ("where cmd cannot write even there, the recipe prints cmd's reason and "
                 "`larnix.exe failed with status 1:`, sends nothing and ends with status 1 "
                 "[Wine cmd]")
START_WAIT_CLAIM = "each `echo` prints `0` (`2` with `tap:10 junk` in place of `tap:10`)"
CMD_C_CLAIM = START_WAIT_CLAIM + (", and after `cmd /c` err.txt is empty (`bad op junk` and one "
                                  "LF with `tap:10 junk`)")
FIRST_RUN_CLAIM = "It types `%s` into Notepad" % WORD
PS_CLAIM = "Each prints `0`, and `2` with `tap:10 junk` in place of `tap:10` [expected]"
DOTNET_CLAIM = ("It prints the status, and err.txt is empty (`bad op junk` and one LF with "
                "`tap:10 junk`) [expected]")
ARCHIVE_CLAIM = "in PowerShell this prints `True` [expected]"
SUMS_CLAIM = ("in PowerShell this prints `keyview.exe: True` and `larnix.exe: True`, `False` for a "
              "file not the one released")

# (name, how: prompt, batch, batch without a %TEMP% folder, powershell, checksums (of the files
#  as released or changed) or keyview; the manual's text, arguments in place of WRITTEN or None,
#  what it prints, its exit status or None, the message file or None where there is none, the
#  keys sent or None, the manual's statement)
CASES = [
    ("FirstRun", "prompt", FIRST_RUN, None, b"", None, None, WORD_TAPS, FIRST_RUN_CLAIM),
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
    ("KeyviewExample", "keyview", KEYVIEW_EXAMPLE, None, None, 0, None, None,
     KEYVIEW_EXAMPLE.splitlines()[-1]),
    ("PowerShellPipe", "powershell", PIPE, None, b"0\r\n", None, None, SHIFT_TAP, PS_CLAIM),
    ("PowerShellPipeFails", "powershell", PIPE, FAILING, b"2\r\n", None, None, SHIFT_TAP, PS_CLAIM),
    ("StartProcess", "powershell", START_PROCESS, None, b"0\r\n", None, None, SHIFT_TAP, PS_CLAIM),
    ("StartProcessFails", "powershell", START_PROCESS, FAILING, b"2\r\n", None, None, SHIFT_TAP,
     PS_CLAIM),
    ("DotNet", "powershell", DOTNET, None, b"0\r\n", None, b"", SHIFT_TAP, DOTNET_CLAIM),
    ("DotNetFails", "powershell", DOTNET, FAILING, b"2\r\n", None, JUNK, SHIFT_TAP, DOTNET_CLAIM),
    ("ArchiveSum", "checksums", ARCHIVE_SUM, None, b"True\r\n", None, None, [], ARCHIVE_CLAIM),
    ("ArchiveSumChanged", "checksums changed", ARCHIVE_SUM, None, b"False\r\n", None, None, [],
     ARCHIVE_CLAIM),
    ("ProgramSums", "checksums", PROGRAM_SUMS, None, b"keyview.exe: True\r\nlarnix.exe: True\r\n",
     None, None, [], SUMS_CLAIM),
    ("ProgramSumsChanged", "checksums changed", PROGRAM_SUMS, None,
     b"keyview.exe: True\r\nlarnix.exe: False\r\n", None, None, [], SUMS_CLAIM),
]
POWERSHELL_HOWS = ("powershell", "checksums", "checksums changed")
# Whether Windows' start hands larnix cmd's redirected standard error is not documented, and the
# manual says only not to rely on it: on Windows either outcome passes, and the report says which.
SETTLED_ON_WINDOWS = {"StartWaitLosesRedirection": {
    b"": "Windows' start /wait gave larnix no standard error: err.txt empty, as under Wine",
    JUNK: "Windows' start /wait passed cmd's 2> on to larnix: err.txt holds `bad op junk` and LF"}}
# Windows PowerShell and PowerShell 7, each where present; PowerShell runs only on Windows.
POWERSHELLS = [path for path in map(shutil.which, ("powershell", "pwsh")) if path] \
    if ON_WINDOWS else []


def one_line(text):
    return " ".join(text.split())


def without_timings(text):
    return re.sub(r"\+\d+\.\d ms", "+_ ms", text)


def windows_path(path):
    """PATH as a Windows program names it: under Wine, on the drive that holds the root."""
    return path if ON_WINDOWS else "Z:" + path.replace("/", "\\")


def sha256_line(name, data):
    return "%s  %s\n" % (hashlib.sha256(data).hexdigest(), name)


def lay_out_release(folder, larnix, keyview, changed):
    """The programs, their SHA256SUMS as the release makes it, and a stand-in archive with its
    .sha256 beside it; CHANGED alters larnix.exe and the archive after their sums were taken."""
    files = {"larnix.exe": open(larnix, "rb").read(), "keyview.exe": open(keyview, "rb").read(),
             ARCHIVE: b"a stand-in for the release archive\n"}
    sums = {"SHA256SUMS": "".join(sha256_line(name, files[name]) for name in sorted(files)
                                  if name.endswith(".exe")).encode(),
            ARCHIVE + ".sha256": sha256_line(ARCHIVE, files[ARCHIVE]).encode()}
    if changed:
        files["larnix.exe"] += b"\0"
        files[ARCHIVE] += b"\0"
    for name, data in list(files.items()) + list(sums.items()):
        with open(os.path.join(folder, name), "wb") as out:
            out.write(data)


def recipe(how, lines, larnix, keyview, shell=None):
    """Runs the lines in a fresh folder; returns keyview's record of them and the message file."""
    # Windows refuses to delete a file still held open: no traceback for that.
    with tempfile.TemporaryDirectory(prefix="larnix recipe ", ignore_cleanup_errors=True) \
            as folder, tempfile.TemporaryDirectory(ignore_cleanup_errors=True) as elsewhere:
        shutil.copy(larnix, folder)
        text = "\r\n".join(lines).encode() + b"\r\n"
        path = os.path.join(folder, "err.txt")
        # /d: no AutoRun commands of the user's cmd run first.
        if how.startswith("batch"):
            bat, task = os.path.join(folder, "recipe.bat"), os.path.join(elsewhere, "task.bat")
            # No err.txt in the batch file's folder; its %TEMP% is the check's, or missing.
            os.mkdir(path)
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
        elif how == "prompt":
            # /q: no prompt text between the lines' output. What cmd prints before the echoed
            # mark is its banner, one line from Wine's cmd and more from Windows'.
            [record] = watch(keyview, CMD_EXE, ["/d", "/q"], b"echo " + MARK + b"\r\n" + text,
                             cwd=folder)
            record["out"] = record["out"].partition(MARK.decode() + "\r\n")[2]
        elif how == "keyview":
            # The person's view, as the example shows it: its command follows the prompt sign.
            status, out, _ = launch.run([keyview] + lines[0].split()[2:], cwd=folder)
            record = {"out": without_timings(out.decode("latin-1")), "status": status,
                      "events": [], "timed_out": False, "drained": True}
        else:
            if how.startswith("checksums"):
                lay_out_release(folder, larnix, keyview, how.endswith("changed"))
            # Encoded, the script reaches PowerShell as written, with no quoting to undo.
            script = base64.b64encode("\n".join(lines).encode("utf-16-le")).decode()
            [record] = watch(keyview, shell, ["-NoProfile", "-NonInteractive", "-EncodedCommand",
                                              script], cwd=folder)
        return record, open(path, "rb").read() if os.path.isfile(path) else None


def run(manual_path, larnix, keyview, wanted=lambda name: True):
    """Runs and checks every recipe WANTED names; prints each failure and a summary, returns
    the failures."""
    written = open(manual_path, encoding="utf-8").read()
    manual = one_line(written)
    failed = ran = 0
    settled, shells_failed = [], set()
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
        if how == "keyview":
            lines = text.split("\n")
            want_out = (without_timings("\n".join(lines[1:])) + "\n").encode("latin-1")
        else:
            lines = [line.strip("`") for line in text.replace("`, then `", "\n").split("\n")]
            lines = [line.replace(WRITTEN, args) if args else line for line in lines]
        for shell in POWERSHELLS if how in POWERSHELL_HOWS else [None]:
            ran += 1
            record, err = recipe(how, lines, larnix, keyview, shell)
            out, status = record["out"].encode("latin-1"), record["status"]
            results = []
            if out != want_out:
                results.append("printed %r, not %r" % (out, want_out))
            if want_status is not None and status != want_status:
                results.append("it ended with %d, not %d" % (status, want_status))
            if ON_WINDOWS and err in SETTLED_ON_WINDOWS.get(name, {}):
                settled.append("%s: %s" % (name, SETTLED_ON_WINDOWS[name][err]))
            elif err != want_err:
                results.append("the message file %r, not %r" % (err, want_err))
            where = " in " + os.path.basename(shell) if shell else ""
            if results:
                problems += results + ["so %s%s differs from what the manual says: \"%s\""
                                       % (PLATFORM, where, claim)]
            if sent is not None and (keys(record) != reported_keys(sent) or record["timed_out"]
                                     or not record["drained"]):
                problems.append("keyview's hook saw %s%s, not %s: %s"
                                % (keys(record), where, reported_keys(sent), record))
            if shell and (results or problems):
                shells_failed.add(shell)
        if problems:
            failed += 1
            print("FAIL %s:\n  %s" % (name, "\n  ".join(problems)))
    if any(how in POWERSHELL_HOWS and wanted(name) for name, how, *_ in CASES):
        for shell in POWERSHELLS:
            if shell not in shells_failed:
                settled.append("PowerShell recipes: %s gave what the manual states"
                               % os.path.basename(shell))
        if not POWERSHELLS:
            print("  N/A PowerShell recipes: no PowerShell runs on %s; their text and stated "
                  "results were read from the manual, not run" % PLATFORM)
    for line in settled:
        print("  settled: " + line)
    print("%d of the manual's recipes, %d runs, %d failed" % (
        sum(1 for case in CASES if wanted(case[0])), ran, failed))
    return failed
