#!/usr/bin/env bash
# chanwiz-sim's --changes and --undo files imported with regedit under Wine:
# the changes give the simulation's after-state, the undo file gives back the
# registry the machine started with, byte for byte (tests/wine/README.md).
# usage: tests/wine/run_undo.sh [-j N] [NAME_PATTERN]
set -uo pipefail
exec </dev/null
HERE=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
ROOT=$(cd "$HERE/../.." && pwd)
# shellcheck source=common.sh
. "$HERE/common.sh"
suite_timeout "${UNDO_TIMEOUT:-1500}" "$0" "$@"

# The whole file is read before it runs: an edit during a run must not
# change the running script.
{
export LC_ALL=C.UTF-8
# shellcheck source=../../scripts/wine/wine-env.sh
. "$ROOT/scripts/wine/wine-env.sh"
# shellcheck source=prefix.sh
. "$HERE/prefix.sh"
REGTOOL=$ROOT/scripts/wine/regtool.py
OUTROOT=$ROOT/build/wine-out/undo

# name | Windows | machine | the scenario of scenarios.txt whose answers,
# arguments and --no-ini option are used | machine_variant.py options, if any
CASES='
country-italy        | xp  | samples/saa7134-xp-italy.reg        | country-italy
saa-component-tn     | xp  | samples/saa7134-xp-italy-tn.reg     | saa-component-tn-country
nt4-country-italy    | xp  | samples/saa7134-nt4.reg             | country-italy
locked-country-italy | xp  | samples/saa7134-xp-italy-locked.reg | country-italy
cx-country-germany   | xp  | samples/cx2388x-xp-germany.reg      | cx-country-germany
cx-key-security-deny | xp  | samples/cx2388x-xp-germany-deny.reg | cx-key-security-deny
left-open-restored   | xp  | samples/cx2388x-xp-germany-left-open.reg | left-open-restored
bt-country-uk        | xp  | samples/bt878a-xp-uk.reg            | bt-country-uk
usb2821-tv-secam-l   | xp  | samples/usb2821-xp-china.reg        | usb2821-tv-secam-l
usb2800-country-usa  | xp  | samples/usb2800-xp-usa.reg          | usb2800-country-usa
w98-country-italy    | 98  | samples/saa7134-98-italy.reg        | country-italy
w98-cx-germany       | 98  | samples/cx2388x-98-germany.reg      | cx-country-germany
w98-bt-country-uk    | 98  | samples/bt878a-98-uk.reg            | bt-country-uk
w98-usb2800          | 98  | samples/usb2800-98-usa.reg          | usb2800-country-usa
x64-saa-component    | x64 | samples/saa7134-x64-italy-tn.reg    | x64-saa-component-country
x64-cx-tv-pal-bg     | x64 | samples/cx2388x-x64-germany.reg     | x64-cx-tv-pal-bg
x64-bt-country-uk    | x64 | samples/bt878a-x64-uk.reg           | x64-bt-country-uk
x64-usb2821          | x64 | samples/usb2821-x64-china.reg       | x64-usb2821-tv-secam-l
non-ascii-old-value  | xp  | samples/saa7134-xp-italy.reg        | country-italy | --set-sz HKEY_LOCAL_MACHINE\SYSTEM\CurrentControlSet\Control\Class\{4d36e96c-e325-11ce-bfc1-08002be10318}\0002 TunerType FM1236-Müller
'


# ============================================================ one case
# run_undo.sh --case NAME WINDOWS MACHINE SCRIPT_FILE NO_INI [ARGS...]
if [ "${1:-}" = "--case" ]; then
    NAME=$2 WINDOWS=$3 MACHINE=$4 SCRIPT_FILE=$5 NO_INI=$6
    shift 6
    ARGS=("$@")
    verdict_start "$NAME" "$OUTROOT/$NAME"
    PASS_NOTE="$(basename "$MACHINE"), "
    CACHE=${CHANWIZ_WINE_CACHE:?}
    SIM=${CHANWIZ_SIM:?}
    TOOLS=${CHANWIZ_TOOLS:?}
    prefix_traps

    ini=()
    [ "$NO_INI" = 1 ] && ini=(--no-ini)
    timeout -k 5 60 "$SIM" --machine "$MACHINE" --answers "@$SCRIPT_FILE" "${ini[@]}" --quiet \
        --changes "$OUT/changes.reg" --undo "$OUT/undo.reg" --out "$OUT/sim-out.reg" \
        "${ARGS[@]}" >"$OUT/sim.log" 2>&1 || die "chanwiz-sim exit code $? (sim.log)"
    for f in "$MACHINE" "$OUT/changes.reg" "$OUT/undo.reg"; do
        printf '%s: %s\n' "$(basename "$f")" "$("$PYTHON" "$REGTOOL" import "$f" /dev/null 2>&1)"
    done >"$OUT/formats.txt"
    # The files are what regedit reads: 5.00 in UTF-16LE, REGEDIT4 in ANSI
    # (whatever the machine file was written in).
    want=unicode5
    [ "$(sed -n 1p "$OUT/formats.txt" | cut -d' ' -f2)" != regedit4 ] || want=regedit4
    [ "$(sed -n '2,3p' "$OUT/formats.txt" | cut -d' ' -f2 | sort -u)" = "$want" ] ||
        REASONS+=(" changes/undo not as regedit reads them ($(tr '\n' ' ' <"$OUT/formats.txt"))")

    WORK=$(mktemp -d "$CACHE/undo.XXXXXX")
    must prefix_up "${CHANWIZ_WINE_BASES:?}" "$WINDOWS" "$WORK" "$OUT"
    must prefix_machine "$MACHINE" "$TOOLS" "$OUT"

    dump() {  # dump N
        prefix_regdump "$OUT/dump-$1.dump" "$TOOLS" "$OUT/regdump.log" "${PREFIX_KEYS[@]}" 2>>"$OUT/errors.log" ||
            die "regdump $1 failed (regdump.log)"
    }
    import() {  # import FILE: as chanwiz-sim wrote it, as support staff use it
        cp "$1" "$WINEPREFIX/drive_c/windows/temp/as-written.reg" &&
            wine_try "regedit /S $(basename "$1")" "$OUT/regedit.log" \
                timeout -k 5 90 "$WINE" regedit /S 'C:\windows\temp\as-written.reg' >>"$OUT/regedit.log" 2>&1 ||
            die "regedit /S $1 failed"
    }
    differences() {  # differences A B: the canonical lines of two dumps that differ
        # (the parents of the compared keys are no difference of their own)
        dump_diff "$1" "$2" | grep '^[<>]' |
            grep -vE '^[<>] \[HKEY_LOCAL_MACHINE(\\SOFTWARE|\\SYSTEM(\\CurrentControlSet(\\Control|\\Services)?)?)?\]$' |
            head -"${3:-6}" | sed 's/^/    /'
    }
    n=0
    dump 0
    for f in changes undo changes; do
        import "$OUT/$f.reg"
        dump $((++n))
    done

    ! cmp -s "$OUT/dump-0.dump" "$OUT/dump-1.dump" ||
        REASONS+=(" the registry did not change when changes.reg was imported")
    "$PYTHON" "$REGTOOL" compare --machine "$MACHINE" --sim-out "$OUT/sim-out.reg" \
        --before "$OUT/dump-0.dump" --after "$OUT/dump-1.dump" --outdir "$OUT" "${PREFIX_KEYS[@]}" \
        >"$OUT/registry-compare.txt" 2>&1 ||
        REASONS+=(" after changes.reg, not the simulation's after-state (registry-compare.txt)")
    if ! cmp -s "$OUT/dump-0.dump" "$OUT/dump-2.dump"; then
        REASONS+=(" after undo.reg the registry is not the one it started with")
        echo "dump 0 (<) and dump 2 (>) differ:"
        differences "$OUT/dump-0.dump" "$OUT/dump-2.dump" 12
    fi
    if ! cmp -s "$OUT/dump-1.dump" "$OUT/dump-3.dump"; then
        REASONS+=(" changes.reg imported again gave another registry")
        differences "$OUT/dump-1.dump" "$OUT/dump-3.dump"
    fi
    sed 's/^/  /' "$OUT/registry-compare.txt"
    finish
fi

# ============================================================ the run
suite_args "$@"
FILTER=${ARGS[0]:-}
T0=$(date +%s.%N)
wine_check || exit 2
# regedit and the tools of the prefixes' own bitness: 32-bit, unless the
# machine cannot run 32-bit programs (then 64-bit prefixes, 64-bit tools).
if wine_runs_32bit; then export PREFIX_BITS=32; else
    export PREFIX_BITS=64
    echo "wine undo: this machine cannot run 32-bit programs: the xp and 98 cases run in 64-bit prefixes"
fi
suite_begin run_undo "$OUTROOT"

MACHINES=()
while IFS= read -r row; do
    [ -n "$(trim "$row")" ] || continue
    IFS='|' read -r name windows machine scenario variant <<<"$row"
    name=$(trim "$name") windows=$(trim "$windows") machine=$(trim "$machine") scenario=$(trim "$scenario")
    MACHINES+=("$machine")
    [ -z "$FILTER" ] || printf '%s' "$name" | grep -qE -- "$FILTER" || continue
    machine=$ROOT/$machine
    read -ra vopts <<<"$(trim "${variant:-}")"
    if [ ${#vopts[@]} -gt 0 ]; then
        mkdir -p "$CACHE/machines"
        "$PYTHON" "$ROOT/scripts/wine/machine_variant.py" "$machine" "$CACHE/machines/$name.reg" "${vopts[@]}" ||
            { echo "run_undo: could not derive the machine of case $name" >&2; exit 2; }
        machine=$CACHE/machines/$name.reg
    fi
    line=$(grep -E "^[[:space:]]*$scenario[[:space:]]*\|" "$HERE/scenarios.txt" | head -1 | grep .) ||
        { echo "run_undo: no scenario $scenario in scenarios.txt" >&2; exit 2; }
    IFS='|' read -r _ _ _ script args _ options _ <<<"$line"
    mkdir -p "$OUTROOT/$name"
    rm -f "$OUTROOT/$name"/*
    printf '%s\n' "$(trim "$script")" >"$OUTROOT/$name/script.txt"
    no_ini=0
    case " $(trim "${options:-}") " in *" --no-ini "*) no_ini=1 ;; esac
    read -ra wargs <<<"$(trim "${args:-}")"
    suite_job "$name" "$windows" "$OUTROOT/$name/run.log" timeout -k 15 "${UNDO_CASE_TIMEOUT:-300}" bash "$0" \
        --case "$name" "$windows" "$machine" "$OUTROOT/$name/script.txt" "$no_ini" "${wargs[@]}"
done <<<"$CASES"
[ ${#JOB_NAMES[@]} -gt 0 ] || { echo "run_undo: no case matches" >&2; exit 2; }

# Every sample machine without a case must be one on which the wizard writes
# nothing (no device, two devices).
if [ -z "$FILTER" ]; then
    for m in "$ROOT"/samples/*.reg; do
        rel=samples/$(basename "$m")
        printf '%s\n' "${MACHINES[@]}" | grep -qxF "$rel" && continue
        # PAL B/G changes every family's settings (NTSC is the samples' own).
        "$CHANWIZ_SIM" --machine "$m" --answers "click 1015; select 1012 2; click 1; click 1023; click 1" --quiet \
            --changes "$CACHE/coverage.reg" >/dev/null 2>&1
        if grep -q '^\[' "$CACHE/coverage.reg" 2>/dev/null; then
            FAILED[samples]=$((${FAILED[samples]:-0} + 1))
            echo "  FAIL $rel: the wizard writes on it, and run_undo.sh has no case for it"
        else
            echo "  (no case: $rel, the wizard writes nothing on it)"
        fi
    done
fi

echo "wine undo: ${#JOB_NAMES[@]} case(s), $JOBS at a time"
prefix_make_bases "$CHANWIZ_WINE_BASES" "${JOB_GROUPS[@]}" ||
    { echo "run_undo: could not make a base Wine prefix" >&2; exit 2; }
suite_run '^(  registry changes differ|  the machine file|  access lists|    |dump 0)'
echo "wine undo suite: $(elapsed) s"
echo "wine undo: $(suite_total)"
[ -z "${FAILED[*]}" ]
exit
}
