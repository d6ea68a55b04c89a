#!/usr/bin/env bash
# Instructions executed inside libcorvellib.so.1, per exported function: the
# library of a base commit against the working tree's, both built -Os as on
# the device (MinSizeRel), each running the same driver
# (bench/instr_driver.cpp, built from the working tree) against the
# simulator on :memory: under callgrind. Counts only instructions of the
# library's own object: the simulator, libc and the driver are left out.
# Prints a table per function with the ratio current/base, then the total;
# exits 1 when the total is above 0.92 or a function above 1.00.
#
#   bench/instr-compare.sh [BASE]        (default BASE: 510aa44)
set -euo pipefail
cd "$(dirname "$0")/.."

base=${1:-510aa44}
out=build/instr
mkdir -p "$out"
export HOME="$PWD/$out/home" ENTMLST_DEVICE=:memory:
mkdir -p "$HOME"

configure() { # source build-dir extra-options...
  local src=$1 dir=$2
  shift 2
  cmake -S "$src" -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=MinSizeRel -DBUILD_TESTING=OFF \
    -DCORVELLIB_BUILD_TOOLS=OFF -DCMAKE_SKIP_BUILD_RPATH=ON "$@" >/dev/null
}

# The working tree: library, simulator and driver.
configure . "$out/current" -DCORVELLIB_BUILD_BENCH=ON
cmake --build "$out/current" -j2 --target corvellib corvel_instr_driver >/dev/null

# The base: its library alone, from its own sources.
rm -rf "$out/base-src"
mkdir -p "$out/base-src"
git archive "$base" | tar -x -C "$out/base-src"
configure "$out/base-src" "$out/base" -DCORVELLIB_BUILD_SIM=OFF
cmake --build "$out/base" -j2 --target corvellib >/dev/null

# One callgrind run per library; one dump per function.
run() { # name library-dir
  rm -rf "$out/cg-$1"
  mkdir -p "$out/cg-$1"
  LD_LIBRARY_PATH="$2:$PWD/$out/current/sim" valgrind -q --tool=callgrind --dump-instr=no \
    --callgrind-out-file="$out/cg-$1/out" "$out/current/bench/corvel_instr_driver"
}
run base "$PWD/$out/base/src"
run current "$PWD/$out/current/src"

python3 - "$out" <<'EOF'
import glob, re, sys

out = sys.argv[1]

def per_function(run):
    """Ir of the library's own functions in each dump, keyed by the dump's name."""
    totals = {}
    for path in glob.glob(f"{out}/cg-{run}/out*"):
        name, objs, obj, ir, skip, cur_fn_in_lib = None, {}, None, 0, False, False
        for line in open(path):
            if skip:  # the inclusive cost of a call
                skip = False
                continue
            if line.startswith("desc: Trigger: Client Request: "):
                name = line.rsplit(": ", 1)[1].strip()
            elif line.startswith("ob="):
                m = re.match(r"ob=(?:\((\d+)\))?\s*(.*)", line.strip())
                if m.group(2):
                    objs[m.group(1)] = m.group(2)
                obj = objs.get(m.group(1), m.group(2))
            elif line.startswith("fn="):
                cur_fn_in_lib = obj is not None and "libcorvellib.so" in obj
            elif line.startswith("calls="):
                skip = True
            elif line[:1] in "0123456789+-*" and cur_fn_in_lib:
                parts = line.split()
                if len(parts) > 1:
                    ir += int(parts[1])
        if name is not None:
            totals[name] = ir
    return totals

base, cur = per_function("base"), per_function("current")
print(f"{'function':28} {'base Ir':>10} {'current Ir':>10} {'ratio':>6}")
worst = 0.0
for fn in sorted(base, key=lambda n: -base[n]):
    r = cur.get(fn, 0) / base[fn] if base[fn] else 1.0
    worst = max(worst, r)
    print(f"{fn:28} {base[fn]:10d} {cur.get(fn, 0):10d} {r:6.3f}")
tb, tc = sum(base.values()), sum(cur.values())
total = tc / tb
print(f"{'total':28} {tb:10d} {tc:10d} {total:6.3f}")
ok = total <= 0.92 and worst <= 1.0
print(f"goals: total <= 0.92, every function <= 1.00: {'met' if ok else 'NOT met'} (highest {worst:.3f})")
sys.exit(0 if ok else 1)
EOF
