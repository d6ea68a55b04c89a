#!/usr/bin/env bash
# Builds the benchmarks (bench preset: Release, stub services) and runs them:
# Google Benchmark's figures, then a table per exported function with the
# library/floor ratio, heap use and stack use of one call; then the simulated
# device kept in a file (device_bench: one service call, a whole Set, the
# entmlst process against the sqlite3 shell). Not a CI stage:
# figures depend on the machine and its load. Extra arguments go to the
# benchmark program (e.g. --benchmark_filter=Smtp).
#   scripts/bench.sh --process   only `entmlst get smtp` against `sqlite3 FILE
#                                'select 1'` as whole processes, timed from
#                                outside in pairs by farm-bench; prints the ratio
set -euo pipefail
cd "$(dirname "$0")/.."

if [[ ${1:-} == --process ]]; then
  cmake --preset bench >/dev/null
  cmake --build --preset bench --target entmlst
  dir=$(mktemp -d)
  trap 'rm -rf "$dir"' EXIT
  build/bench/tools/entmlst --device "$dir/device.db" init >/dev/null
  # Goal: the median of the paired ratios at most 1.3.
  farm-bench -n 40 --warmup 3 --vs "sqlite3 $dir/device.db 'select 1'" -- \
    build/bench/tools/entmlst --device "$dir/device.db" get smtp
  exit
fi

cmake --preset bench >/dev/null
cmake --build --preset bench
build/bench/bench/corvel_bench --benchmark_repetitions=5 --benchmark_min_time=0.1 \
  --benchmark_enable_random_interleaving=true "$@"
build/bench/bench/device_bench
