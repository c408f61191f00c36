"""Runs larnix.exe watched by keyview.exe on the host tests' case table (each case once with
standard error piped and once with no standard error handle) and on cases that only the real
platform can answer, all in one keyview process, and checks every run.
"""
import ast
import os
import re
import statistics
import sys

from launch import (CMD_EXE, EXTENDED, ON_WINDOWS, PLATFORM, WINE, cut, keys, reported,
                    reported_keys, scan_codes, watch)

LLKHF_EXTENDED, LLKHF_INJECTED = 0x01, 0x10
# Codes on both sides of every run of the extended set.
NEIGHBOURS = [0x20, 0x29, 0x2B, 0x2F, 0x5A, 0x5E, 0x6E, 0x70, 0x8F, 0x91, 0xA1, 0xA2, 0xA4, 0xA6]
PAUSE_MS = 8
# A tap's release follows its press without a pause; the median over all taps must stay
# well below the pause, whatever a loaded machine does to single taps.
TAP_MEDIAN_BELOW_MS = PAUSE_MS / 2
# The clock a tap's press and release are held together on. An event's own time is stamped as
# larnix hands it over, but moves every millisecond only under Wine; on Windows it moves in
# timer ticks of 10 to 16 ms, so there keyview's high-resolution clock, read as the event
# reaches its hook, is used.
CLOCK = "hook_ms" if ON_WINDOWS else "time"


# What the case table is made of: blanks and comments, which are skipped, strings, integers,
# braces and commas. Anything else is refused.
TOKEN = re.compile(r'(?P<skip>\s+|//[^\n]*|/\*.*?\*/)|(?P<string>"(?:[^"\\\n]|\\.)*")|'
                   r'(?P<number>-?\d+)|(?P<mark>[{},])|(?P<other>.)', re.S)
SHAPE = [str, list, int, str, str]  # name, arguments, status, err, events


def refuse(path, text, line, what):
    sys.exit("%s line %d: %s: %s" % (path, line, what, text.splitlines()[line - 1].strip()))


def table_tokens(path, text):
    """The tokens of the case table in TEXT, from its opening brace to its closing one, as
    (kind, token, line)."""
    start = text.index("cases = {") + len("cases = ")
    tokens, line, depth = [], text.count("\n", 0, start) + 1, 0
    for match in TOKEN.finditer(text, start):
        kind, token = match.lastgroup, match.group()
        if kind == "other":
            refuse(path, text, line, "not a string, number, brace or comment")
        if kind != "skip":
            tokens.append((kind, token, line))
        line += token.count("\n")
        depth += {"{": 1, "}": -1}.get(token, 0) if kind == "mark" else 0
        if depth == 0:
            return tokens
    refuse(path, text, line - 1, "the table does not end")


def read_table(path):
    """The case table of driver_cases.h as lists: [name, [args], status, err, events]. Stops
    with one line naming the line it cannot read."""
    text = open(path, encoding="utf-8").read()
    tokens = table_tokens(path, text)

    def items(i):
        """The values of the list that opens at token I, each with its line; the next token."""
        found, i = [], i + 1
        while tokens[i][1] != "}":
            line = tokens[i][2]
            item, i = value(i)
            found.append((item, line))
            if tokens[i][1] == ",":
                i += 1
        return found, i + 1

    def value(i):
        kind, token, line = tokens[i]
        if kind == "string":
            words = []
            while tokens[i][0] == "string":  # "a" "b" is "ab"
                words.append(ast.literal_eval(tokens[i][1]))
                i += 1
            return "".join(words), i
        if kind == "number":
            return int(token), i + 1
        if token != "{":
            refuse(path, text, line, "a value is missing before %r" % token)
        found, i = items(i)
        return [item for item, _ in found], i

    table = []
    for row, line in items(0)[0]:
        if not (isinstance(row, list) and list(map(type, row)) == SHAPE and
                all(isinstance(arg, str) for arg in row[1])):
            refuse(path, text, line, "a case is {name, {arguments}, status, err, events}")
        table.append(row)
    return table


def quoted(arg):
    """The command-line form of one argument, as the C runtime splits it."""
    if arg and not re.search(r'[ \t\n\v"]', arg):
        return arg
    return '"' + re.sub(r'(\\*)"', r'\1\1\\"', re.sub(r'(\\+)$', r'\1\1', arg)) + '"'


def expected_groups(events):
    """The host trace ("down 41, up 41, sleep 8") as one list of (release, vk) per argument."""
    groups, group = [], []
    for item in filter(None, events.split(", ")):
        word, number = item.split(" ")
        if word == "sleep":
            assert int(number) == PAUSE_MS, item
            groups.append(group)
            group = []
        else:
            group.append((word == "up", int(number, 16)))
    return groups + ([group] if group else [])


def taps(*codes):
    return (" ".join("tap:%x" % code for code in codes), 0, "",
            ", ".join("down %x, up %x, sleep 8" % (code, code) for code in codes))


# Cases only a real run can answer: the runtime's splitting of the command line, given
# here verbatim, and what the platform makes of the codes. (name, command line, status,
# err, events)
PLATFORM_CASES = [
    ("WildcardKeyUnchanged", "down:*", 2, "bad key down:*\n", ""),
    ("WildcardArgumentUnchanged", "*", 2, "bad op *\n", ""),
    ("WildcardAfterKeys", "tap:41 *.exe", 2, "bad op *.exe\n", "down 41, up 41, sleep 8"),
    ("LeadingBlanksOnOneLine", '"down: \t\v\f\r+0X41"', 0, "", "down 41, sleep 8"),
    ("QuotedArgument", '"tap:41"', 0, "", "down 41, up 41, sleep 8"),
    ("QuotedBlankIsOneArgument", '"tap:41 tap:42"', 0, "", "down 41, up 41, sleep 8"),
    ("EmptyQuotedFirst", '"" tap:41', 2, "bad op \n", ""),
    ("EmptyQuotedLast", 'tap:41 ""', 2, "bad op \n", "down 41, up 41, sleep 8"),
    ("ManyBlanksBetween", "tap:41  \t tap:42", 0, "",
     "down 41, up 41, sleep 8, down 42, up 42, sleep 8"),
    ("ExtendedSetAndNeighbours",) + taps(*sorted(EXTENDED | set(NEIGHBOURS))),
    ("ModifiersBothSides",) + taps(0x10, 0x11, 0x12, 0xA0, 0xA1, 0xA2, 0xA3, 0xA4, 0xA5),
    ("LongRun",) + taps(*range(0x41, 0x5B)),
    # Text that is not ASCII reaches larnix as UTF-8, never mapped to look-alike ASCII: a
    # fullwidth colon, digit or quotation mark is no colon, digit or quote.
    ("FullwidthColonAndDigits", "tap\uff1a\uff14\uff11", 2, "bad op tap\uff1a\uff14\uff11\n", ""),
    ("FullwidthDigits", "down:\uff14\uff11", 2, "bad key down:\uff14\uff11\n", ""),
    ("FullwidthQuoteInOneArgument", '"x\uff02 tap:5B"', 2, "bad op x\uff02 tap:5B\n", ""),
    ("FullwidthQuotesDoNotQuote", "tap:41 \uff02tap:42 tap:43\uff02", 2, "bad op \uff02tap:42\n",
     "down 41, up 41, sleep 8"),
    ("AccentedOpRepeatedAsUtf8", "caf\u00e9:41", 2, "bad op caf\u00e9:41\n", ""),
    ("TextAfterDigitsIgnored", "tap:41\u00e9\u4e2d", 0, "", "down 41, up 41, sleep 8"),
    # Close to the 32,767 characters a command line can hold.
    ("LongestKey", "down:" + "0" * 32000 + "41", 0, "", "down 41, sleep 8"),
    ("LongestBadOpPrintedWhole", "d" * 32000 + ":41", 2, "bad op " + "d" * 32000 + ":41\n", ""),
]
# Started on a desktop that is not receiving input, larnix has its first event refused and
# tries nothing more. Wine 8 takes input from any desktop. Wine 10 refuses with error 5; on
# Windows that error is expected, not documented, so there any error number passes and the
# report names it.
REFUSED = ("RefusedOnAnotherDesktop", "down:10 tap:41", 1, "SendInput failed for 10: 5\n", "")
REFUSES = WINE is None or WINE >= (10, 0)
REFUSED_ON_WINDOWS = re.compile(r"SendInput failed for 10: ([0-9]+)\n")


def check(status, err, events, record, with_stderr, scans, pauses, tap_gaps):
    """What is wrong with one run, as a list of sentences; SCANS holds MapVirtualKeyW's answer
    for each code sent."""
    problems = []
    want_err = err.encode("utf-8") if with_stderr else b""
    got_err = record["err"].encode("latin-1")
    if record["timed_out"] or not record["drained"] or record["pipes_held"]:
        problems.append("the run was not watched to its end: %s" % cut(str(record)))
    if record["status"] != status:
        problems.append("status %d, not %d" % (record["status"], status))
    if got_err != want_err:
        problems.append("stderr %s, not %s" % (cut(repr(got_err)), cut(repr(want_err))))
    if record["out"]:
        problems.append("stdout %s, not empty" % cut(repr(record["out"])))

    groups = expected_groups(events)
    got = record["events"]
    sent = [event for group in groups for event in group]
    want = reported_keys(sent)
    if keys(record) != want:
        def spelled(pairs):
            return ["%s %x" % ("up" if up else "down", vk) for up, vk in pairs]
        problems.append("events %s, not %s" % (spelled(keys(record)), spelled(want)))
        return problems
    for e, (_, vk) in zip(got, sent):
        if bool(e["flags"] & LLKHF_EXTENDED) != reported(vk, vk in EXTENDED)[1]:
            problems.append("key %x sent as %x with flags %x" % (e["vk"], vk, e["flags"]))
        if not e["flags"] & LLKHF_INJECTED:
            problems.append("key %x not marked injected" % e["vk"])
        if e["scan"] != scans[vk] & 0xFFFF:
            problems.append("key %x sent as %x with scan code %x, the platform says %x" % (
                e["vk"], vk, e["scan"], scans[vk]))

    def gaps(first, second):
        return {clock: got[second][clock] - got[first][clock] for clock in ("time", "hook_ms")}

    at = 0
    for group in groups:
        if at and group:
            pauses.append(gaps(at - 1, at))
            # On Windows "the thread may sleep for less than the specified length of time"
            # when a tick is longer than the pause: there the pauses are only reported.
            if not ON_WINDOWS and pauses[-1]["time"] < PAUSE_MS:
                problems.append("%d ms between argument events %d and %d" % (
                    pauses[-1]["time"], at - 1, at))
        if len(group) == 2 and group[0][1] == group[1][1] and not group[0][0] and group[1][0]:
            tap_gaps.append(gaps(at, at + 1))
        at += len(group)
    return problems


def contained(keyview, larnix):
    """What is wrong with keyview keeping a run's keys from the rest of the system: a second
    keyview, whose hook comes after the first's, must see them only when the first passes
    them on; a larnix.exe that the child starts and leaves running belongs to the run; and a run
    that outlasts --timeout is ended."""
    problems = []
    folder = os.path.dirname(larnix)
    tap = reported_keys([(False, 0x41), (True, 0x41)])
    for first, passes_on in ((["--records"], False), ([], True)):
        [outer] = watch(keyview, keyview, first + [larnix, "tap:41"], cwd=folder)
        if keys(outer) != (tap if passes_on else []):
            problems.append("behind keyview %s tap:41, a second hook saw %s" % (
                " ".join(first), keys(outer)))
        if outer["out"].count("0x41 A" if passes_on else '"vk":65') != 2:
            problems.append("keyview %s did not show the tap: %s" % (
                " ".join(first), cut(repr(outer["out"]))))
    [record] = watch(keyview, CMD_EXE, ["/c", "start", "larnix.exe", "tap:41"], cwd=folder)
    if keys(record) != tap:
        problems.append("cmd /c start larnix.exe tap:41: keyview's hook saw %s" % keys(record))
    # 200 pauses of 8 ms take longer than a second.
    [record] = watch(keyview, larnix, ["tap:E8"] * 200, cwd=folder, options=["--timeout", "1"])
    if not record["timed_out"] or len(record["events"]) >= 400:
        problems.append("keyview --timeout 1 let 200 taps run: %s" % cut(str(record)))
    return problems


def summary(name, gaps):
    def spread(clock):
        values = [gap[clock] for gap in gaps]
        return "min %g, median %g, max %g" % tuple(
            round(v, 1) for v in (min(values), statistics.median(values), max(values)))
    return "%d %s (ms), event time: %s; keyview's clock: %s" % (
        len(gaps), name, spread("time"), spread("hook_ms"))


def planned(table_path, wanted):
    """The runs of the case table and of PLATFORM_CASES that WANTED names, as (name, command
    line, status, err, events, with stderr)."""
    runs = []
    for name, args, status, err, events in read_table(table_path):
        if any("\n" in arg for arg in args):
            continue  # a line of keyview's input cannot hold it; see LeadingBlanksOnOneLine
        line = " ".join(quoted(arg) for arg in args)
        runs.append((name, line, status, err, events, True))
        runs.append((name + "/NoStderrHandle", line, status, err, events, False))
    runs += [case + (True,) for case in PLATFORM_CASES]
    return [run for run in runs if wanted(run[0])]


def recorded(runs, larnix, keyview, wanted):
    """keyview's records of RUNS, all in one keyview process, then of the runs keyview makes
    one at a time, which are added to RUNS."""
    # The child runs in a folder with files in it, so that an expanded * would show.
    folder = os.path.dirname(larnix)
    records = watch(keyview, larnix, [], "".join(
        ("pipe" if run[5] else "none") + "\t" + run[1] + "\n" for run in runs).encode(),
        folder) if runs else []
    # keyview's own arguments, as a person gives them, reach larnix.exe unchanged.
    viewer_args = ["tap:41", "x\uff02 tap:5B"]
    if wanted("ViewerArgumentsPassedUnchanged"):
        records += watch(keyview, larnix, viewer_args, cwd=folder)
        runs.append(("ViewerArgumentsPassedUnchanged", " ".join(viewer_args), 2,
                     "bad op x\uff02 tap:5B\n", "down 41, up 41, sleep 8", True))
    for with_stderr in (True, False) if REFUSES else ():
        name = REFUSED[0] + ("" if with_stderr else "/NoStderrHandle")
        if wanted(name):
            options = ["--other-desktop"] + ([] if with_stderr else ["--no-stderr"])
            records += watch(keyview, larnix, REFUSED[1].split(), cwd=folder, options=options)
            runs.append((name,) + REFUSED[1:] + (with_stderr,))
    return records


def checked(runs, records, scans, pauses, tap_gaps, settled):
    """Checks each run against its record, printing each failure; returns the failures."""
    failed = 0
    for (name, line, status, want_err, events, with_stderr), record in zip(runs, records):
        refusal = None
        if ON_WINDOWS and name == REFUSED[0]:
            refusal = REFUSED_ON_WINDOWS.fullmatch(record["err"])
            want_err = record["err"] if refusal else "SendInput failed for 10: N\n"
        problems = check(status, want_err, events, record, with_stderr, scans, pauses, tap_gaps)
        if problems:
            failed += 1
            print("FAIL %s (larnix.exe %s):\n  %s" % (name, cut(line), "\n  ".join(problems)))
        elif refusal:
            settled.append("%s: larnix.exe %s ended with 1 and SendInput's error %s" % (
                name, line, refusal[1]))
    return failed


def checked_overall(larnix, keyview, wanted, pauses, tap_gaps, overall):
    """The checks over all the runs, where the runs chosen give them something, each named in
    OVERALL; prints each failure and returns the failures."""
    failed = 0
    if tap_gaps:
        overall.append("the taps' median")
        tap_median = statistics.median(gap[CLOCK] for gap in tap_gaps)
        if tap_median >= TAP_MEDIAN_BELOW_MS:
            failed += 1
            print("FAIL taps: median of %g ms between press and release" % tap_median)
    if pauses:
        overall.append("the two clocks")
        # Under Wine both clocks move every millisecond: there they must agree.
        medians = [statistics.median(gap[clock] for gap in pauses)
                   for clock in ("time", "hook_ms")]
        if not ON_WINDOWS and abs(medians[0] - medians[1]) > 2:
            failed += 1
            print("FAIL pauses: median %g ms on the event time, %g ms on keyview's clock"
                  % tuple(medians))
    if wanted("KeysContained"):
        overall.append("KeysContained")
        problems = contained(keyview, larnix)
        if problems:
            failed += 1
            print("FAIL KeysContained:\n  " + "\n  ".join(problems))
    return failed


def report(runs, failed, overall, wanted, pauses, tap_gaps, settled):
    done = ", ".join(overall[:-1]) + " and " + overall[-1] if len(overall) > 1 else "".join(overall)
    print("%d runs%s: %d failed" % (len(runs), done and ", then " + done, failed))
    if not REFUSES and wanted(REFUSED[0]):
        print("  N/A %s (larnix.exe %s): does not apply on %s, which takes input from any "
              "desktop; not run, not counted" % (REFUSED[0], REFUSED[1], PLATFORM))
    for line in settled:
        print("  settled: " + line)
    if pauses:
        print("  " + summary("pauses between arguments", pauses) + (
            " (not checked on Windows)" if ON_WINDOWS
            else " (checked: at least %d ms on the event time)" % PAUSE_MS))
    if tap_gaps:
        print("  " + summary("taps from press to release", tap_gaps) + (
            " (checked: median under %g ms on %s)" % (
                TAP_MEDIAN_BELOW_MS, "keyview's clock" if ON_WINDOWS else "the event time")))


def run(table_path, larnix, keyview, wanted=lambda name: True):
    """Runs and checks every case whose name is WANTED; prints each failure and a summary,
    returns the failures."""
    runs = planned(table_path, wanted)
    records = recorded(runs, larnix, keyview, wanted)
    if len(records) != len(runs):
        print("FAIL keyview reported %d of %d runs" % (len(records), len(runs)))
        return 1
    scans = scan_codes(keyview, sorted({vk for run in runs for group in expected_groups(run[4])
                                        for _, vk in group}))
    pauses, tap_gaps, settled, overall = [], [], [], []
    failed = checked(runs, records, scans, pauses, tap_gaps, settled)
    failed += checked_overall(larnix, keyview, wanted, pauses, tap_gaps, overall)
    report(runs, failed, overall, wanted, pauses, tap_gaps, settled)
    return failed
