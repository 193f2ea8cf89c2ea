# shellcheck shell=bash
# Shared by run_scenario.sh and run_all.sh (source it).

# Debian's python3 when there is one: a version manager's shim on PATH costs
# about a second per start, and the scenarios start Python several times.
if [ -x /usr/bin/python3 ]; then PYTHON=/usr/bin/python3; else PYTHON=python3; fi

# pe_x64 FILE: FILE is a Windows program for x86_64 (PE, machine 0x8664).
pe_x64() {
    "$PYTHON" - "$1" <<'PY'
import struct, sys
try:
    d = open(sys.argv[1], "rb").read(4096)
    off = struct.unpack_from("<I", d, 0x3C)[0]
    ok = d[:2] == b"MZ" and d[off:off + 4] == b"PE\0\0" and struct.unpack_from("<H", d, off + 4)[0] == 0x8664
except (OSError, struct.error):
    ok = False
sys.exit(0 if ok else 1)
PY
}

# find_chanwiz_exe ROOT: prints the newest x86_64 Chanwiz.exe under ROOT/build
# (the wine-cache and wine-out folders left out); nothing when there is none.
find_chanwiz_exe() {
    local f
    while IFS= read -r f; do
        if pe_x64 "$f"; then printf '%s\n' "$f"; return 0; fi
    done < <(find "$1/build" \( -path "$1/build/wine-cache" -o -path "$1/build/wine-out" \) -prune -o \
                 -name Chanwiz.exe -type f -printf '%T@ %p\n' 2>/dev/null | sort -rn | cut -d' ' -f2-)
    return 0
}
