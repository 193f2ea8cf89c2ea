#!/usr/bin/env bash
# Cross-builds the shipped Windows programs, Chanwiz.exe and chanwiz-cli.exe
# (32-bit, one build for Windows 98 SE to 11), and checks what came out:
#   1. configure and build the preset mingw-i686 (warnings are errors unless
#      CHANWIZ_WERROR=OFF is in the cache);
#   2. tests/win32/check_imports.py on both programs: only Windows system
#      DLLs, no function that Windows 98 SE lacks or that
#      tests/win32/windows-api-minimums.tsv has no row for, PE header 4.0;
#      and a program that imports GetTickCount64 (Vista) must be rejected;
#   3. tests/win32/check_resources.py on Chanwiz.exe (pages, icon, version,
#      manifest) and check_resources.py --cli on chanwiz-cli.exe (a console
#      program with its own manifest);
#   4. under Wine and Xvfb, when installed (scripts/install-deps.sh), in a
#      fresh prefix that runs 32-bit programs and has no capture board:
#      chanwiz_win32_tests.exe, the real-API platform's tests; then a
#      screenshot of Chanwiz.exe's no-device message (tests/wine's nodevice
#      row checks its text and exit code). Where the kernel cannot run 32-bit programs (wine32
#      does not start), both are built as 64-bit programs for this step, and
#      the log says so.
#
# usage: scripts/build-windows.sh [--no-wine] [OUTDIR]
#   OUTDIR (default build/windows-check) receives the logs and the screenshot.
# Every step is bounded in time; Xvfb, the wineserver and the prefix are
# removed on exit. Ends with "N passed, N failed"; exit status 0 only when
# nothing failed.
set -uo pipefail
exec </dev/null

if [ -z "${CHANWIZ_BUILD_WINDOWS_INNER:-}" ]; then
    export CHANWIZ_BUILD_WINDOWS_INNER=1
    exec timeout -k 20 "${BUILD_WINDOWS_TIMEOUT:-3600}" bash "$0" "$@"
fi

ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
cd "$ROOT"

WINE_STEP=1
OUT=""
for arg in "$@"; do
    case "$arg" in
        --no-wine) WINE_STEP=0 ;;
        -h|--help) sed -n '2,28p' "$0"; exit 0 ;;
        *) OUT=$arg ;;
    esac
done
OUT=${OUT:-$ROOT/build/windows-check}
mkdir -p "$OUT"
OUT=$(cd "$OUT" && pwd)

PASSED=0
FAILED=0
log() { printf '%s\n' "$*"; }
pass() { PASSED=$((PASSED + 1)); log "PASS: $*"; }
fail() { FAILED=$((FAILED + 1)); log "FAIL: $*"; }
check() {  # check DESCRIPTION COMMAND...
    local what=$1; shift
    if "$@"; then pass "$what"; else fail "$what"; fi
}

WORK=""
cleanup() {
    local rc=$?
    # timeout sends its TERM twice (to us and to our group): the second
    # must not cut the cleanup short.
    trap - EXIT; trap '' INT TERM
    if [ -n "${WINEPREFIX:-}" ]; then wine_drop_prefix; fi
    if [ -n "${XVFB_PID:-}" ]; then xvfb_stop; fi
    if [ -n "$WORK" ]; then rm -rf "$WORK"; fi
    exit "$rc"
}
trap cleanup EXIT
trap 'exit 143' INT TERM

summary() {
    log "$PASSED passed, $FAILED failed"
    [ "$FAILED" -eq 0 ]
}

# --- tools ------------------------------------------------------------------------
PRESET=mingw-i686
B=build/$PRESET
need_tools() {
    local t
    for t in cmake python3 i686-w64-mingw32-gcc-win32 i686-w64-mingw32-g++-win32 \
             i686-w64-mingw32-windres i686-w64-mingw32-objdump; do
        command -v "$t" >/dev/null 2>&1 || return 1
    done
}
if ! need_tools; then
    log "== installing the cross tools (scripts/install-deps.sh)"
    bash scripts/install-deps.sh || true
fi
if ! need_tools; then
    fail "MinGW-w64 cross tools present (run scripts/install-deps.sh)"
    summary
    exit 1
fi

# --- 1. build ----------------------------------------------------------------------
log "== $PRESET"
if timeout 300 cmake --preset "$PRESET" >"$OUT/configure.log" 2>&1; then
    pass "configure $PRESET"
    t0=$(date +%s)
    if timeout 1800 cmake --build "$B" -j"$(nproc)" >"$OUT/build.log" 2>&1; then
        pass "build $PRESET ($(($(date +%s) - t0)) s)"
    else
        fail "build $PRESET (see $OUT/build.log)"
        grep -E 'error|warning' "$OUT/build.log" | head -20
    fi
else
    fail "configure $PRESET (see $OUT/configure.log)"
    tail -15 "$OUT/configure.log"
fi

# --- 2-4. the programs ---------------------------------------------------------------------
for exe in "$B/Chanwiz.exe" "$B/chanwiz-cli.exe"; do
    [ -f "$exe" ] || fail "$exe was built"
done
if [ -f "$B/Chanwiz.exe" ] && [ -f "$B/chanwiz-cli.exe" ]; then
    check "Chanwiz.exe and chanwiz-cli.exe load on Windows 98 SE to 11: imports and PE header (list $OUT/imports.log)" \
        bash -c "timeout 120 python3 tests/win32/check_imports.py '$B/Chanwiz.exe' '$B/chanwiz-cli.exe' \
                 >'$OUT/imports.log' 2>&1 || { grep -v '^ok\|^note' '$OUT/imports.log'; exit 1; }"
fi
# The check itself: a program that imports GetTickCount64 must not pass.
vista=$OUT/imports-gettickcount64
printf '#include <windows.h>\nint main(void) { return (int)GetTickCount64(); }\n' >"$vista.c"
check "check_imports.py rejects a program that imports GetTickCount64" \
    bash -c "timeout 120 i686-w64-mingw32-gcc-win32 -o '$vista.exe' '$vista.c' &&
             ! timeout 120 python3 tests/win32/check_imports.py '$vista.exe' >'$vista.log' 2>&1 &&
             grep -q '^FAIL: .*KERNEL32.dll GetTickCount64' '$vista.log'"
if [ -f "$B/Chanwiz.exe" ]; then
    check "Chanwiz.exe resources equal the template table, icon, version, manifest" \
        bash -c "timeout 120 python3 tests/win32/check_resources.py '$B/Chanwiz.exe' >'$OUT/resources.log' 2>&1 ||
                 { grep -E 'FAIL|Error|Traceback' '$OUT/resources.log'; exit 1; }"
fi
if [ -f "$B/chanwiz-cli.exe" ]; then
    check "chanwiz-cli.exe is a console program with its own manifest" \
        bash -c "timeout 120 python3 tests/win32/check_resources.py --cli '$B/chanwiz-cli.exe' >'$OUT/cli-resources.log' 2>&1 ||
                 { grep -E 'FAIL|Error|Traceback' '$OUT/cli-resources.log'; exit 1; }"
fi

# --- 4. under Wine --------------------------------------------------------------------------
if [ "$WINE_STEP" -eq 0 ]; then
    log "SKIP: Wine runs (--no-wine)"
    summary
    exit $?
fi
# shellcheck source=wine/wine-env.sh
. "$ROOT/scripts/wine/wine-env.sh"
if ! wine_check 2>/dev/null || ! command -v Xvfb >/dev/null 2>&1; then
    log "SKIP: Wine runs (wine64 or Xvfb not installed; scripts/install-deps.sh installs them)"
    summary
    exit $?
fi

# The 32-bit programs run in the prefix through wine32 (WoW64). A kernel
# built without 32-bit support cannot start wine32 at all; there the same
# real-API tests are built and run as a 64-bit program, so that they still
# run, and the log says the 32-bit ones did not.
RUN=$B
WINE32=""
for w in /usr/lib/wine/wine /usr/lib/i386-linux-gnu/wine/wine; do
    if [ -x "$w" ]; then WINE32=$w; break; fi
done
if [ -z "$WINE32" ]; then
    fail "wine32 installed, to run the 32-bit programs (scripts/install-deps.sh)"
    summary
    exit 1
elif ! timeout 60 "$WINE32" --version >/dev/null 2>&1; then
    log "NOTE: this machine cannot run 32-bit programs ($WINE32 does not start: a kernel without 32-bit support),"
    log "      so the 32-bit programs are not run under Wine here; the real-API tests run as a 64-bit program"
    RUN=build/mingw-i686-tests64
    check "build the real-API tests as a 64-bit program in $RUN (log $OUT/build-tests64.log)" \
        bash -c "{ timeout 300 cmake -S . -B '$RUN' -DCMAKE_BUILD_TYPE=Release -DCHANWIZ_WERROR=ON \
                     -DCMAKE_TOOLCHAIN_FILE='$ROOT/cmake/toolchains/mingw-x86_64.cmake' &&
                   timeout 1800 cmake --build '$RUN' -j$(nproc) --target Chanwiz chanwiz-cli chanwiz_win32_tests; } \
                 >'$OUT/build-tests64.log' 2>&1 || { grep -E 'error' '$OUT/build-tests64.log' | head -20; exit 1; }"
fi

WORK=$(mktemp -d "${TMPDIR:-/tmp}/chanwiz-windows-check.XXXXXX")
if XVFB_LOG=$OUT/xvfb.log xvfb_start 99; then
    pass "Xvfb on $DISPLAY"
else
    fail "start Xvfb"
    summary
    exit 1
fi
if wine_new_prefix "$WORK/prefix" >"$OUT/prefix.log" 2>&1; then
    pass "fresh Wine prefix ($(tail -1 "$OUT/prefix.log" | sed 's/^wine-env: //'))"
else
    fail "create a Wine prefix (see $OUT/prefix.log)"
    summary
    exit 1
fi

run_tests() {
    local log=$OUT/win32-tests.log rc=0
    timeout -k 5 300 "$WINE" "$RUN/chanwiz_win32_tests.exe" >"$log" 2>&1 || rc=$?
    tr -d '\r' <"$log" | grep -E '^\[  (PASSED|FAILED|SKIPPED) ' | sed 's/^/  /'
    if [ "$rc" -ne 0 ]; then
        tr -d '\r' <"$log" | grep -B2 -A6 'Failure' | head -40
    fi
    return "$rc"
}
if [ -f "$RUN/chanwiz_win32_tests.exe" ]; then
    check "$RUN/chanwiz_win32_tests.exe under Wine (log $OUT/win32-tests.log)" run_tests
else
    fail "$RUN/chanwiz_win32_tests.exe was built"
fi

# A picture of the message, for a person to look at. The program is left
# waiting on it and ends when its time is up (and the prefix with it).
if [ -f "$RUN/Chanwiz.exe" ]; then
    cp "$RUN/Chanwiz.exe" "$WORK/Chanwiz.exe"
    timeout -k 2 12 "$WINE" "$WORK/Chanwiz.exe" >"$OUT/chanwiz-wine.log" 2>&1 &
    app=$!
    sleep 6
    check "screenshot $OUT/no-device.png ($RUN/Chanwiz.exe)" x_screenshot "$OUT/no-device.png"
    wait "$app" 2>/dev/null
fi

summary
