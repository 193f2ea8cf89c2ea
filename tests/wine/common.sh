# shellcheck shell=bash
# Shared by the Wine suites; each function: tests/wine/README.md ("common.sh").

# Debian's python3 when there is one: a version manager's shim on PATH costs
# about a second per start, and the scenarios start Python several times.
if [ -x /usr/bin/python3 ]; then PYTHON=/usr/bin/python3; else PYTHON=python3; fi

pe_machine() {
    local off
    [ "$(head -c 2 "$1" 2>/dev/null)" = MZ ] || return 1
    off=$(od -An -tu4 -j 60 -N 4 "$1" | tr -d ' ')
    [ "$(od -An -c -j "$off" -N 4 "$1" | tr -d ' ')" = 'PE\0\0' ] || return 1
    case "$(od -An -tx2 -j $((off + 4)) -N 2 "$1" | tr -d ' ')" in
        014c) echo i386 ;;
        8664) echo x64 ;;
        *) return 1 ;;
    esac
}

pick_chanwiz_exe() {
    local root=$1 who=$2
    NOT_RUN_WHY=""
    if [ -n "${CHANWIZ_EXE:-}" ]; then
        EXE=$CHANWIZ_EXE
    elif wine_runs_32bit; then
        EXE=$root/build/mingw-i686/Chanwiz.exe
    else
        # The newest 64-bit one under build/ (the suites' own folders left out).
        EXE=$(find "$root/build" \( -path "$root/build/wine-cache" -o -path "$root/build/wine-out" \) -prune -o \
                  -name Chanwiz.exe -type f -printf '%T@ %p\n' 2>/dev/null | sort -rn | cut -d' ' -f2- |
              while IFS= read -r f; do [ "$(pe_machine "$f")" != x64 ] || { echo "$f"; break; }; done)
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

verdict_start() {
    NAME=$1 OUT=$2 T0=$(date +%s.%N) REASONS=()
    export WINE_RETRY_NOTES=$OUT/wine-retries.txt
    rm -f "$WINE_RETRY_NOTES"
}
elapsed() { LC_ALL=C awk -v a="$T0" -v b="$(date +%s.%N)" 'BEGIN{printf "%.1f", b-a}'; }
finish() {
    local notes="" IFS=';'
    [ -s "$WINE_RETRY_NOTES" ] && notes=" [Wine: $(awk 'NR > 1 { printf "; " } { printf "%s", $0 }' "$WINE_RETRY_NOTES")]"
    if [ ${#REASONS[@]} -eq 0 ]; then
        echo "PASS $NAME (${PASS_NOTE:-}$(elapsed) s)$notes" | tee "$OUT/result.txt"
        exit 0
    fi
    echo "FAIL $NAME ($(elapsed) s): ${REASONS[*]# }$notes" | tee "$OUT/result.txt"
    exit 1
}
die() { REASONS+=(" $*"); finish; }
must() { "$@" 2>>"$OUT/errors.log" || die "$(tail -n 1 "$OUT/errors.log")"; }

text_of() {
    if [ "$(head -c 2 "$1" | od -An -tx1 | tr -d ' ')" = fffe ]; then iconv -f UTF-16 -t UTF-8 "$1"; else cat "$1"; fi |
        tr -d '\r'
}

trim() { local s=$1; s=${s#"${s%%[![:space:]]*}"}; s=${s%"${s##*[![:space:]]}"}; printf '%s' "$s"; }

suite_timeout() {
    local var
    var=CHANWIZ_INNER_$(basename "$2" .sh | tr -c 'A-Za-z0-9_\n' _)
    [ -z "${!var:-}" ] || return 0
    export "$var"=1
    exec timeout -k 30 "$1" bash "${@:2}"
}

suite_args() {
    JOBS=2 ARGS=()
    while [ $# -gt 0 ]; do
        case "$1" in
            -j) JOBS=${2:-}; shift; shift ;;
            -j*) JOBS=${1#-j}; shift ;;
            *) ARGS+=("$1"); shift ;;
        esac
    done
    case "$JOBS" in '' | *[!0-9]* | 0) echo "$(basename "$0"): -j needs a number" >&2; exit 2 ;; esac
}

ini_sections() {
    "$PYTHON" - "$1" <<'PY'
import re, sys
seen = []
for line in open(sys.argv[1], encoding="cp1252", errors="replace"):
    m = re.match(r"\s*\[([^\]]*)\]", line)
    name = m.group(1).strip() if m else None
    if name and not name.isdigit():
        print("section [%s] is no country code: it can never be shown" % name, file=sys.stderr)
    elif name and str(int(name)) not in seen:
        seen.append(str(int(name)))
print("\n".join(seen))
PY
}

suite_begin() {
    SUITE=$1 SUITE_OUT=$2 PIDS=() JOB_NAMES=() JOB_GROUPS=() JOB_LOGS=() JOB_CMDS=()
    declare -gA PASSED=() FAILED=()
    command -v Xvfb >/dev/null 2>&1 || { echo "$SUITE: Xvfb is missing (scripts/install-deps.sh)" >&2; exit 2; }
    suite_tools "$SUITE"
    CACHE=$ROOT/build/wine-cache/$SUITE-$$
    mkdir -p "$CACHE" "$SUITE_OUT"
    touch "$CACHE/.started"
    trap suite_cleanup EXIT
    trap 'echo "$SUITE: interrupted or out of time"; exit 1' INT TERM
    suite_copy "${CHANWIZ_SIM:-$ROOT/build/native/chanwiz-sim}" chanwiz-sim
    CHANWIZ_WINE_BASES=$(prefix_bases "$ROOT")
    export CHANWIZ_TOOLS CHANWIZ_SIM=$CACHE/chanwiz-sim CHANWIZ_WINE_CACHE=$CACHE CHANWIZ_WINE_BASES
}
suite_tools() {
    if [ "$PREFIX_BITS" = 32 ]; then ARCH=i686; else ARCH=x86_64; fi
    if [ -z "${CHANWIZ_TOOLS:-}" ]; then
        CHANWIZ_TOOLS=$("$ROOT/scripts/wine/build-ui-driver.sh" --arch "$ARCH" | tail -1) ||
            { echo "$1: could not build the ui-driver tools" >&2; exit 2; }
    fi
    export CHANWIZ_TOOLS
    # Built when missing: the pictures command is run by hand on a fresh clone.
    if [ -z "${CHANWIZ_SIM:-}" ] && [ ! -x "$ROOT/build/native/chanwiz-sim" ]; then
        echo "$1: building chanwiz-sim (native preset)"
        (cd "$ROOT" && timeout 900 cmake --preset native >/dev/null &&
            timeout 900 cmake --build --preset native --target chanwiz-sim -j2 >/dev/null) ||
            { echo "$1: could not build chanwiz-sim" >&2; exit 2; }
    fi
}
suite_copy() {
    cp "$1" "$CACHE/$2" 2>/dev/null || { echo "$SUITE: cannot copy $1" >&2; exit 2; }
}
suite_job() {
    JOB_NAMES+=("$1") JOB_GROUPS+=("$2") JOB_LOGS+=("$3")
    shift 3
    JOB_CMDS+=("$(printf '%q ' "$@")")
}

suite_run() {
    local show=$1 next=0 running=0 pid done_pid rc i g verdict
    local -a cmd
    local -A index_of=()
    while [ $next -lt ${#JOB_CMDS[@]} ] || [ $running -gt 0 ]; do
        while [ $running -lt "$JOBS" ] && [ $next -lt ${#JOB_CMDS[@]} ]; do
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
        i=${index_of[$done_pid]} g=${JOB_GROUPS[${index_of[$done_pid]}]}
        unset "index_of[$done_pid]"
        running=$((running - 1))
        verdict=$(grep -E '^(PASS|FAIL) ' "${JOB_LOGS[$i]}" 2>/dev/null | tail -1)
        if [ "$rc" -eq 0 ]; then
            PASSED[$g]=$((${PASSED[$g]:-0} + 1))
            echo "  ${g:+$g }${verdict:-PASS ${JOB_NAMES[$i]}}"
        else
            FAILED[$g]=$((${FAILED[$g]:-0} + 1))
            echo "  ${g:+$g }${verdict:-FAIL ${JOB_NAMES[$i]}: exit code $rc}, see ${JOB_LOGS[$i]}"
            grep -E "$show" "${JOB_LOGS[$i]}" | head -14 | sed 's/^/    /'
        fi
        ! declare -F job_done >/dev/null || job_done "$i" "$rc"
    done
    PIDS=()
}

suite_total() {
    local g p=0 f=0
    for g in "${!PASSED[@]}"; do p=$((p + PASSED[$g])); done
    for g in "${!FAILED[@]}"; do f=$((f + FAILED[$g])); done
    echo "$p passed, $f failed"
}

suite_cleanup() {
    local rc=$? pid left d env f
    # timeout(1) sends its TERM twice (to us and to our process group): the
    # second must not cut the cleanup short.
    trap - EXIT
    trap '' INT TERM
    for pid in "${PIDS[@]}"; do kill -TERM "$pid" 2>/dev/null; done
    for pid in "${PIDS[@]}"; do wait "$pid" 2>/dev/null; done
    left=$(
        for env in $(grep -lz "^WINEPREFIX=$CACHE/" /proc/[0-9]*/environ 2>/dev/null); do
            pid=${env#/proc/}
            pid=${pid%/environ}
            wine_is_loader "$(readlink "/proc/$pid/exe" 2>/dev/null)" && echo "$pid"
        done
        for f in "$SUITE_OUT"/*/xvfb.pid; do
            [ -f "$f" ] && [ "$f" -nt "$CACHE/.started" ] || continue
            pid=$(cat "$f")
            [ -n "$pid" ] && kill -0 "$pid" 2>/dev/null &&
                [ "$(readlink "/proc/$pid/exe" 2>/dev/null)" = "$(command -v Xvfb)" ] && echo "$pid"
        done
    )
    if [ -n "$left" ]; then
        echo "$SUITE: ending processes left by the runs: $(echo $left)"
        # shellcheck disable=SC2086
        kill $left 2>/dev/null; sleep 1
        # shellcheck disable=SC2086
        kill -9 $left 2>/dev/null
        [ "$rc" -eq 0 ] && rc=1
    fi
    for d in "$CACHE"/scenario.* "$CACHE"/undo.*; do
        [ -e "$d" ] || continue
        echo "$SUITE: removing a prefix copy left behind: $d"
        [ "$rc" -eq 0 ] && rc=1
    done
    rm -rf "$CACHE"
    rmdir "$(dirname "$CACHE")" 2>/dev/null
    exit "$rc"
}
