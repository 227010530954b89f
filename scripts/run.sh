#!/usr/bin/env bash
# Sets everything up, builds, and starts what there is to run.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/setup.sh
cmake --preset default >/dev/null
cmake --build --preset default -j "$(nproc)"

echo
echo "Built into build/. The analyser program and its simulator are not there yet;"
echo "run the tests with scripts/test.sh and the benchmarks as build/bench/bench_*."
