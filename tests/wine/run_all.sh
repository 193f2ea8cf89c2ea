#!/usr/bin/env bash
# The rows of scenarios.txt and cli_scenarios.txt under Wine, each compared
# with chanwiz-sim (tests/wine/README.md).
# usage: tests/wine/run_all.sh [-j N] [--windows LIST] [NAME_PATTERN]
# Ends with "wine: N passed, N failed"; exit 0 when all that ran passed, 77
# when no row could run on this machine.
set -uo pipefail
exec </dev/null
HERE=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
ROOT=$(cd "$HERE/../.." && pwd)
# shellcheck source=common.sh
. "$HERE/common.sh"
suite_timeout "${WINE_SUITE_TIMEOUT:-1800}" "$0" "$@"
# shellcheck source=../../scripts/wine/wine-env.sh
. "$ROOT/scripts/wine/wine-env.sh"
# shellcheck source=prefix.sh
. "$HERE/prefix.sh"

suite_args "$@"
set -- "${ARGS[@]}"
FILTER="" WINDOWS_LIST="" KINDS=(xp 98 x64)
while [ $# -gt 0 ]; do
    case "$1" in
        --windows) WINDOWS_LIST=$2; shift 2 ;;
        *) FILTER=$1; shift ;;
    esac
done
T0=$(date +%s.%N)
wine_check || exit 2
pick_chanwiz_exe "$ROOT" wine || exit 2

declare -A NOT_RUN=()
ROWS=()
for table in "$HERE/scenarios.txt" "$HERE/cli_scenarios.txt"; do
    while IFS= read -r line || [ -n "$line" ]; do
        case "$(trim "$line")" in '' | '#'*) continue ;; esac
        IFS='|' read -r name windows _ _ _ _ options cli <<<"$line"
        name=$(trim "$name") windows=$(trim "$windows")
        [[ " ${KINDS[*]} " == *" $windows "* ]] ||
            { echo "run_all: $table: row $name names no Windows of ${KINDS[*]}: \"$windows\"" >&2; exit 2; }
        [ -z "$WINDOWS_LIST" ] || [[ ",$WINDOWS_LIST," == *",$windows,"* ]] || continue
        [ -z "$FILTER" ] || printf '%s' "$name" | grep -qE -- "$FILTER" || continue
        if [ "$windows$PREFIX_BITS" = x6464 ]; then
            NOT_RUN[$windows]=$((${NOT_RUN[$windows]:-0} + 1))
            continue
        fi
        ROWS+=("$line")
    done <"$table"
done
summary() {  # the lines per Windows (also into build/wine-out/summary-LIST.txt), then the whole
    local k line lines=()
    for k in "${KINDS[@]}"; do
        [ -n "${PASSED[$k]:-}${FAILED[$k]:-}${NOT_RUN[$k]:-}" ] || continue
        line="wine $k: ${PASSED[$k]:-0} passed, ${FAILED[$k]:-0} failed"
        [ -n "${NOT_RUN[$k]:-}" ] &&
            line+=" (${NOT_RUN[$k]} not run: they need the 32-bit program, and $NOT_RUN_WHY)"
        [ "$k" != x64 ] && [ "$PREFIX_BITS" = 64 ] && [ -n "${PASSED[$k]:-}${FAILED[$k]:-}" ] &&
            line+=" (the 64-bit program in 64-bit prefixes: $NOT_RUN_WHY)"
        lines+=("$line")
    done
    mkdir -p "$ROOT/build/wine-out"
    printf '%s\n' "${lines[@]}" | tee "$ROOT/build/wine-out/summary-${WINDOWS_LIST:-all}.txt"
    echo "wine suite: $(elapsed) s"
    echo "wine: $(suite_total)"
}
declare -A PASSED=() FAILED=()
if [ ${#ROWS[@]} -eq 0 ]; then
    if [ ${#NOT_RUN[@]} -gt 0 ]; then summary; exit 77; fi
    echo "run_all: no scenario matches" >&2
    exit 2
fi

if [ "$PREFIX_BITS" = 32 ]; then VAMP_DIR=$ROOT/build/vamp-double-i686 VAMP_ARCH=i686
else VAMP_DIR=$ROOT/build/vamp-double VAMP_ARCH=x86_64; fi
if [ -z "${CHANWIZ_VAMP_DLL:-}" ] &&
    { [ ! -f "$VAMP_DIR/34com.dll" ] || [ -n "$(find "$HERE/vamp_double" -newer "$VAMP_DIR/34com.dll" -type f 2>/dev/null)" ]; }; then
    timeout 300 "$HERE/vamp_double/build.sh" --arch "$VAMP_ARCH" "$VAMP_DIR" >/dev/null ||
        { echo "run_all: could not build the stand-in of 34com.dll" >&2; exit 2; }
fi
suite_begin run_all "$ROOT/build/wine-out"
suite_copy "$EXE" Chanwiz.exe
echo "wine: Chanwiz.exe from ${EXE#"$ROOT"/} ($(pe_machine "$EXE"), $(date -r "$EXE" '+%F %T'))"
export CHANWIZ_EXE=$CACHE/Chanwiz.exe
# (scripts/build-windows.sh builds chanwiz-cli.exe beside each Chanwiz.exe)
suite_copy "${CHANWIZ_CLI:-${EXE%/*}/chanwiz-cli.exe}" chanwiz-cli.exe
[ "$(pe_machine "$CACHE/chanwiz-cli.exe")" = "$(pe_machine "$EXE")" ] ||
    { echo "run_all: chanwiz-cli.exe is not of the same build as Chanwiz.exe (set CHANWIZ_CLI)" >&2; exit 2; }
export CHANWIZ_CLI=$CACHE/chanwiz-cli.exe

for line in "${ROWS[@]}"; do
    IFS='|' read -r name windows machine script args expects options cli <<<"$line"
    name=$(trim "$name") windows=$(trim "$windows") script=$(trim "$script") cli=$(trim "${cli:-}")
    cmd=("$HERE/run_scenario.sh" --name "$name" --out "$ROOT/build/wine-out/$name" --windows "$windows")
    # " ; " between expectations: an access list's SDDL has ";" of its own.
    IFS=$'\x1f' read -ra parts <<<"${expects// ; /$'\x1f'}"
    for e in "${parts[@]}"; do
        e=$(trim "$e")
        [ -z "$e" ] || cmd+=(--expect "$e")
    done
    read -ra opts <<<"$options"
    [ -z "$cli" ] || opts+=(--cli "$cli")
    [ -n "$script" ] || [ -z "$cli" ] || script=-
    read -ra wargs <<<"$args"
    suite_job "$name" "$windows" "$ROOT/build/wine-out/$name/run.log" "${cmd[@]}" "${opts[@]}" "$(trim "$machine")" "$script" "${wargs[@]}"
done
KINDS_USED=$(printf '%s\n' "${JOB_GROUPS[@]}" | sort -u | tr '\n' ' ')
# shellcheck disable=SC2086
prefix_make_bases "$CHANWIZ_WINE_BASES" $KINDS_USED ||
    { echo "run_all: could not make a base prefix (see $CHANWIZ_WINE_BASES/*.log)" >&2; exit 2; }
echo "wine: ${#JOB_NAMES[@]} scenario(s) on ${KINDS_USED% }, $JOBS at a time"
suite_run '^  (transcripts differ|registry changes differ|  only|the simulation changed|  \+|  -)'
summary
[ -z "${FAILED[*]}" ]
