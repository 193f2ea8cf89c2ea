#!/usr/bin/env bash
# Makes a release from the checked-out tree into dist/:
#   Chanwiz-VERSION.zip  Chanwiz.exe, chanwiz-cli.exe, Chanwiz.ini and a short
#                        guide for people (packaging/README.txt, CRLF line ends)
#   Chanwiz-VERSION.msi  the administrators' package (packaging/chanwiz.wxs,
#                        built by scripts/msi.sh)
#   SHA256SUMS           of both
# VERSION is the project version of CMakeLists.txt. The programs are the
# 32-bit ones that scripts/build-windows.sh builds and checks (without its
# Wine step); check_version.py then makes sure every file says VERSION.
#
# usage: scripts/release.sh [--allow-dirty]
#   --allow-dirty  release a tree with changes that are not committed (else refused:
#                  the release would not be what any commit holds)
# Exit 0 with the place of each file; 1 with a message when a tool is missing
# or a step fails.
set -euo pipefail
exec </dev/null
ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
cd "$ROOT"

ALLOW_DIRTY=0
for arg in "$@"; do
    case "$arg" in
        --allow-dirty) ALLOW_DIRTY=1 ;;
        -h|--help) sed -n '2,/^set -euo/p' "$0" | sed '$d; s/^# \{0,1\}//'; exit 0 ;;
        *) echo "release: unknown option $arg" >&2; exit 2 ;;
    esac
done
die() { echo "release: $*" >&2; exit 1; }

# --- tools: each named with the Debian package that brings it ----------------------
missing=()
for tool in cmake:cmake python3:python3 zip:zip wixl:wixl msiinfo:msitools sha256sum:coreutils \
            i686-w64-mingw32-g++-win32:g++-mingw-w64-i686-win32; do
    command -v "${tool%%:*}" >/dev/null 2>&1 || missing+=("${tool%%:*} (package ${tool#*:})")
done
[ ${#missing[@]} -eq 0 ] ||
    die "missing: ${missing[*]}; bash scripts/install-deps.sh installs them"

if [ -d .git ] || git rev-parse --git-dir >/dev/null 2>&1; then
    if [ "$ALLOW_DIRTY" = 0 ] && [ -n "$(git status --porcelain --untracked-files=no)" ]; then
        die "the tree has changes that are not committed (git status); commit them, or --allow-dirty"
    fi
fi

VERSION=$(sed -n 's/^project(Chanwiz VERSION \([0-9][0-9.]*\)[ )].*/\1/p' CMakeLists.txt)
[ -n "$VERSION" ] || die "no project(Chanwiz VERSION X.Y.Z ...) line in CMakeLists.txt"
NAME=Chanwiz-$VERSION
DIST=$ROOT/dist
BIN=$ROOT/build/mingw-i686
echo "release: Chanwiz $VERSION"

# --- the programs ------------------------------------------------------------------
echo "release: building and checking the 32-bit programs (scripts/build-windows.sh --no-wine)"
mkdir -p "$ROOT/build"
bash scripts/build-windows.sh --no-wine "$ROOT/build/release-check" >"$ROOT/build/release-check.log" 2>&1 ||
    { grep -E '^FAIL' "$ROOT/build/release-check.log" >&2 || tail -20 "$ROOT/build/release-check.log" >&2
      die "the Windows build or its checks failed (build/release-check.log)"; }
python3 tests/win32/check_version.py "$ROOT" "$BIN/Chanwiz.exe" "$BIN/chanwiz-cli.exe" >"$ROOT/build/release-version.log" ||
    { grep FAIL "$ROOT/build/release-version.log" >&2; die "a program does not say version $VERSION"; }

# --- the files ---------------------------------------------------------------------
mkdir -p "$DIST"
rm -f "$DIST/$NAME.zip" "$DIST/$NAME.msi" "$DIST/SHA256SUMS"
STAGE=$(mktemp -d "${TMPDIR:-/tmp}/chanwiz-release.XXXXXX")
trap 'rm -rf "$STAGE"' EXIT
mkdir "$STAGE/$NAME"
cp "$BIN/Chanwiz.exe" "$BIN/chanwiz-cli.exe" resources/Chanwiz.ini "$STAGE/$NAME/"
# Notepad on older Windows shows a file with LF line ends as one long line.
sed "s/@VERSION@/$VERSION/g; s/\$/\r/" packaging/README.txt >"$STAGE/$NAME/README.txt"
# The same dates in every build of one commit.
stamp=$(git log -1 --format=%ct 2>/dev/null || date +%s)
touch -d "@$stamp" "$STAGE/$NAME" "$STAGE/$NAME"/*
(cd "$STAGE" && zip -q -X -r "$DIST/$NAME.zip" "$NAME") || die "zip could not write $DIST/$NAME.zip"

bash scripts/msi.sh "$VERSION" "$BIN" resources/Chanwiz.ini "$DIST/$NAME.msi" || die "the package was not built"
python3 tests/win32/check_version.py "$ROOT" "$DIST/$NAME.msi" >>"$ROOT/build/release-version.log" ||
    { grep FAIL "$ROOT/build/release-version.log" >&2; die "$NAME.msi does not say version $VERSION"; }

(cd "$DIST" && sha256sum "$NAME.zip" "$NAME.msi" >SHA256SUMS) || die "could not write $DIST/SHA256SUMS"

echo "release: $DIST/$NAME.zip  ($(cd "$STAGE/$NAME" && ls | tr '\n' ' '))"
echo "release: $DIST/$NAME.msi  (installs into Program Files\\Morvex\\Chanwiz)"
echo "release: $DIST/SHA256SUMS"
