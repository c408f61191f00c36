"""Starts the end-to-end checks' Windows programs: directly on Windows, through Wine with no
display anywhere else. How a command starts is all that differs between the two."""
import json
import os
import subprocess
import sys
import tempfile

LLKHF_UP = 0x80
ON_WINDOWS = os.name == "nt"
PLATFORM = "Windows" if ON_WINDOWS else "Wine"
# keyview starts a program by its full path: Windows' own cmd.exe, or the one in Wine's prefix.
CMD_EXE = (os.environ.get("ComSpec", r"C:\Windows\System32\cmd.exe") if ON_WINDOWS
           else r"C:\windows\system32\cmd.exe")


def run(command, stdin=b"", cwd=None, timeout=300):
    """Runs COMMAND, a Windows program and its arguments; returns its exit status, standard
    output and standard error. Files, not pipes: a Wine process that outlives the command
    cannot hold them open."""
    env = dict(os.environ)
    if not ON_WINDOWS:
        command = ["wine"] + command
        env["WINEDEBUG"] = "-all"
        env.pop("DISPLAY", None)
    with tempfile.TemporaryFile() as given, tempfile.TemporaryFile() as out, \
            tempfile.TemporaryFile() as err:
        given.write(stdin)
        given.seek(0)
        status = subprocess.run(command, stdin=given, stdout=out, stderr=err, cwd=cwd, env=env,
                                timeout=timeout).returncode
        out.seek(0)
        err.seek(0)
        return status, out.read(), err.read()


def watch(keyview, program, args, stdin=b"", cwd=None):
    """keyview's records of PROGRAM run on ARGS (or with no ARGS, on each line of keyview's
    STDIN): every key the run sent, each kept from the desktop by keyview's hook."""
    status, out, err = run([keyview, "--records", program] + args, stdin, cwd=cwd)
    if status != 0:
        sys.exit("keyview ended with %d: %s" % (status, err.decode("latin-1")))
    return [json.loads(line) for line in out.decode("latin-1").splitlines()]


def keys(record):
    """The events of one of keyview's records as (released, key code)."""
    return [(bool(e["flags"] & LLKHF_UP), e["vk"]) for e in record["events"]]
