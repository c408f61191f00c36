"""One Wine command with no display, its output kept in files."""
import os
import subprocess
import tempfile


def wine(command, stdin=b"", cwd=None, timeout=90):
    """Runs wine COMMAND...; returns its exit status, standard output and standard error.
    Files, not pipes: a Wine process that outlives the command cannot hold them open."""
    env = dict(os.environ, WINEDEBUG="-all")
    env.pop("DISPLAY", None)
    with tempfile.TemporaryFile() as given, tempfile.TemporaryFile() as out, \
            tempfile.TemporaryFile() as err:
        given.write(stdin)
        given.seek(0)
        status = subprocess.run(["wine"] + command, stdin=given, stdout=out, stderr=err,
                                cwd=cwd, env=env, timeout=timeout).returncode
        out.seek(0)
        err.seek(0)
        return status, out.read(), err.read()
