#!/usr/bin/env python3
"""keyview.exe's keyboard mode as a person uses it, under Wine with an X server of its own:
keys typed through X into Notepad while keyview watches are shown as not injected, keys
larnix.exe injects meanwhile are not shown, a key held since before keyview started is left out,
and the replay line keyview prints, sent by larnix.exe into a second Notepad, gives the same text.

usage: typed.py LARNIX_EXE KEYVIEW_EXE
Run inside tools/wine-sandbox.sh, so that WINEPREFIX names a fresh prefix and every Wine process
ends with it; the X server is started and stopped here, pass or fail.
"""
import os
import re
import subprocess
import sys
import time

sys.dont_write_bytecode = True

from keyboard import FIRST_LINE, IDLE_S
from launch import PLATFORM, start

# Shift+H, e, l, l, o, Left and x: the arrow shows in the text.
TYPED = ["shift+h", "e", "l", "l", "o", "Left", "x"]
TEXT = "Hellxo"
EVENTS = 16  # a press and a release of each key, Shift's included
TYPED_LINE = re.compile(r"(press  |release) 0x[0-9a-f]{2} .* scan 0x[0-9a-f]{2}( {2}extended)? "
                        r" \+\d+\.\d ms")


def x_server():
    """An X server on a free display, listening on no TCP port and no file: its process and
    display."""
    read, write = os.pipe()
    # On Linux it still listens on an abstract socket, which leaves no file in /tmp.
    server = subprocess.Popen(["Xvfb", "-displayfd", str(write), "-nolisten", "tcp", "-nolisten",
                               "unix", "-screen", "0", "800x600x24"], pass_fds=(write,),
                              stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    os.close(write)
    with os.fdopen(read) as given:  # its number once it listens; nothing if it ends
        number = given.readline().strip()
    if not number.isdigit():
        stop(server)
        sys.exit("Xvfb gave no display number")
    return server, ":" + number


def stop(process):
    if process.poll() is None:
        process.terminate()
        try:
            process.wait(5)
        except subprocess.TimeoutExpired:
            process.kill()
            process.wait()


class Desktop:
    """The X display, the Wine programs started on it, and xdotool driving it."""

    def __init__(self, display, folder):
        self.display, self.folder, self.started = display, folder, []

    def xdotool(self, *args):
        subprocess.run(["xdotool"] + list(args), env=dict(os.environ, DISPLAY=self.display),
                       check=True, timeout=30, stdout=subprocess.DEVNULL)

    def start(self, command, **options):
        self.started.append(start(command, self.display, **options))
        return self.started[-1]

    def notepad(self, name):
        """Notepad on an empty file NAME, with the focus."""
        open(os.path.join(self.folder, name), "wb").close()
        self.start(["notepad.exe", "C:\\typed\\" + name], stdout=subprocess.DEVNULL,
                   stderr=subprocess.DEVNULL)
        self.xdotool("search", "--sync", "--name", "^%s - Notepad$" % name, "windowfocus",
                     "--sync")

    def saved(self, name):
        """The text of Notepad's file NAME once Ctrl+S has saved it; Notepad closed."""
        self.xdotool("key", "ctrl+s")
        path = os.path.join(self.folder, name)
        deadline = time.monotonic() + 10
        while not os.path.getsize(path) and time.monotonic() < deadline:
            time.sleep(0.1)
        self.xdotool("key", "alt+F4")
        data = open(path, "rb").read()
        return data.decode("utf-16") if data.startswith(b"\xff\xfe") else data.decode(
            "utf-8-sig")

    def close(self):
        for process in self.started:
            stop(process)


def typed(desktop, larnix, keyview):
    """What keyview showed while Enter, held since before it started, and then TYPED were typed
    into Notepad, and right Shift injected; and the text Notepad saved."""
    desktop.notepad("typed.txt")
    desktop.xdotool("keydown", "Return")
    viewer = desktop.start([keyview, "--keyboard", "--idle", str(IDLE_S)],
                           stdout=subprocess.PIPE, stderr=subprocess.STDOUT)
    first = viewer.stdout.readline().decode("latin-1").rstrip("\n")
    # Longer than X's delay before it repeats a key, so that Enter repeats while keyview watches.
    time.sleep(1)
    desktop.xdotool("keyup", "Return")
    desktop.xdotool("key", *TYPED)
    desktop.start([larnix, "tap:A1"]).wait(60)  # injected: not shown by default
    rest = viewer.communicate(timeout=IDLE_S + 60)[0].decode("latin-1")
    return [first] + rest.splitlines(), desktop.saved("typed.txt")


def replayed(desktop, larnix, line):
    """larnix.exe's status and the text Notepad saved after it sent the replay LINE there."""
    desktop.notepad("replayed.txt")
    status = desktop.start([larnix] + line.split()[1:]).wait(60)
    return status, desktop.saved("replayed.txt")


def problems(lines, typed_text):
    """What is wrong with keyview's LINES and the TYPED_TEXT, as a list of sentences."""
    found = []
    if lines[0] != FIRST_LINE:
        found.append("keyview's first line %r, not %r" % (lines[0], FIRST_LINE))
    events = [line for line in lines[1:] if not line.startswith("larnix.exe")]
    if len(events) != EVENTS or not all(map(TYPED_LINE.fullmatch, events)):
        found.append("not %d events, each typed and none injected" % EVENTS)
    replay = lines[1 + len(events):]
    if len(replay) != 1 or ":0D" in replay[0]:
        found.append("not one replay line without Enter (0D), held since before the start")
    if not re.fullmatch(r"(\r\n){2,}" + TEXT, typed_text):
        found.append("Notepad saved %r, not newlines from the held Enter, then %r" % (
            typed_text, TEXT))
    return found


def main():
    if len(sys.argv) != 3:
        sys.exit(__doc__)
    larnix, keyview = map(os.path.abspath, sys.argv[1:])
    folder = os.path.join(os.environ["WINEPREFIX"], "drive_c", "typed")
    os.makedirs(folder)
    server, display = x_server()
    desktop = Desktop(display, folder)
    try:
        lines, typed_text = typed(desktop, larnix, keyview)
        found = problems(lines, typed_text)
        if not found:
            status, text = replayed(desktop, larnix, lines[-1])
            if status != 0 or text != typed_text.lstrip("\r\n"):
                found.append("larnix.exe %s ended with %d, and Notepad saved %r" % (
                    lines[-1], status, text))
    finally:
        desktop.close()
        stop(server)
    print("\n".join(lines))
    for problem in found:
        print("FAIL " + problem)
    print("typed under Xvfb on %s, replayed by larnix.exe: %s" % (
        PLATFORM, "failed" if found else "passed"))
    return 1 if found else 0


if __name__ == "__main__":
    sys.exit(main())
