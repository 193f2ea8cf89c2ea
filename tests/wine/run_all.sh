#!/usr/bin/env bash
# The scenarios of tests/wine/scenarios.txt and cli_scenarios.txt: the real
# Chanwiz.exe and chanwiz-cli.exe under Wine, each row on the Windows it names
# (xp, 98 or x64: tests/wine/prefix.sh), answered by ui-driver.exe and
# compared with chanwiz-sim (tests/wine/run_scenario.sh).
#
# usage: tests/wine/run_all.sh [-j N] [--scenarios FILE]... [--windows LIST] [NAME_PATTERN]
#   -j N              scenarios run N at a time (default 2)
#   --scenarios FILE  a scenario table (repeatable; default both tables)
#   --windows LIST    only the rows for these Windows (e.g. 98 or xp,x64)
#   NAME_PATTERN      only the scenarios whose name matches (a grep -E pattern)
#
# Builds ui-driver.exe and regdump.exe (scripts/wine/build-ui-driver.sh) and the
# stand-in of 34com.dll (tests/wine/vamp_double/build.sh) when needed, makes
# the base prefix of each Windows once (tests/wine/prefix.sh, prefix_bases)
# and copies it per scenario. Runs the 32-bit programs of build/mingw-i686 (or
# CHANWIZ_EXE, and chanwiz-cli.exe beside it or CHANWIZ_CLI) and
# build/native/chanwiz-sim (or CHANWIZ_SIM). Where the machine cannot run
# 32-bit programs (a kernel without 32-bit support), the newest 64-bit
# Chanwiz.exe under build/ runs the xp and 98 rows in 64-bit prefixes, and the
# x64 rows are not run: every summary line says so.
# Results per scenario in build/wine-out/NAME/ (run.log, transcripts, registry
# changes, shots/*.png).
#
# Prints one line per scenario, then per Windows "wine xp: N passed, N failed"
# (with what was not run and why), the time, and "wine: N passed, N failed".
# Exit 0 when all that ran passed, 1 when one failed, 2 when the run could not
# start, 77 when no row could run on this machine. Afterwards no Xvfb, Wine
# process or prefix copy of this run is left (checked).
set -uo pipefail
exec </dev/null

if [ -z "${CHANWIZ_WINE_ALL_INNER:-}" ]; then
    export CHANWIZ_WINE_ALL_INNER=1
    exec timeout -k 30 "${WINE_SUITE_TIMEOUT:-1800}" bash "$0" "$@"
fi
unset CHANWIZ_WINE_ALL_INNER

HERE=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
ROOT=$(cd "$HERE/../.." && pwd)
JOBS=2
FILTER=""
WINDOWS_LIST=""
TABLES=()
while [ $# -gt 0 ]; do
    case "$1" in
        -j) JOBS=$2; shift 2 ;;
        -j*) JOBS=${1#-j}; shift ;;
        --scenarios) TABLES+=("$2"); shift 2 ;;
        --windows) WINDOWS_LIST=$2; shift 2 ;;
        -h|--help) sed -n '2,/^set -uo/p' "$0" | sed '$d; s/^# \{0,1\}//'; exit 0 ;;
        *) FILTER=$1; shift ;;
    esac
done
case "$JOBS" in ''|*[!0-9]*|0) echo "run_all: -j needs a number" >&2; exit 2 ;; esac
[ ${#TABLES[@]} -gt 0 ] || TABLES=("$HERE/scenarios.txt" "$HERE/cli_scenarios.txt")
KINDS=(xp 98 x64)

T0=$(date +%s.%N)
elapsed() { awk -v a="$T0" -v b="$(date +%s.%N)" 'BEGIN{printf "%.1f", b-a}'; }

# shellcheck source=../../scripts/wine/wine-env.sh
. "$ROOT/scripts/wine/wine-env.sh"
# shellcheck source=common.sh
. "$HERE/common.sh"
# shellcheck source=prefix.sh
. "$HERE/prefix.sh"
wine_check || exit 2

# --- the program: 32-bit, or 64-bit where 32-bit programs cannot run ------------------
pick_chanwiz_exe "$ROOT" wine || exit 2

# --- tools -----------------------------------------------------------------------
if [ "$PREFIX_BITS" = 32 ]; then ARCH=i686 VAMP_DIR=$ROOT/build/vamp-double-i686
else ARCH=x86_64 VAMP_DIR=$ROOT/build/vamp-double; fi
if ! "$ROOT/scripts/wine/build-ui-driver.sh" --arch "$ARCH" >/dev/null; then
    echo "run_all: could not build the ui-driver tools" >&2
    exit 2
fi
if [ -z "${CHANWIZ_VAMP_DLL:-}" ] &&
    { [ ! -f "$VAMP_DIR/34com.dll" ] || [ -n "$(find "$HERE/vamp_double" -newer "$VAMP_DIR/34com.dll" -type f 2>/dev/null)" ]; }; then
    if ! timeout 300 "$HERE/vamp_double/build.sh" --arch "$ARCH" "$VAMP_DIR" >/dev/null; then
        echo "run_all: could not build the stand-in of 34com.dll" >&2
        exit 2
    fi
fi
if [ -z "${CHANWIZ_SIM:-}" ] && [ ! -x "$ROOT/build/native/chanwiz-sim" ]; then
    echo "run_all: building chanwiz-sim (native preset)"
    (cd "$ROOT" && timeout 900 cmake --preset native >/dev/null &&
        timeout 900 cmake --build --preset native --target chanwiz-sim -j2 >/dev/null) ||
        { echo "run_all: could not build chanwiz-sim" >&2; exit 2; }
fi

# --- the rows ------------------------------------------------------------------------
trim() { local s=$1; s=${s#"${s%%[![:space:]]*}"}; s=${s%"${s##*[![:space:]]}"}; printf '%s' "$s"; }
wanted_windows() { [ -z "$WINDOWS_LIST" ] || [[ ",$WINDOWS_LIST," == *",$1,"* ]]; }

NAMES=()
ROW_WINDOWS=()
JOB_CMDS=()
JOB_LOGS=()
NEEDS_CLI=0
declare -A PASSED=() FAILED=() NOT_RUN=()
for table in "${TABLES[@]}"; do
    [ -f "$table" ] || { echo "run_all: no scenario table $table" >&2; exit 2; }
    while IFS= read -r line || [ -n "$line" ]; do
        case "$(trim "$line")" in ''|'#'*) continue ;; esac
        IFS='|' read -r name windows machine script args expects options cli <<<"$line"
        name=$(trim "$name"); windows=$(trim "$windows"); machine=$(trim "$machine"); script=$(trim "$script")
        args=$(trim "${args:-}"); expects=$(trim "${expects:-}"); options=$(trim "${options:-}")
        [[ " ${KINDS[*]} " == *" $windows "* ]] ||
            { echo "run_all: $table: row $name names no Windows of ${KINDS[*]}: \"$windows\"" >&2; exit 2; }
        wanted_windows "$windows" || continue
        if [ -n "$FILTER" ] && ! printf '%s' "$name" | grep -qE -- "$FILTER"; then continue; fi
        if [ "$windows$PREFIX_BITS" = x6464 ]; then
            NOT_RUN[$windows]=$((${NOT_RUN[$windows]:-0} + 1))
            continue
        fi
        cmd=("$HERE/run_scenario.sh" --name "$name" --out "$ROOT/build/wine-out/$name" --windows "$windows")
        # " ; " between expectations: an access list's SDDL has ";" of its own.
        IFS=$'\x1f' read -ra parts <<<"${expects// ; /$'\x1f'}"
        for e in "${parts[@]}"; do
            e=$(trim "$e")
            [ -n "$e" ] && cmd+=(--expect "$e")
        done
        read -ra hopts <<<"$options"
        cmd+=("${hopts[@]}")
        cli=$(trim "${cli:-}")
        [ -n "$cli" ] && { cmd+=(--cli "$cli"); NEEDS_CLI=1; }
        [ -n "$script" ] || [ -z "$cli" ] || script=-
        cmd+=("$machine" "$script")
        read -ra wargs <<<"$args"
        cmd+=("${wargs[@]}")
        NAMES+=("$name")
        ROW_WINDOWS+=("$windows")
        JOB_CMDS+=("$(printf '%q ' "${cmd[@]}")")
        JOB_LOGS+=("$ROOT/build/wine-out/$name/run.log")
    done <"$table"
done
summary() {  # the lines per Windows (also into build/wine-out/summary-LIST.txt), then the whole
    local k line lines=() all_passed=0 all_failed=0
    for k in "${KINDS[@]}"; do
        [ -n "${PASSED[$k]:-}${FAILED[$k]:-}${NOT_RUN[$k]:-}" ] || continue
        line="wine $k: ${PASSED[$k]:-0} passed, ${FAILED[$k]:-0} failed"
        [ -n "${NOT_RUN[$k]:-}" ] &&
            line+=" (${NOT_RUN[$k]} not run: they need the 32-bit program, and $NOT_RUN_WHY)"
        [ "$k" != x64 ] && [ "$PREFIX_BITS" = 64 ] && [ -n "${PASSED[$k]:-}${FAILED[$k]:-}" ] &&
            line+=" (the 64-bit program in 64-bit prefixes: $NOT_RUN_WHY)"
        lines+=("$line")
        all_passed=$((all_passed + ${PASSED[$k]:-0}))
        all_failed=$((all_failed + ${FAILED[$k]:-0}))
    done
    mkdir -p "$ROOT/build/wine-out"
    printf '%s\n' "${lines[@]}" | tee "$ROOT/build/wine-out/summary-${WINDOWS_LIST:-all}.txt"
    echo "wine suite: $(elapsed) s"
    echo "wine: $all_passed passed, $all_failed failed"
}
if [ ${#NAMES[@]} -eq 0 ]; then
    if [ ${#NOT_RUN[@]} -gt 0 ]; then summary; exit 77; fi
    echo "run_all: no scenario matches" >&2
    exit 2
fi

CACHE=$ROOT/build/wine-cache/run-$$
export CHANWIZ_WINE_CACHE=$CACHE
mkdir -p "$CACHE"
touch "$CACHE/.started"
PIDS=()

# One Chanwiz.exe, chanwiz-cli.exe and chanwiz-sim for the whole run, copied
# now: a build that relinks them meanwhile does not reach the scenarios.
copy_program() {  # copy_program FILE NAME: into the cache, exported as CACHE/NAME
    cp "$1" "$CACHE/$2" 2>/dev/null && [ "$(pe_machine "$CACHE/$2")" = "$(pe_machine "$EXE")" ] && return 0
    echo "run_all: no $1 of the same build as Chanwiz.exe (build the mingw-i686 preset, or set CHANWIZ_CLI)" >&2
    rm -rf "$CACHE"
    exit 2
}
copy_program "$EXE" Chanwiz.exe
echo "wine: Chanwiz.exe from ${EXE#"$ROOT"/} ($(pe_machine "$EXE"), $(date -r "$EXE" '+%F %T'))"
export CHANWIZ_EXE=$CACHE/Chanwiz.exe CHANWIZ_EXE_ORIGIN=$EXE
if [ "$NEEDS_CLI" = 1 ]; then
    # A build made only for these runs (the 64-bit one where 32-bit programs
    # cannot run) may not have made chanwiz-cli.exe yet.
    if [ -z "${CHANWIZ_CLI:-}" ] && [ ! -f "$(dirname "$EXE")/chanwiz-cli.exe" ] &&
        [ -f "$(dirname "$EXE")/CMakeCache.txt" ]; then
        echo "wine: building chanwiz-cli.exe in ${EXE%/*}"
        timeout 900 cmake --build "$(dirname "$EXE")" -j2 --target chanwiz-cli >"$CACHE/build-cli.log" 2>&1 ||
            { tail -5 "$CACHE/build-cli.log" >&2; }
    fi
    copy_program "${CHANWIZ_CLI:-$(dirname "$EXE")/chanwiz-cli.exe}" chanwiz-cli.exe
    export CHANWIZ_CLI=$CACHE/chanwiz-cli.exe
fi
SIM=${CHANWIZ_SIM:-$ROOT/build/native/chanwiz-sim}
if ! cp "$SIM" "$CACHE/chanwiz-sim" 2>/dev/null; then
    echo "run_all: cannot copy $SIM" >&2
    rm -rf "$CACHE"
    exit 2
fi
export CHANWIZ_SIM=$CACHE/chanwiz-sim

cleanup() {
    local rc=$?
    # timeout sends its TERM twice (to us and to our group): the second
    # must not cut the cleanup short.
    trap - EXIT; trap '' INT TERM
    # (The base prefixes' servers were stopped when they were made; their
    # copies' are stopped by their scenarios.)
    suite_end run_all "$rc" "$CACHE" "$ROOT/build/wine-out" 'scenario.*' "${PIDS[@]}"
    exit $?
}
trap cleanup EXIT
trap 'echo "run_all: interrupted or out of time"; exit 1' INT TERM

# --- the base prefixes, side by side, then the scenarios ---------------------------------
BASES=$(prefix_bases "$ROOT")
export CHANWIZ_WINE_BASES=$BASES
KINDS_USED=$(printf '%s\n' "${ROW_WINDOWS[@]}" | awk '!seen[$0]++')
# shellcheck disable=SC2086
prefix_make_bases "$BASES" $KINDS_USED ||
    { echo "run_all: could not make a base prefix (see $BASES/*.log)" >&2; exit 2; }

echo "wine: ${#NAMES[@]} scenario(s) on $(echo $KINDS_USED | sed 's/ /, /g'), $JOBS at a time"
job_done() {  # job_done INDEX RC
    local k=${ROW_WINDOWS[$1]} log=${JOB_LOGS[$1]} verdict
    verdict=$(grep -E '^(PASS|FAIL) ' "$log" 2>/dev/null | tail -1)
    if [ "$2" -eq 0 ]; then
        PASSED[$k]=$((${PASSED[$k]:-0} + 1))
        echo "  $k ${verdict:-PASS ${NAMES[$1]}}"
    else
        FAILED[$k]=$((${FAILED[$k]:-0} + 1))
        echo "  $k ${verdict:-FAIL ${NAMES[$1]}: exit code $2, see $log}"
        grep -E '^  (transcripts differ|registry changes differ|  only|the simulation changed|  \+|  -)' "$log" | head -8 | sed 's/^/    /'
    fi
}
run_jobs "$JOBS"

summary
total_failed=0
for k in "${!FAILED[@]}"; do total_failed=$((total_failed + FAILED[$k])); done
[ "$total_failed" -eq 0 ]
