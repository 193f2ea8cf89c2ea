#!/usr/bin/env bash
# The libFuzzer targets (preset "fuzz": clang with AddressSanitizer and
# UndefinedBehaviorSanitizer) over Chanwiz.ini, machine files and device
# lists.
#
#   bash scripts/fuzz.sh --check     what the test command runs; the same
#                                    verdict every time for the same commit:
#     1. replays every seed (fuzz/corpus/<target>/) and every earlier finding
#        (fuzz/regressions/<target>/, one named file each);
#     2. a bounded fuzzing pass with a fixed seed and a fixed number of
#        inputs, from those files only (nothing kept from earlier runs).
#   bash scripts/fuzz.sh SECONDS     open-ended random fuzzing, SECONDS a
#                                    target; new inputs are kept in
#                                    build/fuzz/corpus/<target>/ between runs.
#
# A crash, leak or failed check fails the target and leaves its input as
# build/fuzz/artifacts/<target>/crash-*: to keep it, give it a name that says
# what it found and put it in fuzz/regressions/<target>/. Prints libFuzzer's
# statistics for each run and ends with "N passed, N failed".
set -uo pipefail
exec </dev/null
top=$(cd "$(dirname "$0")/.." && pwd)
cd "$top"

usage() {
  echo "usage: bash scripts/fuzz.sh --check | SECONDS" >&2
  exit 2
}
[ $# -eq 1 ] || usage
mode=random
seconds=0
if [ "$1" = "--check" ]; then
  mode=check
elif [[ $1 =~ ^[0-9]+$ ]] && [ "$1" -ge 1 ]; then
  seconds=$1
else
  usage
fi

if ! command -v clang++ >/dev/null; then
  echo "fuzz.sh: clang++ is needed for libFuzzer (scripts/install-deps.sh installs it)" >&2
  exit 2
fi
targets=(fuzz_profile fuzz_reg_file fuzz_devices)
cmake --preset fuzz >/dev/null || exit 2
cmake --build build/fuzz -j"$(nproc)" --target "${targets[@]}" || exit 2

# Longest input per target: a little above the largest seed.
declare -A max_len=([fuzz_profile]=8192 [fuzz_reg_file]=8192 [fuzz_devices]=4096)
# Inputs of the seeded pass: about half a minute each on a 2-core machine.
declare -A check_runs=([fuzz_profile]=15000 [fuzz_reg_file]=100000 [fuzz_devices]=20000)
passed=0
failed=0
fixed=()
if [ "$mode" = check ]; then
  fixed=(env -i PATH=/usr/bin:/bin)
  if setarch "$(uname -m)" -R true 2>/dev/null; then
    fixed+=(setarch "$(uname -m)" -R)
  else
    echo "fuzz.sh: cannot turn address randomisation off; the seeded pass may vary" >&2
  fi
fi

# run NAME TARGET LOG ARGS...: runs one libFuzzer command and counts it.
run() {
  local name=$1 target=$2 log=$3
  shift 3
  local artifacts=build/fuzz/artifacts/$target
  mkdir -p "$artifacts"
  "${fixed[@]}" "build/fuzz/fuzz/$target" -max_len="${max_len[$target]}" -timeout=25 \
    -rss_limit_mb=4096 -print_final_stats=1 -artifact_prefix="$artifacts/" "$@" >"$log" 2>&1
  local rc=$?
  grep -E '^#[0-9]+[[:space:]]+DONE' "$log" | tail -n 1
  grep -E '^stat::number_of_executed_units' "$log"
  if [ "$rc" -eq 0 ]; then
    passed=$((passed + 1))
    echo "passed: $name"
  else
    failed=$((failed + 1))
    echo "FAILED: $name (exit $rc); log $log, input in $artifacts/"
    grep -E 'Running: |ERROR: |check failed|SUMMARY|runtime error' "$log" | head -n 5
  fi
}

for target in "${targets[@]}"; do
  seeds=fuzz/corpus/$target
  regressions=fuzz/regressions/$target
  if [ "$mode" = check ]; then
    mapfile -t files < <(find "$seeds" "$regressions" -type f ! -name '.*' | LC_ALL=C sort)
    echo "== $target: replay of ${#files[@]} seeds and findings"
    run "$target replay" "$target" "build/fuzz/$target.replay.log" "${files[@]}"
    # The same inputs every time: seeds in a fixed order, a fresh corpus
    # folder of a fixed name, no rereading of it, addresses without
    # randomisation, an environment of its own, and no compare tracing
    # (it feeds pointer values into the mutations, and where large blocks
    # are mapped depends on the length of the clone's path).
    work=build/fuzz/check/$target
    rm -rf "$work"
    mkdir -p "$work"
    echo "== $target: ${check_runs[$target]} inputs from seed 1"
    run "$target seeded" "$target" "build/fuzz/$target.seeded.log" -seed=1 \
      -runs="${check_runs[$target]}" -reload=0 -use_cmp=0 \
      -seed_inputs="$(IFS=,; echo "${files[*]}")" "$work"
  else
    work=build/fuzz/corpus/$target
    mkdir -p "$work"
    echo "== $target: ${seconds}s"
    run "$target random" "$target" "build/fuzz/$target.log" -max_total_time="$seconds" \
      "$work" "$seeds" "$regressions"
  fi
done
echo "$passed passed, $failed failed"
[ "$failed" -eq 0 ]
