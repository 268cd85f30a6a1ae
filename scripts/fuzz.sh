#!/usr/bin/env bash
# Runs every fuzz target for the given number of seconds (default 20) under
# AddressSanitizer and UndefinedBehaviorSanitizer, starting from the seed
# corpus in fuzz/corpus. A crash stops the script with its reproducer path.
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-20}

cmake --preset fuzz >/dev/null
cmake --build --preset fuzz -j "$(nproc)"

work=build/fuzz/corpus
for seeds in fuzz/corpus/*/; do
  name=$(basename "$seeds")
  mkdir -p "$work/$name" build/fuzz/crashes
  log=build/fuzz/$name.log
  status=0
  build/fuzz/fuzz/"${name}_fuzz" "$work/$name" "$seeds" \
    -max_total_time="$seconds" -max_len=65536 -print_final_stats=1 \
    -artifact_prefix=build/fuzz/crashes/"$name"- >"$log" 2>&1 || status=$?
  runs=$(grep -o 'stat::number_of_executed_units: *[0-9]*' "$log" | grep -o '[0-9]*$' || echo 0)
  echo "${name}_fuzz: ${seconds}s, ${runs} runs, exit ${status}"
  if [ "$status" -ne 0 ]; then
    grep -A 30 -E '==[0-9]+==ERROR|runtime error|deadly signal' "$log" | head -60
    exit "$status"
  fi
done
