#!/usr/bin/env bash
# The host suite (default preset, built by the host stage) under valgrind
# memcheck: any memory error or any definite/indirect leak fails the stage.
#
# Each GoogleTest program runs once with all its listed cases; other tests run
# their own command. Every run has its tests' ENVIRONMENT, as under ctest: a
# test's own device (ENTMLST_DEVICE) among it. Programs that are not ELF files of the build tree are
# left out (package_install, a cmake script that builds the examples against
# an installed copy), and so are tests whose names match VALGRIND_SKIP (a
# regex; by default the DeviceFile and DeviceFileTool cases: they fork
# children, hold locks and limit the file size, and children that are
# killed, or leave with _exit while holding the parent's transaction, which
# memcheck reports as the child's own, and under its slowness their timing
# assumptions fail; the asan stage runs them). tool_test runs under memcheck, but the entmlst
# processes it starts are not followed (no --trace-children): they are
# separate programs, and the library calls they make are covered in-process.
set -euo pipefail
# Run alone, a stage runs again under scripts/guarded.sh (private HOME, sentinel device).
[ "${CORVELLIB_STAGE_HOME:-}" = "${HOME:-}" ] || exec bash "$(dirname "$0")/../guarded.sh" "$(basename "$0" .sh)" bash "$0" "$@"
cd "$(dirname "$0")/../.."

build=build/default
skip_re="${VALGRIND_SKIP:-^DeviceFile(Tool)?\.}"
cmake --preset default >/dev/null
cmake --build --preset default

logs="$build/valgrind"
rm -rf "$logs" && mkdir -p "$logs"

# One line per run, tab-separated: working directory, the number of
# environment entries, those entries (the test's ENVIRONMENT property, as
# ctest would set them), then the command. A grouped run holds only tests of
# the same directory, program and environment.
ctest --preset default --show-only=json-v1 | python3 -c '
import json, os, re, sys
build, skip = os.path.realpath(sys.argv[1]), re.compile(sys.argv[2])
runs, filters, skipped = [], {}, 0
for t in json.load(sys.stdin)["tests"]:
    cmd = t.get("command") or []
    if not cmd:
        continue
    if skip.search(t["name"]):
        skipped += 1
        continue
    exe = os.path.realpath(cmd[0])
    try:
        elf = open(exe, "rb").read(4) == b"\x7fELF"
    except OSError:
        elf = False
    if not elf or not exe.startswith(build + os.sep):
        print("valgrind: not run under memcheck: " + t["name"], file=sys.stderr)
        continue
    props = {p["name"]: p["value"] for p in t.get("properties", [])}
    wd = props.get("WORKING_DIRECTORY", ".")
    env = props.get("ENVIRONMENT", [])
    env = tuple([env] if isinstance(env, str) else env)
    if "ENVIRONMENT_MODIFICATION" in props:
        sys.exit("valgrind: %s: ENVIRONMENT_MODIFICATION is not supported here" % t["name"])
    f = [a for a in cmd[1:] if a.startswith("--gtest_filter=")]
    if f and all(a.startswith("--gtest_") for a in cmd[1:]):
        filters.setdefault((wd, env, exe), []).append(f[0].split("=", 1)[1])
    else:
        runs.append([wd, str(len(env)), *env] + cmd)
for (wd, env, exe), names in filters.items():
    runs.append([wd, str(len(env)), *env, exe, "--gtest_filter=" + ":".join(names)])
if skipped:
    print("valgrind: %d test(s) matching %s left to the asan stage" % (skipped, skip.pattern), file=sys.stderr)
for r in runs:
    print("\t".join(r))
' "$build" "$skip_re" >"$logs/runs.txt"

run_one() {
  local logs=$1 line=$2 wd n envs cmd log
  IFS=$'\t' read -r -a cmd <<<"$line"
  wd=${cmd[0]} n=${cmd[1]}
  envs=("${cmd[@]:2:n}") cmd=("${cmd[@]:2+n}")
  log="$logs/$(basename "${cmd[0]}").$$.$RANDOM.log"
  if (cd "$wd" && env "${envs[@]}" valgrind --tool=memcheck --error-exitcode=99 --leak-check=full \
        --show-leak-kinds=definite,indirect --errors-for-leak-kinds=definite,indirect \
        --track-fds=no --log-file="$log" "${cmd[@]}" >"$log.out" 2>&1); then
    echo "valgrind: clean: $(basename "${cmd[0]}")"
  else
    echo "valgrind: FAILED: ${cmd[*]}"
    cat "$log.out" "$log"
    return 1
  fi
}
export -f run_one

n=$(wc -l <"$logs/runs.txt")
echo "valgrind: $n program run(s)"
tr '\n' '\0' <"$logs/runs.txt" | xargs -0 -r -n1 -P2 bash -c 'run_one "$0" "$1"' "$(realpath "$logs")"
