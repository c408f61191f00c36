"""Runs the recipes of the manual, as written there, each in a folder of its own that holds
larnix.exe and under keyview.exe's hook, which keeps larnix's keys from every window: the cmd
ones through cmd.exe, as a batch file or typed at the prompt (fed to cmd on its standard input);
the PowerShell ones in Windows PowerShell and PowerShell 7, where present; and keyview's own
example, whose lines must match what keyview prints, timings aside. The batch file is started by
its full path from another folder, so that it must find larnix.exe by its own; that folder's
name has a space, so that the quotes are needed, and no err.txt can be made in it, as in Program
Files. Where no PowerShell runs, its recipes and their results are still read.

The manual marks what it states: `<!-- recipe: NAME -->` on the line before a recipe's code
block, and `<!-- results: NAME... -->` before the table of what it gives, one row a run. A row's
first cell names in backticks the arguments it puts in place of the first row's. A "prints"
column holds the lines printed, in backticks, each ending in CR LF unless "and LF" follows
("nothing": none), one such column for each recipe the mark names; "status" the exit status; a
`*.txt` column the message file: "empty", "none" (no file) or its text in backticks and "LF". A
recipe with no results table prints nothing; `<!-- types: NAME -->` before a line says in
backticks the word it types, one tap a letter. Every run must send the key arguments its text
names, in order, and no other key. Checks what each printed, how it ended, every byte of the
message file, and the keys the hook saw; a result that differs quotes the manual's row.
"""
import base64
import hashlib
import os
import re
import shutil
import tempfile

import launch
from launch import CMD_EXE, ON_WINDOWS, PLATFORM, keys, reported_keys, watch

MARK = re.compile(r"<!-- (recipe|results|types): (\w+(?: \w+)*) -->$")
SPAN = re.compile(r"`([^`]*)`")
# A printed line ends in CR LF, as cmd and PowerShell end theirs, or in LF where it says so.
PRINTED = re.compile(r"`([^`]*)`( and LF)?")
KEY_ARGUMENT = re.compile(r"(?<![\w:])(down|up|tap):([0-9A-Fa-f]+)\b")
OUTPUT_MARK = b"--- the recipe's own output follows ---"
# Every recipe the manual marks, how it runs, and the names of its results' rows in order.
RECIPES = {
    "KeyviewExample": ("keyview", []),
    "FirstRun": ("prompt", []),
    "ReleaseAll": ("prompt", []),
    "Batch": ("batch", ["BatchSucceeds", "BatchFails", "BatchCannotWriteMessage"]),
    "Prompt": ("prompt", ["Prompt", "PromptFails"]),
    "PromptPitfalls": ("prompt", ["PromptPitfalls"]),
    "PowerShell": ("powershell", ["PowerShell", "PowerShellFails"]),
    "ArchiveSum": ("checksums", ["ArchiveSum", "ArchiveSumChanged"]),
    "ProgramSums": ("checksums", ["ProgramSums", "ProgramSumsChanged"]),
}
# Rows run otherwise than their recipe: the batch file with no %TEMP% folder, where cmd cannot
# open the 2> file and so never starts larnix; the checksums of files changed after their sums.
ROW_HOWS = {"BatchCannotWriteMessage": "batch without temp", "ArchiveSumChanged":
            "checksums changed", "ProgramSumsChanged": "checksums changed"}
SENDS_NOTHING = ("batch without temp",)
POWERSHELL_HOWS = ("powershell", "checksums", "checksums changed")
# A cold start of Windows PowerShell on a hosted runner can outlast keyview's 10 s for larnix's
# own runs: a slow start must not read as a wrong result.
POWERSHELL_TIMEOUT_S = 60
UNCHECKED = "no such column"
# Whether Windows' start hands larnix cmd's redirected standard error is not documented, and the
# manual says only not to rely on it: on Windows either outcome passes, and the report says which.
SETTLED_ON_WINDOWS = {"PromptPitfalls": {
    b"": "Windows' start /wait gave larnix no standard error: err.txt empty, as under Wine",
    b"bad op junk\n": "Windows' start /wait passed cmd's 2> on to larnix: err.txt holds "
                      "`bad op junk` and LF"}}
# Windows PowerShell and PowerShell 7, each where present; PowerShell runs only on Windows.
POWERSHELLS = [path for path in map(shutil.which, ("powershell", "pwsh")) if path] \
    if ON_WINDOWS else []


def without_timings(text):
    return re.sub(r"\+\d+\.\d ms", "+_ ms", text)


def windows_path(path):
    """PATH as a Windows program names it: under Wine, on the drive that holds the root."""
    return path if ON_WINDOWS else "Z:" + path.replace("/", "\\")


def sha256_line(name, data):
    return "%s  %s\n" % (hashlib.sha256(data).hexdigest(), name)


def lay_out_release(folder, larnix, keyview, archive, changed):
    """The programs, their SHA256SUMS as the release makes it, and a stand-in ARCHIVE with its
    .sha256 beside it; CHANGED alters larnix.exe and the archive after their sums were taken."""
    files = {"larnix.exe": open(larnix, "rb").read(), "keyview.exe": open(keyview, "rb").read(),
             archive: b"a stand-in for the release archive\n"}
    sums = {"SHA256SUMS": "".join(sha256_line(name, files[name]) for name in sorted(files)
                                  if name.endswith(".exe")).encode(),
            archive + ".sha256": sha256_line(archive, files[archive]).encode()}
    if changed:
        files["larnix.exe"] += b"\0"
        files[archive] += b"\0"
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
            given = b"echo " + OUTPUT_MARK + b"\r\n" + text
            [record] = watch(keyview, CMD_EXE, ["/d", "/q"], given, cwd=folder)
            record["out"] = record["out"].partition(OUTPUT_MARK.decode() + "\r\n")[2]
        elif how == "keyview":
            # The person's view, as the example shows it: its command follows the prompt sign.
            status, out, _ = launch.run([keyview] + lines[0].split()[2:], cwd=folder)
            record = {"out": without_timings(out.decode("latin-1")), "status": status,
                      "events": [], "timed_out": False, "drained": True}
        else:
            if how.startswith("checksums"):
                named = re.search(r"larnix-[\d.]+-win64\.zip", "\n".join(lines))
                lay_out_release(folder, larnix, keyview, named.group() if named else "any.zip",
                                how.endswith("changed"))
            # Encoded, the script reaches PowerShell as written, with no quoting to undo.
            script = base64.b64encode("\n".join(lines).encode("utf-16-le")).decode()
            [record] = watch(keyview, shell, ["-NoProfile", "-NonInteractive", "-EncodedCommand",
                                              script], cwd=folder,
                             options=["--timeout", str(POWERSHELL_TIMEOUT_S)])
        return record, open(path, "rb").read() if os.path.isfile(path) else None


def following_block(lines):
    """The code block that LINES open with, or None."""
    if not lines or not lines[0].startswith("```"):
        return None
    end = next((i for i, line in enumerate(lines[1:], 1) if line.startswith("```")), None)
    return None if end is None else "\n".join(lines[1:end])


def following_table(lines):
    """The table that LINES open with as its header's cells and its rows, each the line as
    written and its cells; or None."""
    count = next((i for i, line in enumerate(lines) if not line.startswith("|")), len(lines))
    if count < 3:
        return None
    cells = [[cell.strip() for cell in line.strip("| ").split("|")] for line in lines[:count]]
    return cells[0], list(zip(lines[2:count], cells[2:]))


def typed_word(lines):
    """The word in backticks that the line after a types mark says a recipe types, or None."""
    word = SPAN.search(lines[0]) if lines else None
    return word and word.group(1)


def read_marks(text):
    """The manual's marked recipes {name: text}, results {name: (table, which of the mark's
    names)} and words typed {name: word}, and (name, problem) for each mark that marks nothing."""
    lines = text.split("\n")
    recipes, results, typed, problems = {}, {}, {}, []
    for number, line in enumerate(lines, 1):
        mark = MARK.match(line)
        if not mark:
            continue
        kind, names = mark.group(1), mark.group(2).split()
        found = {"recipe": following_block, "results": following_table,
                 "types": typed_word}[kind](lines[number:])
        if found is None or kind != "results" and len(names) > 1:
            problems.append((names[0], "the manual's line %d, %r, marks no %s" % (number, line, {
                "recipe": "single code block", "results": "table", "types": "typed word"}[kind])))
        elif kind != "results":
            (recipes if kind == "recipe" else typed)[names[0]] = found
        else:
            results.update((name, (found, index)) for index, name in enumerate(names))
    unknown = [name for name in list(recipes) + list(results) + list(typed) if name not in RECIPES]
    problems += [(name, "the manual marks %r, which no check knows" % name) for name in unknown]
    return recipes, results, typed, problems


def message_file(cell):
    """The message file a results cell states: its bytes, or None for no file."""
    if cell in ("empty", "none"):
        return b"" if cell == "empty" else None
    text = re.fullmatch(r"`([^`]*)` and LF", cell)
    if not text:
        raise ValueError("cannot read the message file %r" % cell)
    return (text.group(1) + "\n").encode()


def row_run(name, how, text, header, row, which):
    """The run NAME that one results ROW states for TEXT: what it prints (the WHICH-th "prints"
    column), its status and its message file, each None or UNCHECKED where no column says."""
    line, cells = row
    printed = [i for i, title in enumerate(header) if "prints" in title][which]
    status = [cells[i] for i, title in enumerate(header) if title == "status"]
    err = [cells[i] for i, title in enumerate(header) if title.endswith(".txt")]
    return {"name": name, "how": ROW_HOWS.get(name, how), "text": text, "row": line,
            "out": "".join(span + ("\n" if lf else "\r\n")
                           for span, lf in PRINTED.findall(cells[printed])).encode(),
            "status": int(status[0]) if status else None,
            "err": message_file(err[0]) if err else UNCHECKED}


def recipe_runs(recipe, how, names, text, results):
    """The runs the manual states for one recipe, or raises ValueError naming what is amiss."""
    if recipe in results and not names:
        raise ValueError("the manual gives results, for which the check knows no runs")
    if how == "keyview" or not names:
        lines = text.split("\n")
        out = (without_timings("\n".join(lines[1:])) + "\n").encode("latin-1") \
            if how == "keyview" else b""
        return [{"name": recipe, "how": how, "text": text, "row": None, "out": out,
                 "status": 0 if how == "keyview" else None, "err": UNCHECKED}]
    if recipe not in results:
        raise ValueError("the manual has no table marked <!-- results: %s -->" % recipe)
    (header, rows), which = results[recipe]
    if len(rows) != len(names):
        raise ValueError("its results table has %d rows, the check knows %d: %s" % (
            len(rows), len(names), ", ".join(names)))
    written = (SPAN.findall(rows[0][1][0]) or [None])[0]
    if written is not None and written not in text:
        raise ValueError("its first row's `%s` is not in the recipe" % written)
    runs = []
    for name, row in zip(names, rows):
        args = (SPAN.findall(row[1][0]) or [None])[0]
        runs.append(row_run(name, how, text.replace(written, args) if args else text, header,
                            row, which))
    return runs


def planned(manual_path, wanted):
    """Every run the manual states that WANTED names, and (name, problem) for what the checks
    cannot read from the manual."""
    recipes, results, typed, problems = read_marks(open(manual_path, encoding="utf-8").read())
    runs = []
    for recipe, (how, names) in RECIPES.items():
        if not any([wanted(name) for name in [recipe] + names]):
            continue
        if recipe not in recipes:
            if recipe not in (name for name, _ in problems):  # its mark is already named
                problems.append((recipe, "the manual has no block marked <!-- recipe: %s -->"
                                 % recipe))
            continue
        try:
            stated = recipe_runs(recipe, how, names, recipes[recipe], results)
            if recipe in typed:
                types(stated[0], typed[recipe])
            runs += [run for run in stated if wanted(run["name"])]
        except (ValueError, IndexError) as error:
            problems.append((recipe, str(error) or "its results table lacks a column"))
    return runs, problems


def types(run, word):
    """Raises ValueError unless the keys a run sends are one tap for each letter of WORD."""
    taps = [(up, ord(letter.upper())) for letter in word for up in (False, True)]
    if sent_keys(run) != taps:
        raise ValueError("the manual says it types `%s`, but its keys are %s" % (
            word, sent_keys(run)))


def sent_keys(run):
    """The keys a run must send, as (released, key code): each key argument its text names."""
    if run["how"] == "keyview":
        return None
    if run["how"] in SENDS_NOTHING:
        return []
    taps = {"down": [False], "up": [True], "tap": [False, True]}
    return [(up, int(code, 16) & 0xFFFF) for op, code in KEY_ARGUMENT.findall(run["text"])
            for up in taps[op]]


def differences(run, record, err, shell, settled):
    """What a run's record shows that the manual does not state; adds to SETTLED what Windows
    answered where either answer passes."""
    out, status = record["out"].encode("latin-1"), record["status"]
    where = " in " + os.path.basename(shell) if shell else ""
    results = []
    if out != run["out"]:
        results.append("printed %r, not %r" % (out, run["out"]))
    if run["status"] is not None and status != run["status"]:
        results.append("it ended with %d, not %d" % (status, run["status"]))
    if ON_WINDOWS and err in SETTLED_ON_WINDOWS.get(run["name"], {}):
        settled.append("%s: %s" % (run["name"], SETTLED_ON_WINDOWS[run["name"]][err]))
    elif run["err"] is not UNCHECKED and err != run["err"]:
        results.append("the message file %r, not %r" % (err, run["err"]))
    if results:
        results.append("so %s%s differs from the manual's %s" % (
            PLATFORM, where, "row %r" % run["row"] if run["row"] else "recipe"))
    sent = sent_keys(run)
    if sent is not None and (keys(record) != reported_keys(sent) or record["timed_out"]
                             or not record["drained"]):
        results.append("keyview's hook saw %s%s, not %s: %s"
                       % (keys(record), where, reported_keys(sent), record))
    return results


def checked(run, larnix, keyview, settled, shells_failed):
    """Runs one stated run in every shell it needs; returns its problems and how many runs."""
    problems, shells = [], POWERSHELLS if run["how"] in POWERSHELL_HOWS else [None]
    for shell in shells:
        record, err = recipe(run["how"], run["text"].split("\n"), larnix, keyview, shell)
        found = differences(run, record, err, shell, settled)
        if shell and found:
            shells_failed.add(shell)
        problems += found
    return problems, len(shells)


def run(manual_path, larnix, keyview, wanted=lambda name: True):
    """Runs and checks every recipe WANTED names; prints each failure and a summary, returns
    the failures."""
    runs, problems = planned(manual_path, wanted)
    for name, problem in problems:
        print("FAIL %s:\n  %s" % (name, problem))
    failed, ran, settled, shells_failed = len(problems), 0, [], set()
    for stated in runs:
        found, count = checked(stated, larnix, keyview, settled, shells_failed)
        ran += count
        if found:
            failed += 1
            print("FAIL %s:\n  %s" % (stated["name"], "\n  ".join(found)))
    if any(stated["how"] in POWERSHELL_HOWS for stated in runs):
        settled += ["PowerShell recipes: %s gave what the manual states" % os.path.basename(shell)
                    for shell in POWERSHELLS if shell not in shells_failed]
        if not POWERSHELLS:
            print("  N/A PowerShell recipes: no PowerShell runs on %s; their text and stated "
                  "results were read from the manual, not run" % PLATFORM)
    for line in settled:
        print("  settled: " + line)
    print("%d of the manual's recipes, %d runs, %d failed" % (len(runs), ran, failed))
    return failed
