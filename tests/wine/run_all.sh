#!/usr/bin/env bash
# Every scenario of tests/wine/scenarios.txt: the real Chanwiz.exe under Wine,
# answered by ui-driver.exe, compared with chanwiz-sim (tests/wine/run_scenario.sh).
#
# usage: tests/wine/run_all.sh [-j N] [--scenarios FILE] [NAME_PATTERN]
#   -j N           scenarios run N at a time (default 2)
#   --scenarios FILE  the scenario table (default tests/wine/scenarios.txt;
#                  tests/wine/cli_scenarios.txt has those of chanwiz-cli.exe)
#   NAME_PATTERN   only the scenarios whose name matches (a grep -E pattern)
#
# Builds ui-driver.exe and regdump.exe (scripts/wine/build-ui-driver.sh) and the
# stand-in of 34com.dll (tests/wine/vamp_double/build.sh) when needed, makes one base Wine prefix for the whole run (build/wine-cache/run-PID,
# removed at the end) and copies it per scenario. Needs an x86_64 Chanwiz.exe
# under build/ (or CHANWIZ_EXE) and build/native/chanwiz-sim (or CHANWIZ_SIM).
# Results per scenario in build/wine-out/NAME/ (run.log, transcripts, registry
# changes, shots/*.png).
#
# Prints one line per scenario, then "wine: N passed, N failed" and the time.
# Exit 0 when all passed, 1 when one failed, 2 when the run could not start.
# Afterwards no Xvfb, Wine process or prefix copy of this run is left (checked).
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
SCENARIOS=$HERE/scenarios.txt
while [ $# -gt 0 ]; do
    case "$1" in
        -j) JOBS=$2; shift 2 ;;
        -j*) JOBS=${1#-j}; shift ;;
        --scenarios) SCENARIOS=$2; shift 2 ;;
        -h|--help) sed -n '2,/^set -uo/p' "$0" | sed '$d; s/^# \{0,1\}//'; exit 0 ;;
        *) FILTER=$1; shift ;;
    esac
done
case "$JOBS" in ''|*[!0-9]*|0) echo "run_all: -j needs a number" >&2; exit 2 ;; esac

T0=$(date +%s.%N)
elapsed() { awk -v a="$T0" -v b="$(date +%s.%N)" 'BEGIN{printf "%.1f", b-a}'; }

# shellcheck source=../../scripts/wine/wine-env.sh
. "$ROOT/scripts/wine/wine-env.sh"
# shellcheck source=common.sh
. "$HERE/common.sh"
wine_check || exit 2

# --- tools -----------------------------------------------------------------------
if ! "$ROOT/scripts/wine/build-ui-driver.sh" >/dev/null; then
    echo "run_all: could not build the ui-driver tools" >&2
    exit 2
fi
VAMP_DIR=$ROOT/build/vamp-double
if [ -z "${CHANWIZ_VAMP_DLL:-}" ] &&
    { [ ! -f "$VAMP_DIR/34com.dll" ] || [ -n "$(find "$HERE/vamp_double" -newer "$VAMP_DIR/34com.dll" -type f 2>/dev/null)" ]; }; then
    if ! timeout 300 "$HERE/vamp_double/build.sh" "$VAMP_DIR" >/dev/null; then
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

CACHE=$ROOT/build/wine-cache/run-$$
export CHANWIZ_WINE_CACHE=$CACHE
mkdir -p "$CACHE"
touch "$CACHE/.started"
PIDS=()

# One Chanwiz.exe for the whole run, copied now: a build that relinks it
# meanwhile does not reach the scenarios.
EXE=${CHANWIZ_EXE:-$(find_chanwiz_exe "$ROOT")}
if [ -z "$EXE" ] || ! cp "$EXE" "$CACHE/Chanwiz.exe" 2>/dev/null || ! pe_x64 "$CACHE/Chanwiz.exe"; then
    echo "run_all: no x86_64 Chanwiz.exe under build/ (cmake --preset mingw-x86_64 && cmake --build --preset mingw-x86_64, or set CHANWIZ_EXE)" >&2
    rm -rf "$CACHE"
    exit 2
fi
echo "wine: Chanwiz.exe from ${EXE#"$ROOT"/} ($(date -r "$EXE" '+%F %T'))"
export CHANWIZ_EXE=$CACHE/Chanwiz.exe CHANWIZ_EXE_ORIGIN=$EXE
# chanwiz-cli.exe from the same build, when the table runs it.
if grep -q '^[^#]*|[^|]*|[^|]*|[^|]*|[^|]*|[^|]*|.*--' "$SCENARIOS"; then
    CLI_EXE=${CHANWIZ_CLI:-$(dirname "$EXE")/chanwiz-cli.exe}
    if ! cp "$CLI_EXE" "$CACHE/chanwiz-cli.exe" 2>/dev/null || ! pe_x64 "$CACHE/chanwiz-cli.exe"; then
        echo "run_all: no x86_64 $CLI_EXE beside Chanwiz.exe (build the mingw-x86_64 preset, or set CHANWIZ_CLI)" >&2
        rm -rf "$CACHE"
        exit 2
    fi
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
    # (The base prefix's server was stopped when it was made; its copies'
    # are stopped by their scenarios.)
    suite_end run_all "$rc" "$CACHE" "$ROOT/build/wine-out" 'scenario.*' "${PIDS[@]}"
    exit $?
}
trap cleanup EXIT
trap 'echo "run_all: interrupted or out of time"; exit 1' INT TERM

# --- scenarios ----------------------------------------------------------------------
trim() { local s=$1; s=${s#"${s%%[![:space:]]*}"}; s=${s%"${s##*[![:space:]]}"}; printf '%s' "$s"; }

NAMES=()
CMDS=()
while IFS= read -r line || [ -n "$line" ]; do
    case "$(trim "$line")" in ''|'#'*) continue ;; esac
    IFS='|' read -r name machine script args expects options cli <<<"$line"
    name=$(trim "$name"); machine=$(trim "$machine"); script=$(trim "$script")
    args=$(trim "${args:-}"); expects=$(trim "${expects:-}"); options=$(trim "${options:-}")
    if [ -n "$FILTER" ] && ! printf '%s' "$name" | grep -qE -- "$FILTER"; then continue; fi
    cmd=("$HERE/run_scenario.sh" --name "$name" --out "$ROOT/build/wine-out/$name")
    IFS=';' read -ra parts <<<"$expects"
    for e in "${parts[@]}"; do
        e=$(trim "$e")
        [ -n "$e" ] && cmd+=(--expect "$e")
    done
    read -ra hopts <<<"$options"
    cmd+=("${hopts[@]}")
    cli=$(trim "${cli:-}")
    [ -n "$cli" ] && cmd+=(--cli "$cli")
    [ -n "$script" ] || [ -z "$cli" ] || script=-
    cmd+=("$machine" "$script")
    read -ra wargs <<<"$args"
    cmd+=("${wargs[@]}")
    NAMES+=("$name")
    CMDS+=("$(printf '%q ' "${cmd[@]}")")
done <"$SCENARIOS"
[ ${#NAMES[@]} -gt 0 ] || { echo "run_all: no scenario matches" >&2; exit 2; }

echo "wine: ${#NAMES[@]} scenario(s), $JOBS at a time"
PASSED=0
FAILED=0
report() {  # report INDEX RC
    local name=${NAMES[$1]} log=$ROOT/build/wine-out/${NAMES[$1]}/run.log verdict
    verdict=$(grep -E '^(PASS|FAIL) ' "$log" 2>/dev/null | tail -1)
    if [ "$2" -eq 0 ]; then
        PASSED=$((PASSED + 1))
        echo "  ${verdict:-PASS $name}"
    else
        FAILED=$((FAILED + 1))
        echo "  ${verdict:-FAIL $name: exit code $2, see $log}"
        grep -E '^  (transcripts differ|registry changes differ|  only|the simulation changed|  \+|  -)' "$log" | head -8 | sed 's/^/    /'
    fi
}

next=0
running=0
declare -A INDEX_OF=()
while [ $next -lt ${#NAMES[@]} ] || [ $running -gt 0 ]; do
    while [ $running -lt "$JOBS" ] && [ $next -lt ${#NAMES[@]} ]; do
        # The scenario's own process (its timeout, once it has started):
        # a TERM to it tears the scenario down cleanly.
        eval "cmd=(${CMDS[$next]})"
        mkdir -p "$ROOT/build/wine-out/${NAMES[$next]}"
        "${cmd[@]}" >"$ROOT/build/wine-out/${NAMES[$next]}/run.log" 2>&1 &
        pid=$!
        PIDS+=("$pid")
        INDEX_OF[$pid]=$next
        next=$((next + 1))
        running=$((running + 1))
        # The first scenario makes the base prefix; the others copy it.
        if [ $next -eq 1 ] && [ "$JOBS" -gt 1 ]; then
            for _ in $(seq 1 600); do
                [ -f "$CACHE/base/.chanwiz-ready" ] || ! kill -0 "$pid" 2>/dev/null && break
                sleep 0.1
            done
        fi
    done
    done_pid=""
    rc=0
    wait -n -p done_pid "${!INDEX_OF[@]}" || rc=$?
    [ -n "$done_pid" ] || continue
    report "${INDEX_OF[$done_pid]}" "$rc"
    unset "INDEX_OF[$done_pid]"
    running=$((running - 1))
done
PIDS=()

echo "wine suite: $(elapsed) s"
echo "wine: $PASSED passed, $FAILED failed"
[ "$FAILED" -eq 0 ]
