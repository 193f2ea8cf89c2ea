#!/usr/bin/env bash
# One scenario of the real Chanwiz.exe (or chanwiz-cli.exe) under Wine,
# compared with the simulation. Options, expectations and environment:
# tests/wine/README.md ("run_scenario.sh").
# usage: tests/wine/run_scenario.sh [OPTION]... MACHINE SCRIPT [ARGS...]
# Prints "PASS NAME (N s)" or "FAIL NAME: why" last; exit 0 on PASS.
set -uo pipefail
exec </dev/null
HERE=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
ROOT=$(cd "$HERE/../.." && pwd)
# shellcheck source=common.sh
. "$HERE/common.sh"
suite_timeout "${SCENARIO_TIMEOUT:-240}" "$0" "$@"
# The same locale for every run: Wine takes its ANSI code page (1252) and the
# user's regional settings from it (another code page: tests/wine/README.md).
export LC_ALL=${CHANWIZ_WINE_LOCALE:-C.UTF-8}
# shellcheck source=../../scripts/wine/wine-env.sh
. "$ROOT/scripts/wine/wine-env.sh"
# shellcheck source=prefix.sh
. "$HERE/prefix.sh"
REGTOOL=$ROOT/scripts/wine/regtool.py

NAME="" OUT="" EXPECTS=() NO_INI=0 VAMP=0 CLI=0 CLI_OPTS="" MSI="" WINDOWS=xp ACCESS_CHECK=()
while [ $# -gt 0 ]; do
    case "$1" in
        --windows) WINDOWS=$2; shift 2 ;;
        --cli) CLI=1; CLI_OPTS=$2; shift 2 ;;
        --msi) MSI=$2; shift 2 ;;
        --name) NAME=$2; shift 2 ;;
        --no-ini) NO_INI=1; shift ;;
        --vamp) VAMP=1; shift ;;
        --access-restored) ACCESS_CHECK=(--access-may-change); shift ;;
        --out) OUT=$2; shift 2 ;;
        --expect) EXPECTS+=("$2"); shift 2 ;;
        -*) echo "run_scenario: unknown option $1" >&2; exit 2 ;;
        *) break ;;
    esac
done
[ $# -ge 2 ] || { echo "run_scenario: MACHINE and SCRIPT missing (tests/wine/README.md)" >&2; exit 2; }
MACHINE=$1 SCRIPT=$2
shift 2
ARGS=("$@")
case "$MACHINE" in /*) ;; *) [ -f "$MACHINE" ] || MACHINE=$ROOT/$MACHINE ;; esac
[ -f "$MACHINE" ] || { echo "run_scenario: no machine file $1" >&2; exit 2; }
MACHINE=$(cd "$(dirname "$MACHINE")" && pwd)/$(basename "$MACHINE")
[ -n "$NAME" ] || NAME=$(basename "$MACHINE" .reg)-$(printf '%s' "$SCRIPT ${ARGS[*]}" | md5sum | cut -c1-8)
[ -n "$OUT" ] || OUT=$ROOT/build/wine-out/$NAME
mkdir -p "$OUT"
OUT=$(cd "$OUT" && pwd)
# (run.log is the caller's: run_all.sh writes this script's output there.)
rm -rf "$OUT/shots" "$OUT/gui" "$OUT/sim-files"
find "$OUT" -maxdepth 1 -type f ! -name run.log -delete
verdict_start "$NAME" "$OUT"

# --- what is needed --------------------------------------------------------
wine_check || die "Wine is missing (scripts/install-deps.sh)"
must pick_chanwiz_exe "$ROOT" run_scenario
must prefix_kind "$WINDOWS"
[ "$WINDOWS$PREFIX_BITS" != x6464 ] ||
    die "64-bit Windows runs the 32-bit program in its 32-bit view: a 64-bit $EXE shows nothing of it"
CLI_EXE=${CHANWIZ_CLI:-$(dirname "$EXE")/chanwiz-cli.exe}
CLI_ARGS=()
if [ "$CLI" = 1 ]; then
    [ -f "$CLI_EXE" ] || die "no $CLI_EXE (build the mingw-i686 preset or set CHANWIZ_CLI)"
    eval "CLI_ARGS=($CLI_OPTS)" || die "cannot split the options $CLI_OPTS"
fi
suite_tools run_scenario
SIM=${CHANWIZ_SIM:-$ROOT/build/native/chanwiz-sim} TOOLS=$CHANWIZ_TOOLS
# The stand-in of the component is built for the program's bitness: the real
# one is a 32-bit in-process server, which only a 32-bit program can load.
INI=$ROOT/resources/Chanwiz.ini
[ "$NO_INI" = 1 ] && INI=""
if [ "$PREFIX_BITS" = 32 ]; then VAMP_DLL=${CHANWIZ_VAMP_DLL:-$ROOT/build/vamp-double-i686/34com.dll}
else VAMP_DLL=${CHANWIZ_VAMP_DLL:-$ROOT/build/vamp-double/34com.dll}; fi
[ "$VAMP" = 0 ] || [ -f "$VAMP_DLL" ] || die "no $VAMP_DLL (tests/wine/vamp_double/build.sh)"

printf '%s\n' "$SCRIPT" >"$OUT/script.txt"

# --- 1. a copy of the base prefix of the Windows, its server kept up ----------------------
prefix_traps
mkdir -p "${CHANWIZ_WINE_CACHE:-$ROOT/build/wine-cache}"
WORK=$(mktemp -d "${CHANWIZ_WINE_CACHE:-$ROOT/build/wine-cache}/scenario.XXXXXX")
must prefix_up "${CHANWIZ_WINE_BASES:-$(prefix_bases "$ROOT")}" "$WINDOWS" "$WORK" "$OUT"
# --- 2. machine ----------------------------------------------------------------
DRIVE=$WINEPREFIX/drive_c
# The machine file, its win.ini sections and its keys' access lists; Wine's
# desktop brought up (it registers the display adapters under Control\Class,
# with the time in DriverDateData: now, before the first dump, not during the run).
must prefix_machine "$MACHINE" "$TOOLS" "$OUT"
if [ "$VAMP" = 1 ]; then
    # Where the wizard's regsvr32 finds it: the system folder as its programs see it.
    SYSDIR=system32
    [ "$PREFIX_ARCH$PREFIX_BITS" != win6432 ] || SYSDIR=syswow64
    cp "$VAMP_DLL" "$DRIVE/windows/$SYSDIR/34com.dll" || die "could not copy 34com.dll into the prefix"
    registered=1
    printf 'REGEDIT4\n\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\Chanwiz Test\\Vamp]\n' >"$OUT/vamp.reg"
    while IFS=$'\t' read -r vname vvalue; do
        case "$vname" in
            Item22 | DeviceCount) printf '"%s"=dword:%08x\n' "$vname" "$vvalue" >>"$OUT/vamp.reg" ;;
            Registered) registered=$vvalue ;;
        esac
    done < <("$PYTHON" "$REGTOOL" sim-values "$MACHINE" Vamp)
    must prefix_regedit "$OUT/vamp.reg" "$OUT/regedit.log"
    if [ "$registered" != 0 ]; then
        timeout -k 5 60 "$WINE" "C:\\windows\\$SYSDIR\\regsvr32.exe" /s 'C:\windows\system32\34com.dll' >>"$OUT/regedit.log" 2>&1 ||
            die "$SYSDIR\\regsvr32 of 34com.dll failed (regedit.log)"
    fi
fi
# --- 3. program ----------------------------------------------------------------
MODULE=$("$PYTHON" "$REGTOOL" sim-value "$MACHINE" ModuleFileName 'C:\Program Files\Morvex\Chanwiz\Chanwiz.exe')
case "$MODULE" in [Cc]:\\*) ;; *) die "the machine's program path $MODULE is not on C:" ;; esac
REL=${MODULE:3}
REL=${REL//\\//}
CLI_RUN=$DRIVE/$(dirname "$REL")/chanwiz-cli.exe
if [ -n "$MSI" ]; then
    # The package is 32-bit: in a 64-bit prefix its files go to Program Files (x86).
    MSI_DIR="$DRIVE/Program Files$([ "$PREFIX_ARCH" = win64 ] && echo ' (x86)')/Morvex/Chanwiz"
    msi_install() { timeout -k 5 180 "$WINE" msiexec /i "$(wine_path "$1")" /qn >>"$OUT/msiexec.log" 2>&1; }
    msi_products() {  # the ProductCodes named Chanwiz in Wine's uninstall list
        timeout -k 5 60 "$WINE" uninstaller --list 2>/dev/null | tr -d '\r' | sed -n 's/^\({[^}]*}\)|||Chanwiz$/\1/p'
    }
    msi_install "$MSI" || die "msiexec /i $(basename "$MSI") /qn: exit $?"
    for f in Chanwiz.exe chanwiz-cli.exe Chanwiz.ini; do
        [ -f "$MSI_DIR/$f" ] || REASONS+=(" the package put no $f into ${MSI_DIR#"$DRIVE"/}")
    done
    # Windows puts a per-machine package's shortcut into the Start menu of all
    # users; Wine 8 into the installing user's. Either counts.
    MSI_SHORTCUT=$(find "$DRIVE/ProgramData" "$DRIVE/users" -ipath '*/Start Menu/Programs/Chanwiz.lnk' 2>/dev/null | head -1)
    [ -n "$MSI_SHORTCUT" ] || REASONS+=(" the package made no Start-menu shortcut Chanwiz.lnk")
    cp "$MSI_DIR/Chanwiz.ini" "$OUT/installed-Chanwiz.ini" 2>/dev/null && INI=$OUT/installed-Chanwiz.ini
    CLI_RUN=$MSI_DIR/chanwiz-cli.exe
    if [ "$(pe_machine "$CLI_EXE")" = x64 ]; then
        CLI_RUN=$MSI_DIR/chanwiz-cli-x64.exe
        cp "$CLI_EXE" "$CLI_RUN" || die "could not copy $CLI_EXE into the install folder"
    fi
    timeout -k 5 60 "$WINE" "$CLI_RUN" --version 2>/dev/null | tr -d '\r' >"$OUT/cli-version.txt"
else
    mkdir -p "$DRIVE/$(dirname "$REL")"
    cp "$EXE" "$DRIVE/$REL" || die "could not copy $EXE into the prefix"
    [ "$CLI" = 0 ] || cp "$CLI_EXE" "$CLI_RUN" || die "could not copy $CLI_EXE into the prefix"
    if [ -n "$INI" ] && [ -f "$INI" ]; then cp "$INI" "$DRIVE/$(dirname "$REL")/Chanwiz.ini"; fi
fi
INI_ARGS=(--no-ini)
if [ -n "$INI" ] && [ -f "$INI" ]; then INI_ARGS=(--ini "$INI"); fi

# --- 4. the run under Wine ---------------------------------------------------------
regdump() { prefix_regdump "$1" "$TOOLS" "$OUT/regdump.log" "${PREFIX_KEYS[@]}" 2>>"$OUT/errors.log"; }
# A restarted server needs the access lists again (Wine keeps them only while
# its server runs), and brings a new desktop, which registers the display
# adapters again: before the dumps, as above.
server_up() {  # server_up DESKTOP_LOG: WINEPREFIX's server kept up again
    timeout -k 5 30 "$WINESERVER" -p >>"$OUT/wineserver.log" 2>&1 || { echo "could not restart the wineserver" >&2; return 1; }
    prefix_security "$MACHINE" "$TOOLS" "$OUT/regedit.log" && prefix_desktop "$TOOLS" "$1"
}
drive() {  # drive DIR [OPTION...]: Chanwiz.exe answered by ui-driver; transcript and driver.log into DIR
    local dir=$1
    shift
    timeout -k 5 150 "$WINE" "$TOOLS/ui-driver.exe" --script "@$(wine_path "$OUT/script.txt")" \
        --transcript "$(wine_path "$dir/transcript-wine.jsonl")" "$@" --start "$MODULE" -- "${ARGS[@]}" >"$dir/driver.log" 2>&1
}
GUI_TWIN=0
if [ "$CLI" = 1 ] && [ "$SCRIPT" != "-" ]; then
    # The same machine for Chanwiz.exe: a copy of this prefix as it is now.
    GUI_TWIN=1
    wine_stop
    timeout 120 cp -a --reflink=auto "$WINEPREFIX" "$WORK/gui-prefix" ||
        die "could not copy the prefix for Chanwiz.exe"
    rm -f "$WORK/gui-prefix/wineserver"
    must server_up "$OUT/desktop.log"
fi
regdump "$OUT/registry-before.dump" || die "regdump before the run failed (see regdump.log)"
mkdir -p "$OUT/shots"
driver_rc=0
if [ "$GUI_TWIN" = 1 ]; then
    mkdir -p "$OUT/gui"
    (
        export WINEPREFIX=$WORK/gui-prefix
        server_up "$OUT/gui/desktop.log" 2>>"$OUT/errors.log" || exit 1
        regdump "$OUT/gui/registry-before.dump" || exit 1
        drive "$OUT/gui"
        regdump "$OUT/gui/registry-after.dump" || exit 1
        wine_drop_prefix
    ) || REASONS+=(" the run of Chanwiz.exe beside it failed (gui/driver.log, errors.log)")
fi
if [ "$CLI" = 1 ]; then
    # The console program, as a deployment tool starts it: no window, no input.
    timeout -k 5 150 "$WINE" "$CLI_RUN" "${CLI_ARGS[@]}" \
        --transcript "$(wine_path "$OUT/transcript-wine.jsonl")" \
        >"$OUT/cli-stdout.txt" 2>"$OUT/cli-stderr.txt" || driver_rc=$?
    # The stand-in is no file of the package: out before the package goes.
    case "$CLI_RUN" in */chanwiz-cli-x64.exe) rm -f "$CLI_RUN" ;; esac
    tr -d '\r' <"$OUT/cli-stderr.txt" | grep -v '^[0-9a-f]*:\(fixme\|err\|warn\):' >"$OUT/driver.log"
    echo "exit code $driver_rc" >>"$OUT/driver.log"
else
    drive "$OUT" --screenshots "$(wine_path "$OUT/shots")" || driver_rc=$?
    tr -d '\r' <"$OUT/driver.log" >"$OUT/driver.log.tmp" && mv "$OUT/driver.log.tmp" "$OUT/driver.log"
fi
regdump "$OUT/registry-after.dump" || die "regdump after the run failed (see regdump.log)"

# --- 5. the simulation ----------------------------------------------------------------
sim() {  # sim DIR ARGS...: chanwiz-sim on the machine, its registry into DIR/sim-registry.reg
    local dir=$1
    shift
    # (in a folder of its own: output files named for Windows, C:\..., land there)
    mkdir -p "$OUT/sim-files"
    ( cd "$OUT/sim-files" && timeout -k 5 60 "$SIM" --machine "$MACHINE" "${INI_ARGS[@]}" --quiet \
        --out "$dir/sim-registry.reg" "$@" ) >"$dir/sim.log" 2>&1
}
sim_rc=0
if [ "$CLI" = 1 ]; then runs=("${CLI_ARGS[@]}"); else runs=(--answers "@$OUT/script.txt"); fi
# (the wizard's own arguments last)
sim "$OUT" "${runs[@]}" --transcript "$OUT/transcript-sim.jsonl" --changes "$OUT/sim-changes.reg" \
    "${ARGS[@]}" || sim_rc=$?

# --- 6. comparisons -------------------------------------------------------------------
if [ "$CLI" = 1 ]; then
    [ "$driver_rc" -eq "$sim_rc" ] ||
        REASONS+=(" exit codes differ: chanwiz-cli $driver_rc, chanwiz-sim $sim_rc")
    # What the program said on standard error, beside Wine's own messages.
    diff <(grep '^chanwiz-cli: ' "$OUT/driver.log" | sed 's/^chanwiz-cli: //') \
         <(grep '^chanwiz-sim: ' "$OUT/sim.log" | sed 's/^chanwiz-sim: //') >"$OUT/messages.diff" ||
        REASONS+=(" the messages on standard error differ (messages.diff)")
elif ! grep -qx "ui-driver: finished with exit code $driver_rc" "$OUT/driver.log"; then
    why=$(cat "$OUT/wineserver.log" "$OUT/driver.log" 2>/dev/null | grep -v '^ui-driver: \(started\|watching\)' | tail -1)
    REASONS+=(" ui-driver did not finish (rc $driver_rc): ${why:-no message}")
elif [ "$driver_rc" -ne "$sim_rc" ]; then
    REASONS+=(" exit codes differ: ui-driver $driver_rc, chanwiz-sim $sim_rc")
fi
if [ -f "$OUT/transcript-wine.jsonl" ] && [ -f "$OUT/transcript-sim.jsonl" ]; then
    "$PYTHON" "$HERE/compare_transcripts.py" "$OUT/transcript-sim.jsonl" "$OUT/transcript-wine.jsonl" \
        >"$OUT/transcript-compare.txt" 2>&1 ||
        REASONS+=(" transcripts differ (transcript-compare.txt)")
else
    REASONS+=(" a transcript is missing")
fi
compare() {  # compare DIR: Wine's registry changes in DIR (its dumps) against the simulation's
    "$PYTHON" "$REGTOOL" compare --machine "$MACHINE" --sim-out "$1/sim-registry.reg" --outdir "$1" \
        --before "$1/registry-before.dump" --after "$1/registry-after.dump" \
        "${ACCESS_CHECK[@]}" "${PREFIX_KEYS[@]}" >"$1/registry-compare.txt" 2>&1
}
if [ -f "$OUT/sim-registry.reg" ]; then
    compare "$OUT" || REASONS+=(" registry changes differ (registry-compare.txt)")
else
    REASONS+=(" chanwiz-sim wrote no registry (sim.log)")
fi
if [ "$GUI_TWIN" = 1 ]; then
    # Chanwiz.exe with the script against the simulation with the script, then
    # the two Wine registries against each other.
    sim "$OUT/gui" --answers "@$OUT/script.txt" "${ARGS[@]}"
    compare "$OUT/gui" ||
        REASONS+=(" Chanwiz.exe's registry changes differ from the simulation's (gui/registry-compare.txt)")
    cmp -s "$OUT/gui/registry-wine.txt" "$OUT/registry-wine.txt" || {
        REASONS+=(" chanwiz-cli.exe and Chanwiz.exe left different registries")
        diff "$OUT/gui/registry-wine.txt" "$OUT/registry-wine.txt" | head -10 | sed 's/^/  /'
    }
fi
for f in transcript-compare.txt registry-compare.txt; do
    [ -f "$OUT/$f" ] && sed 's/^/  /' "$OUT/$f"
done

has_line() {  # has_line FILE TEXT: a line of FILE holds TEXT's " ... "-separated pieces in order
    [ -f "$1" ] && TEXT=$2 awk 'BEGIN { n = split(ENVIRON["TEXT"], p, / \.\.\. /) }
        { s = $0; for (i = 1; i <= n; i++) { at = index(s, p[i]); if (!at) next; s = substr(s, at + length(p[i])) }
          found = 1; exit }
        END { exit !found }' "$1"
}
for e in "${EXPECTS[@]}"; do
    verb=${e%% *}
    arg=${e#* }
    [ "$arg" = "$e" ] && arg=""
    case "$verb" in
        contains) grep -qF -- "$arg" "$OUT/transcript-wine.jsonl" 2>/dev/null || REASONS+=(" transcript lacks: $arg") ;;
        lacks) ! grep -qF -- "$arg" "$OUT/transcript-wine.jsonl" 2>/dev/null || REASONS+=(" transcript holds: $arg") ;;
        sim-contains) grep -qF -- "$arg" "$OUT/transcript-sim.jsonl" 2>/dev/null || REASONS+=(" simulation's transcript lacks: $arg") ;;
        sim-lacks) ! grep -qF -- "$arg" "$OUT/transcript-sim.jsonl" 2>/dev/null || REASONS+=(" simulation's transcript holds: $arg") ;;
        pages)
            got=$(grep -o '"event":"page","template":[0-9]*' "$OUT/transcript-wine.jsonl" 2>/dev/null |
                  sed 's/.*://' | paste -sd, -)
            [ "$got" = "$arg" ] || REASONS+=(" pages $got, expected $arg") ;;
        registry) has_line "$OUT/registry-wine.txt" "$arg" || REASONS+=(" registry changes lack: $arg") ;;
        registry-lacks) ! has_line "$OUT/registry-wine.txt" "$arg" || REASONS+=(" registry changes hold: $arg") ;;
        no-registry-changes) [ ! -s "$OUT/registry-wine.txt" ] || REASONS+=(" the registry changed") ;;
        changes)
            got=$(grep -c . "$OUT/registry-wine.txt" 2>/dev/null)
            [ "${got:-0}" = "$arg" ] || REASONS+=(" ${got:-0} registry change line(s), expected $arg") ;;
        value) has_line "$OUT/registry-wine-after.txt" "$arg" 2>/dev/null || REASONS+=(" registry after the run lacks: $arg") ;;
        security) has_line "$OUT/registry-security.txt" "$arg" 2>/dev/null || REASONS+=(" registry-security.txt lacks: $arg") ;;
        exit) [ "$driver_rc" = "$arg" ] || REASONS+=(" exit code $driver_rc, expected $arg") ;;
        file)
            wpath=${arg%% *}
            text=${arg#* }
            upath=$DRIVE/${wpath:3}
            upath=${upath//\\//}
            if [ ! -f "$upath" ]; then
                REASONS+=(" the run wrote no $wpath")
            elif ! text_of "$upath" | grep -qF -- "$text"; then
                REASONS+=(" $wpath lacks: $text")
            fi ;;
        undo-restores)
            timeout -k 5 60 "$WINE" regedit /S "$arg" >>"$OUT/regedit.log" 2>&1 ||
                REASONS+=(" regedit /S $arg failed")
            regdump "$OUT/registry-undone.dump" || die "regdump after the undo failed (see regdump.log)"
            dump_diff "$OUT/registry-before.dump" "$OUT/registry-undone.dump" >"$OUT/undone.diff" || {
                REASONS+=(" the registry after regedit /S $arg is not as before the run")
                head -10 "$OUT/undone.diff" | sed 's/^/  /'
            } ;;
        upgrade-to)
            msi_install "$arg" || REASONS+=(" msiexec /i $(basename "$arg") /qn: exit $?")
            products=$(msi_products)
            [ "$products" = "$(msiinfo export "$arg" Property | tr -d '\r' | sed -n 's/^ProductCode\t//p')" ] ||
                REASONS+=(" after the upgrade the uninstall list holds [${products//$'\n'/ }], not only $(basename "$arg")'s product")
            MSI=$arg ;;
        uninstalled)
            timeout -k 5 180 "$WINE" msiexec /x "$(wine_path "$MSI")" /qn >>"$OUT/msiexec.log" 2>&1 || REASONS+=(" msiexec /x $(basename "$MSI") /qn: exit $?")
            left=$(find "$DRIVE" \( -ipath '*/Morvex' -o -ipath '*/Morvex/*' -o -iname 'Chanwiz.lnk' \) -printf '%P ' 2>/dev/null)
            [ -z "$left" ] || REASONS+=(" left after the uninstall: $left")
            [ -z "$(msi_products)" ] || REASONS+=(" the uninstall list still holds Chanwiz")
            regdump "$OUT/registry-uninstalled.dump" || die "regdump after the uninstall failed (see regdump.log)"
            dump_diff "$OUT/registry-after.dump" "$OUT/registry-uninstalled.dump" >/dev/null ||
                REASONS+=(" the uninstall changed the drivers' keys or the wizard's mark") ;;
        stdout) grep -qF -- "$arg" "$OUT/cli-stdout.txt" 2>/dev/null || REASONS+=(" standard output lacks: $arg") ;;
        stderr) grep -qF -- "$arg" "$OUT/driver.log" 2>/dev/null || REASONS+=(" standard error lacks: $arg") ;;
        *) REASONS+=(" unknown expectation: $e") ;;
    esac
done
[ "$CLI" = 1 ] || [ -n "$(ls "$OUT/shots" 2>/dev/null)" ] || REASONS+=(" no screenshot was saved")
finish
