#!/usr/bin/env bash
# Sets everything up, builds and runs the whole test suite.
#   scripts/test.sh              optimised build, all tests
#   scripts/test.sh asan tsan    the same tests under the named sanitizer builds as well
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/setup.sh
jobs=$(nproc)

for preset in default "$@"; do
  echo "== $preset build"
  cmake --preset "$preset" >/dev/null
  cmake --build --preset "$preset" -j "$jobs"
  echo "== $preset tests"
  ctest --preset "$preset" -j "$jobs"
done
