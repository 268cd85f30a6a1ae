#!/usr/bin/env bash
# Builds the program and runs every test: the release build, the same suite
# under AddressSanitizer and UndefinedBehaviorSanitizer, then a short run of
# every fuzz target.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/install-deps.sh

for preset in default asan; do
  cmake --preset "$preset"
  cmake --build --preset "$preset" -j "$(nproc)"
  ctest --preset "$preset" -LE bench
done

bash scripts/fuzz.sh "${FUZZ_SECONDS:-20}"
