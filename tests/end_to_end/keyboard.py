"""keyview.exe's keyboard mode driven by larnix.exe: each sequence of one small table is sent
while keyview watches, injected keys included and kept from the desktop, and the line keyview
prints to replay it is held to the arguments sent, as the platform reports their codes."""
import re
import subprocess

from launch import EXTENDED, cut, reported, run, start

IDLE_S = 2
FIRST_LINE = "watching the keyboard: press Ctrl+C here, or no key for %d s, to end" % IDLE_S
EVENT_LINE = re.compile(r"(press  |release) 0x[0-9a-f]{2} .*  injected  \+\d+\.\d ms")
# (name, larnix.exe's arguments, the keys left down as keyview names them)
SEQUENCES = [
    ("KeyboardModifiersBothSides",
     "down:10 tap:41 up:10 down:A1 down:A3 tap:42 up:A3 up:A1 tap:12 tap:A5", ""),
    ("KeyboardExtendedAndRepeated", "tap:25 tap:2E down:5B tap:24 up:5B tap:6F down:43 down:43 tap:43",
     ""),
    ("KeyboardKeysLeftDown", "down:A2 tap:44 down:5A", "A2 LCtrl, 5A Z"),
]


def replayed(args):
    """ARGS as the hook reports their codes: taps stay taps, each code in two upper-case digits."""
    words = []
    for word in args.split():
        op, code = word.split(":")
        vk = int(code, 16)
        words.append("%s:%02X" % (op, reported(vk, vk in EXTENDED)[0]))
    return "larnix.exe " + " ".join(words)


def watched(larnix, keyview, args):
    """keyview's output while larnix.exe sends ARGS, larnix's status and standard error."""
    viewer = start([keyview, "--keyboard", "--injected", "--swallow", "--idle", str(IDLE_S)],
                   stdout=subprocess.PIPE, stderr=subprocess.STDOUT)
    try:
        # Printed once the hook is up: nothing sent before it could be seen.
        first = viewer.stdout.readline().decode("latin-1").rstrip("\n")
        status, _, err = run([larnix] + args.split()) if first == FIRST_LINE else (None, b"", b"")
        rest = viewer.communicate(timeout=IDLE_S + 60)[0].decode("latin-1")
        return [first] + rest.splitlines(), status, err
    finally:
        if viewer.poll() is None:
            viewer.kill()
            viewer.wait()


def problems(lines, status, err, args, held):
    if lines[0] != FIRST_LINE:
        return ["keyview's first line %r, not %r" % (lines[0], FIRST_LINE)]
    found = []
    if status != 0 or err:
        found.append("larnix.exe ended with %s: %r" % (status, err))
    events = [line for line in lines[1:] if EVENT_LINE.fullmatch(line)]
    if len(events) != len(args.split()) + args.count("tap:"):
        found.append("%d lines of injected events" % len(events))
    tail = lines[1 + len(events):]
    want = [replayed(args)] + (["still held at the end: " + held] if held else [])
    if tail != want:
        found.append("ended with %s, not %s" % (cut(repr(tail), 300), want))
    return found


def run_table(larnix, keyview, wanted=lambda name: True):
    """Sends every sequence whose name is WANTED; prints each failure and a summary, returns
    the failures."""
    failed = count = 0
    for name, args, held in SEQUENCES:
        if not wanted(name):
            continue
        count += 1
        found = problems(*watched(larnix, keyview, args), args, held)
        if found:
            failed += 1
            print("FAIL %s (larnix.exe %s):\n  %s" % (name, args, "\n  ".join(found)))
    if count:
        print("%d sequences through keyview --keyboard: %d failed" % (count, failed))
    return failed
