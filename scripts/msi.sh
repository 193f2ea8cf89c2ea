#!/usr/bin/env bash
# Builds the administrators' package from packaging/chanwiz.wxs with wixl.
#
# usage: scripts/msi.sh VERSION PROGRAMS_DIR INI OUT.msi
#   PROGRAMS_DIR  holds the 32-bit Chanwiz.exe and chanwiz-cli.exe
#   INI           the Chanwiz.ini to ship
# Used by scripts/release.sh, and by tests/wine/run_msi.sh for a package of a
# later version. Exit 1 with a message when wixl is missing or fails.
set -euo pipefail
[ $# -eq 4 ] || { sed -n '2,8p' "$0" | sed 's/^# \{0,1\}//' >&2; exit 2; }
version=$1 programs=$2 ini=$3 out=$4
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
command -v wixl >/dev/null 2>&1 ||
    { echo "msi: wixl is missing (Debian package wixl; bash scripts/install-deps.sh installs it)" >&2; exit 1; }
for f in "$programs/Chanwiz.exe" "$programs/chanwiz-cli.exe" "$ini"; do
    [ -f "$f" ] || { echo "msi: no $f" >&2; exit 1; }
done
mkdir -p "$(dirname "$out")"
out=$(cd "$(dirname "$out")" && pwd)/$(basename "$out")
# wixl takes only relative source paths: the files are gathered in one folder.
stage=$(mktemp -d "${TMPDIR:-/tmp}/chanwiz-msi.XXXXXX")
trap 'rm -rf "$stage"' EXIT
cp "$programs/Chanwiz.exe" "$programs/chanwiz-cli.exe" "$stage/"
cp "$ini" "$stage/Chanwiz.ini"
(cd "$stage" && wixl -a x86 -D Version="$version" -D BinDir=. -D IniFile=Chanwiz.ini \
    -o "$out" "$root/packaging/chanwiz.wxs") ||
    { echo "msi: wixl could not build $out" >&2; exit 1; }
