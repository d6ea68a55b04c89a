#!/usr/bin/env bash
# A bounded libFuzzer run of the call fuzzer over the seed corpus (clang,
# AddressSanitizer + UndefinedBehaviorSanitizer). New inputs go to a scratch
# corpus in the build tree; fuzz/corpus is only read. Any crash, leak, sanitizer
# report or broken invariant fails the stage and leaves the input in
# build/fuzz/artifacts/. FUZZ_SECONDS sets the length of the run (default 60).
# Each run prints its seed; FUZZ_SEED=N makes the same choices again over the
# same corpora.
set -euo pipefail
# Run alone, a stage runs again under scripts/guarded.sh (private HOME, sentinel device).
[ "${CORVELLIB_STAGE_HOME:-}" = "${HOME:-}" ] || exec bash "$(dirname "$0")/../guarded.sh" "$(basename "$0" .sh)" bash "$0" "$@"
cd "$(dirname "$0")/../.."

cmake --preset fuzz >/dev/null
cmake --build --preset fuzz

work=build/fuzz/corpus-work
artifacts=build/fuzz/artifacts
mkdir -p "$work" "$artifacts"
# libFuzzer takes 0 for "pick one", so the seed is drawn here, never 0.
seed="${FUZZ_SEED:-$(( $(od -An -N4 -tu4 /dev/urandom) % 2147483647 + 1 ))}"
if ! [[ "$seed" =~ ^[1-9][0-9]{0,9}$ ]] || (( seed > 4294967295 )); then
  echo "fuzz: FUZZ_SEED must be a number from 1 to 4294967295, not '$seed'" >&2
  exit 2
fi
echo "fuzz: seed $seed (replay with FUZZ_SEED=$seed)"
ASAN_OPTIONS="detect_leaks=1${ASAN_OPTIONS:+:$ASAN_OPTIONS}" \
UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1${UBSAN_OPTIONS:+:$UBSAN_OPTIONS}" \
  build/fuzz/fuzz/call_fuzzer -seed="$seed" -max_total_time="${FUZZ_SECONDS:-60}" -runs=5000000 \
    -timeout=10 -rss_limit_mb=2048 -print_final_stats=1 \
    -artifact_prefix="$artifacts/" "$work" fuzz/corpus
