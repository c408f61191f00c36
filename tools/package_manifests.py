#!/usr/bin/env python3
"""Writes the package managers' manifests of a release archive into FOLDER: larnix.json for
Scoop, and winget's three manifests under manifests/ (their path in winget's community
repository), also packed as larnix-VERSION-winget-manifests.zip. The URLs are those of the
archive and its .sha256 on the GitHub release of TAG in OWNER/NAME. The release date is the one
of the version's dated section in CHANGELOG.md, the release's text; without one it is left out.
Prints the end of the release's text: how to check who built the archive, and how to install it.
When the tag, the archive's name and the version in CMakeLists.txt disagree, or the archive
lacks a program, one line on standard error says why and nothing is written.

usage: package_manifests.py OWNER/NAME TAG ARCHIVE FOLDER
"""
import hashlib
import json
import os
import re
import subprocess
import sys
import zipfile

PROGRAMS = ("larnix.exe", "keyview.exe")
DESCRIPTION = "Presses, releases and taps keys as if they were typed, as its arguments say"
MANIFEST_VERSION = "1.10.0"
# winget's rule for a package identifier: two to eight parts of 1 to 32 characters.
PART = r'[^.\s\\/:*?"<>|\x00-\x1f]{1,32}'
IDENTIFIER = re.compile(r"^%s(\.%s){1,7}$" % (PART, PART))


def refuse(message):
    sys.exit("package_manifests.py: " + message)


def asked(*args):
    """What tools/version.sh, which alone reads the version and its release date, prints."""
    done = subprocess.run([os.path.join(os.path.dirname(os.path.abspath(__file__)), "version.sh"),
                           *args], capture_output=True, text=True)
    if done.returncode:
        refuse(done.stderr.strip().partition("version.sh: ")[2] or done.stderr.strip())
    return done.stdout.strip()


def yaml(kind, fields):
    """A manifest's text: KEY: VALUE lines; a list's items are values, or mappings given as lists
    of (KEY, VALUE). Every value is written as a double-quoted (JSON) string, so that no owner
    name, version, date or hash is read back as a number, a date or a boolean."""
    lines = ["# yaml-language-server: $schema=https://aka.ms/winget-manifest.%s.%s.schema.json"
             % (kind, MANIFEST_VERSION)]
    for key, value in fields + [("ManifestType", kind), ("ManifestVersion", MANIFEST_VERSION)]:
        if not isinstance(value, list):
            lines.append("%s: %s" % (key, json.dumps(value)))
            continue
        lines.append(key + ":")
        for item in value:
            if not isinstance(item, list):
                lines.append("- " + json.dumps(item))
                continue
            for i, (k, v) in enumerate(item):
                lines.append("%s%s: %s" % ("  " if i else "- ", k, json.dumps(v)))
    return "\n".join(lines) + "\n"


def checked(repository, tag, archive):
    """The version, the archive's name, the package identifier and the archive's SHA-256; or one
    line of refusal when the tag, the archive, its name or the repository is not right."""
    version = asked()
    name = "larnix-%s-win64.zip" % version
    if tag != "v%s" % version:
        refuse("tag %s is not v%s, the version in CMakeLists.txt" % (tag, version))
    if os.path.basename(archive) != name:
        refuse("%s is not %s, the archive of version %s"
               % (os.path.basename(archive), name, version))
    owner, _, package = repository.partition("/")
    identifier = "%s.%s" % (owner, package)
    if not IDENTIFIER.match(identifier):
        refuse("%s is no OWNER/NAME that gives a winget identifier (%s)" % (repository, identifier))
    try:
        with open(archive, "rb") as f:
            data = f.read()
        with zipfile.ZipFile(archive) as z:
            missing = [p for p in PROGRAMS if p not in z.namelist()]
    except (OSError, zipfile.BadZipFile) as e:
        refuse("%s cannot be read as a zip: %s" % (archive, e))
    if missing:
        refuse("%s lacks %s" % (archive, " and ".join(missing)))
    return version, name, identifier, hashlib.sha256(data).hexdigest()


def scoop(version, homepage, url, sha256):
    download = homepage + "/releases/download/"
    return {
        "version": version,
        "description": DESCRIPTION,
        "homepage": homepage,
        "license": "MIT",
        "architecture": {"64bit": {"url": url, "hash": sha256}},
        "bin": list(PROGRAMS),
        "checkver": "github",
        "autoupdate": {"architecture": {"64bit": {
            "url": download + "v$version/larnix-$version-win64.zip",
            # The .sha256 file published beside each archive, as sha256sum writes it.
            "hash": {"url": "$url.sha256"}}}},
    }


def winget(version, repository, identifier, tag, url, sha256):
    """winget's three manifests, by their path in its community repository."""
    owner, homepage = repository.partition("/")[0], "https://github.com/" + repository
    dated = asked("--date")
    common = [("PackageIdentifier", identifier), ("PackageVersion", version)]
    installer = common + [
        ("InstallerType", "zip"),
        ("NestedInstallerType", "portable"),
        ("NestedInstallerFiles", [[("RelativeFilePath", p),
                                   ("PortableCommandAlias", p[:-len(".exe")])] for p in PROGRAMS]),
        ("Commands", [p[:-len(".exe")] for p in PROGRAMS]),
    ] + ([("ReleaseDate", dated)] if dated else []) + [
        ("Installers", [[("Architecture", "x64"), ("InstallerUrl", url),
                         ("InstallerSha256", sha256.upper())]]),
    ]
    locale = common + [
        ("PackageLocale", "en-US"),
        ("Publisher", owner),
        ("PublisherUrl", "https://github.com/" + owner),
        ("PackageName", "larnix"),
        ("PackageUrl", homepage),
        ("License", "MIT"),
        ("LicenseUrl", "%s/blob/%s/LICENSE" % (homepage, tag)),
        ("ShortDescription", DESCRIPTION),
        # The manual tells users "winget install larnix".
        ("Moniker", "larnix"),
        ("ReleaseNotesUrl", "%s/releases/tag/%s" % (homepage, tag)),
    ]
    folder = "manifests/%s/%s/%s/" % (identifier[0].lower(), identifier.replace(".", "/"), version)
    return {
        folder + identifier + ".yaml": yaml("version", common + [("DefaultLocale", "en-US")]),
        folder + identifier + ".installer.yaml": yaml("installer", installer),
        folder + identifier + ".locale.en-US.yaml": yaml("defaultLocale", locale),
    }


def write(folder, version, scoop_manifest, winget_files):
    os.makedirs(folder, exist_ok=True)
    with open(os.path.join(folder, "larnix.json"), "w", encoding="utf-8") as f:
        f.write(json.dumps(scoop_manifest, indent=2) + "\n")
    packed = os.path.join(folder, "larnix-%s-winget-manifests.zip" % version)
    with zipfile.ZipFile(packed, "w") as z:
        for path, text in sorted(winget_files.items()):
            os.makedirs(os.path.dirname(os.path.join(folder, path)), exist_ok=True)
            with open(os.path.join(folder, path), "w", encoding="utf-8") as f:
                f.write(text)
            z.writestr(zipfile.ZipInfo(path, (1980, 1, 1, 0, 0, 0)), text)


def main():
    if len(sys.argv) != 5:
        sys.exit(__doc__.strip().splitlines()[-1])
    repository, tag, archive, folder = sys.argv[1:]
    version, name, identifier, sha256 = checked(repository, tag, archive)
    homepage = "https://github.com/" + repository
    url = homepage + "/releases/download/%s/%s" % (tag, name)
    write(folder, version, scoop(version, homepage, url, sha256),
          winget(version, repository, identifier, tag, url, sha256))
    print("\nWho built the archive, from which commit ([GitHub CLI](https://cli.github.com/)):\n\n"
          "```\ngh attestation verify %s --repo %s\n```\n\nInstalling it with Scoop:\n\n"
          "```\nscoop install %s/larnix.json\n```" % (name, repository, url.rpartition("/")[0]))
    return 0


if __name__ == "__main__":
    sys.exit(main())
