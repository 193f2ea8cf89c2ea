#!/usr/bin/env bash
# Pictures for translators: every page and message box of the real
# Chanwiz.exe under Wine, in every section (language) of resources/Chanwiz.ini,
# each a scenario of tests/wine/run_scenario.sh on XP (tests/wine/README.md).
# usage: scripts/pictures.sh [-j N] [OUTDIR]   (OUTDIR/<section>/<picture>.png,
# default build/pictures). Exit 0 when every picture was made and every run
# matched the simulation.
set -uo pipefail
exec </dev/null
ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
# shellcheck source=../tests/wine/common.sh
. "$ROOT/tests/wine/common.sh"
suite_timeout "${PICTURES_TIMEOUT:-1800}" "$0" "$@"

# The whole file is read before it runs: an edit during a run must not
# change the running script.
{
suite_args "$@"
[[ "${ARGS[0]:-}" != -* ]] || { echo "pictures: unknown option ${ARGS[0]}" >&2; exit 2; }
OUTDIR=${ARGS[0]:-$ROOT/build/pictures}
mkdir -p "$OUTDIR" || exit 2
OUTDIR=$(cd "$OUTDIR" && pwd)
# shellcheck source=wine/wine-env.sh
. "$ROOT/scripts/wine/wine-env.sh"
# shellcheck source=../tests/wine/prefix.sh
. "$ROOT/tests/wine/prefix.sh"
wine_check || exit 2
INI=$ROOT/resources/Chanwiz.ini
LOGS=$ROOT/build/wine-out/pictures
mapfile -t SECTIONS < <(ini_sections "$INI")
[ -n "${SECTIONS[0]:-}" ] || { echo "pictures: no section in $INI" >&2; exit 2; }
pick_chanwiz_exe "$ROOT" pictures || exit 2
suite_begin pictures "$LOGS"
mkdir -p "$CACHE/machines"
JOB_PICTURES=()
suite_copy "$EXE" Chanwiz.exe
export CHANWIZ_EXE=$CACHE/Chanwiz.exe

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

for section in "${SECTIONS[@]}"; do
    while IFS= read -r row; do
        [ -n "$(trim "$row")" ] || continue
        IFS='|' read -r run sample drop script expects pictures <<<"$row"
        run=$(trim "$run") drop=$(trim "$drop") name=$section-$(trim "$run")
        machine=$CACHE/machines/$name.reg
        "$PYTHON" "$ROOT/scripts/wine/machine_variant.py" "$ROOT/samples/$(trim "$sample")" "$machine" \
            --country "$section" ${drop:+--drop-key "$drop"} ||
            { echo "pictures: could not derive a machine from samples/$sample" >&2; exit 2; }
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
        JOB_PICTURES+=("$(trim "$pictures")")
        suite_job "$name" xp "$LOGS/$name/run.log" "${cmd[@]}" "$machine" "$(trim "$script")"
    done <<<"$RUNS"
done

echo "pictures: sections ${SECTIONS[*]} of ${INI#"$ROOT"/}; ${#JOB_NAMES[@]} runs of Chanwiz.exe, $JOBS at a time"
prefix_base "$CHANWIZ_WINE_BASES" xp || { echo "pictures: could not make the base Wine prefix" >&2; exit 2; }
MADE=0
job_done() {  # job_done INDEX RC: the run's shots into OUTDIR/<section>/
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
        if [ -n "$shot" ] && "$PYTHON" "$ROOT/scripts/wine/pngtool.py" recompress "$shots/$shot" "$to"; then
            MADE=$((MADE + 1))
        else
            echo "    no picture ${to#"$OUTDIR"/} (no $from shot in $shots)"
            FAILED[pictures]=$((${FAILED[pictures]:-0} + 1))
        fi
    done
}
suite_run '^  (transcripts differ|registry changes differ)'
for section in "${SECTIONS[@]}"; do
    echo "  $OUTDIR/$section/: $(cd "$OUTDIR/$section" && ls -- *.png 2>/dev/null | tr '\n' ' ')"
done
failed=$(suite_total | cut -d' ' -f3)
echo "pictures: $MADE pictures in $OUTDIR$([ "$failed" -gt 0 ] && echo ", $failed problem(s) above")"
[ "$failed" -eq 0 ]
exit
}
