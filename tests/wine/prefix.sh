# shellcheck shell=bash
# A machine in a Wine prefix of the Windows a scenario row names (xp, 98,
# x64), shared by every suite; source it after scripts/wine/wine-env.sh and
# common.sh. Its functions: tests/wine/README.md ("prefix.sh"). Each returns
# non-zero after a message on stderr; every Wine call is bounded.
PREFIX_REGTOOL=${PREFIX_REGTOOL:-$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)/scripts/wine/regtool.py}
PREFIX_BITS=${PREFIX_BITS:-32}
# The keys whose changes the suites compare.
PREFIX_KEYS=(
    'HKEY_LOCAL_MACHINE\SYSTEM\CurrentControlSet\Control\Class'
    'HKEY_LOCAL_MACHINE\SYSTEM\CurrentControlSet\Services\Class'
    'HKEY_LOCAL_MACHINE\SOFTWARE\Morvex Multimedia'
    'HKEY_LOCAL_MACHINE\SOFTWARE\Wow6432Node\Morvex Multimedia'
)

prefix_kind() {
    case "$1" in xp | 98 | x64) ;; *) echo "prefix: unknown Windows \"$1\" (xp, 98 or x64)" >&2; return 1 ;; esac
    PREFIX_ARCH=win64
    case "$1:$PREFIX_BITS" in xp:32 | 98:32) PREFIX_ARCH=win32 ;; esac
    wine_use_arch "$PREFIX_ARCH"
}

prefix_bases() {
    local root=$1 hash dir
    # What a base is made of: Wine, and the scripts that make it.
    hash=$({ "$WINE64" --version 2>&1; cat "${BASH_SOURCE[0]}" "$(dirname "$PREFIX_REGTOOL")/wine-env.sh"; } |
           md5sum | cut -c1-10)
    dir=$root/build/wine-cache/bases-$hash
    if [ ! -d "$dir" ]; then
        # Made by other scripts or another Wine: of no more use.
        rm -rf "$root"/build/wine-cache/bases-*
        mkdir -p "$dir"
    fi
    printf '%s\n' "$dir"
}

# prefix_make_bases CACHE KIND...: the base prefixes of these Windows, made
# side by side (a fresh clone makes them all); fails when one could not be made.
prefix_make_bases() {
    local cache=$1 kind pid ok=0
    local -a made=()
    shift
    for kind in $(printf '%s\n' "$@" | sort -u); do
        ( prefix_base "$cache" "$kind" ) &
        made+=("$!")
    done
    for pid in "${made[@]}"; do wait "$pid" || ok=1; done
    return "$ok"
}

prefix_base() {
    local cache=$1 kind=$2 base
    prefix_kind "$kind" || return 1
    base=$cache/base-$kind-$PREFIX_ARCH
    mkdir -p "$cache" || return 1
    (
        flock -w 300 9 || { echo "prefix: the base prefix lock stayed taken" >&2; exit 1; }
        [ -f "$base/.chanwiz-ready" ] && exit 0
        (
            rm -rf "$base"
            if ! wine_new_prefix "$base" >"$base.log" 2>&1 || ! prefix_settings "$kind" >>"$base.log" 2>&1; then
                wine_stop
                exit 1
            fi
            wine_stop
            # Copies get their own server directory: forget the base's.
            tag=$(head -c 64 "$base/wineserver" 2>/dev/null || true)
            case "$tag" in wine-??????) rm -rf "/tmp/$tag" ;; esac
            rm -f "$base/wineserver"
            touch "$base/.chanwiz-ready"
        ) || { echo "prefix: could not make the base Wine prefix $kind:" >&2; tail -5 "$base.log" >&2; exit 1; }
    ) 9>"$base.lock"
}

# 98's version (Wine would report the NT one its registry holds), and
# win.ini's [intl] read from the file.
prefix_settings() {
    [ "$1" = 98 ] || return 0
    printf '%s\r\n' 'Windows Registry Editor Version 5.00' '' '[HKEY_CURRENT_USER\Software\Wine]' \
        '"Version"="win98"' '' '[HKEY_LOCAL_MACHINE\Software\Microsoft\Windows NT\CurrentVersion\IniFileMapping\win.ini]' \
        '"intl"=-' '' >"$WINEPREFIX/drive_c/windows/temp/chanwiz-98.reg"
    timeout -k 5 60 "$WINE" regedit /S 'C:\windows\temp\chanwiz-98.reg' ||
        { echo "prefix: regedit of the 98 settings failed" >&2; return 1; }
}

prefix_copy() {
    local cache=$1 work=$2 log=$3 kind=$4 base
    prefix_kind "$kind" || return 1
    base=$cache/base-$kind-$PREFIX_ARCH
    timeout 120 cp -a --reflink=auto "$base" "$work/prefix" ||
        { echo "prefix: could not copy the base prefix" >&2; return 1; }
    rm -f "$work/prefix/.chanwiz-ready"
    export WINEPREFIX=$work/prefix
    # One server for all the programs that follow: without -p it ends 3 s
    # after the last one, and the next brings up a new desktop, which writes
    # the display adapters into Control\Class again.
    timeout -k 5 30 "$WINESERVER" -p >>"$log" 2>&1 ||
        { echo "prefix: could not start the wineserver" >&2; return 1; }
}

# prefix_up BASES KIND WORK OUT: WORK/prefix from the base of KIND (made once),
# its server up, and an Xvfb for it (pid in OUT/xvfb.pid).
prefix_up() {
    prefix_base "$1" "$2" && prefix_copy "$1" "$3" "$4/wineserver.log" "$2" || return 1
    XVFB_LOG=$4/xvfb.log xvfb_start 99 || { echo "prefix: could not start Xvfb" >&2; return 1; }
    echo "$XVFB_PID" >"$4/xvfb.pid"
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
    prefix_regedit "$machine" "$logdir/regedit.log" || return 1
    "$PYTHON" "$PREFIX_REGTOOL" win-ini "$machine" "$WINEPREFIX/drive_c/windows/win.ini" >>"$logdir/regedit.log" 2>&1 ||
        { echo "prefix: could not write the machine's win.ini" >&2; return 1; }
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

# dump_diff A B: the lines of two regdump files, made canonical, that differ
# (diff's output); fails when they differ.
dump_diff() {
    diff <("$PYTHON" "$PREFIX_REGTOOL" canon-dump "$1") <("$PYTHON" "$PREFIX_REGTOOL" canon-dump "$2")
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

# prefix_traps: a run's traps (tests/wine/README.md).
prefix_traps() {
    trap 'prefix_cleanup $?' EXIT
    trap 'REASONS+=(" interrupted or out of time"); finish' INT TERM
}
prefix_cleanup() {
    prefix_teardown "${KEEP_PREFIX:-0}"
    [ "${KEEP_PREFIX:-0}" = 1 ] || rm -rf "${WORK:-}"
    exit "$1"
}
