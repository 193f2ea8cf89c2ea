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

# retry_notes: what wine_try told in WINE_RETRY_NOTES, for a verdict line
# (" [Wine: ...; ...]"), or nothing.
retry_notes() {
    [ -s "${WINE_RETRY_NOTES:-}" ] || return 0
    printf ' [Wine: %s]' "$(awk 'NR > 1 { printf "; " } { printf "%s", $0 }' "$WINE_RETRY_NOTES")"
}

# suite_leftovers CACHE OUTDIR: the pids of Wine processes that run with a
# prefix below CACHE, and of the Xvfb servers named by OUTDIR/*/xvfb.pid
# files written since CACHE/.started (a suite's runs own both).
suite_leftovers() {
    local cache=$1 outdir=$2 env pid exe f
    for env in $(grep -lz "^WINEPREFIX=$cache/" /proc/[0-9]*/environ 2>/dev/null); do
        pid=${env#/proc/}
        pid=${pid%/environ}
        exe=$(readlink "/proc/$pid/exe" 2>/dev/null) || continue
        case "$exe" in "$WINE" | "$WINE"-preloader | "$WINESERVER") echo "$pid" ;; esac
    done
    for f in "$outdir"/*/xvfb.pid; do
        [ -f "$f" ] && [ "$f" -nt "$cache/.started" ] || continue
        pid=$(cat "$f")
        [ -n "$pid" ] && kill -0 "$pid" 2>/dev/null &&
            [ "$(readlink "/proc/$pid/exe" 2>/dev/null)" = "$(command -v Xvfb)" ] && echo "$pid"
    done
}

# suite_end NAME RC CACHE OUTDIR COPY_GLOB [PID...]: a suite's last words.
# Ends its runs (PID...), then whatever Wine process or Xvfb server they
# left (suite_leftovers), reports prefix copies (CACHE/COPY_GLOB) left
# behind, removes CACHE (and its parent when empty). Returns RC, or 1 when
# it had to clean up after a run that passed.
suite_end() {
    local name=$1 rc=$2 cache=$3 outdir=$4 glob=$5 pid left d
    shift 5
    for pid in "$@"; do kill -TERM "$pid" 2>/dev/null; done
    for pid in "$@"; do wait "$pid" 2>/dev/null; done
    left=$(suite_leftovers "$cache" "$outdir")
    if [ -n "$left" ]; then
        echo "$name: ending processes left by the runs: $(echo $left)"
        # shellcheck disable=SC2086
        kill $left 2>/dev/null; sleep 1
        # shellcheck disable=SC2086
        kill -9 $left 2>/dev/null
        [ "$rc" -eq 0 ] && rc=1
    fi
    for d in "$cache"/$glob; do
        [ -e "$d" ] || continue
        echo "$name: removing a prefix copy left behind: $d"
        [ "$rc" -eq 0 ] && rc=1
    done
    rm -rf "$cache"
    rmdir "$(dirname "$cache")" 2>/dev/null
    return "$rc"
}
