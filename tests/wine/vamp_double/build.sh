#!/usr/bin/env bash
# Builds the stand-in 34com.dll (MinGW-w64, static) into
# OUTDIR, by default build/vamp-double-i686 (x86_64: build/vamp-double); with
# --probes also wizard_probes.exe on the wizard's libraries (tests/wine/README.md).
# usage: tests/wine/vamp_double/build.sh [--arch i686|x86_64] [--probes] [OUTDIR]
set -euo pipefail
HERE=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
ROOT=$(cd "$HERE/../../.." && pwd)
PROBES=0
ARCH=i686
while [ $# -gt 0 ]; do
  case "$1" in
    --probes) PROBES=1; shift ;;
    --arch) ARCH=${2:-}; shift 2 ;;
    *) break ;;
  esac
done
case "$ARCH" in
  i686) OUT=${1:-$ROOT/build/vamp-double-i686}; CXX=${CXX_MINGW:-i686-w64-mingw32-g++-win32} ;;
  x86_64) OUT=${1:-$ROOT/build/vamp-double}; CXX=${CXX_MINGW:-x86_64-w64-mingw32-g++-posix} ;;
  *) echo "build.sh: --arch i686 or x86_64" >&2; exit 2 ;;
esac
mkdir -p "$OUT"
FLAGS=(-std=c++17 -O2 -Wall -Wextra -Werror -static -static-libgcc -static-libstdc++)

# On i686 the COM entry points are __stdcall (_DllGetClassObject@12): the .def
# file's plain names are what COM looks up, and the fix-up links them.
DLL_FLAGS=()
[ "$ARCH" = i686 ] && DLL_FLAGS=(-Wl,--enable-stdcall-fixup)
"$CXX" "${FLAGS[@]}" -fno-exceptions "${DLL_FLAGS[@]}" -shared -o "$OUT/34com.dll" \
  "$HERE/vamp_double.cpp" "$HERE/vamp_double.def" -lole32 -loleaut32 -luuid -ladvapi32
echo "built $OUT/34com.dll"

if [ "$PROBES" = 1 ]; then
  # The Windows build of this bitness, as scripts/build-windows.sh makes it.
  case "$ARCH" in
    i686) TREE=$ROOT/build/mingw-i686 ;;
    x86_64) TREE=$ROOT/build/mingw-i686-tests64 ;;
  esac
  [ -f "$TREE/CMakeCache.txt" ] || { echo "build.sh: no $TREE (scripts/build-windows.sh)" >&2; exit 2; }
  cmake --build "$TREE" -j2 --target chanwiz_access chanwiz_system chanwiz_platform_win32 >/dev/null
  "$CXX" "${FLAGS[@]}" -I"$ROOT/src" -o "$OUT/wizard_probes.exe" "$HERE/wizard_probes.cpp" \
    "$TREE"/libchanwiz_{access,system,record,base}.a \
    "$TREE/src/platform/win32/libchanwiz_platform_win32.a" \
    -lsetupapi -ladvapi32 -lole32 -loleaut32 -luuid -lcomctl32 -luser32 -lgdi32 -lkernel32
  echo "built $OUT/wizard_probes.exe"
fi
