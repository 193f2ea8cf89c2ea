#!/usr/bin/env bash
# Cross-builds Chanwiz.exe for 64-bit and 32-bit Windows and checks what came
# out:
#   1. configure and build the presets mingw-x86_64 and mingw-i686
#      (warnings are errors unless CHANWIZ_WERROR=OFF is in the cache);
#   2. tests/win32/check_imports.sh on both Chanwiz.exe and both
#      chanwiz-cli.exe: system DLLs only (tests/win32/check_cli.py: a console
#      program with its own manifest);
#   3. tests/win32/check_resources.py on both: pages, icon, version, manifest;
#   4. tests/win32/check_resources_test.py: the checker notices damage;
#   5. under Wine and Xvfb, when installed (scripts/install-deps.sh), in a
#      fresh prefix that has no capture board: chanwiz_win32_tests.exe, the
#      real-API platform's tests, which also start Chanwiz.exe and expect the
#      no-device message; then a screenshot of that message. The 32-bit tests
#      run only when wine32 is installed.
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
        -h|--help) sed -n '2,21p' "$0"; exit 0 ;;
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
need_tools() {
    local t
    for t in cmake python3 x86_64-w64-mingw32-g++-posix i686-w64-mingw32-g++-posix \
             x86_64-w64-mingw32-windres i686-w64-mingw32-windres x86_64-w64-mingw32-objdump; do
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
for preset in mingw-x86_64 mingw-i686; do
    log "== $preset"
    if timeout 300 cmake --preset "$preset" >"$OUT/configure-$preset.log" 2>&1; then
        pass "configure $preset"
    else
        fail "configure $preset (see $OUT/configure-$preset.log)"
        tail -15 "$OUT/configure-$preset.log"
        continue
    fi
    if timeout 1800 cmake --build "build/$preset" -j"$(nproc)" >"$OUT/build-$preset.log" 2>&1; then
        pass "build $preset"
    else
        fail "build $preset (see $OUT/build-$preset.log)"
        grep -E 'error|warning' "$OUT/build-$preset.log" | head -20
    fi
done

# --- 2-4. the executables ---------------------------------------------------------------
for preset in mingw-x86_64 mingw-i686; do
    exe=build/$preset/Chanwiz.exe
    if [ ! -f "$exe" ]; then
        fail "$exe was built"
        continue
    fi
    check "$preset: Chanwiz.exe imports only Windows system DLLs" \
        bash -c "bash tests/win32/check_imports.sh '$exe' >'$OUT/imports-$preset.log' 2>&1 ||
                 { cat '$OUT/imports-$preset.log'; exit 1; }"
    check "$preset: Chanwiz.exe resources equal the template table, icon, version, manifest" \
        bash -c "timeout 120 python3 tests/win32/check_resources.py '$exe' >'$OUT/resources-$preset.log' 2>&1 ||
                 { grep -E 'FAIL|Error|Traceback' '$OUT/resources-$preset.log'; exit 1; }"
done
for preset in mingw-x86_64 mingw-i686; do
    exe=build/$preset/chanwiz-cli.exe
    if [ ! -f "$exe" ]; then
        fail "$exe was built"
        continue
    fi
    check "$preset: chanwiz-cli.exe imports only Windows system DLLs" \
        bash -c "bash tests/win32/check_imports.sh '$exe' >'$OUT/cli-imports-$preset.log' 2>&1 ||
                 { cat '$OUT/cli-imports-$preset.log'; exit 1; }"
    check "$preset: chanwiz-cli.exe is a console program with its own manifest" \
        bash -c "timeout 120 python3 tests/win32/check_cli.py '$exe' >'$OUT/cli-resources-$preset.log' 2>&1 ||
                 { grep -E 'FAIL|Error|Traceback' '$OUT/cli-resources-$preset.log'; exit 1; }"
done
if [ -f build/mingw-x86_64/Chanwiz.exe ]; then
    check "check_resources.py notices damaged resources" \
        bash -c "timeout 120 python3 tests/win32/check_resources_test.py build/mingw-x86_64/Chanwiz.exe \
                 >'$OUT/check-resources-test.log' 2>&1 || { tail -20 '$OUT/check-resources-test.log'; exit 1; }"
fi

# --- 5. under Wine --------------------------------------------------------------------------
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

run_tests() {  # run_tests PRESET
    local exe=build/$1/chanwiz_win32_tests.exe rc=0
    timeout -k 5 300 "$WINE" "$exe" >"$OUT/win32-tests-$1.log" 2>&1 || rc=$?
    tr -d '\r' <"$OUT/win32-tests-$1.log" | grep -E '^\[  (PASSED|FAILED|SKIPPED) ' | sed 's/^/  /'
    if [ "$rc" -ne 0 ]; then
        tr -d '\r' <"$OUT/win32-tests-$1.log" | grep -B2 -A6 'Failure' | head -40
    fi
    return "$rc"
}
if [ -f build/mingw-x86_64/chanwiz_win32_tests.exe ]; then
    check "mingw-x86_64: chanwiz_win32_tests.exe under Wine (log $OUT/win32-tests-mingw-x86_64.log)" \
        run_tests mingw-x86_64
    check "mingw-x86_64: no capture board, so Chanwiz.exe showed the no-device message" \
        bash -c "tr -d '\r' <'$OUT/win32-tests-mingw-x86_64.log' |
                 grep -q '^\[       OK \] ChanwizExe.' &&
                 ! grep -q 'a supported board is present' '$OUT/win32-tests-mingw-x86_64.log'"
else
    fail "build/mingw-x86_64/chanwiz_win32_tests.exe was built"
fi
if [ -x /usr/lib/wine/wine ] || [ -x /usr/lib/i386-linux-gnu/wine/wine ]; then
    if [ -f build/mingw-i686/chanwiz_win32_tests.exe ]; then
        check "mingw-i686: chanwiz_win32_tests.exe under Wine (log $OUT/win32-tests-mingw-i686.log)" \
            run_tests mingw-i686
    fi
else
    log "SKIP: 32-bit tests under Wine (wine32 not installed: CHANWIZ_DEPS_WINE32=1 scripts/install-deps.sh)"
fi

# A picture of the message, for a person to look at. The program is left
# waiting on it and ends when its time is up (and the prefix with it).
if [ -f build/mingw-x86_64/Chanwiz.exe ]; then
    cp build/mingw-x86_64/Chanwiz.exe "$WORK/Chanwiz.exe"
    timeout -k 2 12 "$WINE" "$WORK/Chanwiz.exe" >"$OUT/chanwiz-wine.log" 2>&1 &
    app=$!
    sleep 6
    check "screenshot $OUT/no-device.png" x_screenshot "$OUT/no-device.png"
    wait "$app" 2>/dev/null
fi

summary
