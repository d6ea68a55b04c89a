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
#                                outside by hyperfine in paired rounds; prints
#                                the median of the rounds' ratios
#   scripts/bench.sh --serve     entmlst serve in headless Chromium: first
#                                load with 10,000 log entries, another
#                                process's set shown, device_bench beside an
#                                open page (bench/serve_bench.py)
# PROCESS_ROUNDS sets the number of rounds (default 15).
#   scripts/bench.sh --log       the log's reader on 10,000 varied entries against
#                                the sqlite3 shell, whole processes (bench/log_bench.sh)
set -euo pipefail
cd "$(dirname "$0")/.."

if [[ ${1:-} == --log ]]; then
  cmake --preset bench >/dev/null
  cmake --build --preset bench --target entmlst devsim
  exec bench/log_bench.sh build/bench
fi

if [[ ${1:-} == --serve ]]; then
  cmake --preset bench >/dev/null
  cmake --build --preset bench --target entmlst devsim device_bench
  exec /usr/bin/python3 bench/serve_bench.py build/bench
fi

if [[ ${1:-} == --process ]]; then
  cmake --preset bench >/dev/null
  cmake --build --preset bench --target entmlst
  dir=$(mktemp -d)
  trap 'rm -rf "$dir"' EXIT
  build/bench/tools/entmlst --device "$dir/device.db" init >/dev/null
  tool="build/bench/tools/entmlst --device $dir/device.db get smtp"
  base="sqlite3 $dir/device.db 'select 1'"
  # Each round times both commands back to back, so that a change of load
  # falls on both; the ratio is taken per round. Goal: its median at most 1.3.
  for ((i = 1; i <= ${PROCESS_ROUNDS:-15}; ++i)); do
    # Its outlier warnings go to the log: a busy machine gives one every round.
    hyperfine -N --style none --warmup 2 --runs 8 --export-json "$dir/round$i.json" "$tool" "$base" \
      >"$dir/hyperfine.log" 2>&1 || { cat "$dir/hyperfine.log" >&2; exit 1; }
  done
  python3 - "$dir" <<'PY'
import glob, json, statistics, sys
tool, base, ratio = [], [], []
for f in glob.glob(sys.argv[1] + "/round*.json"):
    a, b = (r["median"] for r in json.load(open(f))["results"])
    tool.append(a); base.append(b); ratio.append(a / b)
m = statistics.median
print(f"entmlst get smtp          median {m(tool) * 1e3:7.2f} ms")
print(f"sqlite3 FILE 'select 1'   median {m(base) * 1e3:7.2f} ms")
print(f"ratio, median of {len(ratio)} rounds {m(ratio):.2f} (goal: at most 1.3; rounds {min(ratio):.2f}..{max(ratio):.2f})")
PY
  exit
fi

cmake --preset bench >/dev/null
cmake --build --preset bench
build/bench/bench/corvel_bench --benchmark_repetitions=5 --benchmark_min_time=0.1 \
  --benchmark_enable_random_interleaving=true "$@"
build/bench/bench/device_bench
