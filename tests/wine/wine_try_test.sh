#!/usr/bin/env bash
# wine_try (scripts/wine/wine-env.sh) without Wine: how often a failing
# set-up step is tried, what it tells, and when it gives up at once.
# Prints "wine_try: N passed, M failed"; exit 1 when a check failed.
set -uo pipefail
exec </dev/null
ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
# The helpers only; no Wine is started.
WINE=/bin/false WINESERVER=/bin/false
# shellcheck source=../../scripts/wine/wine-env.sh
. "$ROOT/scripts/wine/wine-env.sh"
sleep() { :; }  # the second between tries is not what is tested

TMP=$(mktemp -d)
trap 'rm -rf "$TMP"' EXIT
PASSED=0
FAILED=0
check() {  # check WHAT CONDITION...
    local what=$1
    shift
    if "$@"; then PASSED=$((PASSED + 1)); else FAILED=$((FAILED + 1)); echo "FAIL: $what"; fi
}

# fails_then N RC: exits RC the first N times (counted in $TMP/count), then 0.
fails_then() {
    local n
    n=$(($(cat "$TMP/count" 2>/dev/null || echo 0) + 1))
    echo "$n" >"$TMP/count"
    echo "attempt $n says something" >>"$TMP/step.log"
    [ "$n" -gt "$1" ] && return 0
    return "$2"
}
fresh() { rm -f "$TMP/count" "$TMP/step.log" "$TMP/notes"; export WINE_RETRY_NOTES=$TMP/notes; }
tries() { cat "$TMP/count" 2>/dev/null || echo 0; }
notes() { if [ -f "$TMP/notes" ]; then wc -l <"$TMP/notes" | tr -d " "; else echo 0; fi; }

# No prefix: the wineserver check does not apply.
unset WINEPREFIX
#  fails  rc   want_rc want_tries want_notes
while read -r fails rc want_rc want_tries want_notes; do
    fresh
    got_rc=0
    wine_try "step" "$TMP/step.log" fails_then "$fails" "$rc" || got_rc=$?
    label="fails $fails times with exit $rc"
    check "$label: exit $got_rc, want $want_rc" [ "$got_rc" = "$want_rc" ]
    check "$label: $(tries) tries, want $want_tries" [ "$(tries)" = "$want_tries" ]
    check "$label: $(notes) notes, want $want_notes" [ "$(notes)" = "$want_notes" ]
done <<'EOF'
0 1   0   1 0
1 1   0   2 1
2 5   0   3 2
3 5   5   3 3
9 2   2   3 3
1 124 124 1 1
1 137 137 1 1
EOF

# A failed try names the step, its exit code and the log's last line.
fresh
wine_try "Wine's desktop" "$TMP/step.log" fails_then 1 7
check "a note names the step, exit and last log line" \
    grep -qxF "Wine's desktop: try 1 of 3 failed, exit 7 (attempt 1 says something)" "$TMP/notes"

# A try that fails as the one before it is told in short; the log's text
# reaches the verdict line as it is (semicolons and all).
fresh
same() { echo "unusable SDDL D:(Q;;0x2;;;BU)" >>"$TMP/step.log"; return 2; }
wine_try "access list" "$TMP/step.log" same
check "repeated failures told in short" [ "$(sed -n 2,3p "$TMP/notes")" = "access list: try 2 of 3 failed the same way
access list: try 3 of 3 failed the same way" ]
# shellcheck source=common.sh
. "$ROOT/tests/wine/common.sh"
check "retry_notes keeps the log's text" \
    [ "$(retry_notes)" = " [Wine: access list: try 1 of 3 failed, exit 2 (unusable SDDL D:(Q;;0x2;;;BU)); access list: try 2 of 3 failed the same way; access list: try 3 of 3 failed the same way]" ]

# A prefix whose wineserver is gone: one try, and the note says why.
fresh
export WINEPREFIX=$TMP/prefix-without-server
mkdir -p "$WINEPREFIX"
got_rc=0
wine_try "regdump" "$TMP/step.log" fails_then 2 1 || got_rc=$?
check "server gone: exit 1" [ "$got_rc" = 1 ]
check "server gone: one try, not $(tries)" [ "$(tries)" = 1 ]
check "server gone: the note says so" grep -q "^regdump: exit 1, and the wineserver is gone" "$TMP/notes"
unset WINEPREFIX

# Notes reach a verdict line through retry_notes.
fresh
wine_try "a" "$TMP/step.log" fails_then 2 3
check "retry_notes joins the notes" \
    [ "$(retry_notes)" = " [Wine: a: try 1 of 3 failed, exit 3 (attempt 1 says something); a: try 2 of 3 failed, exit 3 (attempt 2 says something)]" ]
fresh
check "retry_notes is empty without notes" [ -z "$(retry_notes)" ]

echo "wine_try: $PASSED passed, $FAILED failed"
[ "$FAILED" -eq 0 ]
