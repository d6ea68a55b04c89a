#!/usr/bin/env bash
# The whole suite under AddressSanitizer and UndefinedBehaviorSanitizer (the
# asan test preset sets ASAN_OPTIONS and UBSAN_OPTIONS).
set -euo pipefail
cd "$(dirname "$0")/../.."
cmake --workflow --preset asan
