#!/usr/bin/env bash
# stage_guard_test.sh CTEST BUILD_DIR TEST ENTMLST: the ctest test TEST (a
# program on the default device unless its ENVIRONMENT names another) run as
# a stage runs it, under scripts/guarded.sh, in a HOME of this test's own
# that holds a "user's" default device. With its ENVIRONMENT the run passes;
# with it dropped, as the valgrind stage once ran tests, the guard fails it
# for the sentinel; a run that writes the user's default device fails too.
set -euo pipefail
ctest=$1 build=$2 test=$3 tool=$4
guard="$(cd "$(dirname "$0")/.." && pwd)/scripts/guarded.sh"

# The test's ENVIRONMENT entries, a line "--", then its command, one per line.
mapfile -t parts < <("$ctest" --test-dir "$build" --show-only=json-v1 -R "^$test\$" | /usr/bin/python3 -c '
import json, sys
t = json.load(sys.stdin)["tests"][0]
env = next((p["value"] for p in t.get("properties", []) if p["name"] == "ENVIRONMENT"), [])
print("\n".join(([env] if isinstance(env, str) else env) + ["--"] + t["command"]))')
for i in "${!parts[@]}"; do [ "${parts[$i]}" != -- ] || break; done
environment=("${parts[@]:0:i}") command=("${parts[@]:i+1}")
if ((${#environment[@]} == 0 || ${#command[@]} == 0)); then
  echo "FAIL: test $test has no ENVIRONMENT or no command in $build" >&2
  exit 1
fi

user=$(mktemp -d)
trap 'rm -rf "$user"' EXIT
# TMPDIR: the private folders the guard keeps when it fails go with this test's.
export HOME=$user/home ENTMLST=$tool TMPDIR=$user
unset XDG_DATA_HOME CORVELLIB_STAGE_HOME
user_device=$HOME/.local/share/entmlst/device.db
mkdir -p "${user_device%/*}"
"$tool" --device "$user_device" init >/dev/null 2>&1

failed=0
# case | the guarded command | its status | what stderr says (a regex; none: empty)
for c in kept dropped user; do
  case $c in
  kept) cmd=(env "${environment[@]}" "${command[@]}") want_status=0 want='' ;;
  dropped) cmd=("${command[@]}") want_status=1 want="^stage dropped: the sentinel default device changed: .*/entmlst/device\.db " ;;
  user) cmd=("$tool" --device "$user_device" set smtp port=7) want_status=1
    want="^stage user: the user's default device changed: $user_device " ;;
  esac
  status=0
  bash "$guard" "$c" "${cmd[@]}" >"$user/out" 2>"$user/err" || status=$?
  said=$(grep -E "changed" "$user/err" || true)
  if [ "$status" != "$want_status" ] || { [ -n "$want" ] && ! grep -qE "$want" <<<"$said"; } ||
    { [ -z "$want" ] && [ -n "$said" ]; }; then
    echo "FAIL $c: exit $status (want $want_status); stderr:" >&2
    cat "$user/err" >&2
    failed=1
  fi
done
exit "$failed"
