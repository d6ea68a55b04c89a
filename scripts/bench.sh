#!/usr/bin/env bash
# Builds the benchmarks (bench preset: Release, stub services) and runs them:
# Google Benchmark's figures, then a table per exported function with the
# library/floor ratio, heap use and stack use of one call; then the simulated
# device kept in a file (device_bench: one service call, a whole Set, the
# entmlst process against the sqlite3 shell). Not a CI stage:
# figures depend on the machine and its load. Extra arguments go to the
# benchmark program (e.g. --benchmark_filter=Smtp).
set -euo pipefail
cd "$(dirname "$0")/.."

cmake --preset bench >/dev/null
cmake --build --preset bench
build/bench/bench/corvel_bench --benchmark_repetitions=5 --benchmark_min_time=0.1 \
  --benchmark_enable_random_interleaving=true "$@"
build/bench/bench/device_bench
