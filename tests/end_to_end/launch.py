"""Starts the end-to-end checks' Windows programs: directly on Windows, through Wine with no
display anywhere else. How a command starts is all that differs between the two."""
import json
import os
import re
import subprocess
import sys
import tempfile

LLKHF_UP = 0x80
ON_WINDOWS = os.name == "nt"
# The one way the project starts Wine.
WINE_PREFIX_SH = os.path.join(os.path.dirname(os.path.dirname(os.path.dirname(
    os.path.abspath(__file__)))), "tools", "wine-prefix.sh")


def wine_version():
    """The version of the Wine that runs the programs, as (major, minor). Stops with the entry
    point's reason where it cannot start Wine (no WINEPREFIX, say)."""
    done = subprocess.run([WINE_PREFIX_SH, "wine", "--version"], capture_output=True, text=True)
    found = re.match(r"wine-(\d+)\.(\d+)", done.stdout)
    if not found:
        sys.exit("launch.py: no Wine version from tools/wine-prefix.sh wine --version: %s"
                 % (done.stderr.strip() or done.stdout.strip() or "status %d" % done.returncode))
    return tuple(int(n) for n in found.groups())


# The version of the Wine that runs the programs; None on Windows.
WINE = None if ON_WINDOWS else wine_version()
PLATFORM = "Windows" if ON_WINDOWS else "Wine %d.%d" % WINE
# The keys larnix sends with the extended flag.
EXTENDED = {0x21, 0x22, 0x23, 0x24, 0x25, 0x26, 0x27, 0x28, 0x2C, 0x2D, 0x2E, 0x5B, 0x5C, 0x5D,
            0x6F, 0x90, 0xA3, 0xA5}
# Shift, Ctrl and Alt: the left-hand code, and the right-hand one for the extended flag.
SIDES = {0x10: (0xA0, 0xA1), 0x11: (0xA2, 0xA3), 0x12: (0xA4, 0xA5)}
# Insert, End, Down, Page Down, Left, Clear, Right, Home, Up, Page Up, Delete: their numpad keys.
NUMPAD = {0x2D: 0x60, 0x23: 0x61, 0x28: 0x62, 0x22: 0x63, 0x25: 0x64, 0x0C: 0x65, 0x27: 0x66,
          0x24: 0x67, 0x26: 0x68, 0x21: 0x69, 0x2E: 0x6E}
# keyview starts a program by its full path: Windows' own cmd.exe, or the one in Wine's prefix.
CMD_EXE = (os.environ.get("ComSpec", r"C:\Windows\System32\cmd.exe") if ON_WINDOWS
           else r"C:\windows\system32\cmd.exe")


def cut(text, limit=100):
    """TEXT, or its first LIMIT characters and its length when it is longer."""
    return text if len(text) <= limit else "%s... (%d characters)" % (text[:limit], len(text))


def started(command, display=None):
    """COMMAND, a Windows program and its arguments, as this platform starts it: itself on
    Windows, elsewhere through the one way the project starts Wine, given the X display DISPLAY
    where a test needs one; and the environment for it."""
    if ON_WINDOWS:
        return command, None
    env = dict(os.environ)
    if display:
        env["LARNIX_DISPLAY"] = display
    return [WINE_PREFIX_SH, "wine"] + command, env


def start(command, display=None, **options):
    """COMMAND started, not awaited: its subprocess.Popen, OPTIONS passed on to it."""
    argv, env = started(command, display)
    return subprocess.Popen(argv, env=env, **options)


def run(command, stdin=b"", cwd=None, timeout=300):
    """Runs COMMAND, a Windows program and its arguments; returns its exit status, standard
    output and standard error. Files, not pipes: a Wine process that outlives the command
    cannot hold them open."""
    argv, env = started(command)
    with tempfile.TemporaryFile() as given, tempfile.TemporaryFile() as out, \
            tempfile.TemporaryFile() as err:
        given.write(stdin)
        given.seek(0)
        status = subprocess.run(argv, stdin=given, stdout=out, stderr=err, cwd=cwd, env=env,
                                timeout=timeout).returncode
        out.seek(0)
        err.seek(0)
        return status, out.read(), err.read()


def watch(keyview, program, args, stdin=b"", cwd=None, options=()):
    """keyview's records of PROGRAM run on ARGS (or with no ARGS, on each line of keyview's
    STDIN): every key the run sent, each kept from the desktop by keyview's hook."""
    status, out, err = run([keyview, "--records", *options, program] + args, stdin, cwd=cwd)
    if status != 0:
        sys.exit("keyview ended with %d: %s" % (status, err.decode("latin-1")))
    return [json.loads(line) for line in out.decode("latin-1").splitlines()]


def scan_codes(keyview, codes):
    """MapVirtualKeyW's scan code for each key code, as this platform answers it."""
    status, out, err = run([keyview, "--map"] + ["%x" % code for code in codes])
    if status != 0:
        sys.exit("keyview --map ended with %d: %s" % (status, err.decode("latin-1")))
    return {int(code): scan for code, scan in json.loads(out).items()}


def keys(record):
    """The events of one of keyview's records as (released, key code)."""
    return [(bool(e["flags"] & LLKHF_UP), e["vk"]) for e in record["events"]]


def reported(vk, extended, wine=WINE):
    """The key code and extended flag a low-level hook is told of a key larnix sends with
    them. The window still gets the code sent."""
    if wine is not None and wine < (10, 0):
        return vk, extended  # Wine 8 run: as sent
    low = vk & 0xFF  # Wine 10 run; on Windows expected, not documented
    if low in SIDES:  # Wine's conformance test input.c, on Windows; Wine 10 run
        # There Shift with the extended flag stays left Shift: only Ctrl and Alt change side.
        low = SIDES[low][extended and (wine is not None or low != 0x10)]
    if wine and vk & 0x800 and low in NUMPAD:  # Wine 10 run: Wine's own quirk, not Windows'
        low = NUMPAD[low]
    if not wine and low == 0xA1:  # Wine's conformance test input.c: right Shift as extended
        extended = True
    return low, extended


def reported_keys(sent):
    """(released, key code) pairs as the hook reports the keys larnix sends."""
    return [(up, reported(vk, vk in EXTENDED)[0]) for up, vk in sent]
