#!/usr/bin/env bash
# The administrators' package under Wine: built as scripts/release.sh builds
# it, its tables read back, then installed, run, upgraded and removed in one
# scenario of run_scenario.sh --msi (tests/wine/README.md).
# usage: tests/wine/run_msi.sh   (ends with "wine msi: N passed, N failed")
set -uo pipefail
exec </dev/null
HERE=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
ROOT=$(cd "$HERE/../.." && pwd)
# shellcheck source=common.sh
. "$HERE/common.sh"
suite_timeout "${WINE_MSI_TIMEOUT:-900}" "$0" "$@"
# shellcheck source=../../scripts/wine/wine-env.sh
. "$ROOT/scripts/wine/wine-env.sh"
wine_check || { echo "wine msi: skipped, Wine is not installed"; exit 77; }
for t in wixl msiinfo; do
    command -v "$t" >/dev/null 2>&1 || { echo "wine msi: $t is missing (bash scripts/install-deps.sh)" >&2; exit 2; }
done

PASSED=0
FAILED=0
check() {  # check WHAT COMMAND...
    local what=$1; shift
    if "$@"; then PASSED=$((PASSED + 1)); echo "PASS $what"; else FAILED=$((FAILED + 1)); echo "FAIL $what"; fi
}

OUT=$ROOT/build/wine-out/msi
rm -rf "$OUT"
mkdir -p "$OUT"
VERSION=$(sed -n 's/^project(Chanwiz VERSION \([0-9][0-9.]*\)[ )].*/\1/p' "$ROOT/CMakeLists.txt")
NEXT=${VERSION%.*}.$((${VERSION##*.} + 1))
for v in "$VERSION" "$NEXT"; do
    bash "$ROOT/scripts/msi.sh" "$v" "$ROOT/build/mingw-i686" "$ROOT/resources/Chanwiz.ini" "$OUT/Chanwiz-$v.msi" ||
        { echo "wine msi: could not build Chanwiz-$v.msi from build/mingw-i686 (scripts/build-windows.sh)" >&2; exit 2; }
done
MSI=$OUT/Chanwiz-$VERSION.msi

property() { msiinfo export "$1" Property | tr -d '\r' | sed -n "s/^$2\t//p"; }
UPGRADE_CODE=$(sed -n 's/.*UpgradeCode="\([^"]*\)".*/{\1}/p' "$ROOT/packaging/chanwiz.wxs")
check "$(basename "$MSI") says version $VERSION (tests/win32/check_version.py)" \
    bash -c "python3 '$ROOT/tests/win32/check_version.py' '$ROOT' '$MSI' >'$OUT/version.log' || { grep FAIL '$OUT/version.log'; exit 1; }"
check "both packages have the fixed UpgradeCode $UPGRADE_CODE and each its own ProductCode" \
    test "$(property "$MSI" UpgradeCode)/$(property "$OUT/Chanwiz-$NEXT.msi" UpgradeCode)" = "$UPGRADE_CODE/$UPGRADE_CODE" -a \
         "$(property "$MSI" ProductCode)" != "$(property "$OUT/Chanwiz-$NEXT.msi" ProductCode)"
check "per machine (ALLUSERS 1), a 32-bit package" \
    test "$(property "$MSI" ALLUSERS)/$(msiinfo suminfo "$MSI" | sed -n 's/^Template: //p')" = "1/Intel;1033"
check "a newer version removes an older one (Upgrade table, RemoveExistingProducts)" \
    bash -c "msiinfo export '$MSI' Upgrade | grep -q '^$UPGRADE_CODE		$VERSION		1		WIX_UPGRADE_DETECTED' &&
             msiinfo export '$MSI' InstallExecuteSequence | grep -q '^RemoveExistingProducts	'"

pick_chanwiz_exe "$ROOT" "wine msi" || exit 2
if [ "$PREFIX_BITS" = 32 ]; then
    WINDOWS=x64 MACHINE=samples/cx2388x-x64-germany.reg CLI_EXE=$ROOT/build/mingw-i686/chanwiz-cli.exe
else
    # A 64-bit program sees the 64-bit view: the XP sample, in a 64-bit prefix.
    WINDOWS=xp MACHINE=samples/cx2388x-xp-germany.reg CLI_EXE=$(dirname "$EXE")/chanwiz-cli.exe
fi
CHANWIZ_EXE=$EXE CHANWIZ_CLI=$CLI_EXE SCENARIO_TIMEOUT=600 "$HERE/run_scenario.sh" --name msi --out "$OUT/scenario" \
    --windows "$WINDOWS" --msi "$MSI" --cli "--country-code 49" \
    --expect "exit 0" --expect "registry + [ ... \\DriverData] \"TunerType\"= ... (14)" \
    --expect "upgrade-to $OUT/Chanwiz-$NEXT.msi" --expect uninstalled \
    "$MACHINE" - >"$OUT/scenario.log" 2>&1
rc=$?
check "installed, run and compared with the simulation, upgraded, removed: $(tail -1 "$OUT/scenario.log" | cut -d' ' -f2-)" test "$rc" -eq 0
check "the installed chanwiz-cli.exe --version says $VERSION" \
    bash -c "python3 '$ROOT/tests/win32/check_version.py' '$ROOT' 'text:$(cat "$OUT/scenario/cli-version.txt" 2>/dev/null)' >>'$OUT/version.log'"

line="wine msi: $PASSED passed, $FAILED failed"
[ "$PREFIX_BITS" = 64 ] && line+=" (the 64-bit chanwiz-cli.exe from the install folder: $NOT_RUN_WHY)"
echo "$line" | tee "$ROOT/build/wine-out/summary-msi.txt"
[ "$FAILED" -eq 0 ]
