#!/usr/bin/env bash
# Publishes the GitHub release of TAG with the text in NOTES and the files ASSET..., so that the
# release job can run again after any failure: a release not yet made is made with all of them;
# one made before gets only the files it lacks, its text and its other files left alone. Needs
# gh, signed in (GH_TOKEN), and GH_REPO or a checkout of the repository.
#   tools/publish-release.sh TAG NOTES ASSET...
set -euo pipefail
if [ $# -lt 3 ]; then
  echo "usage: $0 TAG NOTES ASSET..." >&2
  exit 2
fi
tag=$1 notes=$2
shift 2
if ! have=$(gh release view "$tag" --json assets --jq '.assets[].name' 2>/dev/null); then
  exec gh release create "$tag" --verify-tag --title "larnix ${tag#v}" --notes-file "$notes" "$@"
fi
missing=()
for asset in "$@"; do
  grep -qxF "$(basename "$asset")" <<<"$have" || missing+=("$asset")
done
if [ ${#missing[@]} -eq 0 ]; then
  echo "publish-release.sh: $tag is published with all ${#} files already" >&2
  exit 0
fi
gh release upload "$tag" "${missing[@]}"
