#!/usr/bin/env bash
# Runs the wizard on the simulated Windows: builds chanwiz-sim when needed
# (installing the native build tools first if they are missing), then starts
# it with the arguments given (none: the bundled machine, answered at the
# terminal). Example: bash scripts/run.sh --machine samples/cx2388x-xp-germany.reg
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
cd "$top"
if ! command -v cmake >/dev/null || ! command -v g++ >/dev/null || [ ! -f /usr/include/gtest/gtest.h ]; then
  CHANWIZ_DEPS_NATIVE_ONLY=1 bash scripts/install-deps.sh >&2
fi
if [ ! -f build/native/CMakeCache.txt ]; then
  cmake --preset native >&2
fi
cmake --build build/native --target chanwiz-sim -j"$(nproc)" >&2
exec build/native/chanwiz-sim "$@"
