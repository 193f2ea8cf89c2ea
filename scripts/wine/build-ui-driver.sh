#!/usr/bin/env bash
# Cross-builds the Windows test tools of tools/ui-driver (ui-driver.exe,
# regdump.exe) into build/ui-driver-i686/ (32-bit: they run in every prefix
# beside the 32-bit programs) or, with --arch x86_64, build/ui-driver/ (or the
# folder given).
#   usage: scripts/wine/build-ui-driver.sh [--arch i686|x86_64] [BUILD_DIR]
# Prints the folder holding the .exe files on its last line.
set -euo pipefail
ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
ARCH=i686
if [ "${1:-}" = --arch ]; then ARCH=${2:-}; shift 2; fi
case "$ARCH" in
    i686) B=${1:-$ROOT/build/ui-driver-i686} ;;
    x86_64) B=${1:-$ROOT/build/ui-driver} ;;
    *) echo "build-ui-driver: --arch i686 or x86_64" >&2; exit 2 ;;
esac
mkdir -p "$B"
if [ ! -f "$B/CMakeCache.txt" ]; then
    timeout 300 cmake -S "$ROOT/tools/ui-driver" -B "$B" \
        -DCMAKE_TOOLCHAIN_FILE="$ROOT/cmake/toolchains/mingw-$ARCH.cmake" \
        -DCMAKE_BUILD_TYPE=Release >"$B/configure.log" 2>&1 ||
        { cat "$B/configure.log" >&2; exit 1; }
fi
timeout 600 cmake --build "$B" -j2 >"$B/build.log" 2>&1 || { cat "$B/build.log" >&2; exit 1; }
for exe in ui-driver.exe regdump.exe; do
    [ -f "$B/$exe" ] || { echo "build-ui-driver: $B/$exe missing" >&2; exit 1; }
done
echo "$B"
