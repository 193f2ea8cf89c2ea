#!/usr/bin/env bash
# End-to-end check of the Windows cross-build + Wine + Xvfb test environment:
#   1. cross-build tests/wine/probe for x86_64 and i686 (cmake/toolchains/mingw-*.cmake)
#   2. check the import tables (system DLLs only) and the embedded manifest
#   3. start Xvfb, create a fresh Wine prefix
#   4. run the probe dialog, drive it from probe_driver.exe (FindWindowA "#32770",
#      GetDlgItemTextA, WM_COMMAND/BN_CLICKED), take PNG screenshots
#   5. import a PCI capture board into the registry (regedit /S), list it with SetupAPI,
#      read its driver key + security, export with regedit /E
#   6. make Wine report Windows XP through the registry, check GetVersionExA
#   7. the i686 build, when 32-bit programs can run here (otherwise reported as skipped)
# Needs the packages of scripts/install-deps.sh. Every step is bounded in time; Xvfb,
# the wineserver and the prefix are removed on exit (KEEP_PREFIX=1 keeps the prefix).
#
# usage: scripts/wine/run-probe.sh [OUTDIR]     (default OUTDIR: /tmp/chanwiz-wine-probe)
# OUTDIR receives screenshots, logs, the exported .reg and the import lists.
# Exit code 0 when every check passed.
set -uo pipefail
exec </dev/null

# Hard bound on the whole run.
if [ -z "${CHANWIZ_PROBE_INNER:-}" ]; then
    export CHANWIZ_PROBE_INNER=1
    exec timeout -k 20 "${PROBE_TIMEOUT:-900}" bash "$0" "$@"
fi

HERE=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
ROOT=$(cd "$HERE/../.." && pwd)
OUT=${1:-/tmp/chanwiz-wine-probe}
mkdir -p "$OUT"
OUT=$(cd "$OUT" && pwd)
WORK=$(mktemp -d "${TMPDIR:-/tmp}/chanwiz-probe.XXXXXX")
TITLE="Chanwiz Probe"

# shellcheck source=wine-env.sh
. "$HERE/wine-env.sh"

PASSED=0
FAILED=0
DLG_PID=""

log() { printf '%s\n' "$*"; }
pass() { PASSED=$((PASSED + 1)); log "PASS: $*"; }
fail() { FAILED=$((FAILED + 1)); log "FAIL: $*"; }
check() {  # check DESCRIPTION COMMAND...
    local what=$1; shift
    if "$@"; then pass "$what"; else fail "$what"; fi
}
now() { date +%s.%N; }
since() { awk -v a="$1" -v b="$(now)" 'BEGIN{printf "%.1f", b-a}'; }

cleanup() {
    local rc=$?
    # timeout sends its TERM twice (to us and to our group): the second
    # must not cut the cleanup short.
    trap - EXIT; trap '' INT TERM
    if [ -n "$DLG_PID" ]; then kill "$DLG_PID" 2>/dev/null; wait "$DLG_PID" 2>/dev/null; fi
    if [ -n "${WINEPREFIX:-}" ]; then
        if [ "${KEEP_PREFIX:-0}" = "1" ]; then
            wine_stop
            log "kept prefix $WINEPREFIX"
        else
            wine_drop_prefix
        fi
    fi
    xvfb_stop
    rm -rf "$WORK/build-x86_64" "$WORK/build-i686" "$WORK/reg"
    rmdir "$WORK" 2>/dev/null || true
    exit "$rc"
}
trap cleanup EXIT
trap 'exit 143' INT TERM

# --- tools --------------------------------------------------------------------
for t in cmake x86_64-w64-mingw32-objdump Xvfb xwd python3; do
    command -v "$t" >/dev/null 2>&1 || { log "missing tool: $t (run scripts/install-deps.sh)"; exit 2; }
done
wine_check || exit 2
log "wine: $WINE ($(timeout 10 "$WINE" --version 2>/dev/null)), server $WINESERVER"

# --- 1. cross-build --------------------------------------------------------------
for arch in x86_64 i686; do
    b=$WORK/build-$arch
    t0=$(now)
    if timeout 300 cmake -S "$ROOT/tests/wine/probe" -B "$b" \
            -DCMAKE_TOOLCHAIN_FILE="$ROOT/cmake/toolchains/mingw-$arch.cmake" \
            -DCMAKE_BUILD_TYPE=Release >"$OUT/build-$arch.log" 2>&1 &&
       timeout 600 cmake --build "$b" -j2 >>"$OUT/build-$arch.log" 2>&1; then
        pass "build $arch ($(since "$t0") s)"
    else
        fail "build $arch (see $OUT/build-$arch.log)"
        tail -20 "$OUT/build-$arch.log"
    fi
done
B64=$WORK/build-x86_64
B32=$WORK/build-i686
[ -f "$B64/probe_dialog.exe" ] || { log "no x86_64 build, stopping"; exit 1; }

# --- 2. import tables + manifest -------------------------------------------------
ALLOWED='^(kernel32|user32|gdi32|advapi32|setupapi|ole32|oleaut32|comctl32|comdlg32|shell32|shlwapi|version|cfgmgr32|newdev|winmm|msvcrt)\.dll$'
imports_ok() {  # imports_ok EXE
    local dlls bad
    dlls=$(x86_64-w64-mingw32-objdump -p "$1" | awk '/DLL Name:/ {print $3}' | sort -u)
    printf '%s: %s\n' "$(basename "$1")" "$(echo "$dlls" | tr '\n' ' ')" >>"$OUT/imports.txt"
    bad=$(echo "$dlls" | tr 'A-Z' 'a-z' | grep -Ev "$ALLOWED" || true)
    [ -z "$bad" ] || { log "  unexpected imports in $(basename "$1"): $bad"; return 1; }
}
manifest_ok() {  # RT_MANIFEST (24) id 1 present, requireAdministrator inside
    x86_64-w64-mingw32-objdump -p "$1" |
        awk '/Entry: ID: 0x000018/ {m=1; next} m && /Entry: ID:/ {sub(",", "", $4); print $4; exit}' | grep -qx '0x000001' &&
        grep -aq 'requireAdministrator' "$1"
}
: >"$OUT/imports.txt"
for exe in "$B64"/*.exe "$B32"/*.exe; do
    [ -f "$exe" ] || continue
    arch=x86_64; [[ $exe == "$B32"/* ]] && arch=i686
    check "imports $arch/$(basename "$exe") are system DLLs only" imports_ok "$exe"
done
for exe in "$B64/probe_dialog.exe" "$B64/probe_driver.exe" "$B32/probe_dialog.exe"; do
    [ -f "$exe" ] && check "manifest (RT_MANIFEST 1) in $(basename "$(dirname "$exe")")/$(basename "$exe")" manifest_ok "$exe"
done
sed 's/^/  /' "$OUT/imports.txt"

# --- 3. Xvfb + prefix --------------------------------------------------------------
XVFB_LOG=$OUT/xvfb.log xvfb_start 99 || { fail "start Xvfb"; exit 1; }
pass "Xvfb on $DISPLAY (pid $XVFB_PID)"
if wine_new_prefix "$WORK/prefix" >"$OUT/prefix.log" 2>&1; then
    pass "$(cat "$OUT/prefix.log")"
else
    fail "create prefix"; cat "$OUT/prefix.log"; exit 1
fi

drive() {  # drive COMMAND... : run probe_driver.exe against the dialog
    timeout -k 5 60 "$WINE" "$B64/probe_driver.exe" "$TITLE" "$@" 2>>"$OUT/driver.err" | tr -d '\r' | tee -a "$OUT/driver.log"
    return "${PIPESTATUS[0]}"
}

# --- 4. dialog + UI driver ---------------------------------------------------------
: >"$OUT/driver.log"
timeout -k 5 120 "$WINE" "$B64/probe_dialog.exe" >"$OUT/dialog.log" 2>&1 &
DLG_PID=$!
t0=$(now)
check "driver finds the dialog and reads it" drive wait expect 1001 "Step 1" lbcount 1003 4 \
    cbfirst 1004 Austria lbtext 1003 3 "S21 303.25 MHz"
log "  dialog up and read in $(since "$t0") s after start"
sleep 0.5
check "screenshot 1" x_screenshot "$OUT/dialog-step1.png"
check "driver clicks Next (WM_COMMAND/BN_CLICKED), status text changes" drive click 1005 expect 1001 "Step 2"
sleep 0.3
check "screenshot 2" x_screenshot "$OUT/dialog-step2.png"
check "driver clicks Finish, dialog closes" drive click 1 gone
dlg_rc=0
wait "$DLG_PID" || dlg_rc=$?
DLG_PID=""
check "dialog (requireAdministrator manifest) exited with 0 (got $dlg_rc)" test "$dlg_rc" -eq 0
log "  $(tr -d '\r' <"$OUT/dialog.log" | grep 'dialog font' || echo 'dialog font: (no output)')"

# --- 5. registry + SetupAPI ----------------------------------------------------------
mkdir -p "$WORK/reg"
python3 "$ROOT/tests/wine/probe/make_reg.py" "$WORK/reg" >/dev/null
cp "$WORK/reg/"*.reg "$OUT/"
check "regedit /S device.reg" timeout -k 5 60 "$WINE" regedit /S "$(wine_path "$WORK/reg/device.reg")"
si_rc=0
timeout -k 5 60 "$WINE" "$B64/probe_sysinfo.exe" 2>/dev/null | tr -d '\r' >"$OUT/sysinfo-x86_64.log" || si_rc=$?
check "SetupAPI lists the imported VEN_1131&DEV_7134 board, class key opens" test "$si_rc" -eq 0
check "SPDRP_DRIVER of the board is the Control\\Class key" \
    grep -q 'driver={4d36e96c-e325-11ce-bfc1-08002be10318}\\0000' "$OUT/sysinfo-x86_64.log"
check "board without ClassGUID (DEV_7133) is not listed" bash -c "! grep -q 'DEV_7133' '$OUT/sysinfo-x86_64.log'"
check "RegGetKeySecurity(DACL) works" grep -q 'RegGetKeySecurity(DACL) = 0' "$OUT/sysinfo-x86_64.log"
check "DriverData values readable" grep -q 'value Tuner (REG_DWORD) = 0x00000036' "$OUT/sysinfo-x86_64.log"
grep -E 'FOUND|RegQueryInfoKeyA|RegGetKeySecurity|^devices' "$OUT/sysinfo-x86_64.log" | sed 's/^/  /'

EXPORT=$WORK/reg/export.reg
check "regedit /E of the media class key" timeout -k 5 60 "$WINE" regedit /E "$(wine_path "$EXPORT")" \
    'HKEY_LOCAL_MACHINE\SYSTEM\CurrentControlSet\Control\Class\{4d36e96c-e325-11ce-bfc1-08002be10318}'
cp "$EXPORT" "$OUT/export.reg" 2>/dev/null
check "export is UTF-16LE with BOM, version 5.00 header" bash -c \
    "head -c 2 '$EXPORT' | od -An -tx1 | grep -q 'ff fe' &&
     iconv -f UTF-16LE -t UTF-8 '$EXPORT' | head -1 | grep -q 'Windows Registry Editor Version 5.00'"
check "export holds DriverData" bash -c "iconv -f UTF-16LE -t UTF-8 '$EXPORT' | grep -q '0000\\\\DriverData\\]'"

# --- 6. Windows version through the registry ---------------------------------------------
log "  default: $(grep '^version' "$OUT/sysinfo-x86_64.log")"
check "regedit /S winver-xp.reg" timeout -k 5 60 "$WINE" regedit /S "$(wine_path "$WORK/reg/winver-xp.reg")"
ver=$(timeout -k 5 60 "$WINE" "$B64/probe_sysinfo.exe" 2>/dev/null | tr -d '\r' | grep '^version')
log "  after winver-xp.reg: $ver"
check "GetVersionExA reports 5.1 build 2600 SP3" bash -c "[[ '$ver' == *'5.1 build 2600'*'sp 3.0'* ]]"

# --- 7. i686 ------------------------------------------------------------------------------
if wine_runs_32bit && [ -f "$B32/probe_sysinfo.exe" ]; then
    rc32=0
    timeout -k 5 60 "$WINE" "$B32/probe_sysinfo.exe" 2>/dev/null | tr -d '\r' >"$OUT/sysinfo-i686.log" || rc32=$?
    check "i686 probe_sysinfo under wine32 (WoW64)" test "$rc32" -eq 0
else
    log "SKIP: i686 run (wine32:i386 not installed, or a kernel that runs no 32-bit code; wine64 alone cannot start 32-bit exes)"
fi

log "artifacts in $OUT"
log "probe: $PASSED passed, $FAILED failed"
[ "$FAILED" -eq 0 ]
