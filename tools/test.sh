#!/usr/bin/env bash
# Runs every test: the unit and scenario tests on the simulated Windows, plain and under
# AddressSanitizer/UBSan. Builds what is missing first.
set -euo pipefail
cd "$(dirname "$0")/.."
jobs=$(nproc 2>/dev/null || echo 2)
status=0
for preset in host host-asan; do
  if [ ! -d "build/$preset" ]; then cmake --preset "$preset" >/dev/null; fi
  cmake --build --preset "$preset" -j"$jobs" >/dev/null
  echo "== tests: $preset"
  ctest --preset "$preset" -j"$jobs" || status=1
done
exit "$status"
