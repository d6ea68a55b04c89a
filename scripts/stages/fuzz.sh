#!/usr/bin/env bash
# A bounded libFuzzer run of the call fuzzer over the seed corpus (clang,
# AddressSanitizer + UndefinedBehaviorSanitizer). New inputs go to a scratch
# corpus in the build tree; fuzz/corpus is only read. Any crash, leak, sanitizer
# report or broken invariant fails the stage and leaves the input in
# build/fuzz/artifacts/. FUZZ_SECONDS sets the length of the run (default 60).
set -euo pipefail
cd "$(dirname "$0")/../.."

cmake --preset fuzz >/dev/null
cmake --build --preset fuzz

work=build/fuzz/corpus-work
artifacts=build/fuzz/artifacts
mkdir -p "$work" "$artifacts"
ASAN_OPTIONS="detect_leaks=1${ASAN_OPTIONS:+:$ASAN_OPTIONS}" \
UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1${UBSAN_OPTIONS:+:$UBSAN_OPTIONS}" \
  build/fuzz/fuzz/call_fuzzer -max_total_time="${FUZZ_SECONDS:-60}" -runs=5000000 \
    -timeout=10 -rss_limit_mb=2048 -print_final_stats=1 \
    -artifact_prefix="$artifacts/" "$work" fuzz/corpus
