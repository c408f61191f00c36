#!/usr/bin/env python3
"""Fetches one package without dependencies from the npm registry into FOLDER (as npm would
install it there), unless FOLDER holds that version already, and holds its bytes to the
SHA-512 the registry published for it. No npm is needed, and nothing is written but FOLDER
and, while it is filled, FOLDER.part beside it. The registry is npm's default, or
npm_config_registry. On failure, one line on standard error says why.

usage: fetch_npm.py NAME VERSION INTEGRITY FOLDER    INTEGRITY as the registry gives it, sha512-...
"""
import base64
import hashlib
import io
import json
import os
import shutil
import sys
import tarfile
import urllib.request


def main():
    name, version, integrity, folder = sys.argv[1:]
    try:
        with open(os.path.join(folder, "package.json")) as f:
            if json.load(f)["version"] == version:
                return 0
    except (OSError, ValueError, KeyError):
        pass
    registry = os.environ.get("npm_config_registry", "https://registry.npmjs.org/").rstrip("/")
    # A scoped package's tarball is @scope/name/-/name-VERSION.tgz.
    url = "%s/%s/-/%s-%s.tgz" % (registry, name, name.split("/")[-1], version)
    try:
        with urllib.request.urlopen(url, timeout=60) as response:
            data = response.read()
    except OSError as e:
        sys.exit("fetch_npm.py: %s %s cannot be fetched from the npm registry (%s): %s"
                 % (name, version, url, getattr(e, "reason", e)))
    if "sha512-" + base64.b64encode(hashlib.sha512(data).digest()).decode() != integrity:
        sys.exit("fetch_npm.py: %s is not the %s %s published (SHA-512 differs)" % (url, name, version))
    # The package's files are under package/ in the tarball.
    shutil.rmtree(folder + ".part", ignore_errors=True)
    with tarfile.open(fileobj=io.BytesIO(data)) as tar:
        for member in tar.getmembers():
            path = os.path.normpath(member.name).split(os.sep, 1)[-1]
            if member.isfile() and not path.startswith(".."):
                os.makedirs(os.path.dirname(os.path.join(folder + ".part", path)), exist_ok=True)
                with open(os.path.join(folder + ".part", path), "wb") as out:
                    out.write(tar.extractfile(member).read())
    shutil.rmtree(folder, ignore_errors=True)
    os.replace(folder + ".part", folder)
    return 0


if __name__ == "__main__":
    sys.exit(main())
