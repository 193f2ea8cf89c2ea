#!/usr/bin/env bash
# The stand-in 34com.dll under Wine (tests/wine/README.md): the client's calls by
# the wizard's method positions, then the wizard's own SAA713x and CX2388X probes.
# 64-bit where the machine cannot run 32-bit programs, and the log says so.
# usage: tests/wine/vamp_double/run-wine.sh        exit code 0 when every check passed
set -uo pipefail
exec </dev/null

if [ -z "${CHANWIZ_VAMP_INNER:-}" ]; then
    export CHANWIZ_VAMP_INNER=1
    exec timeout -k 20 "${VAMP_TIMEOUT:-600}" bash "$0" "$@"
fi

HERE=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
ROOT=$(cd "$HERE/../../.." && pwd)
# shellcheck source=../../../scripts/wine/wine-env.sh
. "$ROOT/scripts/wine/wine-env.sh"
wine_check || exit 2

WORK=$(mktemp -d "${TMPDIR:-/tmp}/chanwiz-vamp.XXXXXX")
PASSED=0
FAILED=0
cleanup() {  # timeout's second TERM (to our group) must not cut it short
    trap - EXIT; trap '' INT TERM
    wine_drop_prefix
    rm -rf "$WORK"
}
trap cleanup EXIT INT TERM

ARCH=i686 BITS=win32
wine_runs_32bit || { ARCH=x86_64 BITS=win64
    echo "NOTE: this machine cannot run 32-bit programs: the double and the probes are built and run as 64-bit ones"; }
wine_use_arch "$BITS"
"$HERE/build.sh" --arch "$ARCH" --probes "$ROOT/build/vamp-double-probes-$ARCH" || exit 2
mkdir -p "$WORK/app"
cp "$ROOT/build/vamp-double-probes-$ARCH"/*.dll "$ROOT/build/vamp-double-probes-$ARCH"/*.exe "$WORK/app/" || exit 2
wine_new_prefix "$WORK/prefix" >/dev/null || exit 2
cd "$WORK/app" || exit 2

tally() {  # tally OK DESCRIPTION: counts and prints a check, with the log of a failed one
    if [ "$1" = 1 ]; then
        PASSED=$((PASSED + 1)); echo "PASS: $2"
    else
        FAILED=$((FAILED + 1)); echo "FAIL: $2"; sed 's/^/    /' "$WORK/client.log"
    fi
}
run_exe() {  # run_exe PROGRAM DESCRIPTION EXPECTED [ARGS...]
    local program=$1 what=$2 want=$3 got
    shift 3
    timeout -k 5 60 "$WINE" "$program" "$@" >"$WORK/client.log" 2>&1
    got=$?
    tally "$((got == want))" "$what (exit $got, expected $want)"
}
client() { run_exe vamp_client.exe "$@"; }
probes() { run_exe wizard_probes.exe "$@"; }  # exit code 10 * TunerVariant + result (wizard_probes.cpp)
regsvr() { timeout -k 5 60 "$WINE" regsvr32 "$@" /s 34com.dll >/dev/null 2>&1; }
setting() {  # setting NAME VALUE
    timeout -k 5 60 "$WINE" reg add 'HKLM\SOFTWARE\Chanwiz Test\Vamp' /v "$1" /t REG_DWORD \
        /d "$2" /f >/dev/null 2>&1
}

client "not registered: the class cannot be created" 20
client "registered by regsvr32 from the system folder, Item22 unset: answer 0" 0 --register
grep -q 'regsvr32.exe" /s 34com.dll: wait 0, exit code 0' "$WORK/client.log"
tally "$(($? == 0))" "registration ran and ended within the wait"
setting Item22 1
client "Item22 = 1: the alternative tuner" 3
setting Item22 2
client "Item22 = 2: the usual tuner" 0
setting DeviceCount 0
client "no device listed" 21
setting DeviceCount 1
regsvr /u
client "unregistered again" 20
regsvr
setting Item22 1
client "registered with Wine's regsvr32" 3

# The wizard's probes.
regsvr /u
client "unregistered before the wizard's probe" 20
probes "SAA713x probe registers the component, answer 1: variant 3" 31 saa
client "the probe left it registered" 3
setting Item22 0
probes "SAA713x probe, answer 0: variant 0" 1 saa
regsvr /u
mv 34com.dll 34com.dll.away
probes "SAA713x probe, registration finds no 34com.dll: result 0, variant kept" 50 saa
mv 34com.dll.away 34com.dll
probes "CX2388X probe, no capture filter: result 0, variant kept" 50 cx

echo "vamp double: $PASSED passed, $FAILED failed"
[ "$FAILED" -eq 0 ]
