# shellcheck shell=bash
# A machine in a Wine prefix, for run_scenario.sh and for the scripts that
# need a prefix but not a whole scenario (run_undo.sh,
# bench/wine_process_bench.sh; scripts/pictures.sh takes its base prefix).
# Source it after scripts/wine/wine-env.sh and tests/wine/common.sh.
#
#   prefix_base CACHE            CACHE/base: a fresh prefix (Wine's fonts,
#                                Managed=N), made once per cache under a lock:
#                                the runs of a suite share it
#   prefix_copy CACHE WORK LOG   WORK/prefix from the base; WINEPREFIX set and its
#                                own wineserver started with -p (kept up)
#   prefix_machine MACHINE TOOLS LOGDIR
#                                the machine file without its simulation key,
#                                imported with regedit /S; the access lists of its
#                                Security subkey set; Wine's desktop brought up:
#                                prefix_regedit, prefix_security and prefix_desktop
#                                in a row (LOGDIR/regedit.log, LOGDIR/desktop.log)
#   prefix_security MACHINE TOOLS LOG
#                                the access lists of the machine's Security subkey
#                                (Wine keeps them only while its server runs)
#   prefix_desktop TOOLS LOG     Wine's desktop brought up (ui-driver --init-display)
#   prefix_regedit FILE LOG      a .reg file imported with regedit /S, converted
#                                first as regedit wants it (5.00 as UTF-16LE with
#                                a byte-order mark, REGEDIT4 as ANSI)
#   prefix_regdump OUT TOOLS LOG KEY...
#                                regdump.exe --security of the keys into OUT
#   prefix_teardown [KEEP]       for an EXIT trap: the prefix and the Xvfb go
#                                (with KEEP 1 the prefix stays, its server stopped)
# Each returns non-zero after a message on stderr. Every Wine call is bounded.

PREFIX_REGTOOL=${PREFIX_REGTOOL:-$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)/scripts/wine/regtool.py}

prefix_base() {
    local cache=$1
    mkdir -p "$cache" || return 1
    (
        flock -w 300 9 || { echo "prefix: the base prefix lock stayed taken" >&2; exit 1; }
        [ -f "$cache/base/.chanwiz-ready" ] && exit 0
        (
            rm -rf "$cache/base"
            if ! wine_new_prefix "$cache/base" >"$cache/base.log" 2>&1; then
                wine_stop
                exit 1
            fi
            wine_stop
            # Copies get their own server directory: forget the base's.
            tag=$(head -c 64 "$cache/base/wineserver" 2>/dev/null || true)
            case "$tag" in wine-??????) rm -rf "/tmp/$tag" ;; esac
            rm -f "$cache/base/wineserver"
            touch "$cache/base/.chanwiz-ready"
        ) || { echo "prefix: could not make the base Wine prefix:" >&2; tail -5 "$cache/base.log" >&2; exit 1; }
    ) 9>"$cache/base.lock"
}

prefix_copy() {
    local cache=$1 work=$2 log=$3
    timeout 120 cp -a --reflink=auto "$cache/base" "$work/prefix" ||
        { echo "prefix: could not copy the base prefix" >&2; return 1; }
    rm -f "$work/prefix/.chanwiz-ready"
    export WINEPREFIX=$work/prefix
    # One server for all the programs that follow: without -p it ends 3 s
    # after the last one, and the next brings up a new desktop, which writes
    # the display adapters into Control\Class again.
    timeout -k 5 30 "$WINESERVER" -p >>"$log" 2>&1 ||
        { echo "prefix: could not start the wineserver" >&2; return 1; }
}

prefix_regedit() {
    local file=$1 log=$2 tmp
    tmp=$WINEPREFIX/drive_c/windows/temp/import-$$-$RANDOM.reg
    mkdir -p "$(dirname "$tmp")"
    "$PYTHON" "$PREFIX_REGTOOL" import "$file" "$tmp" >>"$log" 2>&1 ||
        { echo "prefix: could not convert $file for regedit" >&2; return 1; }
    wine_try "regedit /S $(basename "$file")" "$log" \
        timeout -k 5 90 "$WINE" regedit /S "$(wine_path "$tmp")" >>"$log" 2>&1 ||
        { echo "prefix: regedit /S $file failed (exit $?)" >&2; rm -f "$tmp"; return 1; }
    rm -f "$tmp"
}

prefix_machine() {
    local machine=$1 tools=$2 logdir=$3
    prefix_regedit "$machine" "$logdir/regedit.log" &&
        prefix_security "$machine" "$tools" "$logdir/regedit.log" &&
        : >"$logdir/desktop.log" &&
        prefix_desktop "$tools" "$logdir/desktop.log"
}

prefix_security() {
    local machine=$1 tools=$2 log=$3 key sddl
    while IFS=$'\t' read -r key sddl; do
        [ -n "$key" ] || continue
        wine_try "access list of $key" "$log" \
            timeout -k 5 60 "$WINE" "$tools/regdump.exe" --set-security "$key" "$sddl" >>"$log" 2>&1 ||
            { echo "prefix: could not set the access list of $key" >&2; return 1; }
        echo "access list set: $key $sddl" >>"$log"
    done < <("$PYTHON" "$PREFIX_REGTOOL" sim-values "$machine" Security)
}

prefix_desktop() {
    local tools=$1 log=$2
    # Wine registers its display adapters under Control\Class when its
    # desktop comes up: now, before any dump, not in the middle of a test.
    wine_try "Wine's desktop" "$log" \
        timeout -k 5 60 "$WINE" "$tools/ui-driver.exe" --init-display >>"$log" 2>&1 ||
        { echo "prefix: Wine's desktop did not come up (exit $?; $log)" >&2; return 1; }
}

prefix_regdump() {
    local out=$1 tools=$2 log=$3
    shift 3
    wine_try "regdump $(basename "$out")" "$log" \
        timeout -k 5 60 "$WINE" "$tools/regdump.exe" --security "$(wine_path "$out")" "$@" 2>>"$log" ||
        { echo "prefix: regdump failed (exit $?; $log)" >&2; return 1; }
}

prefix_teardown() {
    # timeout(1) sends its TERM twice (to us and to our process group): the
    # second must not cut the teardown short.
    trap - EXIT
    trap '' INT TERM
    if [ -n "${WINEPREFIX:-}" ]; then
        if [ "${1:-0}" = 1 ]; then
            wine_stop
            echo "kept prefix $WINEPREFIX" >&2
        else
            wine_drop_prefix
        fi
    fi
    xvfb_stop
}
