#!/usr/bin/env bash
# The thread stress test under ThreadSanitizer: any race report fails the stage.
# TSAN_OPTIONS given here are added to the preset's.
set -euo pipefail
# Run alone, a stage runs again under scripts/guarded.sh (private HOME, sentinel device).
[ "${CORVELLIB_STAGE_HOME:-}" = "${HOME:-}" ] || exec bash "$(dirname "$0")/../guarded.sh" "$(basename "$0" .sh)" bash "$0" "$@"
cd "$(dirname "$0")/../.."
cmake --workflow --preset tsan
