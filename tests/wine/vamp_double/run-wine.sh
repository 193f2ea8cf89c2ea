#!/usr/bin/env bash
# The stand-in 34com.dll under Wine (tests/wine/README.md), asked by the wizard's
# own SAA713x and CX2388X probes, which call it by the method positions.
# 64-bit where the machine cannot run 32-bit programs, and the log says so.
# usage: tests/wine/vamp_double/run-wine.sh        exit code 0 when every check passed
set -uo pipefail
exec </dev/null
HERE=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
ROOT=$(cd "$HERE/../../.." && pwd)
# shellcheck source=../common.sh
. "$ROOT/tests/wine/common.sh"
suite_timeout "${VAMP_TIMEOUT:-600}" "$0" "$@"
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
        FAILED=$((FAILED + 1)); echo "FAIL: $2"; sed 's/^/    /' "$WORK/probe.log"
    fi
}
probes() {  # probes DESCRIPTION EXPECTED ARGS...: exit code 10 * TunerVariant + result (wizard_probes.cpp)
    local what=$1 want=$2 got
    shift 2
    timeout -k 5 60 "$WINE" wizard_probes.exe "$@" >"$WORK/probe.log" 2>&1
    got=$?
    tally "$((got == want))" "$what (exit $got, expected $want)"
}
regsvr() { timeout -k 5 60 "$WINE" regsvr32 "$@" /s 34com.dll >/dev/null 2>&1; }
setting() {  # setting NAME VALUE
    timeout -k 5 60 "$WINE" reg add 'HKLM\SOFTWARE\Chanwiz Test\Vamp' /v "$1" /t REG_DWORD \
        /d "$2" /f >/dev/null 2>&1
}
probes "SAA713x probe registers the component, Item22 unset: variant 0" 1 saa
timeout -k 5 60 "$WINE" reg query 'HKCR\CLSID\{B8A9279E-C453-11D4-AD45-0060080BA634}\InprocServer32' \
    >"$WORK/probe.log" 2>&1
tally "$(($? == 0))" "the probe's regsvr32 registered it from the system folder and left it registered"
setting Item22 1
probes "Item22 = 1: the alternative tuner, variant 3" 31 saa
setting Item22 2
probes "Item22 = 2: the usual tuner, variant 0" 1 saa
setting DeviceCount 0
probes "no device listed: result 0, variant kept" 50 saa
setting DeviceCount 1
setting Item22 1
regsvr /u
probes "unregistered: the probe registers it again" 31 saa
regsvr /u
regsvr
probes "registered with Wine's regsvr32" 31 saa
setting Item22 0
probes "SAA713x probe, answer 0: variant 0" 1 saa
regsvr /u
mv 34com.dll 34com.dll.away
probes "SAA713x probe, registration finds no 34com.dll: result 0, variant kept" 50 saa
mv 34com.dll.away 34com.dll
probes "CX2388X probe, no capture filter: result 0, variant kept" 50 cx
echo "vamp double: $PASSED passed, $FAILED failed"
[ "$FAILED" -eq 0 ]
