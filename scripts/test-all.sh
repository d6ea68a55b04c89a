#!/usr/bin/env bash
# Sets up, builds and runs every test stage: host suite, a sample of mutants,
# plain user builds (GCC, Clang, cross), sanitizers, memcheck, threads,
# fuzzing, and the PowerPC target under qemu. Each stage is a script in
# scripts/stages/; the run stops at the first stage that fails.
# Each stage runs under scripts/guarded.sh: in a private HOME whose default
# device is a sentinel; the stage fails, named, when the sentinel or the
# user's own default device changed.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/setup.sh

stages=(format host mutate plain asan valgrind tsan fuzz ppc)
passed=0
for s in "${stages[@]}"; do
  script="scripts/stages/$s.sh"
  if [ ! -f "$script" ]; then
    echo "stage $s: no $script" >&2
    exit 1
  fi
  echo "==== stage $s ===="
  if bash scripts/guarded.sh "$s" bash "$script"; then
    passed=$((passed + 1))
  else
    echo "stage $s FAILED"
    echo "stages: $passed passed, 1 failed"
    exit 1
  fi
done
echo "stages: $passed passed, 0 failed"
