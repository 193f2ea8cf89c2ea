#!/usr/bin/env bash
# Builds the libFuzzer targets (preset "fuzz", clang with AddressSanitizer and
# UndefinedBehaviorSanitizer) and runs each for SECONDS (default 30) from its
# seed corpus in fuzz/corpus/<target>/. Prints libFuzzer's final statistics
# line for each ("#N DONE cov: ... ft: ... exec/s ..."); a crash, leak or
# failed check fails the target and leaves its input as
# build/fuzz/artifacts/<target>/crash-*. Ends with "N passed, N failed" and
# exits non-zero when any target failed.
#
#   bash scripts/fuzz.sh [SECONDS]
#
# New inputs found go to build/fuzz/corpus/<target>/ (kept between runs), not
# into the seed corpus.
set -uo pipefail
exec </dev/null
top=$(cd "$(dirname "$0")/.." && pwd)
cd "$top"
seconds=${1:-30}
if ! [[ $seconds =~ ^[0-9]+$ ]] || [ "$seconds" -lt 1 ]; then
  echo "usage: bash scripts/fuzz.sh [SECONDS]" >&2
  exit 2
fi

if ! command -v clang++ >/dev/null; then
  echo "fuzz.sh: clang++ is needed for libFuzzer" >&2
  exit 2
fi
cmake --preset fuzz >/dev/null || exit 2
cmake --build build/fuzz -j"$(nproc)" --target fuzz_profile fuzz_reg_file fuzz_devices || exit 2

# Longest input per target: a little above the largest seed.
declare -A max_len=([fuzz_profile]=8192 [fuzz_reg_file]=8192 [fuzz_devices]=4096)
passed=0
failed=0
for target in fuzz_profile fuzz_reg_file fuzz_devices; do
  work=build/fuzz/corpus/$target
  artifacts=build/fuzz/artifacts/$target
  log=build/fuzz/$target.log
  mkdir -p "$work" "$artifacts"
  echo "== $target: ${seconds}s"
  build/fuzz/fuzz/$target -max_total_time="$seconds" -max_len="${max_len[$target]}" \
    -timeout=25 -rss_limit_mb=4096 -print_final_stats=1 \
    -artifact_prefix="$artifacts/" "$work" "fuzz/corpus/$target" >"$log" 2>&1
  rc=$?
  grep -E '^#[0-9]+[[:space:]]+DONE' "$log" || tail -n 1 "$log"
  grep -E '^stat::number_of_executed_units' "$log"
  if [ "$rc" -eq 0 ]; then
    passed=$((passed + 1))
  else
    failed=$((failed + 1))
    echo "FAILED: $target (exit $rc); log $log, inputs in $artifacts/"
    grep -E 'ERROR: |check failed|SUMMARY|runtime error' "$log" | head -n 5
  fi
done
echo "$passed passed, $failed failed"
[ "$failed" -eq 0 ]
