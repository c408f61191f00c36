#!/usr/bin/env python3
"""Packs the release archive: the given files (each under its own name, or NAME=PATH under
NAME) and SHA256SUMS (one line per .exe, in the format of sha256sum), with a fixed date,
fixed permissions and entries in name order, so that the same files give the same archive
bytes on any machine, for any user, in any time zone.

usage: make_release.py ARCHIVE [NAME=]FILE...
"""
import hashlib
import os
import sys
import zipfile

# The earliest date a zip entry can hold; it carries no time zone.
FIXED_DATE = (1980, 1, 1, 0, 0, 0)


def entry(name):
    info = zipfile.ZipInfo(name, FIXED_DATE)
    info.create_system = 3  # Unix, so that the permissions below are what an unzip reads
    info.external_attr = 0o100644 << 16
    # Stored, not deflated: compressors of other versions would give other bytes.
    info.compress_type = zipfile.ZIP_STORED
    return info


def main():
    archive, paths = sys.argv[1], sys.argv[2:]
    files = {}
    for arg in paths:
        name, _, path = arg.rpartition("=")
        with open(path, "rb") as f:
            files[name or os.path.basename(path)] = f.read()
    files["SHA256SUMS"] = "".join(
        "%s  %s\n" % (hashlib.sha256(data).hexdigest(), name)
        for name, data in sorted(files.items()) if name.endswith(".exe")).encode()

    os.makedirs(os.path.dirname(os.path.abspath(archive)), exist_ok=True)
    with zipfile.ZipFile(archive + ".part", "w") as z:
        for name in sorted(files):
            z.writestr(entry(name), files[name])
    os.replace(archive + ".part", archive)


if __name__ == "__main__":
    main()
