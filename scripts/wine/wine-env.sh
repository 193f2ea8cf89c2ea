# shellcheck shell=bash
# Source this file:  . scripts/wine/wine-env.sh
#
# Sets up the environment to run Windows programs under Debian 12's Wine 8.0
# and offers helpers to create/destroy a throw-away Wine prefix and an Xvfb display.
# Every helper is bounded in time with `timeout`.
#
# Variables (override before sourcing if needed):
#   WINE64      the 64-bit loader (Debian: /usr/lib/wine/wine64, not on PATH); it
#               runs 64-bit programs and, in a 64-bit (WoW64) prefix, 32-bit ones
#               through WINE32
#   WINE32      the 32-bit loader (wine32:i386, /usr/lib/wine/wine): the only one
#               that makes and runs a 32-bit (WINEARCH=win32) prefix
#   WINE        the loader in use (WINE64 unless wine_use_arch win32 said otherwise)
#   WINESERVER  the wineserver binary (Debian: /usr/lib/wine/wineserver64; it serves
#               32-bit prefixes too)
#   WINEPREFIX  set by wine_new_prefix
#   DISPLAY     set by xvfb_start

# --- loader / server ---------------------------------------------------------
if [ -z "${WINE64:-}" ]; then
    for _w in "${WINE:-}" /usr/lib/wine/wine64 /usr/lib/x86_64-linux-gnu/wine/wine64 "$(command -v wine64 2>/dev/null)"; do
        if [ -n "$_w" ] && [ -x "$_w" ]; then WINE64=$_w; break; fi
    done
    unset _w
fi
if [ -z "${WINE32:-}" ]; then
    for _w in /usr/lib/wine/wine /usr/lib/i386-linux-gnu/wine/wine; do
        if [ -x "$_w" ]; then WINE32=$_w; break; fi
    done
    unset _w
fi
WINE=${WINE:-${WINE64:-}}
if [ -z "${WINESERVER:-}" ]; then
    for _w in /usr/lib/wine/wineserver64 /usr/lib/x86_64-linux-gnu/wine/wineserver64 "$(command -v wineserver 2>/dev/null)"; do
        if [ -n "$_w" ] && [ -x "$_w" ]; then WINESERVER=$_w; break; fi
    done
    unset _w
fi
export WINE WINE64 WINE32 WINESERVER
# The loader Wine uses to start further Windows processes (what Debian's wrapper sets).
export WINELOADER="${WINELOADER:-$WINE}"
export WINEARCH="${WINEARCH:-win64}"
export WINEDEBUG="${WINEDEBUG:--all}"
# No Mono / Gecko install prompts, no .desktop/menu files written to $HOME.
export WINEDLLOVERRIDES="${WINEDLLOVERRIDES:-mscoree,mshtml=;winemenubuilder.exe=d}"

# wine_use_arch win32|win64  - the loader for a prefix of that kind: a 32-bit
# prefix is made and run by the 32-bit loader only.
wine_use_arch() {
    case "$1" in
        win32) WINE=${WINE32:-/nonexistent/wine32} ;;
        win64) WINE=$WINE64 ;;
        *) echo "wine-env: unknown prefix kind $1" >&2; return 1 ;;
    esac
    WINEARCH=$1 WINELOADER=$WINE
    export WINE WINEARCH WINELOADER
}

# wine_runs_32bit  - 32-bit Windows programs can run here: wine32 is installed
# and the kernel runs 32-bit code itself (some kernels are built or booted
# without: "Exec format error", "32-bit emulation disabled" in dmesg). An
# emulator registered for 32-bit x86 programs (qemu-user through binfmt_misc)
# does not count: Wine under it needs minutes for what takes a second.
wine_runs_32bit() {
    local f
    [ -n "${WINE32:-}" ] && timeout 60 "$WINE32" --version >/dev/null 2>&1 || return 1
    for f in /proc/sys/fs/binfmt_misc/*; do
        [ -f "$f" ] && grep -qx enabled "$f" 2>/dev/null &&
            grep -q '^magic 7f454c460101010000000000000000000[23]000300' "$f" 2>/dev/null && return 1
    done
    return 0
}

# wine_is_loader EXE  - EXE (a /proc/PID/exe target) is one of Wine's loaders,
# preloaders or the server.
wine_is_loader() {
    case "$1" in
        "" ) return 1 ;;
        "${WINE64:-/nonexistent}" | "${WINE64:-/nonexistent}"-preloader | \
        "${WINE32:-/nonexistent}" | "${WINE32:-/nonexistent}"-preloader | \
        "$WINE" | "$WINE"-preloader | "$WINESERVER") return 0 ;;
    esac
    return 1
}

wine_check() {
    if [ -z "${WINE:-}" ] || [ ! -x "$WINE" ]; then
        echo "wine-env: Wine loader not found (install wine64: scripts/install-deps.sh)" >&2
        return 1
    fi
    if [ -z "${WINESERVER:-}" ] || [ ! -x "$WINESERVER" ]; then
        echo "wine-env: wineserver not found" >&2
        return 1
    fi
}

# wine_run SECONDS PROGRAM [ARGS...]  - run a Windows program, bounded in time.
wine_run() {
    local secs=$1; shift
    timeout -k 5 "$secs" "$WINE" "$@"
}

# wine_try WHAT LOG CMD...  - CMD, a set-up step of a prefix (an import, an
# access list, the desktop, a dump: idempotent, and not what is tested), run
# up to three times. On the CI machines a Wine program now and then fails
# right after it starts, with no fault of its own. Every failed try is told
# on a line of WINE_RETRY_NOTES (a file, when set), with its exit code and
# the last line of LOG, so the suites can show it. No new try when the step
# ran out of time (the bounds are generous), or when the prefix's wineserver
# is gone: the registry it held went with it.
wine_try() {
    local what=$1 log=$2 n=1 rc last said="" why
    shift 2
    while :; do
        "$@" && return 0
        rc=$?
        last=$(tr -d '\r' <"$log" 2>/dev/null | grep -v '^[[:space:]]*$' | tail -1 | cut -c1-160)
        if [ -n "${WINEPREFIX:-}" ] && [ -z "$(wine_server_pid)" ]; then
            echo "$what: exit $rc, and the wineserver is gone${last:+ ($last)}" >>"${WINE_RETRY_NOTES:-/dev/null}"
            return "$rc"
        fi
        why="exit $rc${last:+ ($last)}"
        if [ "$why" = "$said" ]; then
            echo "$what: try $n of 3 failed the same way" >>"${WINE_RETRY_NOTES:-/dev/null}"
        else
            echo "$what: try $n of 3 failed, $why" >>"${WINE_RETRY_NOTES:-/dev/null}"
        fi
        said=$why
        case "$rc" in 124 | 137) return "$rc" ;; esac
        [ "$n" -lt 3 ] || return "$rc"
        n=$((n + 1))
        sleep 1
    done
}

# wine_server_pid  - the pid of the current prefix's wineserver, if it runs.
wine_server_pid() {
    local pid
    for pid in $(wine_prefix_pids); do
        [ "$(readlink "/proc/$pid/exe" 2>/dev/null)" = "$WINESERVER" ] && { echo "$pid"; return 0; }
    done
    return 0
}

# wine_new_prefix DIR  - create a fresh prefix of the kind WINEARCH says (see
# wine_use_arch) in DIR (must not exist or be empty) and export WINEPREFIX=DIR. Prints the time taken and the size.
# Then wine_prefix_setup: Wine's fonts and headless-friendly settings.
wine_new_prefix() {
    wine_check || return 1
    local dir=$1 t0 t1 rc=0
    mkdir -p "$dir" || return 1
    dir=$(cd "$dir" && pwd)
    export WINEPREFIX=$dir
    t0=$(date +%s.%N)
    timeout -k 5 180 "$WINE" wineboot -i >/dev/null 2>&1 || rc=$?
    timeout -k 5 60 "$WINESERVER" -w || true
    t1=$(date +%s.%N)
    if [ "$rc" -ne 0 ] || [ ! -f "$dir/system.reg" ]; then
        echo "wine-env: wineboot failed (rc=$rc) for $dir" >&2
        return 1
    fi
    WINE_PREFIX_SECONDS=$(awk -v a="$t0" -v b="$t1" 'BEGIN{printf "%.1f", b-a}')
    WINE_PREFIX_SIZE=$(du -sh "$dir" | cut -f1)
    export WINE_PREFIX_SECONDS WINE_PREFIX_SIZE
    echo "wine-env: $WINEARCH prefix $dir created in $WINE_PREFIX_SECONDS s, size $WINE_PREFIX_SIZE"
    wine_prefix_setup
}

# wine_prefix_setup  - for the current WINEPREFIX:
#  * link Wine's own fonts (fonts-wine: Tahoma, MS Sans Serif, Marlett, ...) into
#    C:\windows\Fonts. Debian's Wine 8 does not load /usr/share/wine/fonts by itself,
#    so without this the caption buttons show a letter ("r") instead of the Marlett
#    glyph and "MS Shell Dlg" falls back to another font.
#  * HKCU\Software\Wine\X11 Driver "Managed"="N": with no window manager on Xvfb,
#    Wine then draws captions and frames itself (screenshots look like Windows).
wine_prefix_setup() {
    [ -n "${WINEPREFIX:-}" ] || return 1
    local fonts=$WINEPREFIX/drive_c/windows/Fonts f reg
    mkdir -p "$fonts"
    for f in /usr/share/wine/fonts/*; do
        [ -e "$f" ] || continue
        [ -e "$fonts/$(basename "$f")" ] || ln -s "$f" "$fonts/$(basename "$f")"
    done
    reg=$WINEPREFIX/drive_c/windows/temp/chanwiz-wine-settings.reg
    mkdir -p "$(dirname "$reg")"
    printf 'Windows Registry Editor Version 5.00\r\n\r\n[HKEY_CURRENT_USER\\Software\\Wine\\X11 Driver]\r\n"Managed"="N"\r\n\r\n' >"$reg"
    timeout -k 5 60 "$WINE" regedit /S 'C:\windows\temp\chanwiz-wine-settings.reg' >/dev/null 2>&1 || {
        echo "wine-env: regedit of Wine settings failed" >&2
        return 1
    }
}

# wine_path FILE  - the Windows (Z:) path of a Unix file, for regedit and friends.
wine_path() {
    local p
    p=$(cd "$(dirname "$1")" && pwd)/$(basename "$1")
    printf 'Z:%s' "${p//\//\\}"
}

# wine_stop  - stop the wineserver (and all Wine processes) of the current WINEPREFIX.
# wineserver is per prefix: each prefix has its own server that must be stopped.
wine_stop() {
    [ -n "${WINEPREFIX:-}" ] || return 0
    timeout -k 2 15 "$WINESERVER" -k >/dev/null 2>&1 || true
    timeout -k 2 15 "$WINESERVER" -w >/dev/null 2>&1 || true
    wine_kill_leftovers
}

# wine_prefix_pids  - pids of the Wine processes (loader, preloader, server) that
# run with exactly the current WINEPREFIX, read from /proc.
wine_prefix_pids() {
    [ -n "${WINEPREFIX:-}" ] || return 0
    local env exe pid
    # One grep over every environment (NUL-separated), then the few matches.
    for env in $(grep -lzxF "WINEPREFIX=$WINEPREFIX" /proc/[0-9]*/environ 2>/dev/null); do
        pid=${env#/proc/}
        pid=${pid%/environ}
        [ "$pid" = "$$" ] && continue
        exe=$(readlink "/proc/$pid/exe" 2>/dev/null) || continue
        wine_is_loader "$exe" && echo "$pid"
    done
}

# wine_kill_leftovers  - end the Wine processes of the current WINEPREFIX that
# outlived their server. When the wineserver dies (e.g. an assertion), its
# services.exe, winedevice.exe... keep running with no server to stop them, and
# keep open whatever pipes they inherited.
wine_kill_leftovers() {
    local pids i
    pids=$(wine_prefix_pids)
    [ -n "$pids" ] || return 0
    # shellcheck disable=SC2086
    kill $pids 2>/dev/null || true
    for i in 1 2 3 4 5 6 7 8 9 10; do
        pids=$(wine_prefix_pids)
        [ -n "$pids" ] || return 0
        sleep 0.2
    done
    # shellcheck disable=SC2086
    kill -9 $pids 2>/dev/null || true
}

# wine_drop_prefix  - stop the server of the current prefix and delete the prefix,
# plus its server directory: Debian's Wine keeps the wineserver socket in
# /tmp/wine-XXXXXX/ and writes that name into $WINEPREFIX/wineserver.
wine_drop_prefix() {
    [ -n "${WINEPREFIX:-}" ] || return 0
    local tag=""
    wine_stop
    case "$WINEPREFIX" in
        /|"$HOME"|"$HOME/.wine") echo "wine-env: refusing to delete $WINEPREFIX" >&2; return 1 ;;
    esac
    [ -f "$WINEPREFIX/wineserver" ] && tag=$(head -c 64 "$WINEPREFIX/wineserver" 2>/dev/null || true)
    rm -rf "$WINEPREFIX"
    case "$tag" in
        wine-??????) rm -rf "/tmp/$tag" "${TMPDIR:-/tmp}/$tag" ;;
    esac
    unset WINEPREFIX
}

# --- Xvfb --------------------------------------------------------------------
# xvfb_start [DISPLAYNUM]  - start Xvfb 1024x768x24 on the first free display at or
# above DISPLAYNUM (default 99), export DISPLAY and XVFB_PID. Waits (bounded) until
# the server answers. Safe against other Xvfb servers started at the same time:
# a display counts as ours only when its lock file holds our pid.
xvfb_start() {
    local n=${1:-99} tries=0 i lockpid
    while [ $tries -lt 50 ]; do
        # A display is taken if its lock file or socket exists (a stale lock from a
        # killed Xvfb also blocks it: Xvfb refuses to start on a locked display).
        if [ ! -e "/tmp/.X$n-lock" ] && [ ! -e "/tmp/.X11-unix/X$n" ]; then
            Xvfb ":$n" -screen 0 1024x768x24 -nolisten tcp -noreset >>"${XVFB_LOG:-/dev/null}" 2>&1 &
            XVFB_PID=$!
            for i in $(seq 1 50); do
                kill -0 "$XVFB_PID" 2>/dev/null || break
                lockpid=$({ tr -d ' \n' <"/tmp/.X$n-lock"; } 2>/dev/null || true)
                if [ "$lockpid" = "$XVFB_PID" ] && [ -e "/tmp/.X11-unix/X$n" ]; then
                    export DISPLAY=":$n" XVFB_PID
                    return 0
                fi
                sleep 0.1
            done
            kill "$XVFB_PID" 2>/dev/null || true
            wait "$XVFB_PID" 2>/dev/null || true
            unset XVFB_PID
        fi
        n=$((n + 1)); tries=$((tries + 1))
    done
    echo "wine-env: could not start Xvfb" >&2
    return 1
}

# xvfb_stop  - stop the Xvfb started by xvfb_start.
xvfb_stop() {
    if [ -n "${XVFB_PID:-}" ]; then
        kill "$XVFB_PID" 2>/dev/null || true
        for _i in $(seq 1 30); do kill -0 "$XVFB_PID" 2>/dev/null || break; sleep 0.1; done
        kill -9 "$XVFB_PID" 2>/dev/null || true
        wait "$XVFB_PID" 2>/dev/null || true
        unset XVFB_PID _i
    fi
}

# x_screenshot FILE.png  - save the whole Xvfb screen as PNG (xwd + xwd2png.py).
x_screenshot() {
    local out=$1 here
    here=$(dirname "${BASH_SOURCE[0]}")
    if command -v xwd >/dev/null 2>&1; then
        timeout 20 xwd -root -silent | timeout 20 python3 "$here/xwd2png.py" - "$out"
    elif command -v import >/dev/null 2>&1; then
        timeout 20 import -window root "$out"
    else
        echo "wine-env: neither xwd nor ImageMagick import found" >&2
        return 1
    fi
}
