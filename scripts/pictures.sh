#!/usr/bin/env bash
# Pictures for translators: every page and message box of the real
# Chanwiz.exe under Wine, in every section (language) of resources/Chanwiz.ini.
#
# usage: scripts/pictures.sh [-j N] [OUTDIR]
#   OUTDIR  default build/pictures; gets OUTDIR/<section>/<picture>.png
#   -j N    runs at a time (default 2)
#
# The sections are read from resources/Chanwiz.ini; each is a Windows country
# code, and the wizard picks it by the machine's iCountry, so each section's
# runs use sample machines with their iCountry set to it
# (scripts/wine/machine_variant.py). Pictures per section:
#   102.png 129.png 130.png 131.png  the start, TV system, country and restart pages
#   box-no-device.png                no supported device (samples/nodevice-xp.reg)
#   box-two-devices.png              two devices (samples/two-saa7134-xp.reg)
#   box-usb-success.png              USB settings written (samples/usb2800-xp-usa.reg)
#   box-usb-failure.png              USB settings not written: the same machine
#                                    without its driver key
#   box-nicam.png                    the NICAM I question, met on an SAA713x board
#                                    when China (86) is chosen on the country page
# (The boxes titled "Message" that follow a failed registry call, and the
# NICAM question's text, are not in Chanwiz.ini: they show in English.)
#
# Each run is a scenario of tests/wine/run_scenario.sh on Windows XP (its own
# prefix copy, Xvfb and wineserver, answered by ui-driver.exe, compared with
# chanwiz-sim); one base prefix serves them all. The program is the 32-bit one
# (tests/wine/common.sh, pick_chanwiz_exe). Logs in build/wine-out/pictures/<section>-<run>/.
# Ends with where the pictures are; exit 0 when every picture was made and
# every run matched the simulation, 1 otherwise, 2 when nothing could run.
# PICTURES_TIMEOUT bounds the whole (default 1800 s). Prefix copies, wineservers
# and Xvfb servers are removed on every exit.
set -uo pipefail
exec </dev/null

if [ -z "${CHANWIZ_PICTURES_INNER:-}" ]; then
    export CHANWIZ_PICTURES_INNER=1
    exec timeout -k 30 "${PICTURES_TIMEOUT:-1800}" bash "$0" "$@"
fi
unset CHANWIZ_PICTURES_INNER

# The whole file is read before it runs: an edit during a run must not
# change the running script.
{

ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
JOBS=2
OUTDIR=""
while [ $# -gt 0 ]; do
    case "$1" in
        -j) JOBS=${2:-}; shift 2 ;;
        -j*) JOBS=${1#-j}; shift ;;
        -h|--help) sed -n '2,/^set -uo/p' "$0" | sed '$d; s/^# \{0,1\}//'; exit 0 ;;
        -*) echo "pictures: unknown option $1" >&2; exit 2 ;;
        *) OUTDIR=$1; shift ;;
    esac
done
case "$JOBS" in ''|*[!0-9]*|0) echo "pictures: -j needs a number" >&2; exit 2 ;; esac
OUTDIR=${OUTDIR:-$ROOT/build/pictures}
mkdir -p "$OUTDIR" || exit 2
OUTDIR=$(cd "$OUTDIR" && pwd)

# shellcheck source=wine/wine-env.sh
. "$ROOT/scripts/wine/wine-env.sh"
# shellcheck source=../tests/wine/common.sh
. "$ROOT/tests/wine/common.sh"
# shellcheck source=../tests/wine/prefix.sh
. "$ROOT/tests/wine/prefix.sh"
wine_check || exit 2
command -v Xvfb >/dev/null 2>&1 || { echo "pictures: Xvfb is missing (scripts/install-deps.sh)" >&2; exit 2; }
INI=$ROOT/resources/Chanwiz.ini
VARIANT=$ROOT/scripts/wine/machine_variant.py
PNGTOOL=$ROOT/scripts/wine/pngtool.py
LOGS=$ROOT/build/wine-out/pictures

# --- sections --------------------------------------------------------------------
# Section names as the wizard matches them: trimmed, and only country codes
# (a section named otherwise can never be picked by iCountry).
mapfile -t SECTIONS < <("$PYTHON" - "$INI" <<'PY'
import re, sys
seen = []
for line in open(sys.argv[1], encoding="cp1252", errors="replace"):
    m = re.match(r"\s*\[([^\]]*)\]", line)
    if not m:
        continue
    name = m.group(1).strip()
    if not name.isdigit():
        print("pictures: section [%s] is no country code: it can never be shown, left out" % name, file=sys.stderr)
    elif str(int(name)) not in seen:
        seen.append(str(int(name)))
print("\n".join(seen))
PY
)
[ ${#SECTIONS[@]} -gt 0 ] && [ -n "${SECTIONS[0]}" ] || { echo "pictures: no section in $INI" >&2; exit 2; }

# --- tools ------------------------------------------------------------------------
pick_chanwiz_exe "$ROOT" pictures || exit 2
if [ "$PREFIX_BITS" = 32 ]; then ARCH=i686; else ARCH=x86_64; fi
if [ -z "${CHANWIZ_TOOLS:-}" ] && ! "$ROOT/scripts/wine/build-ui-driver.sh" --arch "$ARCH" >/dev/null; then
    echo "pictures: could not build the ui-driver tools" >&2
    exit 2
fi
if [ -z "${CHANWIZ_SIM:-}" ] && [ ! -x "$ROOT/build/native/chanwiz-sim" ]; then
    echo "pictures: building chanwiz-sim (native preset)"
    (cd "$ROOT" && timeout 900 cmake --preset native >/dev/null &&
        timeout 900 cmake --build --preset native --target chanwiz-sim -j2 >/dev/null) ||
        { echo "pictures: could not build chanwiz-sim" >&2; exit 2; }
fi

CACHE=$ROOT/build/wine-cache/pictures-$$
mkdir -p "$CACHE/machines" "$LOGS"
touch "$CACHE/.started"
PIDS=()
# One Chanwiz.exe and chanwiz-sim for the whole run, copied now: a build that
# relinks them meanwhile does not reach the runs.
if ! cp "$EXE" "$CACHE/Chanwiz.exe" 2>/dev/null; then
    echo "pictures: cannot copy $EXE" >&2
    rm -rf "$CACHE"
    exit 2
fi
SIM=${CHANWIZ_SIM:-$ROOT/build/native/chanwiz-sim}
cp "$SIM" "$CACHE/chanwiz-sim" 2>/dev/null || { echo "pictures: cannot copy $SIM" >&2; rm -rf "$CACHE"; exit 2; }
export CHANWIZ_EXE=$CACHE/Chanwiz.exe CHANWIZ_EXE_ORIGIN=$EXE CHANWIZ_SIM=$CACHE/chanwiz-sim
export CHANWIZ_WINE_CACHE=$CACHE
CHANWIZ_WINE_BASES=$(prefix_bases "$ROOT")
export CHANWIZ_WINE_BASES

cleanup() {
    local rc=$?
    # timeout(1) sends its TERM twice (to us and to our process group): a
    # second one must not cut the cleanup short.
    trap - EXIT
    trap '' INT TERM
    suite_end pictures "$rc" "$CACHE" "$LOGS" 'scenario.*' "${PIDS[@]}"
    exit $?
}
trap cleanup EXIT
trap 'echo "pictures: interrupted or out of time"; exit 1' INT TERM

# --- the runs ----------------------------------------------------------------------
# run | sample | keys left out | answers | expectations (";") | pictures
# Pictures: page-ID=NAME takes the page's shot, box-N=NAME the run's Nth
# message box.
USB_KEY='HKEY_LOCAL_MACHINE\SYSTEM\CurrentControlSet\Control\Class\{4d36e96c-e325-11ce-bfc1-08002be10318}\0009'
RUNS="
tv-system   | saa7134-xp-italy.reg | | click 1015; click 1; click 1023; click 1 | pages 102,129,131 | page-102=102 page-129=129 page-131=131
country     | saa7134-xp-italy.reg | | click 1016; select 1021 2; select 1019 6; click 1; no; click 1023; click 1 | pages 102,130,131 ; contains NICAM_I ; contains \"answer\":7 | page-130=130 box-1=box-nicam
no-device   | nodevice-xp.reg      | | | pages  ; contains \"style\":48 | box-1=box-no-device
two-devices | two-saa7134-xp.reg   | | | pages  ; contains \"style\":0 | box-1=box-two-devices
usb-success | usb2800-xp-usa.reg   | | click 1015; select 1012 0; click 1 | pages 102,129 ; contains \"style\":64 | box-1=box-usb-success
usb-failure | usb2800-xp-usa.reg   | $USB_KEY | click 1015; select 1012 0; click 1 | pages 102,129 ; contains \"caption\":\"Message\" ; contains \"style\":48 | box-2=box-usb-failure
"
trim() { local s=$1; s=${s#"${s%%[![:space:]]*}"}; s=${s%"${s##*[![:space:]]}"}; printf '%s' "$s"; }

# Windows shows a section in the ANSI code page of its language, so its runs
# play a Windows of that code page (the countries of
# tools/chanwiz-sim/text_check.cpp's table): Wine takes the code page from the
# locale, made with localedef into build/locales where it is not installed.
section_locale() {  # section_locale SECTION: "LOCALE ACP [LOCPATH]", or nothing for 1252
    local name path=""
    case "$1" in
        36|40|48|355|385|386|420|421) name=pl_PL.UTF-8 acp=1250 ;;
        7|359|375|380|389) name=ru_RU.UTF-8 acp=1251 ;;
        *) return 0 ;;
    esac
    if ! locale -a 2>/dev/null | grep -qix "${name/UTF-8/utf8}"; then
        path=$ROOT/build/locales
        [ -d "$path/$name" ] || { mkdir -p "$path" && timeout 300 localedef -i "${name%%.*}" -f UTF-8 "$path/$name" >/dev/null 2>&1; } ||
            { echo "pictures: could not make the locale $name (localedef): section [$1] shows in code page 1252" >&2; return 0; }
    fi
    echo "$name $acp $path"
}

JOB_NAMES=()
JOB_CMDS=()
JOB_LOGS=()
JOB_PICTURES=()
for section in "${SECTIONS[@]}"; do
    while IFS= read -r row; do
        [ -n "$(trim "$row")" ] || continue
        IFS='|' read -r run sample drop script expects pictures <<<"$row"
        run=$(trim "$run"); sample=$(trim "$sample"); drop=$(trim "$drop")
        machine=$CACHE/machines/$section-$run.reg
        variant=(--country "$section")
        [ -n "$drop" ] && variant+=(--drop-key "$drop")
        "$PYTHON" "$VARIANT" "$ROOT/samples/$sample" "$machine" "${variant[@]}" ||
            { echo "pictures: could not derive a machine from samples/$sample" >&2; exit 2; }
        name=$section-$run
        rm -rf "${LOGS:?}/$name"
        mkdir -p "$LOGS/$name"
        cmd=()
        read -r loc acp locpath <<<"$(section_locale "$section")"
        [ -n "$loc" ] && cmd=(env ${locpath:+LOCPATH="$locpath"} CHANWIZ_WINE_LOCALE="$loc" CHANWIZ_WINE_ACP="$acp")
        cmd+=("$ROOT/tests/wine/run_scenario.sh" --name "pictures-$name" --out "$LOGS/$name" --windows xp)
        IFS=';' read -ra parts <<<"$expects"
        for e in "${parts[@]}"; do
            e=$(trim "$e")
            [ -n "$e" ] && cmd+=(--expect "$e")
        done
        cmd+=("$machine" "$(trim "$script")")
        JOB_NAMES+=("$name")
        JOB_CMDS+=("$(printf '%q ' "${cmd[@]}")")
        JOB_LOGS+=("$LOGS/$name/run.log")
        JOB_PICTURES+=("$(trim "$pictures")")
    done <<<"$RUNS"
done

echo "pictures: sections ${SECTIONS[*]} of ${INI#"$ROOT"/}; ${#JOB_NAMES[@]} runs of Chanwiz.exe, $JOBS at a time"
prefix_base "$CHANWIZ_WINE_BASES" xp || { echo "pictures: could not make the base Wine prefix" >&2; exit 2; }

FAILED=0
MADE=0
take_pictures() {  # take_pictures INDEX: the run's shots into OUTDIR/<section>/
    local section=${JOB_NAMES[$1]%%-*} shots=$LOGS/${JOB_NAMES[$1]}/shots
    local pic from to shot f boxes
    mkdir -p "$OUTDIR/$section"
    boxes=()
    for shot in "$shots"/[0-9]*-messagebox.png; do
        [ -f "$shot" ] && boxes+=("${shot##*/}")
    done
    for pic in ${JOB_PICTURES[$1]}; do
        from=${pic%%=*}
        to=$OUTDIR/$section/${pic#*=}.png
        rm -f "$to"
        case "$from" in
            page-*)
                shot=""
                for f in "$shots"/[0-9]*-"$from".png; do
                    [ -f "$f" ] && { shot=${f##*/}; break; }
                done ;;
            box-*) shot=${boxes[$((${from#box-} - 1))]:-} ;;
        esac
        if [ -n "$shot" ] && "$PYTHON" "$PNGTOOL" recompress "$shots/$shot" "$to"; then
            MADE=$((MADE + 1))
        else
            echo "    no picture ${to#"$OUTDIR"/} (no $from shot in $shots)"
            FAILED=$((FAILED + 1))
        fi
    done
}
job_done() {  # job_done INDEX RC
    local log=$LOGS/${JOB_NAMES[$1]}/run.log verdict
    verdict=$(grep -E '^(PASS|FAIL) ' "$log" 2>/dev/null | tail -1)
    if [ "$2" -eq 0 ]; then
        echo "  ${verdict:-PASS ${JOB_NAMES[$1]}}"
    else
        FAILED=$((FAILED + 1))
        echo "  ${verdict:-FAIL ${JOB_NAMES[$1]}: exit code $2}, see $log"
    fi
    take_pictures "$1"
}
run_jobs "$JOBS"

for section in "${SECTIONS[@]}"; do
    echo "  $OUTDIR/$section/: $(cd "$OUTDIR/$section" && ls -- *.png 2>/dev/null | tr '\n' ' ')"
done
echo "pictures: $MADE pictures in $OUTDIR$([ "$FAILED" -gt 0 ] && echo ", $FAILED problem(s) above")"
[ "$FAILED" -eq 0 ]
exit
}
