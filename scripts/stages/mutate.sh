#!/usr/bin/env bash
# Mutation testing: a seeded sample of single-point mutants of the library's
# sources, each rebuilt in the host stage's build and run against the suite.
# Prints every mutant's verdict and the survivors; fails when fewer than
# MUTATE_MIN_SCORE percent of the mutants that compile are killed.
# MUTATE_SEED=N draws another sample.
set -euo pipefail
# Run alone, a stage runs again under scripts/guarded.sh (private HOME, sentinel device).
[ "${CORVELLIB_STAGE_HOME:-}" = "${HOME:-}" ] || exec bash "$(dirname "$0")/../guarded.sh" "$(basename "$0" .sh)" bash "$0" "$@"
cd "$(dirname "$0")/../.."
[ -f build/default/CMakeCache.txt ] || cmake --workflow --preset default
# Programs load the library at run time: a mutant relinks the library only.
cmake -S . -B build/default -DCMAKE_LINK_DEPENDS_NO_SHARED=ON >/dev/null
exec python3 scripts/mutate.py --in-place --build-dir build/default \
  --sample "${MUTATE_SAMPLE:-20}" --seed "${MUTATE_SEED:-18}" --min-score "${MUTATE_MIN_SCORE:-90}"
