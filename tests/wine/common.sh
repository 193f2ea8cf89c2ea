# shellcheck shell=bash
# Shared by run_scenario.sh and run_all.sh (source it).

# Debian's python3 when there is one: a version manager's shim on PATH costs
# about a second per start, and the scenarios start Python several times.
if [ -x /usr/bin/python3 ]; then PYTHON=/usr/bin/python3; else PYTHON=python3; fi

# pe_machine FILE: "i386" or "x64" for a Windows program of that machine
# (PE header); nothing and a non-zero exit for anything else.
pe_machine() {
    "$PYTHON" - "$1" <<'PY'
import struct, sys
try:
    d = open(sys.argv[1], "rb").read(4096)
    off = struct.unpack_from("<I", d, 0x3C)[0]
    machine = struct.unpack_from("<H", d, off + 4)[0] if d[:2] == b"MZ" and d[off:off + 4] == b"PE\0\0" else 0
except (OSError, struct.error):
    machine = 0
names = {0x14C: "i386", 0x8664: "x64"}
if machine in names:
    print(names[machine])
sys.exit(0 if machine in names else 1)
PY
}

# pe_x64 FILE: FILE is a Windows program for x86_64.
pe_x64() { [ "$(pe_machine "$1")" = x64 ]; }

# find_chanwiz_exe ROOT [MACHINE]: prints the newest Chanwiz.exe for MACHINE
# (i386 or x64, default x64) under ROOT/build (the wine-cache and wine-out
# folders left out); nothing when there is none.
find_chanwiz_exe() {
    local f
    while IFS= read -r f; do
        if [ "$(pe_machine "$f")" = "${2:-x64}" ]; then printf '%s\n' "$f"; return 0; fi
    done < <(find "$1/build" \( -path "$1/build/wine-cache" -o -path "$1/build/wine-out" \) -prune -o \
                 -name Chanwiz.exe -type f -printf '%T@ %p\n' 2>/dev/null | sort -rn | cut -d' ' -f2-)
    return 0
}

# pick_chanwiz_exe ROOT WHO: sets EXE to the program the Wine runs start and
# exports PREFIX_BITS (its bitness, for tests/wine/prefix.sh): CHANWIZ_EXE, or
# the shipped 32-bit build/mingw-i686/Chanwiz.exe. Where the machine cannot run
# 32-bit programs, the newest 64-bit Chanwiz.exe under ROOT/build, with
# NOT_RUN_WHY saying why (also set for a 64-bit CHANWIZ_EXE). Returns 2 after
# a message naming WHO when there is none to run.
pick_chanwiz_exe() {
    local root=$1 who=$2
    NOT_RUN_WHY=""
    if [ -n "${CHANWIZ_EXE:-}" ]; then
        EXE=$CHANWIZ_EXE
    elif wine_runs_32bit; then
        EXE=$root/build/mingw-i686/Chanwiz.exe
    else
        EXE=$(find_chanwiz_exe "$root" x64)
        NOT_RUN_WHY="this machine cannot run 32-bit programs"
        echo "$who: $NOT_RUN_WHY (${WINE32:-wine32 is not installed}${WINE32:+ is not run by the kernel itself}): the 64-bit ${EXE#"$root"/} runs in 64-bit prefixes"
    fi
    case "$(pe_machine "$EXE" 2>/dev/null)" in
        i386) PREFIX_BITS=32
              wine_runs_32bit || { echo "$who: $EXE is a 32-bit program, and this machine cannot run one" >&2; return 2; } ;;
        x64) PREFIX_BITS=64
             NOT_RUN_WHY=${NOT_RUN_WHY:-the program is a 64-bit one} ;;
        *) echo "$who: no Chanwiz.exe at ${EXE:-build/mingw-i686/Chanwiz.exe} (cmake --preset mingw-i686 && cmake --build build/mingw-i686, or set CHANWIZ_EXE)" >&2
           return 2 ;;
    esac
    export PREFIX_BITS
}

# run_jobs N: runs the commands JOB_CMDS (each quoted by printf %q) N at a
# time, each writing into its log JOB_LOGS[i], and calls job_done INDEX RC as
# each ends. The running ones are in PIDS, for a cleanup that ends them.
run_jobs() {
    local jobs=$1 next=0 running=0 pid done_pid rc
    local -a cmd
    local -A index_of=()
    while [ $next -lt ${#JOB_CMDS[@]} ] || [ $running -gt 0 ]; do
        while [ $running -lt "$jobs" ] && [ $next -lt ${#JOB_CMDS[@]} ]; do
            eval "cmd=(${JOB_CMDS[$next]})"
            mkdir -p "$(dirname "${JOB_LOGS[$next]}")"
            "${cmd[@]}" >"${JOB_LOGS[$next]}" 2>&1 &
            pid=$!
            PIDS+=("$pid")
            index_of[$pid]=$next
            next=$((next + 1))
            running=$((running + 1))
        done
        done_pid=""
        rc=0
        wait -n -p done_pid "${!index_of[@]}" || rc=$?
        [ -n "$done_pid" ] || continue
        job_done "${index_of[$done_pid]}" "$rc"
        unset "index_of[$done_pid]"
        running=$((running - 1))
    done
    PIDS=()
}

# retry_notes: what wine_try told in WINE_RETRY_NOTES, for a verdict line
# (" [Wine: ...; ...]"), or nothing.
retry_notes() {
    [ -s "${WINE_RETRY_NOTES:-}" ] || return 0
    printf ' [Wine: %s]' "$(awk 'NR > 1 { printf "; " } { printf "%s", $0 }' "$WINE_RETRY_NOTES")"
}

# suite_leftovers CACHE OUTDIR: the pids of Wine processes that run with a
# prefix below CACHE, and of the Xvfb servers named by OUTDIR/*/xvfb.pid
# files written since CACHE/.started (a suite's runs own both).
suite_leftovers() {
    local cache=$1 outdir=$2 env pid exe f
    for env in $(grep -lz "^WINEPREFIX=$cache/" /proc/[0-9]*/environ 2>/dev/null); do
        pid=${env#/proc/}
        pid=${pid%/environ}
        exe=$(readlink "/proc/$pid/exe" 2>/dev/null) || continue
        wine_is_loader "$exe" && echo "$pid"
    done
    for f in "$outdir"/*/xvfb.pid; do
        [ -f "$f" ] && [ "$f" -nt "$cache/.started" ] || continue
        pid=$(cat "$f")
        [ -n "$pid" ] && kill -0 "$pid" 2>/dev/null &&
            [ "$(readlink "/proc/$pid/exe" 2>/dev/null)" = "$(command -v Xvfb)" ] && echo "$pid"
    done
}

# suite_end NAME RC CACHE OUTDIR COPY_GLOB [PID...]: a suite's last words.
# Ends its runs (PID...), then whatever Wine process or Xvfb server they
# left (suite_leftovers), reports prefix copies (CACHE/COPY_GLOB) left
# behind, removes CACHE (and its parent when empty). Returns RC, or 1 when
# it had to clean up after a run that passed.
suite_end() {
    local name=$1 rc=$2 cache=$3 outdir=$4 glob=$5 pid left d
    shift 5
    for pid in "$@"; do kill -TERM "$pid" 2>/dev/null; done
    for pid in "$@"; do wait "$pid" 2>/dev/null; done
    left=$(suite_leftovers "$cache" "$outdir")
    if [ -n "$left" ]; then
        echo "$name: ending processes left by the runs: $(echo $left)"
        # shellcheck disable=SC2086
        kill $left 2>/dev/null; sleep 1
        # shellcheck disable=SC2086
        kill -9 $left 2>/dev/null
        [ "$rc" -eq 0 ] && rc=1
    fi
    for d in "$cache"/$glob; do
        [ -e "$d" ] || continue
        echo "$name: removing a prefix copy left behind: $d"
        [ "$rc" -eq 0 ] && rc=1
    done
    rm -rf "$cache"
    rmdir "$(dirname "$cache")" 2>/dev/null
    return "$rc"
}
