#!/usr/bin/env bash
# Installs what is missing, builds everything and runs every test: the
# native tests, the same tests under AddressSanitizer and
# UndefinedBehaviorSanitizer, the fuzzers' replay and seeded pass, the two Windows builds
# with their checks, and the end-to-end runs of Chanwiz.exe under Wine.
# Ends with CTest's summary.
set -euo pipefail
exec </dev/null
top=$(cd "$(dirname "$0")/.." && pwd)
cd "$top"
jobs=$(nproc)

bash scripts/install-deps.sh

echo "== sanitized native build and tests"
cmake --preset asan
cmake --build build/asan -j"$jobs"
ctest --test-dir build/asan --output-on-failure -j"$jobs"

echo "== fuzzing: every seed and finding, then a pass from a fixed seed"
bash scripts/fuzz.sh --check

echo "== native build; all tests, Windows and Wine included"
cmake --preset native
cmake --build build/native -j"$jobs"
rm -f build/wine-out/summary-*.txt
rc=0
ctest --test-dir build/native --output-on-failure -j"$jobs" 2>&1 | tee build/native/ctest.log ||
    rc=$?
# CTest shows nothing of a suite that passed: what each Windows ran, and how,
# is in the Wine suites' summaries. Then CTest's own verdict, last.
echo "== Wine: scenarios per Windows"
cat build/wine-out/summary-*.txt 2>/dev/null || echo "(no Wine suite ran)"
grep -E '^[0-9]+% tests passed' build/native/ctest.log | tail -1
exit "$rc"
