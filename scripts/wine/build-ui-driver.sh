#!/usr/bin/env bash
# Cross-builds the Windows test tools of tools/ui-driver (ui-driver.exe,
# regdump.exe) for x86_64 into build/ui-driver/ (or the folder given).
#   usage: scripts/wine/build-ui-driver.sh [BUILD_DIR]
# Prints the folder holding the .exe files on its last line.
set -euo pipefail
ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
B=${1:-$ROOT/build/ui-driver}
mkdir -p "$B"
if [ ! -f "$B/CMakeCache.txt" ]; then
    timeout 300 cmake -S "$ROOT/tools/ui-driver" -B "$B" \
        -DCMAKE_TOOLCHAIN_FILE="$ROOT/cmake/toolchains/mingw-x86_64.cmake" \
        -DCMAKE_BUILD_TYPE=Release >"$B/configure.log" 2>&1 ||
        { cat "$B/configure.log" >&2; exit 1; }
fi
timeout 600 cmake --build "$B" -j2 >"$B/build.log" 2>&1 || { cat "$B/build.log" >&2; exit 1; }
for exe in ui-driver.exe regdump.exe; do
    [ -f "$B/$exe" ] || { echo "build-ui-driver: $B/$exe missing" >&2; exit 1; }
done
echo "$B"
