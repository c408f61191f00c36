#!/usr/bin/env python3
"""tools/package_manifests.py on a copy of the tree. The manifests of an archive (winget's as
published, in their zip) give its URL, version, SHA-256 and programs, and agree with each other; a
tag, archive or repository that disagrees is refused with one line, and nothing is written.
usage: package_manifests_test.py SOURCE_DIR"""
import atexit
import hashlib
import json
import os
import re
import shutil
import subprocess
import sys
import tempfile
import zipfile

source, tree, failures = sys.argv[1], tempfile.mkdtemp(), []
atexit.register(shutil.rmtree, tree)
version = subprocess.check_output([source + "/tools/version.sh"], text=True).strip()
name, tag, programs = "larnix-%s-win64.zip" % version, "v" + version, ["larnix.exe", "keyview.exe"]
os.mkdir(tree + "/tools")
for script in ("package_manifests.py", "version.sh"):
    shutil.copy(source + "/tools/" + script, tree + "/tools")
shutil.copy(source + "/CMakeLists.txt", tree)
with open(tree + "/CHANGELOG.md", "w") as f:
    f.write("## [%s] - 2026-12-08\n\n## [0.9.0] - 2026-01-01\n" % version)


def run(repository, tag, archive, contents):
    shutil.rmtree(tree + "/out", ignore_errors=True)
    with zipfile.ZipFile(tree + "/" + archive, "w") as z:
        for program in contents:
            z.writestr(program, "bytes of " + program)
    return subprocess.run([sys.executable, tree + "/tools/package_manifests.py", repository, tag,
                           tree + "/" + archive, tree + "/out"], capture_output=True, text=True)


for case in [("Octo-Org/larnix", "v9.9.9", name, programs),
             ("Octo-Org/larnix", tag, "larnix-9.9.9-win64.zip", programs),
             ("Octo-Org/larnix", tag, name, programs[:1]),
             ("Octo Org/larnix", tag, name, programs), ("O" * 33 + "/larnix", tag, name, programs)]:
    done = run(*case)
    if (done.returncode != 1 or not re.fullmatch(r"package_manifests\.py: .*\n", done.stderr)
            or os.path.exists(tree + "/out")):
        failures.append("%s: status %d, said %r" % (case, done.returncode, done.stderr))

done = run("Octo-Org/larnix", tag, name, programs)
with open(tree + "/" + name, "rb") as f, open(tree + "/out/larnix.json") as scoop:
    sha256, scoop = hashlib.sha256(f.read()).hexdigest(), json.load(scoop)
url = "https://github.com/Octo-Org/larnix/releases/download/%s/%s" % (tag, name)
with zipfile.ZipFile("%s/out/larnix-%s-winget-manifests.zip" % (tree, version)) as z:
    text = "".join(z.read("manifests/o/Octo-Org/larnix/%s/Octo-Org.larnix%s.yaml" % (version, kind))
                   .decode() for kind in ("", ".installer", ".locale.en-US"))
# Each key of the three manifests with its values in order, list items' keys as the others'. A
# value that YAML could read as a number, date or boolean must be quoted: it counts as None.
winget = {}
for key, value in re.findall(r"^(?:- |  )?(\w+): (.+)$", text, re.M):
    plain = re.fullmatch(r"[A-Za-z][\w.-]*", value) and value.lower() not in ("yes", "no", "true",
                                                                              "false", "null")
    winget.setdefault(key, []).append(json.loads(value) if value[0] == '"' else plain and value)
keys = ("PackageIdentifier", "PackageVersion", "ManifestVersion", "InstallerUrl", "InstallerSha256",
        "ReleaseDate", "RelativeFilePath", "PortableCommandAlias", "Moniker")
got = (done.returncode, scoop["version"], scoop["architecture"]["64bit"], scoop["bin"],
       scoop["autoupdate"]["architecture"]["64bit"]["url"].replace("$version", version),
       [line for line in done.stdout.splitlines() if line.startswith(("gh ", "scoop "))],
       *[winget.get(k) for k in keys])
want = (0, version, {"url": url, "hash": sha256}, programs, url,
        ["gh attestation verify %s --repo Octo-Org/larnix" % name,
         "scoop install " + url.replace(name, "larnix.json")], ["Octo-Org.larnix"] * 3,
        [version] * 3, ["1.10.0"] * 3, [url], [sha256.upper()], ["2026-12-08"], programs,
        ["larnix", "keyview"], ["larnix"])
for what, got, want in zip(("status", "Scoop version", "Scoop archive", "Scoop bin",
                            "Scoop autoupdate URL", "release text") + keys, got, want):
    if got != want:
        failures.append("%s: %r, not %r" % (what, got, want))
print("\n".join(failures) or "manifests agree with the archive; disagreements refused")
sys.exit(1 if failures else 0)
