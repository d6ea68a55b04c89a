#!/usr/bin/env bash
# The log's reader as whole processes, output to /dev/null, on a device whose
# log holds 10,000 varied entries (bench/log_device.py), timed by hyperfine
# in rounds that run every command back to back, so that a change of load
# falls on all; ratios are taken per round and their medians printed.
# Goals: `entmlst log` at most 1.2 x `sqlite3 FILE 'select * from log'`,
# `log --json` at most 1.5 x `log`, `run -- /bin/true` at most 3 x
# `sqlite3 FILE 'select 1'`. Not a test: figures depend on the load.
#   bench/log_bench.sh [BUILD_DIR]   (default build/bench; ROUNDS, default 15)
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build/bench}
dir=$(mktemp -d)
trap 'rm -rf "$dir"' EXIT
db=$dir/device.db
/usr/bin/python3 bench/log_device.py "$build/sim/libdevsim.so" "$db" 10000
tool="$build/tools/entmlst --device $db"
cmds=("sqlite3 $db 'select * from log'" "$tool log" "$tool --json log" "sqlite3 $db 'select 1'"
  "$tool run -- /bin/true")
for ((i = 1; i <= ${ROUNDS:-15}; ++i)); do
  # Its outlier warnings go to the log: a busy machine gives one every round.
  hyperfine -N --style none --warmup 1 --runs 5 --output null --export-json "$dir/round$i.json" "${cmds[@]}" \
    >"$dir/hyperfine.log" 2>&1 || { cat "$dir/hyperfine.log" >&2; exit 1; }
done
/usr/bin/python3 - "$dir" <<'PY'
import glob, json, statistics, sys
rounds = [[r["median"] for r in json.load(open(f))["results"]] for f in glob.glob(sys.argv[1] + "/round*.json")]
names = ["sqlite3 FILE 'select * from log'", "entmlst log", "entmlst --json log", "sqlite3 FILE 'select 1'",
         "entmlst run -- /bin/true"]
for i, name in enumerate(names):
    print(f"{name:34} median {statistics.median(r[i] for r in rounds) * 1e3:8.2f} ms")
for what, a, b, goal in [("log / sqlite3 select * from log", 1, 0, 1.2), ("log --json / log", 2, 1, 1.5),
                         ("run -- /bin/true / sqlite3 select 1", 4, 3, 3.0)]:
    ratios = [r[a] / r[b] for r in rounds]
    m = statistics.median(ratios)
    print(f"{what:36} {m:5.2f} (goal: at most {goal}; rounds {min(ratios):.2f}..{max(ratios):.2f})"
          + ("" if m <= goal else "  OVER"))
PY
