#!/usr/bin/env bash
# Whole-process figures under Wine: wall-clock time, median and minimum over
# N runs, of
#   (a) an empty Win32 program (bench/empty_win32.cpp) starting and exiting;
#   (b) Chanwiz.exe's whole scripted run on a sample machine, answered by
#       ui-driver.exe as tests/wine/run_scenario.sh answers it;
#   (c) regedit /S importing the same run's changes (chanwiz-sim --changes).
# Figures, not a test: nothing is compared against a limit.
#
# usage: bench/wine_process_bench.sh [-n N] [--scenario NAME]
#   -n N             runs of each (default 5, or BENCH_RUNS)
#   --scenario NAME  the machine and answers of that scenario of
#                    tests/wine/scenarios.txt (default country-italy:
#                    samples/saa7134-xp-italy.reg, the country path to Italy)
#
# Set-up, not timed: one prefix (copied from a fresh base) with the machine
# imported as run_scenario.sh imports it, Chanwiz.exe and Chanwiz.ini where
# the machine says, Xvfb, and ONE wineserver started with -p plus Wine's
# desktop, kept up for every run: the figures are the processes' own start,
# work and exit, not Wine's start-up. One warm-up run of each comes first and
# is not counted. After each run of (b) and (c) the run's undo file
# (chanwiz-sim --undo) is imported, not timed, so that every run starts from
# the same registry; the registry is checked to be back at its start at the end.
# (b) includes ui-driver.exe's own start and its waits (window polls every
# 150 ms, 45 ms of settling per step): an upper bound of the wizard's cost.
#
# The empty program is built with the flags of the mingw-i686 preset's
# Release build (-O3 -DNDEBUG, static, -mwindows) into build/bench-wine/,
# where the logs go too. BENCH_TIMEOUT bounds the whole (default 1200 s).
# The prefix, its wineserver and Xvfb are removed on every exit.
set -uo pipefail
exec </dev/null

if [ -z "${CHANWIZ_BENCH_INNER:-}" ]; then
    export CHANWIZ_BENCH_INNER=1
    exec timeout -k 30 "${BENCH_TIMEOUT:-1200}" bash "$0" "$@"
fi
unset CHANWIZ_BENCH_INNER

# The whole file is read before it runs: an edit during a run must not
# change the running script.
{

ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
RUNS=${BENCH_RUNS:-5}
SCENARIO=country-italy
while [ $# -gt 0 ]; do
    case "$1" in
        -n) RUNS=${2:-}; shift 2 ;;
        --scenario) SCENARIO=${2:-}; shift 2 ;;
        -h|--help) sed -n '2,/^set -uo/p' "$0" | sed '$d; s/^# \{0,1\}//'; exit 0 ;;
        *) echo "wine_process_bench: unknown argument $1" >&2; exit 2 ;;
    esac
done
case "$RUNS" in ''|*[!0-9]*|0) echo "wine_process_bench: -n needs a number above 0" >&2; exit 2 ;; esac

export LC_ALL=C.UTF-8
# shellcheck source=../scripts/wine/wine-env.sh
. "$ROOT/scripts/wine/wine-env.sh"
# shellcheck source=../tests/wine/common.sh
. "$ROOT/tests/wine/common.sh"
# shellcheck source=../tests/wine/prefix.sh
. "$ROOT/tests/wine/prefix.sh"
REGTOOL=$ROOT/scripts/wine/regtool.py
OUT=$ROOT/build/bench-wine
mkdir -p "$OUT"
rm -f "$OUT"/*.log "$OUT"/*.reg "$OUT"/*.dump "$OUT"/*.jsonl "$OUT"/script.txt
wine_check || exit 2
command -v Xvfb >/dev/null 2>&1 || { echo "wine_process_bench: Xvfb is missing (scripts/install-deps.sh)" >&2; exit 2; }

# --- the scenario ---------------------------------------------------------------------
trim() { local s=$1; s=${s#"${s%%[![:space:]]*}"}; s=${s%"${s##*[![:space:]]}"}; printf '%s' "$s"; }
LINE=""
while IFS= read -r l || [ -n "$l" ]; do
    case "$(trim "$l")" in ''|'#'*) continue ;; esac
    [ "$(trim "${l%%|*}")" = "$SCENARIO" ] && { LINE=$l; break; }
done <"$ROOT/tests/wine/scenarios.txt"
[ -n "$LINE" ] || { echo "wine_process_bench: no scenario $SCENARIO in tests/wine/scenarios.txt" >&2; exit 2; }
IFS='|' read -r _ WINDOWS MACHINE SCRIPT ARGS _ OPTIONS _ <<<"$LINE"
WINDOWS=$(trim "$WINDOWS")
MACHINE=$ROOT/$(trim "$MACHINE")
printf '%s\n' "$(trim "$SCRIPT")" >"$OUT/script.txt"
read -ra WARGS <<<"$(trim "${ARGS:-}")"
case " $(trim "${OPTIONS:-}") " in
    *" --vamp "*) echo "wine_process_bench: scenario $SCENARIO needs the 34com.dll stand-in; pick another" >&2; exit 2 ;;
    *" --no-ini "*) NO_INI=1 ;;
    *) NO_INI=0 ;;
esac

# --- programs -------------------------------------------------------------------------
# The program the Wine suites run (the 32-bit one, or where this machine
# cannot run it the 64-bit build), with tools of the same kind.
pick_chanwiz_exe "$ROOT" wine_process_bench || exit 2
ARCH=i686 TOOLS_DIR=$ROOT/build/ui-driver-i686
[ "$PREFIX_BITS" = 64 ] && ARCH=x86_64 TOOLS_DIR=$ROOT/build/ui-driver
if [ -z "${CHANWIZ_TOOLS:-}" ] && ! "$ROOT/scripts/wine/build-ui-driver.sh" --arch "$ARCH" >/dev/null; then
    echo "wine_process_bench: could not build the ui-driver tools" >&2
    exit 2
fi
TOOLS=${CHANWIZ_TOOLS:-$TOOLS_DIR}
SIM=${CHANWIZ_SIM:-$ROOT/build/native/chanwiz-sim}
[ -x "$SIM" ] || { echo "wine_process_bench: no $SIM (cmake --preset native && cmake --build build/native)" >&2; exit 2; }
EMPTY=$OUT/empty_win32-$ARCH.exe
if [ ! -f "$EMPTY" ] || [ "$ROOT/bench/empty_win32.cpp" -nt "$EMPTY" ]; then
    CXX=$(command -v "$ARCH-w64-mingw32-g++-win32" || command -v "$ARCH-w64-mingw32-g++-posix") ||
        { echo "wine_process_bench: no MinGW-w64 $ARCH compiler (scripts/install-deps.sh)" >&2; exit 2; }
    # The mingw-i686 preset's Release flags, and Chanwiz.exe's link options.
    timeout 300 "$CXX" -O3 -DNDEBUG -Wall -Wextra -Werror -std=c++17 \
        -static -static-libgcc -static-libstdc++ -mwindows \
        -o "$EMPTY" "$ROOT/bench/empty_win32.cpp" >"$OUT/build-empty.log" 2>&1 ||
        { cat "$OUT/build-empty.log" >&2; echo "wine_process_bench: could not build empty_win32.exe" >&2; exit 2; }
fi

# --- the run's changes and their undo ------------------------------------------------------
INI_ARGS=(--ini "$ROOT/resources/Chanwiz.ini")
[ "$NO_INI" = 1 ] && INI_ARGS=(--no-ini)
timeout -k 5 60 "$SIM" --machine "$MACHINE" --answers "@$OUT/script.txt" "${INI_ARGS[@]}" --quiet \
    --changes "$OUT/changes.reg" --undo "$OUT/undo.reg" "${WARGS[@]}" >"$OUT/sim.log" 2>&1 ||
    { echo "wine_process_bench: chanwiz-sim failed (build/bench-wine/sim.log)" >&2; exit 2; }
# (5.00 files come in UTF-16LE, as regedit reads them.)
CHANGE_TEXT=$(if [ "$(head -c 2 "$OUT/changes.reg" | od -An -tx1 | tr -d ' ')" = fffe ]; then
                  iconv -f UTF-16 -t UTF-8 "$OUT/changes.reg"; else cat "$OUT/changes.reg"; fi | tr -d '\r')
CHANGE_LINES=$(grep -c '^["@]' <<<"$CHANGE_TEXT")
CHANGE_KEYS=$(grep -c '^\[' <<<"$CHANGE_TEXT")

# --- set-up ---------------------------------------------------------------------------
CACHE=$ROOT/build/wine-cache/bench-$$
WORK=""
cleanup() {
    local rc=$?
    prefix_teardown
    rm -rf "$CACHE"
    rmdir "$ROOT/build/wine-cache" 2>/dev/null
    exit "$rc"
}
trap cleanup EXIT
trap 'echo "wine_process_bench: interrupted or out of time"; exit 1' INT TERM
die() { echo "wine_process_bench: $*" >&2; exit 1; }

echo "wine_process_bench: setting up a prefix (not timed)"
mkdir -p "$CACHE"
prefix_base "$CACHE" "$WINDOWS" || die "could not make the base Wine prefix"
WORK=$(mktemp -d "$CACHE/bench.XXXXXX")
prefix_copy "$CACHE" "$WORK" "$OUT/wineserver.log" "$WINDOWS" || die "could not copy the prefix"
XVFB_LOG=$OUT/xvfb.log xvfb_start 99 || die "could not start Xvfb"
prefix_machine "$MACHINE" "$TOOLS" "$OUT" || die "could not import the machine"
DRIVE=$WINEPREFIX/drive_c
MODULE=$("$PYTHON" "$REGTOOL" sim-value "$MACHINE" ModuleFileName 'C:\Program Files\Morvex\Chanwiz\Chanwiz.exe')
case "$MODULE" in [Cc]:\\*) ;; *) die "the machine's program path $MODULE is not on C:" ;; esac
REL=${MODULE:3}
REL=${REL//\\//}
mkdir -p "$DRIVE/$(dirname "$REL")" "$DRIVE/bench"
cp "$EXE" "$DRIVE/$REL" || die "could not copy Chanwiz.exe into the prefix"
[ "$NO_INI" = 1 ] || cp "$ROOT/resources/Chanwiz.ini" "$DRIVE/$(dirname "$REL")/Chanwiz.ini"
cp "$EMPTY" "$DRIVE/bench/empty_win32.exe"
cp "$OUT/script.txt" "$DRIVE/bench/script.txt"
# The changes in the form regedit wants, made once: (c) times regedit alone.
"$PYTHON" "$REGTOOL" import "$OUT/changes.reg" "$DRIVE/bench/changes.reg" >/dev/null ||
    die "could not convert changes.reg"
"$PYTHON" "$REGTOOL" import "$OUT/undo.reg" "$DRIVE/bench/undo.reg" >/dev/null ||
    die "could not convert undo.reg"
KEYS=(
    'HKEY_LOCAL_MACHINE\SYSTEM\CurrentControlSet\Control\Class'
    'HKEY_LOCAL_MACHINE\SYSTEM\CurrentControlSet\Services\Class'
    'HKEY_LOCAL_MACHINE\SOFTWARE\Morvex Multimedia'
)
prefix_regdump "$OUT/start.dump" "$TOOLS" "$OUT/regdump.log" "${KEYS[@]}" || die "regdump failed"

# --- runs ----------------------------------------------------------------------------------
now_us() { local t=${EPOCHREALTIME/./}; printf '%s' "${t#0}"; }
undo() {
    timeout -k 5 60 "$WINE" regedit /S 'C:\bench\undo.reg' >>"$OUT/regedit.log" 2>&1 || die "regedit of undo.reg failed"
}
run_empty() {
    local t0 t1 rc=0
    t0=$(now_us)
    timeout -k 5 60 "$WINE" 'C:\bench\empty_win32.exe' >>"$OUT/empty.log" 2>&1 || rc=$?
    t1=$(now_us)
    [ "$rc" -eq 0 ] || die "empty_win32.exe exit code $rc"
    echo $((t1 - t0))
}
run_wizard() {
    local t0 t1 rc=0 pages
    t0=$(now_us)
    timeout -k 5 150 "$WINE" "$TOOLS/ui-driver.exe" --script '@C:\bench\script.txt' \
        --transcript 'C:\bench\transcript.jsonl' --start "$MODULE" -- "${WARGS[@]}" >"$OUT/driver.log" 2>&1 || rc=$?
    t1=$(now_us)
    pages=$(grep -o '"event":"page","template":[0-9]*' "$DRIVE/bench/transcript.jsonl" 2>/dev/null | sed 's/.*://' | paste -sd, -)
    [ "$rc" -eq 0 ] || die "ui-driver exit code $rc (build/bench-wine/driver.log)"
    echo "pages $pages" >>"$OUT/wizard-pages.log"
    undo
    echo $((t1 - t0))
}
run_regedit() {
    local t0 t1 rc=0
    t0=$(now_us)
    timeout -k 5 60 "$WINE" regedit /S 'C:\bench\changes.reg' >>"$OUT/regedit.log" 2>&1 || rc=$?
    t1=$(now_us)
    [ "$rc" -eq 0 ] || die "regedit /S changes.reg exit code $rc"
    undo
    echo $((t1 - t0))
}

LOAD=$(cut -d' ' -f1-3 /proc/loadavg)
echo "wine_process_bench: one warm-up run of each, then $RUNS timed"
run_empty >/dev/null
run_wizard >/dev/null
run_regedit >/dev/null
A=() B=() C=()
for ((i = 1; i <= RUNS; i++)); do
    A+=("$(run_empty)") || exit 1
    B+=("$(run_wizard)") || exit 1
    C+=("$(run_regedit)") || exit 1
    printf '  run %d: %s %s %s us\n' "$i" "${A[-1]}" "${B[-1]}" "${C[-1]}" >>"$OUT/runs.log"
done
# Every run showed the scenario's pages, and the registry is where it started.
[ "$(sort -u "$OUT/wizard-pages.log" | wc -l)" -eq 1 ] || die "the wizard's runs met different pages (wizard-pages.log)"
prefix_regdump "$OUT/end.dump" "$TOOLS" "$OUT/regdump.log" "${KEYS[@]}" || die "regdump failed"
cmp -s "$OUT/start.dump" "$OUT/end.dump" || die "the registry is not back at its start after the runs"

stats() {  # stats MICROSECONDS...: "median min" in ms
    printf '%s\n' "$@" | sort -n | awk '{v[NR] = $1} END {
        m = NR % 2 ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2
        printf "%.0f %.0f", m / 1000, v[1] / 1000 }'
}
row() {  # row LABEL MICROSECONDS...
    local s
    s=$(stats "${@:2}")
    printf '| %-58s | %6s ms | %6s ms |\n' "$1" "${s% *}" "${s#* }"
}

WINE_VERSION=$("$WINE" --version 2>/dev/null || echo "Wine")
echo
echo "Whole processes under $WINE_VERSION (wine64), $(nproc) cores, load average $LOAD at the"
echo "start and $(cut -d' ' -f1-3 /proc/loadavg) at the end (other work on the machine shows in the medians)."
echo "One wineserver (started with -p) and Wine's desktop stay up for every run, so the figures"
echo "are each process's own start, work and exit, not Wine's start-up. Median and minimum of"
echo "$RUNS runs each, after one warm-up run. Machine ${MACHINE#"$ROOT"/}, answers of scenario $SCENARIO:"
echo "$(tr '\n' ' ' <"$OUT/script.txt")"
echo
printf '| %-58s | %9s | %9s |\n' "process" "median" "min"
printf '|%s|%s|%s|\n' "$(printf -- '-%.0s' {1..60})" "$(printf -- '-%.0s' {1..11})" "$(printf -- '-%.0s' {1..11})"
row "(a) empty Win32 program (WinMain returns 0): start, exit" "${A[@]}"
row "(b) Chanwiz.exe, whole run answered by ui-driver.exe" "${B[@]}"
row "(c) regedit /S of the run's changes ($CHANGE_LINES values, $CHANGE_KEYS keys)" "${C[@]}"
echo
PAGES=$(head -1 "$OUT/wizard-pages.log" | cut -d' ' -f2)
STEPS=$(sed 's/#.*//' "$OUT/script.txt" | tr ';' '\n' | grep -c '[^[:space:]]')
NPAGES=$(tr ',' '\n' <<<"$PAGES" | grep -c .)
echo "(b) includes ui-driver.exe's own start and pauses: 45 ms of settling per page and per"
echo "step ($NPAGES pages $PAGES, $STEPS steps: $(( (NPAGES + STEPS) * 45 )) ms), and its waits for each next window,"
echo "polled every 150 ms. Each run of (b) and (c) was followed by regedit /S of the run's undo"
echo "file (not timed); the registry ended as it started."
echo "Single runs in build/bench-wine/runs.log (microseconds: a b c)."
exit
}
