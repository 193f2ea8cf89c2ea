#!/usr/bin/env bash
# scripts/pictures.sh works: for every section of resources/Chanwiz.ini every
# picture a translator needs, whole PNGs of a plausible size, each differing
# between sections (tests/wine/README.md).
# usage: tests/wine/run_pictures_check.sh [-j N]
set -uo pipefail
exec </dev/null
HERE=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
ROOT=$(cd "$HERE/../.." && pwd)
# shellcheck source=common.sh
. "$HERE/common.sh"
suite_timeout "${PICTURES_CHECK_TIMEOUT:-2400}" "$0" "$@"

# The whole file is read before it runs: an edit during a run must not
# change the running script.
{
PNGTOOL=$ROOT/scripts/wine/pngtool.py
NAMES=(102 129 130 131 box-no-device box-two-devices box-usb-success box-usb-failure box-nicam)

OUT=$(mktemp -d "${TMPDIR:-/tmp}/chanwiz-pictures-check.XXXXXX") || exit 2
PICTURES_PID=""
cleanup() {
    local rc=$?
    trap - EXIT
    trap '' INT TERM
    [ -z "$PICTURES_PID" ] || { kill -TERM "$PICTURES_PID" 2>/dev/null; wait "$PICTURES_PID" 2>/dev/null; }
    rm -rf "$OUT"
    exit "$rc"
}
trap cleanup EXIT
trap 'echo "pictures check: interrupted or out of time"; exit 1' INT TERM
PASSED=0 FAILED=0
pass() { PASSED=$((PASSED + 1)); echo "PASS $*"; }
fail() { FAILED=$((FAILED + 1)); echo "FAIL $*"; }

mapfile -t SECTIONS < <(ini_sections "$ROOT/resources/Chanwiz.ini" 2>/dev/null)
[ -n "${SECTIONS[0]:-}" ] || { echo "pictures check: no section in resources/Chanwiz.ini" >&2; exit 2; }

PICS=$OUT/pictures
# In the background: pictures.sh's timeout(1) is a process group of its own,
# which only cleanup's kill reaches on an interrupt.
bash "$ROOT/scripts/pictures.sh" "$@" "$PICS" >"$OUT/pictures.log" 2>&1 &
PICTURES_PID=$!
rc=0
wait "$PICTURES_PID" || rc=$?
PICTURES_PID=""
if [ "$rc" -eq 0 ]; then
    pass "scripts/pictures.sh ran ($(tail -1 "$OUT/pictures.log"))"
else
    fail "scripts/pictures.sh exit code $rc:"
    grep -E 'FAIL|no picture|pictures:' "$OUT/pictures.log" | head -20 | sed 's/^/    /'
fi

# Every picture there, whole and of a plausible size (pngtool fails a missing one).
files=()
for s in "${SECTIONS[@]}"; do
    for n in "${NAMES[@]}"; do files+=("$PICS/$s/$n.png"); done
done
if "$PYTHON" "$PNGTOOL" check "${files[@]}" >"$OUT/check.txt" 2>&1; then
    pass "${#files[@]} pictures for sections ${SECTIONS[*]}, whole PNG files of a plausible size"
else
    fail "pictures missing, or not whole PNG files of a plausible size:"
    grep -v ' colours$' "$OUT/check.txt" | sed "s|$PICS/|    |"
fi

same=()
pairs=0
for n in "${NAMES[@]}"; do
    for ((i = 0; i < ${#SECTIONS[@]}; i++)); do
        for ((j = i + 1; j < ${#SECTIONS[@]}; j++)); do
            a=$PICS/${SECTIONS[$i]}/$n.png
            b=$PICS/${SECTIONS[$j]}/$n.png
            [ -f "$a" ] && [ -f "$b" ] || continue
            pairs=$((pairs + 1))
            "$PYTHON" "$PNGTOOL" same "$a" "$b" 2>/dev/null && same+=("$n.png in ${SECTIONS[$i]} and ${SECTIONS[$j]}")
        done
    done
done
if [ ${#same[@]} -eq 0 ] && [ "$pairs" -gt 0 ]; then
    pass "every picture differs between sections ($pairs pairs compared)"
else
    fail "the same picture in two sections (untranslated?): ${same[*]:-no pair could be compared}"
fi

echo "pictures check: $PASSED passed, $FAILED failed"
[ "$FAILED" -eq 0 ]
exit
}
