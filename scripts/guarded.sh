#!/usr/bin/env bash
# guarded.sh STAGE COMMAND [ARG...]: runs COMMAND as test stage STAGE in a
# private HOME and XDG_DATA_HOME whose default device is a sentinel made by
# `entmlst init`, with ENTMLST_DEVICE unset. A test that loses its own
# device (ENTMLST_DEVICE=:memory: or a file of its own) lands on the
# sentinel; the stage then fails, naming it, even when its tests passed. It
# also fails when the user's own default device changed. A device and its
# -wal and -shm are compared by checksum; a file absent before must stay
# absent.
#
# The sentinel is made by $ENTMLST, by default the host build's entmlst
# (built first when there is none yet: a fresh clone's first stage).
# scripts/test-all.sh runs every stage this way; a stage run alone runs
# itself again through this script.
set -euo pipefail

if (($# < 2)); then
  echo "usage: $0 STAGE COMMAND [ARG...]" >&2
  exit 2
fi
stage=$1
shift
top=$(cd "$(dirname "$0")/.." && pwd)

# sums DEVICE: "FILE CHECKSUM" for the device and its companions, "absent"
# for one that does not exist.
sums() {
  local f
  for f in "$1" "$1-wal" "$1-shm"; do
    if [ -e "$f" ] || [ -L "$f" ]; then
      echo "$f $(sha256sum <"$f" | cut -d' ' -f1)"
    else
      echo "$f absent"
    fi
  done
}

# changed STAGE WHAT BEFORE AFTER: one line per file whose checksum changed.
changed() {
  { diff <(echo "$3") <(echo "$4") || true; } | sed -n "s/^> \(.*\) \([^ ]*\)$/stage $1: $2 changed: \1 (now \2)/p"
}

tool=${ENTMLST:-$top/build/default/tools/entmlst}
if [ ! -x "$tool" ]; then
  if [ -n "${ENTMLST:-}" ]; then
    echo "stage $stage: no entmlst at $tool to make the sentinel device" >&2
    exit 1
  fi
  echo "stage $stage: building the host build's entmlst for the sentinel device"
  (cd "$top" && cmake --preset default >/dev/null && cmake --build --preset default --target entmlst)
fi

real_device="${XDG_DATA_HOME:-$HOME/.local/share}/entmlst/device.db"
# The user's caches and git settings stay theirs: a private HOME must not
# empty the compiler cache or make the checkout look foreign to git.
if [ -z "${CCACHE_DIR:-}" ] && command -v ccache >/dev/null; then
  CCACHE_DIR=$(ccache -k cache_dir 2>/dev/null || true)
  [ -z "$CCACHE_DIR" ] || export CCACHE_DIR
fi
if [ -z "${GIT_CONFIG_GLOBAL:-}" ] && [ -f "$HOME/.gitconfig" ]; then
  export GIT_CONFIG_GLOBAL=$HOME/.gitconfig
fi

private=$(mktemp -d "${TMPDIR:-/tmp}/corvellib-stage-$stage.XXXXXX")
keep_private=0
trap '[ "$keep_private" = 1 ] || rm -rf "$private"' EXIT
export HOME=$private/home XDG_DATA_HOME=$private/home/.local/share CORVELLIB_STAGE_HOME=$private/home
unset ENTMLST_DEVICE
mkdir -m 700 "$HOME"
sentinel=$XDG_DATA_HOME/entmlst/device.db
if ! "$tool" init >"$private/init.log" 2>&1 || [ ! -f "$sentinel" ]; then
  echo "stage $stage: cannot make the sentinel device $sentinel:" >&2
  cat "$private/init.log" >&2
  exit 1
fi

sentinel_before=$(sums "$sentinel")
real_before=$(sums "$real_device")
status=0
"$@" || status=$?
report=$(
  changed "$stage" "the sentinel default device" "$sentinel_before" "$(sums "$sentinel")"
  changed "$stage" "the user's default device" "$real_before" "$(sums "$real_device")"
)
if [ -n "$report" ]; then
  keep_private=1
  echo "$report" >&2
  echo "stage $stage: a test opened a default device, not one of its own (the sentinel is kept in $private)" >&2
  exit 1
fi
exit "$status"
