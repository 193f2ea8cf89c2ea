#!/usr/bin/env bash
# Builds the test double of "34com.dll" and the small client that calls it as
# the wizard does, for 64-bit Windows (MinGW-w64, POSIX threads, static):
#   build/vamp-double/34com.dll
#   build/vamp-double/vamp_client.exe
# and, with --probes, the wizard's own probes on the real API (the wizard's
# logic and Win32 platform built in build/vamp-double/wizard):
#   build/vamp-double/wizard_probes.exe
# usage: tests/wine/vamp_double/build.sh [--probes] [OUTDIR]
set -euo pipefail
HERE=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
ROOT=$(cd "$HERE/../../.." && pwd)
PROBES=0
if [ "${1:-}" = "--probes" ]; then PROBES=1; shift; fi
OUT=${1:-$ROOT/build/vamp-double}
CXX=${CXX_MINGW:-x86_64-w64-mingw32-g++-posix}
mkdir -p "$OUT"
FLAGS=(-std=c++17 -O2 -Wall -Wextra -Werror -fno-exceptions -static -static-libgcc -static-libstdc++)

"$CXX" "${FLAGS[@]}" -shared -o "$OUT/34com.dll" \
  "$HERE/vamp_double.cpp" "$HERE/vamp_double.def" -lole32 -loleaut32 -luuid -ladvapi32
"$CXX" "${FLAGS[@]}" -I"$ROOT/src" -o "$OUT/vamp_client.exe" \
  "$HERE/vamp_client.cpp" -lole32 -luuid
echo "built $OUT/34com.dll $OUT/vamp_client.exe"

if [ "$PROBES" = 1 ]; then
  TREE=$ROOT/build/vamp-double/wizard
  cmake -S "$ROOT" -B "$TREE" -DCMAKE_TOOLCHAIN_FILE="$ROOT/cmake/toolchains/mingw-x86_64.cmake" \
    -DCMAKE_BUILD_TYPE=Release >/dev/null
  cmake --build "$TREE" -j2 --target chanwiz_win32 >/dev/null
  "$CXX" -std=c++17 -O2 -Wall -Wextra -Werror -static -static-libgcc -static-libstdc++ \
    -I"$ROOT/src" -o "$OUT/wizard_probes.exe" "$HERE/wizard_probes.cpp" \
    "$TREE/src/platform/win32/libchanwiz_win32.a" "$TREE/libchanwiz_logic.a" \
    -lsetupapi -ladvapi32 -lole32 -loleaut32 -luuid -lcomctl32 -luser32 -lgdi32 -lkernel32
  echo "built $OUT/wizard_probes.exe"
fi
