#!/usr/bin/env bash
# Installs what is missing, builds everything and runs every test. Ends with
# ctest's summary line.
set -euo pipefail
exec </dev/null
top=$(cd "$(dirname "$0")/.." && pwd)
cd "$top"
jobs=$(nproc)

bash scripts/install-deps.sh

echo "== native build (simulated Windows) and tests"
cmake --preset native
cmake --build build/native -j"$jobs"
ctest --test-dir build/native --output-on-failure -j"$jobs"
