#!/usr/bin/env bash
# tools/publish-release.sh against a stand-in gh that logs what it is asked: a release not yet
# made is made with every file; one made before gets only the files it lacks, or nothing.
# Usage: publish_release_test.sh SOURCE_DIR
set -euo pipefail
tree=$(mktemp -d)
trap 'rm -rf "$tree"' EXIT
mkdir "$tree/bin"
# The stand-in: "view" lists the release's files, one a line in $tree/published, or fails
# as gh does for a release that is not there; every call is logged.
cat >"$tree/bin/gh" <<STAND_IN
#!/usr/bin/env bash
echo "\$*" >>"$tree/log"
[ "\$2" != view ] && exit 0
[ -f "$tree/published" ] || { echo "release not found" >&2; exit 1; }
cat "$tree/published"
STAND_IN
chmod +x "$tree/bin/gh"
failed=0
# What the release had (none: no release; else its files), and the calls expected after the view.
while IFS=$'\t' read -r published want; do
  rm -f "$tree/published" "$tree/log"
  [ "$published" = none ] || tr ' ' '\n' <<<"$published" >"$tree/published"
  status=0
  PATH=$tree/bin:$PATH "$1/tools/publish-release.sh" v1.0.0 notes.md out/a.zip out/a.zip.sha256 \
    out/larnix.json 2>/dev/null || status=$?
  got=$(tail -n +2 "$tree/log" | paste -sd ';')
  if [ $status -ne 0 ] || [ "$got" != "$want" ]; then
    echo "FAIL: published '$published': status $status, called '$got', not '$want'"
    failed=1
  fi
done <<'CASES'
none	release create v1.0.0 --verify-tag --title larnix 1.0.0 --notes-file notes.md out/a.zip out/a.zip.sha256 out/larnix.json
a.zip	release upload v1.0.0 out/a.zip.sha256 out/larnix.json
a.zip larnix.json	release upload v1.0.0 out/a.zip.sha256
a.zip.sha256	release upload v1.0.0 out/a.zip out/larnix.json
a.zip.sha256 larnix.json a.zip	
CASES
exit $failed
